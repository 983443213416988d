// The wave classes: recording converts each captured 20 ms buffer as it
// arrives; playback converts records and keeps the output device fed with at
// most 98 buffers (about 2 s) queued ahead. The devices are not owned.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "kelwavecompress/KELSoundWorkFile.h"
#include "kelwavecompress/KELWaveCompress.h"
#include "kelwavecompress/KELWaveDevice.h"

constexpr int kWaveInBuffers = 500;    // 10 s may be outstanding while the window is busy
constexpr int kWaveOutBuffers = 98;    // queued ahead during playback

class KELWaveInBase {
public:
    explicit KELWaveInBase(KELWaveInputDevice& device);
    virtual ~KELWaveInBase();

    virtual bool Convert(const uint8_t* data, size_t length);
    virtual const uint8_t* ConvertedData() const;
    virtual size_t ConvertedLength() const;
    virtual void OnData(const uint8_t* data, size_t length);

    bool OpenDevice();
    bool StartRecording();
    void StopRecording();
    // One filled buffer: converted and handed to OnData; false when it could
    // not be converted (its audio is lost, recording goes on).
    bool HandleInputBuffer(const uint8_t* data, size_t length);
    void CloseDevice();
    bool Recording() const { return recording_; }
    bool IsOpen() const { return open_; }

private:
    KELWaveInputDevice& device_;
    bool recording_ = false;
    bool open_ = false;
};

class KELWaveOutBase {
public:
    explicit KELWaveOutBase(KELWaveOutputDevice& device);
    virtual ~KELWaveOutBase();

    virtual bool Convert(const uint8_t* data, size_t length);
    virtual const uint8_t* ConvertedData() const;
    virtual size_t ConvertedLength() const;

    bool OpenDevice();
    // One record's data to the device; waits (processing events) while 98
    // buffers are queued, and fails when playing ends meanwhile.
    bool WriteFrame(const uint8_t* data, size_t length);
    // Plays the work file from its position while playing, calling progress
    // after each record and processEvents in every pass.
    void PlayStream(KELSoundWorkFile& file, const std::function<void()>& progress);
    void Pause();
    void Resume();
    void ResetOutput();
    void RequestClose();
    void CloseDevice();
    bool Playing() const { return playing_; }
    bool Paused() const { return paused_; }
    bool IsOpen() const { return open_; }

    // Runs pending window events (and waits a little); set by the window.
    std::function<void()> ProcessEvents = [] {};

private:
    KELWaveOutputDevice& device_;
    bool playing_ = false;
    bool paused_ = true;
    bool open_ = false;
};

class KELWaveInGSM : public KELWaveInBase {
public:
    using KELWaveInBase::KELWaveInBase;
    bool Convert(const uint8_t* data, size_t length) override { return codec_.Encode(data, length); }
    const uint8_t* ConvertedData() const override { return codec_.Output(); }
    size_t ConvertedLength() const override { return codec_.OutputLength(); }
    // Receives each converted record's data.
    std::function<void(const uint8_t*, size_t)> DataHandler;
    void OnData(const uint8_t* data, size_t length) override;

private:
    KELWaveCompress codec_;
};

class KELWaveOutGSM : public KELWaveOutBase {
public:
    using KELWaveOutBase::KELWaveOutBase;
    bool Convert(const uint8_t* data, size_t length) override { return codec_.Decode(data, length); }
    const uint8_t* ConvertedData() const override { return codec_.Output(); }
    size_t ConvertedLength() const override { return codec_.OutputLength(); }

private:
    KELWaveCompress codec_;
};
