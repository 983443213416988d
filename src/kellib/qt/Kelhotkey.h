// KELHotKey: the system-wide hot key Shift+Ctrl+F12. On X11 a passive grab of
// the key on the root window (only that combination is taken from other
// programs); on Wayland the desktop portal's global shortcuts, where the
// compositor offers them. Each use reaches the window as the keyboard hook's
// messages would: Shift down, Ctrl down, F12 up, then Ctrl and Shift up.
#pragma once

#include <QAbstractNativeEventFilter>
#include <QDBusObjectPath>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QVariantMap>
#include <QWidget>

// The virtual-key codes and the key-up flag of MSG_HOOK_KEY.
enum : int { VK_SHIFT = 16, VK_CONTROL = 17, VK_F12 = 123 };
constexpr qint64 KEY_UP_FLAG = qint64(1) << 31;

struct xcb_connection_t;
// The X server connection of the application; null on other platforms.
xcb_connection_t* X11Connection();

class KELHotKey : public QObject, public QAbstractNativeEventFilter {
    Q_OBJECT
public:
    enum class Backend { None, X11, Portal };

    explicit KELHotKey(QObject* parent = nullptr);
    ~KELHotKey() override;

    // Starts delivering the hot key to window as `message` events; false
    // when neither the X11 grab nor the portal can be had. The portal answers
    // later: Available() turns true and AvailabilityChanged is sent then.
    bool Install(QWidget* window, int message);
    void Remove();
    bool Available() const { return available_; }
    Backend Kind() const { return backend_; }

    // The five messages of one use, as (virtual-key code, keystroke flags).
    static QList<QPair<int, qint64>> KeySequence();

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

signals:
    void AvailabilityChanged(bool available);

private slots:
    void PortalSessionResponse(uint response, const QVariantMap& results);
    void PortalBindResponse(uint response, const QVariantMap& results);
    void PortalActivated(const QDBusObjectPath& session, const QString& id, qulonglong timestamp,
                         const QVariantMap& options);

private:
    bool GrabX11();
    void UngrabX11();
    bool StartPortal();
    QString PortalRequestPath(const QString& token) const;
    void Deliver();
    void SetAvailable(bool available);

    QPointer<QWidget> window_;
    int message_ = 0;
    Backend backend_ = Backend::None;
    bool available_ = false;
    QList<quint8> keycodes_;   // the keycodes of F12 that are grabbed
    quint32 root_ = 0;
    bool grabbed_ = false;   // the key went down with Shift and Ctrl
    QString portalSession_;
};
