// The sound devices on Qt Multimedia: the desktop's default input and output,
// 8000 Hz mono 16-bit, in 20 ms buffers. Capture keeps up to 10 s buffered
// while the window is busy; playback about 2 s.
#pragma once

#include <QByteArray>
#include <QObject>

#include <memory>

#include "kelwavecompress/KELWaveDevice.h"

class QAudioSink;
class QAudioSource;
class QIODevice;

class QtWaveInput : public QObject, public KELWaveInputDevice {
    Q_OBJECT
public:
    QtWaveInput();
    ~QtWaveInput() override;
    bool Open() override;
    bool Start() override;
    void Stop() override;
    void Close() override;

private:
    void ReadAvailable();
    std::unique_ptr<QAudioSource> source_;
    QIODevice* io_ = nullptr;
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
