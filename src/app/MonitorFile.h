// TFormMonitorFile: the small modal window shown while an external program
// has a file node's copy open. It closes with OK when that program ends
// (checked every 500 ms and on activation), with Cancel when the user stops
// monitoring; the program may then be terminated ("AutoTerminateProcess").
#pragma once

#include <QDialog>
#include <QPointer>

class KELFileMonitor;
class QCheckBox;
class QLabel;
class QProcess;
class QPushButton;
class QTimer;

class TFormMonitorFile : public QDialog {
    Q_OBJECT
public:
    // process: the started program, or null when none could be watched.
    TFormMonitorFile(QWidget* owner, KELFileMonitor& monitor, const QString& caption, QProcess* process);
    ~TFormMonitorFile() override;

    void done(int result) override;

protected:
    void changeEvent(QEvent* e) override;

private:
    void CheckProcess();

    QLabel* LabelStatus = nullptr;
    QCheckBox* CheckBoxAutoTerminateProcess = nullptr;
    QPushButton* ButtonStop = nullptr;
    QPushButton* ButtonHelp = nullptr;
    QTimer* TimerMonitor = nullptr;

    KELFileMonitor& monitor_;
    QString caption_;
    QPointer<QProcess> process_;
};

// Starts the desktop's program for file (verb "open") and shows the monitor
// window until it ends; false when nothing could be started. True when the
// window closed with OK (the program ended), false after a cancel.
bool RunMonitorWindow(QWidget* owner, KELFileMonitor& monitor, const QString& caption, const QString& verb,
                      const QString& file, const QString& folder);
