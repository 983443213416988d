#include "app/WavePage.h"

#include "app/QtWaveDevices.h"
#include "kellib/qt/Kelapputil.h"
#include "kelwavecompress/KELSoundRecords.h"

#include <QButtonGroup>
#include <QCoreApplication>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QThread>
#include <QVBoxLayout>

namespace {

constexpr int kRecordingProgressMax = 5000;

QString Kib(int64_t bytes)
{
    return QString::number(bytes / 1024) + QStringLiteral(" KB");
}

QPushButton* Button(QWidget* parent, const char* name, const QString& caption)
{
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1String(name));
    return button;
}

} // namespace

WavePage::WavePage(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    auto* info = new QLabel(QStringLiteral("请注意：\n只有在您的计算机配置了麦克风才能录音。\n"
                                           "您的计算机必须有音箱并把声音调节到合适的音量时才能听到播放的声音。"),
                            this);
    info->setObjectName(QStringLiteral("PanelWaveInfo"));
    info->setWordWrap(true);
    layout->addWidget(info);
    PanelWaveStatus = new QLabel(this);
    PanelWaveStatus->setObjectName(QStringLiteral("PanelWaveStatus"));
    layout->addWidget(PanelWaveStatus);
    PanelWaveSize = new QLabel(this);
    PanelWaveSize->setObjectName(QStringLiteral("PanelWaveSize"));
    layout->addWidget(PanelWaveSize);
    ScrollBarWaveProgress = new QScrollBar(Qt::Horizontal, this);
    ScrollBarWaveProgress->setObjectName(QStringLiteral("ScrollBarWaveProgress"));
    ScrollBarWaveProgress->setToolTip(QStringLiteral("录音或播放进度"));
    layout->addWidget(ScrollBarWaveProgress);

    auto* buttons = new QHBoxLayout;
    SBWaveRecord = Button(this, "SBWaveRecord", QStringLiteral("录音"));
    SBWavePlay = Button(this, "SBWavePlay", QStringLiteral("播放"));
    SBWavePause = Button(this, "SBWavePause", QStringLiteral("暂停"));
    SBWaveStop = Button(this, "SBWaveStop", QStringLiteral("停止"));
    SBWaveClear = Button(this, "SBWaveClear", QStringLiteral("清空"));
    radio_ = new QButtonGroup(this);
    for (QPushButton* b : {SBWaveRecord, SBWavePlay, SBWavePause, SBWaveStop}) {
        b->setCheckable(true);
        radio_->addButton(b);
    }
    for (QPushButton* b : {SBWaveRecord, SBWavePlay, SBWavePause, SBWaveStop, SBWaveClear})
        buttons->addWidget(b);
    buttons->addStretch(1);
    layout->addLayout(buttons);
    layout->addStretch(1);

    connect(SBWaveRecord, &QPushButton::clicked, this, &WavePage::SBWaveRecordClick);
    connect(SBWaveStop, &QPushButton::clicked, this, &WavePage::SBWaveStopClick);
    connect(SBWavePause, &QPushButton::clicked, this, &WavePage::SBWavePauseClick);
    connect(SBWavePlay, &QPushButton::clicked, this, &WavePage::SBWavePlayClick);
    connect(SBWaveClear, &QPushButton::clicked, this, &WavePage::SBWaveClearClick);
    connect(ScrollBarWaveProgress, &QScrollBar::sliderReleased, this, &WavePage::ProgressReleased);

    workFolder_ = PrivateWorkFolder();
    if (!workFolder_.empty())
        RemoveStaleWorkFiles(workFolder_);
    SetDevices(std::make_unique<QtWaveInput>(), std::make_unique<QtWaveOutput>());
    PressStop();
    RefreshPage();
}

WavePage::~WavePage()
{
    Shutdown();
}

void WavePage::SetDevices(std::unique_ptr<KELWaveInputDevice> input, std::unique_ptr<KELWaveOutputDevice> output)
{
    waveIn_.reset();
    waveOut_.reset();
    inputDevice_ = std::move(input);
    outputDevice_ = std::move(output);
    waveIn_ = std::make_unique<KELWaveInGSM>(*inputDevice_);
    waveIn_->DataHandler = [this](const uint8_t* data, size_t length) { RecordedData(data, length); };
    waveOut_ = std::make_unique<KELWaveOutGSM>(*outputDevice_);
    // Playback keeps the window working between records, without spinning.
    waveOut_->ProcessEvents = [] {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(2);
    };
    waveOut_->OpenDevice();
}

void WavePage::PressStop()
{
    SBWaveStop->setChecked(true);
}

void WavePage::StopForShow()
{
    waveIn_->StopRecording();
    waveIn_->CloseDevice();
    waveOut_->RequestClose();
    if (workFile_.IsOpen())
        workFile_.Truncate();
}

bool WavePage::Load(const std::string& payload)
{
    modified_ = false;
    ScrollBarWaveProgress->setValue(0);
    workFile_.Close();
    const bool made = !workFolder_.empty() && workFile_.Create(SoundWorkFilePath(workFolder_))
                      && (payload.empty() || workFile_.Write(payload.data(), payload.size()));
    if (!made) {
        SetUnavailable();
        AppMessageBox(QStringLiteral("不能建立声音工作文件。"), MB_ICONERROR);
        return false;
    }
    workFile_.Seek(0);
    for (QPushButton* b : {SBWaveRecord, SBWavePlay, SBWavePause, SBWaveStop, SBWaveClear})
        b->setEnabled(true);
    PressStop();
    ScrollBarWaveProgress->setMaximum(int(std::min<int64_t>(workFile_.Size(), INT32_MAX)));
    return true;
}

void WavePage::SetUnavailable()
{
    modified_ = false;
    RemoveWorkFile();
    for (QPushButton* b : {SBWaveRecord, SBWavePlay, SBWavePause, SBWaveStop, SBWaveClear})
        b->setEnabled(false);
    PressStop();
    RefreshPage();
}

bool WavePage::Save(std::string& payload) const
{
    return workFile_.IsOpen() && workFile_.ReadAll(payload);
}

void WavePage::Shutdown()
{
    if (!waveIn_)
        return;
    waveIn_->StopRecording();
    waveIn_->CloseDevice();
    waveOut_->ResetOutput();
    RemoveWorkFile();
}

void WavePage::RemoveWorkFile()
{
    if (!workFile_.IsOpen())
        return;
    const std::string path = workFile_.Path();
    workFile_.Close();
    std::remove(path.c_str());
}

void WavePage::RecordedData(const uint8_t* data, size_t length)
{
    if (length == 0 || !workFile_.IsOpen())
        return;
    const int next = ScrollBarWaveProgress->value() + 1;
    ScrollBarWaveProgress->setValue(next >= ScrollBarWaveProgress->maximum() ? 0 : next);
    PanelWaveSize->setText(QStringLiteral("录音数据：") + Kib(workFile_.Size()));
    std::string record;
    AppendSoundRecord(record, data, length);
    if (workFile_.Write(record.data(), record.size()))
        modified_ = true;
}

void WavePage::RefreshPage()
{
    PanelWaveStatus->clear();
    const bool recording = waveIn_->Recording();
    const bool playing = waveOut_->Playing();
    const bool enabled = SBWaveClear->isEnabled();   // false while the work file could not be made
    SBWavePause->setText(playing && waveOut_->Paused() ? QStringLiteral("继续") : QStringLiteral("暂停"));
    if (recording) {
        SBWaveRecord->setChecked(true);
        PanelWaveStatus->setText(QStringLiteral("正在录音..."));
    } else if (playing) {
        SBWavePlay->setChecked(true);
        PanelWaveStatus->setText(QStringLiteral("正在播放..."));
    } else {
        PanelWaveStatus->setText(QStringLiteral("等待命令"));
    }
    SBWaveRecord->setEnabled(enabled && !recording && !playing);
    SBWavePlay->setEnabled(enabled && !recording && !playing);
    SBWavePause->setEnabled(enabled && playing);
    SBWaveStop->setEnabled(enabled && (recording || playing));
    ScrollBarWaveProgress->setEnabled(playing);
    PanelWaveSize->setText(workFile_.IsOpen() ? QStringLiteral("声音数据共：") + Kib(workFile_.Size())
                                              : QStringLiteral("当前没有声音数据"));
}

void WavePage::SBWaveRecordClick()
{
    workFile_.Seek(workFile_.Size());
    ScrollBarWaveProgress->setMaximum(kRecordingProgressMax);
    ScrollBarWaveProgress->setValue(0);
    waveOut_->ResetOutput();
    if (waveIn_->OpenDevice())
        waveIn_->StartRecording();
    RefreshPage();
    if (!waveIn_->Recording()) {
        AppMessageBox(QStringLiteral("不能进行录音，可能有其它程序正在录音。"), MB_ICONERROR);
        PressStop();
        RefreshPage();
    }
}

void WavePage::SBWaveStopClick()
{
    waveIn_->StopRecording();
    waveIn_->CloseDevice();
    waveOut_->RequestClose();
    PressStop();
    RefreshPage();
}

void WavePage::SBWavePauseClick()
{
    if (waveOut_->Playing()) {
        if (waveOut_->Paused())
            waveOut_->Resume();
        else
            waveOut_->Pause();
    }
    SBWavePlay->setChecked(waveOut_->Playing());
    RefreshPage();
}

void WavePage::SBWavePlayClick()
{
    if (workFile_.Size() == 0) {
        AppMessageBox(QStringLiteral("没有录音数据可以播放，请先录音。"), MB_ICONINFORMATION);
        PressStop();
        RefreshPage();
        return;
    }
    if (!waveOut_->OpenDevice()) {
        AppMessageBox(QStringLiteral("不能播放声音，没有可用的声音输出设备。"), MB_ICONERROR);
        PressStop();
        RefreshPage();
        return;
    }
    ScrollBarWaveProgress->setMaximum(int(std::min<int64_t>(workFile_.Size() / int64_t(kSoundRecordBytes), INT32_MAX)));
    waveOut_->Resume();
    RefreshPage();
    waveOut_->PlayStream(workFile_, [this] {
        if (!ScrollBarWaveProgress->isSliderDown())
            ScrollBarWaveProgress->setValue(int(workFile_.Position() / int64_t(kSoundRecordBytes)));
    });
    waveOut_->ResetOutput();
    PressStop();
    RefreshPage();
}

void WavePage::ProgressReleased()
{
    if (!waveOut_->Playing())
        return;
    waveOut_->ResetOutput();
    workFile_.Seek(int64_t(ScrollBarWaveProgress->value()) * int64_t(kSoundRecordBytes));
    waveOut_->Resume();
}

void WavePage::SBWaveClearClick()
{
    if (AppMessageBox(QStringLiteral("确认要清空当前的录音数据吗？"), MB_OKCANCEL | MB_ICONQUESTION) != IDOK)
        return;
    if (!workFile_.IsOpen())
        return;
    workFile_.Truncate();
    ScrollBarWaveProgress->setValue(0);
    modified_ = true;
    RefreshPage();
}
