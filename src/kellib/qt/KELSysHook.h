// Hand-over between instances and the hook messages, over a per-user local
// socket. The first instance listens once InstallHook names its window;
// a second instance connects, sends its shared data and one message, and ends.
//
// Every message is delivered to the installing window as a KELHookMessage
// event on the user-interface thread, like a posted window message.
#pragma once

#include <QByteArray>
#include <QEvent>
#include <QObject>
#include <QPointer>
#include <QString>

class QLocalServer;
class QWidget;

enum : int {
    MSG_HOOK_KEY = 2024,
    MSG_SHOW_INSTANCE = 2025,
    MSG_OPEN_PATH = 2026,
};

class KELHookMessage : public QEvent {
public:
    static QEvent::Type EventType();
    KELHookMessage(int message, qint64 wParam, qint64 lParam);
    int Message;
    qint64 WParam;
    qint64 LParam;
};

class KELSysHook : public QObject {
    Q_OBJECT
public:
    KELSysHook();
    ~KELSysHook() override;

    // Prepares the channel named after the user and the settings folder;
    // false when no folder private to this user can be had.
    bool Load(const QString& name);
    void Unload();
    bool IsLoaded() const { return loaded_; }
    // Starts listening; messages go to window from now on.
    bool InstallHook(QWidget* window, int message);
    void RemoveHook();
    // Connects to the installing instance (waiting up to a few seconds for it
    // to listen) and delivers the message with the shared data.
    bool SendMessageToInstaller(int message, qint64 wParam, qint64 lParam);
    bool PutSharedData(const QByteArray& bytes);
    // The shared data received with the last message, count bytes of it.
    bool GetSharedData(QByteArray& buffer, qint64 count);

    // The socket path, per user and settings folder (also after a failed Load).
    QString ChannelPath() const { return channel_; }

private:
    void acceptConnection();

    bool loaded_ = false;
    QString channel_;
    QLocalServer* server_ = nullptr;
    QPointer<QWidget> window_;
    QByteArray shared_;
};

// The single-instance mutex: an exclusive lock on a per-user lock file held
// for the life of the process. alreadyExists is true when another process
// holds it. False when the lock file cannot be made (run as first instance).
bool CreateInstanceMutex(const QString& name, bool& alreadyExists);
