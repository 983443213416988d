#include "kellib/qt/Kelsystemtime.h"

#include <QDBusConnection>
#include <QDBusMessage>

namespace {

std::function<void(const QDateTime&)>& service()
{
    static std::function<void(const QDateTime&)> replaced;
    return replaced;
}

void askTimedated(const QDateTime& when)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.timedate1"), QStringLiteral("/org/freedesktop/timedate1"),
        QStringLiteral("org.freedesktop.timedate1"), QStringLiteral("SetTime"));
    // usec_utc, relative, interactive (lets the agent ask for the password).
    call << qint64(when.toMSecsSinceEpoch() * 1000) << false << true;
    QDBusConnection::systemBus().send(call);
}

} // namespace

void SetSystemTime(const QDateTime& when)
{
    if (service())
        service()(when);
    else
        askTimedated(when);
}

void SetSystemTimeService(std::function<void(const QDateTime&)> replaced)
{
    service() = std::move(replaced);
}
