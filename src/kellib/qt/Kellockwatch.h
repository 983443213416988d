// KELLockWatch: tells the window when to lock. The desktop locking its
// screen (the screen-saver signals of freedesktop and GNOME on the session
// bus, logind's Lock of our session on the system bus, where present), and
// the user being idle for a set time: the desktop's idle time where the X
// server's screen-saver extension tells it, else the time since the last
// input to this program's own windows.
#pragma once

#include <QDBusConnection>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class KELLockWatch : public QObject {
    Q_OBJECT
public:
    explicit KELLockWatch(QObject* parent = nullptr);
    ~KELLockWatch() override;

    // Listens on the given buses (those that are connected).
    void Start(const QDBusConnection& session = QDBusConnection::sessionBus(),
               const QDBusConnection& system = QDBusConnection::systemBus());
    // Idle time after which LockRequested is sent; 0 switches it off.
    void SetIdleInterval(qint64 ms);
    qint64 IdleInterval() const { return interval_; }
    // Time without input: the desktop's where it can be read, else our windows'.
    qint64 IdleTime() const;
    // The logind session whose Lock is listened to; empty without one.
    QString LogindSession() const { return logindSession_; }

signals:
    void LockRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private slots:
    void ScreenSaverActiveChanged(bool active);
    void SessionLock();

private:
    void IdleCheck();
    void ArmIdleTimer(qint64 ms);
    void WatchLogindSession(const QDBusConnection& system);

    QTimer idleTimer_;
    QElapsedTimer lastInput_;
    qint64 interval_ = 0;
    QString logindSession_;
};

// Milliseconds since the last input anywhere on the X display; -1 where the
// X server's screen-saver extension cannot be asked.
qint64 DesktopIdleTime();
