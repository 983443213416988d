#include "kellib/qt/Kellockwatch.h"

#include "kellib/qt/Kelhotkey.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QEvent>

#include <xcb/screensaver.h>
#include <xcb/xcb.h>

#include <unistd.h>

#include <cstdlib>

namespace {

const QString kLogindService = QStringLiteral("org.freedesktop.login1");

bool IsUserInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::TouchBegin:
    case QEvent::TabletPress:
        return true;
    default:
        return false;
    }
}

} // namespace

qint64 DesktopIdleTime()
{
    xcb_connection_t* c = X11Connection();
    if (!c)
        return -1;
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    if (!screen)
        return -1;
    xcb_screensaver_query_info_reply_t* info =
        xcb_screensaver_query_info_reply(c, xcb_screensaver_query_info(c, screen->root), nullptr);
    if (!info)
        return -1;   // the server lacks the extension
    const qint64 idle = info->ms_since_user_input;
    std::free(info);
    return idle;
}

KELLockWatch::KELLockWatch(QObject* parent) : QObject(parent)
{
    idleTimer_.setSingleShot(true);
    connect(&idleTimer_, &QTimer::timeout, this, &KELLockWatch::IdleCheck);
    lastInput_.start();
    if (QCoreApplication* app = QCoreApplication::instance())
        app->installEventFilter(this);
}

KELLockWatch::~KELLockWatch() = default;

void KELLockWatch::Start(const QDBusConnection& session, const QDBusConnection& system)
{
    // Any sender and any path: KDE sends from /ScreenSaver, others from
    // /org/freedesktop/ScreenSaver. A false signal can only lock the window.
    if (session.isConnected()) {
        QDBusConnection bus = session;
        for (const QString& interface :
             {QStringLiteral("org.freedesktop.ScreenSaver"), QStringLiteral("org.gnome.ScreenSaver")})
            bus.connect(QString(), QString(), interface, QStringLiteral("ActiveChanged"), this,
                        SLOT(ScreenSaverActiveChanged(bool)));
    }
    if (system.isConnected())
        WatchLogindSession(system);
}

// The session is asked for without waiting: a slow system bus never holds up the start.
void KELLockWatch::WatchLogindSession(const QDBusConnection& system)
{
    QDBusMessage call = QDBusMessage::createMethodCall(kLogindService, QStringLiteral("/org/freedesktop/login1"),
                                                       QStringLiteral("org.freedesktop.login1.Manager"),
                                                       QStringLiteral("GetSessionByPID"));
    call << static_cast<uint>(getpid());
    auto* watcher = new QDBusPendingCallWatcher(system.asyncCall(call, 5000), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, system](QDBusPendingCallWatcher* w) {
        const QDBusPendingReply<QDBusObjectPath> reply = *w;
        w->deleteLater();
        if (reply.isError())
            return;   // not in a logind session
        logindSession_ = reply.value().path();
        QDBusConnection bus = system;
        bus.connect(kLogindService, logindSession_, QStringLiteral("org.freedesktop.login1.Session"),
                    QStringLiteral("Lock"), this, SLOT(SessionLock()));
    });
}

void KELLockWatch::SetIdleInterval(qint64 ms)
{
    interval_ = qMax<qint64>(0, ms);
    if (interval_ == 0)
        idleTimer_.stop();
    else
        ArmIdleTimer(interval_);
}

void KELLockWatch::ArmIdleTimer(qint64 ms)
{
    idleTimer_.start(static_cast<int>(qBound(qint64(1), ms, qint64(INT32_MAX))));
}

qint64 KELLockWatch::IdleTime() const
{
    const qint64 desktop = DesktopIdleTime();
    return desktop >= 0 ? desktop : lastInput_.elapsed();
}

// Looked at when the interval could be over; input meanwhile moves the
// next look to when the new idle time would reach it.
void KELLockWatch::IdleCheck()
{
    if (interval_ == 0)
        return;
    const qint64 idle = IdleTime();
    if (idle >= interval_) {
        emit LockRequested();
        ArmIdleTimer(interval_);
        return;
    }
    ArmIdleTimer(interval_ - idle);
}

bool KELLockWatch::eventFilter(QObject* watched, QEvent* event)
{
    if (IsUserInput(event->type()))
        lastInput_.restart();
    return QObject::eventFilter(watched, event);
}

void KELLockWatch::ScreenSaverActiveChanged(bool active)
{
    if (active)
        emit LockRequested();
}

void KELLockWatch::SessionLock()
{
    emit LockRequested();
}
