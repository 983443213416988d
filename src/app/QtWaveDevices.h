// The sound devices on Qt Multimedia: the desktop's default input and output,
// 8000 Hz mono 16-bit, in 20 ms buffers; playback keeps about 2 s queued.
#pragma once

#include <QByteArray>
#include <QMutex>
#include <QObject>
#include <QThread>

#include <functional>

#include <memory>

#include "kelwavecompress/KELWaveDevice.h"

class QAudioSink;
class QAudioSource;
class QIODevice;

// Capture writes into a device of ours (Qt's pull mode delivers nothing
// on PulseAudio in Qt 6.4), which cuts the stream into 320-byte buffers.
// The source lives in a thread of its own, so a busy window never stalls
// it (the sound server then drops what it cannot hand over); the captured
// bytes wait in a queue and reach OnBuffer on the window's thread.
class QtWaveInput : public KELWaveInputDevice {
public:
    QtWaveInput();
    ~QtWaveInput() override;
    bool Open() override;
    bool Start() override;
    void Stop() override;
    void Close() override;

    // Called on the capture thread with what the source delivered.
    void Captured(const char* data, qint64 length);

private:
    void InCaptureThread(const std::function<void()>& work);
    void Deliver();   // whole buffers waiting, to OnBuffer

    QThread thread_;
    QObject captureContext_;   // lives in thread_
    QObject windowContext_;    // lives in the window's thread
    std::unique_ptr<QAudioSource> source_;   // made, used and deleted in thread_
    std::unique_ptr<QIODevice> sink_;
    QMutex mutex_;
    QByteArray pending_;   // guarded by mutex_
    bool posted_ = false;  // guarded by mutex_: a Deliver is on its way
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
