#include "app/QtWaveDevices.h"

#include "kelwavecompress/KELWave.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QAudioSource>
#include <QMediaDevices>

namespace {

QAudioFormat WaveFormat()
{
    QAudioFormat format;
    format.setSampleRate(8000);
    format.setChannelCount(1);
    format.setSampleFormat(QAudioFormat::Int16);
    return format;
}

// The device when it takes the recorder's format, else a null device.
QAudioDevice Usable(const QAudioDevice& device)
{
    return !device.isNull() && device.isFormatSupported(WaveFormat()) ? device : QAudioDevice();
}

} // namespace

// ---- input -------------------------------------------------------------------

namespace {

class CaptureSink : public QIODevice {
public:
    explicit CaptureSink(QtWaveInput& owner) : owner_(owner) { open(QIODevice::WriteOnly); }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 length) override
    {
        owner_.Captured(data, length);
        return length;
    }

private:
    QtWaveInput& owner_;
};

} // namespace

QtWaveInput::QtWaveInput() = default;
QtWaveInput::~QtWaveInput() = default;

bool QtWaveInput::Open()
{
    const QAudioDevice device = Usable(QMediaDevices::defaultAudioInput());
    if (device.isNull())
        return false;
    // The sound server keeps what is captured while the window is busy; a
    // large buffer here would only make it deliver in late, large pieces.
    source_ = std::make_unique<QAudioSource>(device, WaveFormat());
    sink_ = std::make_unique<CaptureSink>(*this);
    return true;
}

bool QtWaveInput::Start()
{
    if (!source_)
        return false;
    pending_.clear();
    source_->start(sink_.get());
    if (source_->error() != QAudio::NoError) {
        source_->stop();
        return false;
    }
    return true;
}

void QtWaveInput::Captured(const char* data, qint64 length)
{
    pending_.append(data, length);
    qsizetype used = 0;
    for (; pending_.size() - used >= qsizetype(kWaveBlockBytes); used += qsizetype(kWaveBlockBytes))
        if (OnBuffer)
            OnBuffer(reinterpret_cast<const uint8_t*>(pending_.constData()) + used, kWaveBlockBytes);
    pending_.remove(0, used);
}

void QtWaveInput::Stop()
{
    if (source_)
        source_->stop();
    pending_.clear();
}

void QtWaveInput::Close()
{
    Stop();
    source_.reset();
    sink_.reset();
}

// ---- output ------------------------------------------------------------------

QtWaveOutput::QtWaveOutput() = default;
QtWaveOutput::~QtWaveOutput() = default;

bool QtWaveOutput::Open()
{
    const QAudioDevice device = Usable(QMediaDevices::defaultAudioOutput());
    if (device.isNull())
        return false;
    sink_ = std::make_unique<QAudioSink>(device, WaveFormat());
    sink_->setBufferSize(qsizetype(kWaveOutBuffers * kWaveBlockBytes));
    return true;
}

bool QtWaveOutput::Write(const uint8_t* data, size_t length)
{
    if (!sink_)
        return false;
    if (!io_)
        io_ = sink_->start();
    return io_ && io_->write(reinterpret_cast<const char*>(data), qint64(length)) == qint64(length);
}

// Whole buffers waiting in the sink; "full" when another would not fit.
int QtWaveOutput::Queued() const
{
    if (!sink_ || !io_ || sink_->state() == QAudio::IdleState || sink_->state() == QAudio::StoppedState)
        return 0;
    if (sink_->bytesFree() < qsizetype(kWaveBlockBytes))
        return kWaveOutBuffers;
    return int((sink_->bufferSize() - sink_->bytesFree()) / qsizetype(kWaveBlockBytes));
}

void QtWaveOutput::Pause()
{
    if (sink_)
        sink_->suspend();
}

void QtWaveOutput::Resume()
{
    if (sink_ && sink_->state() == QAudio::SuspendedState)
        sink_->resume();
}

void QtWaveOutput::Reset()
{
    if (sink_)
        sink_->stop();
    io_ = nullptr;
}

void QtWaveOutput::Close()
{
    Reset();
    sink_.reset();
}
