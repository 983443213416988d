#include "app/MonitorFile.h"

#include <QCheckBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>
#include <QVBoxLayout>

#include "kellib/KELFileMonitor.h"
#include "kellib/qt/KELDesktopApps.h"
#include "kellib/qt/Kelapputil.h"
#include "kellib/qt/Kelhtmlhelp.h"
#include "kellib/qt/Kelregistry.h"

namespace {

const QString kDefault = QStringLiteral("Default");
const QString kAutoTerminate = QStringLiteral("AutoTerminateProcess");

QString Quoted(const QString& text) { return QLatin1Char('"') + text + QLatin1Char('"'); }

}  // namespace

TFormMonitorFile::TFormMonitorFile(QWidget* owner, KELFileMonitor& monitor, const QString& caption,
                                   KELExternalProgram* program)
    : QDialog(owner), monitor_(monitor), caption_(caption), program_(program)
{
    setObjectName(QStringLiteral("TFormMonitorFile"));
    setWindowTitle(QStringLiteral("正在监听"));
    auto* layout = new QVBoxLayout(this);
    LabelStatus = new QLabel(QStringLiteral("正在监听文件") + Quoted(caption) + QStringLiteral("......"), this);
    LabelStatus->setObjectName(QStringLiteral("LabelStatus"));
    LabelStatus->setTextFormat(Qt::PlainText);
    auto* animation = new QProgressBar(this);   // a running search animation
    animation->setObjectName(QStringLiteral("AnimateFind"));
    animation->setRange(0, 0);
    animation->setTextVisible(false);
    auto* hintCancel = new QLabel(QStringLiteral("要停止监听，请点击\"取消\"按钮，这样文件修改后将不会被保存到数据库中。"), this);
    auto* hintClose = new QLabel(QStringLiteral("在修改文件保存后，请关闭打开文件的程序，这样文件会被自动保存到数据库。"), this);
    for (QLabel* label : {hintCancel, hintClose})
        label->setWordWrap(true);
    CheckBoxAutoTerminateProcess = new QCheckBox(QStringLiteral("取消监听时强制中止被打开的程序"), this);
    CheckBoxAutoTerminateProcess->setObjectName(QStringLiteral("CheckBoxAutoTerminateProcess"));
    CheckBoxAutoTerminateProcess->setChecked(ReadBool(kDefault, kAutoTerminate, true));
    ButtonStop = new QPushButton(QStringLiteral("取消(&C)"), this);
    ButtonStop->setObjectName(QStringLiteral("ButtonStop"));
    ButtonHelp = new QPushButton(QStringLiteral("帮助(&H)"), this);
    ButtonHelp->setObjectName(QStringLiteral("ButtonHelp"));
    for (QPushButton* b : {ButtonStop, ButtonHelp})
        b->setAutoDefault(false);
    layout->addWidget(LabelStatus);
    layout->addWidget(animation);
    layout->addWidget(hintCancel);
    layout->addWidget(hintClose);
    layout->addWidget(CheckBoxAutoTerminateProcess);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ButtonStop);
    buttons->addWidget(ButtonHelp);
    layout->addLayout(buttons);
    connect(ButtonStop, &QPushButton::clicked, this, &QDialog::reject);
    connect(ButtonHelp, &QPushButton::clicked, this, [] { ShowHelpTopic(QStringLiteral("/html/filemonitor.htm")); });
    TimerMonitor = new QTimer(this);
    TimerMonitor->setObjectName(QStringLiteral("TimerMonitor"));
    TimerMonitor->setInterval(500);
    connect(TimerMonitor, &QTimer::timeout, this, &TFormMonitorFile::CheckProcess);
    TimerMonitor->start();
}

TFormMonitorFile::~TFormMonitorFile()
{
    WriteBool(kDefault, kAutoTerminate, CheckBoxAutoTerminateProcess->isChecked());
}

void TFormMonitorFile::CheckProcess()
{
    if (!program_ || !program_->Running()) {
        program_ = nullptr;
        done(QDialog::Accepted);
    }
}

void TFormMonitorFile::changeEvent(QEvent* e)
{
    QDialog::changeEvent(e);
    if (e->type() == QEvent::ActivationChange && isActiveWindow())
        CheckProcess();
}

void TFormMonitorFile::done(int result)
{
    if (result != QDialog::Accepted
        && FormMessageBox(this,
                          QStringLiteral("如果取消监听，文件修改后将不会被保存到数据库，确认要取消对文件") + Quoted(caption_)
                              + QStringLiteral("的监听吗？"),
                          MB_OKCANCEL | MB_ICONWARNING)
               != IDOK)
        return;
    Finish(result);
}

void TFormMonitorFile::EndSession()
{
    Finish(QDialog::Accepted);
}

void TFormMonitorFile::Finish(int result)
{
    TimerMonitor->stop();
    if (CheckBoxAutoTerminateProcess->isChecked() && program_)
        program_->EndGroup();
    program_ = nullptr;
    QDialog::done(result);
}

bool RunMonitorWindow(QWidget* owner, KELFileMonitor& monitor, const QString& caption, const QString& verb,
                      const QString& file, const QString& folder)
{
    // Only "open" exists here; the program starts in folder, the copy's own.
    Q_UNUSED(verb);
    const QStringList command = OpenFileCommand(file);
    if (command.isEmpty()) {
        FormMessageBox(owner, QStringLiteral("打开文件") + Quoted(caption)
                                  + QStringLiteral("的程序需要在终端中运行，但是没有找到可用的终端程序。"),
                       MB_ICONWARNING);
        return false;
    }
    KELExternalProgram program;   // one still running when the window closes runs on
    if (!program.Start(command, folder))
        return false;
    TFormMonitorFile window(owner, monitor, caption, &program);
    return ExecDialog(&window) == QDialog::Accepted;
}
