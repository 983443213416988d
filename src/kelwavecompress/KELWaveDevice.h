// The sound devices the wave classes drive: capture and playback of 8 kHz
// mono 16-bit PCM in buffers of 320 bytes (20 ms). The desktop program
// implements them on its audio system; tests use scripted devices.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

class KELWaveInputDevice {
public:
    virtual ~KELWaveInputDevice() = default;
    virtual bool Open() = 0;
    virtual bool Start() = 0;
    // Stops capturing; buffers not yet delivered are dropped.
    virtual void Stop() = 0;
    virtual void Close() = 0;
    // Called by the device with each filled buffer, on the caller's thread.
    std::function<void(const uint8_t* data, size_t length)> OnBuffer;
};

class KELWaveOutputDevice {
public:
    virtual ~KELWaveOutputDevice() = default;
    virtual bool Open() = 0;
    // Queues one buffer for playing; false when the device refuses it.
    virtual bool Write(const uint8_t* data, size_t length) = 0;
    // Buffers written and not yet played.
    virtual int Queued() const = 0;
    virtual void Pause() = 0;
    virtual void Resume() = 0;
    // Drops every queued buffer at once.
    virtual void Reset() = 0;
    virtual void Close() = 0;
};
