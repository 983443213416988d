// The sound devices on Qt Multimedia: the desktop's default input and output,
// 8000 Hz mono 16-bit, in 20 ms buffers; playback keeps about 2 s queued.
#pragma once

#include <QByteArray>
#include <QObject>

#include <memory>

#include "kelwavecompress/KELWaveDevice.h"

class QAudioSink;
class QAudioSource;
class QIODevice;

// Capture writes into a device of ours (Qt's pull mode delivers nothing
// on PulseAudio in Qt 6.4), which cuts the stream into 320-byte buffers.
class QtWaveInput : public KELWaveInputDevice {
public:
    QtWaveInput();
    ~QtWaveInput() override;
    bool Open() override;
    bool Start() override;
    void Stop() override;
    void Close() override;

    // The captured bytes, delivered in whole buffers.
    void Captured(const char* data, qint64 length);

private:
    std::unique_ptr<QAudioSource> source_;
    std::unique_ptr<QIODevice> sink_;
    QByteArray pending_;
};

class QtWaveOutput : public KELWaveOutputDevice {
public:
    QtWaveOutput();
    ~QtWaveOutput() override;
    bool Open() override;
    bool Write(const uint8_t* data, size_t length) override;
    int Queued() const override;
    void Pause() override;
    void Resume() override;
    void Reset() override;
    void Close() override;

private:
    std::unique_ptr<QAudioSink> sink_;
    QIODevice* io_ = nullptr;
};
