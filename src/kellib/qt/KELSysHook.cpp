#include "kellib/qt/KELSysHook.h"

#include "kellib/qt/Kelregistry.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <QWidget>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

// Frame: message, wParam, lParam (int32, int64, int64), data length, data.
// The receiver answers one byte, 1, once the message is posted.
constexpr qint64 kMaxSharedData = 64 * 1024;
constexpr int kConnectWaitMs = 5000;

// A folder only this user can use: the XDG runtime folder, else a private
// folder of ours in the temporary folder (mode 0700, ours, not a link).
// usable is false when that folder is someone else's.
QString runtimeFolder(bool& usable)
{
    usable = true;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir())
        return runtime;
    const QString folder = QDir::tempPath() + QStringLiteral("/vaultleaf-") + QString::number(::getuid());
    const QByteArray native = QFile::encodeName(folder);
    ::mkdir(native.constData(), 0700);
    struct stat st {};
    usable = ::lstat(native.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid()
             && (st.st_mode & 077) == 0;
    return folder;
}

// One channel per user and settings folder, so test runs never meet a
// running program. Empty when the folder is not usable.
QString channelBase(const QString& name, QString* attempted = nullptr)
{
    bool usable = false;
    const QString folder = runtimeFolder(usable);
    const QByteArray hash = QCryptographicHash::hash(SettingsFolder().toUtf8(),
                                                     QCryptographicHash::Sha1).toHex().left(12);
    const QString base = folder + QLatin1Char('/') + name + QLatin1Char('-')
                         + QString::number(::getuid()) + QLatin1Char('-') + QString::fromLatin1(hash);
    if (attempted)
        *attempted = base;
    return usable ? base : QString();
}

bool readFrame(QLocalSocket& socket, qint32& message, qint64& wParam, qint64& lParam, QByteArray& data)
{
    QElapsedTimer timer;
    timer.start();
    QByteArray bytes;
    qint64 needed = 4 + 8 + 8 + 4;
    while (bytes.size() < needed) {
        if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(int(qMax<qint64>(1, 2000 - timer.elapsed()))))
            return false;
        bytes += socket.read(needed - bytes.size());
        if (bytes.size() == 24 && needed == 24) {
            QDataStream in(bytes);
            qint32 length = 0;
            in >> message >> wParam >> lParam >> length;
            if (length < 0 || length > kMaxSharedData)
                return false;
            needed += length;
        }
    }
    data = bytes.mid(24);
    return true;
}

} // namespace

QEvent::Type KELHookMessage::EventType()
{
    static const QEvent::Type type = QEvent::Type(QEvent::registerEventType());
    return type;
}

KELHookMessage::KELHookMessage(int message, qint64 wParam, qint64 lParam)
    : QEvent(EventType()), Message(message), WParam(wParam), LParam(lParam)
{
}

KELSysHook::KELSysHook() = default;

KELSysHook::~KELSysHook()
{
    Unload();
}

bool KELSysHook::Load(const QString& name)
{
    if (loaded_)
        return true;
    QString attempted;
    const QString base = channelBase(name, &attempted);
    channel_ = attempted + QLatin1String(".sock");
    if (base.isEmpty())
        return false;
    loaded_ = true;
    return true;
}

void KELSysHook::Unload()
{
    RemoveHook();
    loaded_ = false;
}

bool KELSysHook::InstallHook(QWidget* window, int message)
{
    Q_UNUSED(message);   // key events come from the hot-key grab, not from here
    if (!loaded_)
        return false;
    RemoveHook();
    window_ = window;
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    // The instance mutex says no other instance lives; a socket left by a
    // crashed one is stale.
    QLocalServer::removeServer(channel_);
    if (!server_->listen(channel_))
        return true;   // runs on without hand-over
    connect(server_, &QLocalServer::newConnection, this, &KELSysHook::acceptConnection);
    return true;
}

void KELSysHook::RemoveHook()
{
    if (server_) {
        server_->close();
        delete server_;
        server_ = nullptr;
    }
    window_.clear();
}

void KELSysHook::acceptConnection()
{
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        qint32 message = 0;
        qint64 wParam = 0, lParam = 0;
        QByteArray data;
        if (readFrame(*socket, message, wParam, lParam, data) && window_) {
            shared_ = data;
            QCoreApplication::postEvent(window_, new KELHookMessage(message, wParam, lParam));
            socket->write("\1", 1);
            socket->waitForBytesWritten(1000);
        }
        socket->disconnectFromServer();
        socket->deleteLater();
    }
}

bool KELSysHook::SendMessageToInstaller(int message, qint64 wParam, qint64 lParam)
{
    if (!loaded_)
        return false;
    QLocalSocket socket;
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        socket.connectToServer(channel_);
        if (socket.waitForConnected(1000))
            break;
        if (timer.elapsed() > kConnectWaitMs)
            return false;
        QThread::msleep(100);   // the first instance may not listen yet
    }
    QByteArray frame;
    QDataStream out(&frame, QIODevice::WriteOnly);
    out << qint32(message) << qint64(wParam) << qint64(lParam) << qint32(shared_.size());
    frame += shared_;
    socket.write(frame);
    if (!socket.waitForBytesWritten(2000))
        return false;
    if (!socket.waitForReadyRead(5000))
        return false;
    return socket.read(1) == QByteArray("\1", 1);
}

bool KELSysHook::PutSharedData(const QByteArray& bytes)
{
    if (!loaded_ || bytes.size() > kMaxSharedData)
        return false;
    shared_ = bytes;
    return true;
}

bool KELSysHook::GetSharedData(QByteArray& buffer, qint64 count)
{
    if (!loaded_ || count < 0 || count > kMaxSharedData)
        return false;
    buffer = shared_.left(count);
    buffer.append(QByteArray(count - buffer.size(), '\0'));
    return true;
}

bool CreateInstanceMutex(const QString& name, bool& alreadyExists)
{
    alreadyExists = false;
    const QString base = channelBase(name);
    if (base.isEmpty())
        return false;
    const QByteArray path = QFile::encodeName(base + QLatin1String(".lock"));
    int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return false;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        alreadyExists = true;
        return true;
    }
    return true;   // the descriptor stays open: the lock lives with the process
}
