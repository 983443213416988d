#include "kelwavecompress/KELWave.h"

#include <algorithm>
#include <cstring>

#include "kelwavecompress/KELSoundRecords.h"

// ---- input -------------------------------------------------------------------

KELWaveInBase::KELWaveInBase(KELWaveInputDevice& device) : device_(device)
{
    device_.OnBuffer = [this](const uint8_t* data, size_t length) { HandleInputBuffer(data, length); };
}

KELWaveInBase::~KELWaveInBase()
{
    StopRecording();
    CloseDevice();
    device_.OnBuffer = nullptr;
}

bool KELWaveInBase::Convert(const uint8_t*, size_t) { return false; }
const uint8_t* KELWaveInBase::ConvertedData() const { return nullptr; }
size_t KELWaveInBase::ConvertedLength() const { return 0; }
void KELWaveInBase::OnData(const uint8_t*, size_t) {}

bool KELWaveInBase::OpenDevice()
{
    if (open_)
        return true;
    if (!device_.Open())
        return false;
    recording_ = false;
    open_ = true;
    return true;
}

bool KELWaveInBase::StartRecording()
{
    if (!open_)
        return false;
    if (recording_)
        return true;
    if (!device_.Start())
        return false;
    recording_ = true;
    return true;
}

void KELWaveInBase::StopRecording()
{
    if (!recording_)
        return;
    device_.Stop();
    recording_ = false;
}

bool KELWaveInBase::HandleInputBuffer(const uint8_t* data, size_t length)
{
    if (!recording_ || length == 0)
        return true;
    if (!Convert(data, length))
        return false;
    OnData(ConvertedData(), ConvertedLength());
    return true;
}

void KELWaveInBase::CloseDevice()
{
    if (!open_)
        return;
    device_.Close();
    open_ = false;
}

void KELWaveInGSM::OnData(const uint8_t* data, size_t length)
{
    if (DataHandler)
        DataHandler(data, length);
}

// ---- output ------------------------------------------------------------------

KELWaveOutBase::KELWaveOutBase(KELWaveOutputDevice& device) : device_(device) {}

KELWaveOutBase::~KELWaveOutBase()
{
    ResetOutput();
    CloseDevice();
}

bool KELWaveOutBase::Convert(const uint8_t*, size_t) { return false; }
const uint8_t* KELWaveOutBase::ConvertedData() const { return nullptr; }
size_t KELWaveOutBase::ConvertedLength() const { return 0; }

bool KELWaveOutBase::OpenDevice()
{
    if (open_)
        return true;
    playing_ = false;
    open_ = device_.Open();
    return open_;
}

bool KELWaveOutBase::WriteFrame(const uint8_t* data, size_t length)
{
    if (!open_)
        return false;
    while (device_.Queued() >= kWaveOutBuffers) {
        if (!playing_)
            return false;
        ProcessEvents();
    }
    if (!playing_ || !Convert(data, length))
        return false;
    uint8_t buffer[kWaveBlockBytes] = {};
    std::memcpy(buffer, ConvertedData(), std::min(ConvertedLength(), kWaveBlockBytes));
    return device_.Write(buffer, kWaveBlockBytes);
}

void KELWaveOutBase::PlayStream(KELSoundWorkFile& file, const std::function<void()>& progress)
{
    file.Seek(0);
    while (playing_) {
        if (!paused_) {
            const std::string header = file.Read(4);
            if (header.size() < 4)
                break;
            const auto* p = reinterpret_cast<const uint8_t*>(header.data());
            const uint32_t length = p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24;
            if (length > kMaxRecordData)
                break;
            const std::string record = file.Read(length);
            if (record.size() < length)
                break;
            WriteFrame(reinterpret_cast<const uint8_t*>(record.data()), length);   // a bad record is skipped
            progress();
        }
        ProcessEvents();
    }
    while (playing_ && device_.Queued() > 0)
        ProcessEvents();
}

void KELWaveOutBase::Pause()
{
    if (playing_)
        device_.Pause();
    paused_ = true;
}

void KELWaveOutBase::Resume()
{
    if (playing_ && !paused_)
        return;
    device_.Resume();
    playing_ = true;
    paused_ = false;
}

void KELWaveOutBase::ResetOutput()
{
    if (!playing_)
        return;
    device_.Reset();
    playing_ = false;
}

void KELWaveOutBase::RequestClose()
{
    if (!open_)
        return;
    device_.Reset();
    ResetOutput();
}

void KELWaveOutBase::CloseDevice()
{
    if (!open_)
        return;
    device_.Close();
    open_ = false;
}
