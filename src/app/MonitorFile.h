// TFormMonitorFile: the small modal window shown while an external program
// has a file node's copy open. It closes with OK when that program ends
// (checked every 500 ms and on activation), with Cancel when the user stops
// monitoring; the program may then be terminated ("AutoTerminateProcess").
// The program runs in a process group of its own: terminating ends the whole
// group, and a program the user keeps outlives this program.
#pragma once

#include <QDialog>

class KELExternalProgram;
class KELFileMonitor;
class QCheckBox;
class QLabel;
class QPushButton;
class QTimer;

class TFormMonitorFile : public QDialog {
    Q_OBJECT
public:
    // program: the started program, or null when none could be watched.
    TFormMonitorFile(QWidget* owner, KELFileMonitor& monitor, const QString& caption, KELExternalProgram* program);
    ~TFormMonitorFile() override;

    void done(int result) override;
    // The session ends: closes with OK without asking (the copy is then
    // stored back), ending the program as a confirmed cancel would.
    void EndSession();

protected:
    void changeEvent(QEvent* e) override;

private:
    void CheckProcess();
    void Finish(int result);

    QLabel* LabelStatus = nullptr;
    QCheckBox* CheckBoxAutoTerminateProcess = nullptr;
    QPushButton* ButtonStop = nullptr;
    QPushButton* ButtonHelp = nullptr;
    QTimer* TimerMonitor = nullptr;

    KELFileMonitor& monitor_;
    QString caption_;
    KELExternalProgram* program_;
};

// Starts the desktop's program for file (verb "open") and shows the monitor
// window until it ends; false when nothing could be started (a program that
// needs a terminal where none is installed says so). True when the window
// closed with OK (the program ended, or the session), false after a cancel.
bool RunMonitorWindow(QWidget* owner, KELFileMonitor& monitor, const QString& caption, const QString& verb,
                      const QString& file, const QString& folder);
