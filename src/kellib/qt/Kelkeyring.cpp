#include "kellib/qt/Kelkeyring.h"

#include "kellib/qt/Kelregistry.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QEventLoop>
#include <QTimer>

#include <memory>

#ifdef VAULTLEAF_KEYCHAIN
#include <qt6keychain/keychain.h>
#endif

namespace {

int timeoutMs = 3000;

#ifdef VAULTLEAF_KEYCHAIN
struct Outcome {
    bool done = false;
    QKeychain::Error error = QKeychain::OtherError;
    QString text;
};

// Runs the job with the event loop turning (input to the windows held back)
// until it answers or the timeout passes. The jobs need this thread's loop:
// QtKeychain queues them on an executor of the thread that first used it. A
// job that answers later deletes itself and reaches no one.
Outcome Run(QKeychain::Job* job)
{
    auto outcome = std::make_shared<Outcome>();
    QEventLoop loop;
    job->setAutoDelete(true);
    job->setInsecureFallback(false);
    QObject::connect(job, &QKeychain::Job::finished, &loop, [outcome, &loop](QKeychain::Job* j) {
        outcome->error = j->error();
        if (auto* read = qobject_cast<QKeychain::ReadPasswordJob*>(j))
            outcome->text = read->textData();
        outcome->done = true;
        loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    job->start();
    if (!outcome->done)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    return *outcome;
}

// A Secret Service runs or can be started on the session bus. Asked
// directly, with the timeout, and without turning the event loop: where
// there is none (no desktop session, a test) no job is started at all.
bool SecretServiceExists()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    const QString service = QStringLiteral("org.freedesktop.secrets");
    auto ask = [&](const char* method, const QVariantList& arguments) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
            QStringLiteral("org.freedesktop.DBus"), QString::fromLatin1(method));
        call.setArguments(arguments);
        const QDBusMessage reply = bus.call(call, QDBus::Block, timeoutMs);
        return reply.type() == QDBusMessage::ReplyMessage ? reply.arguments().value(0) : QVariant();
    };
    return ask("NameHasOwner", {service}).toBool()
           || ask("ListActivatableNames", {}).toStringList().contains(service);
}
#endif

} // namespace

QString KeyringService()
{
    return QStringLiteral("Vaultleaf ") + SettingsFolder();
}

void SetKeyringTimeout(int ms)
{
    timeoutMs = ms;
}

KeyringAnswer KeyringRead(const QString& key, QString& value)
{
#ifdef VAULTLEAF_KEYCHAIN
    if (!SecretServiceExists())
        return KeyringAnswer::Unavailable;
    auto* job = new QKeychain::ReadPasswordJob(KeyringService());
    job->setKey(key);
    const Outcome outcome = Run(job);
    if (outcome.done && outcome.error == QKeychain::NoError) {
        value = outcome.text;
        return KeyringAnswer::Found;
    }
    if (outcome.done && outcome.error == QKeychain::EntryNotFound)
        return KeyringAnswer::Missing;
#else
    Q_UNUSED(key);
    Q_UNUSED(value);
#endif
    return KeyringAnswer::Unavailable;
}

bool KeyringWrite(const QString& key, const QString& value)
{
#ifdef VAULTLEAF_KEYCHAIN
    if (!SecretServiceExists())
        return false;
    auto* job = new QKeychain::WritePasswordJob(KeyringService());
    job->setKey(key);
    job->setTextData(value);
    const Outcome outcome = Run(job);
    return outcome.done && outcome.error == QKeychain::NoError;
#else
    Q_UNUSED(key);
    Q_UNUSED(value);
    return false;
#endif
}

bool KeyringDelete(const QString& key)
{
#ifdef VAULTLEAF_KEYCHAIN
    if (!SecretServiceExists())
        return false;
    auto* job = new QKeychain::DeletePasswordJob(KeyringService());
    job->setKey(key);
    const Outcome outcome = Run(job);
    return outcome.done && (outcome.error == QKeychain::NoError || outcome.error == QKeychain::EntryNotFound);
#else
    Q_UNUSED(key);
    return false;
#endif
}
