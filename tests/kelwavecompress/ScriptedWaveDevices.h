// Sound devices driven by a test: the input delivers buffers when the test
// feeds them; the output keeps what was written and plays a buffer whenever
// the window processes events (Drain), unless paused.
#pragma once

#include <string>
#include <vector>

#include "kelwavecompress/KELWaveDevice.h"

class ScriptedWaveInput : public KELWaveInputDevice {
public:
    bool available = true;
    bool running = false, opened = false;
    bool Open() override { return opened = available; }
    bool Start() override { return running = opened; }
    void Stop() override { running = false; }
    void Close() override { opened = false; }
    // Delivers count buffers of 320 bytes of pcm (repeated) while running.
    void Feed(const std::string& pcm, int count)
    {
        for (int i = 0; i < count && running && OnBuffer; ++i)
            OnBuffer(reinterpret_cast<const uint8_t*>(pcm.data()) + (320 * size_t(i)) % pcm.size(), 320);
    }
};

class ScriptedWaveOutput : public KELWaveOutputDevice {
public:
    bool available = true;
    bool paused = false;
    bool instant = false;               // buffers play as they are written
    std::vector<std::string> written;   // every buffer written
    int queued = 0;
    bool Open() override { return available; }
    bool Write(const uint8_t* data, size_t length) override
    {
        written.emplace_back(reinterpret_cast<const char*>(data), length);
        queued += instant ? 0 : 1;
        return true;
    }
    int Queued() const override { return queued; }
    void Pause() override { paused = true; }
    void Resume() override { paused = false; }
    void Reset() override { queued = 0; }
    void Close() override {}
    // Plays one queued buffer.
    void Drain()
    {
        if (!paused && queued > 0)
            --queued;
    }
};
