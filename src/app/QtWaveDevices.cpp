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

QtWaveInput::QtWaveInput()
{
    captureContext_.moveToThread(&thread_);
}

QtWaveInput::~QtWaveInput()
{
    Close();
    thread_.quit();
    thread_.wait();
}

void QtWaveInput::InCaptureThread(const std::function<void()>& work)
{
    if (!thread_.isRunning())
        thread_.start();
    QMetaObject::invokeMethod(&captureContext_, work, Qt::BlockingQueuedConnection);
}

bool QtWaveInput::Open()
{
    const QAudioDevice device = Usable(QMediaDevices::defaultAudioInput());
    if (device.isNull())
        return false;
    // The sound server keeps what is captured until the capture thread reads
    // it; a large buffer here would only make it deliver in late, large pieces.
    InCaptureThread([&] {
        source_ = std::make_unique<QAudioSource>(device, WaveFormat());
        sink_ = std::make_unique<CaptureSink>(*this);
    });
    return true;
}

bool QtWaveInput::Start()
{
    if (!source_)
        return false;
    {
        QMutexLocker lock(&mutex_);
        pending_.clear();
    }
    bool started = false;
    InCaptureThread([&] {
        source_->start(sink_.get());
        started = source_->error() == QAudio::NoError;
        if (!started)
            source_->stop();
    });
    return started;
}

void QtWaveInput::Captured(const char* data, qint64 length)
{
    QMutexLocker lock(&mutex_);
    pending_.append(data, length);
    if (posted_ || pending_.size() < qsizetype(kWaveBlockBytes))
        return;
    posted_ = true;
    QMetaObject::invokeMethod(&windowContext_, [this] { Deliver(); }, Qt::QueuedConnection);
}

void QtWaveInput::Deliver()
{
    QByteArray whole;
    {
        QMutexLocker lock(&mutex_);
        posted_ = false;
        const qsizetype used = pending_.size() - pending_.size() % qsizetype(kWaveBlockBytes);
        whole = pending_.left(used);
        pending_.remove(0, used);
    }
    for (qsizetype at = 0; at < whole.size(); at += qsizetype(kWaveBlockBytes))
        if (OnBuffer)
            OnBuffer(reinterpret_cast<const uint8_t*>(whole.constData()) + at, kWaveBlockBytes);
}

// What was captured before the stop is still delivered; a partial buffer is not.
void QtWaveInput::Stop()
{
    if (source_)
        InCaptureThread([&] { source_->stop(); });
    Deliver();
    QMutexLocker lock(&mutex_);
    pending_.clear();
}

void QtWaveInput::Close()
{
    Stop();
    if (source_)
        InCaptureThread([&] {
            source_.reset();
            sink_.reset();
        });
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
