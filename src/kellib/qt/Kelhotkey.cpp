#include "kellib/qt/Kelhotkey.h"

#include "kellib/qt/KELSysHook.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QGuiApplication>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <cstdlib>

namespace {

constexpr xcb_keysym_t kKeysymF12 = 0xFFC9;
constexpr uint16_t kHotMods = XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL;
// Caps Lock and Num Lock must not stop the key: it is grabbed with each of them.
constexpr uint16_t kLockMods[] = {0, XCB_MOD_MASK_LOCK, XCB_MOD_MASK_2, XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2};

const QString kPortalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kShortcutsInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString kRequestInterface = QStringLiteral("org.freedesktop.portal.Request");
const QString kShortcutId = QStringLiteral("toggle-window");

// One entry of BindShortcuts' a(sa{sv}).
struct PortalShortcut {
    QString id;
    QVariantMap properties;
};

QDBusArgument& operator<<(QDBusArgument& arg, const PortalShortcut& s)
{
    arg.beginStructure();
    arg << s.id << s.properties;
    arg.endStructure();
    return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, PortalShortcut& s)
{
    arg.beginStructure();
    arg >> s.id >> s.properties;
    arg.endStructure();
    return arg;
}

} // namespace

Q_DECLARE_METATYPE(PortalShortcut)

KELHotKey::KELHotKey(QObject* parent) : QObject(parent) {}

KELHotKey::~KELHotKey()
{
    Remove();
}

QList<QPair<int, qint64>> KELHotKey::KeySequence()
{
    return {{VK_SHIFT, 0}, {VK_CONTROL, 0}, {VK_F12, KEY_UP_FLAG}, {VK_CONTROL, KEY_UP_FLAG}, {VK_SHIFT, KEY_UP_FLAG}};
}

bool KELHotKey::Install(QWidget* window, int message)
{
    Remove();
    window_ = window;
    message_ = message;
    if (GrabX11()) {
        backend_ = Backend::X11;
        SetAvailable(true);
        return true;
    }
    if (StartPortal()) {
        backend_ = Backend::Portal;
        return true;
    }
    return false;
}

void KELHotKey::Remove()
{
    if (backend_ == Backend::X11)
        UngrabX11();
    if (backend_ == Backend::Portal) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        bus.disconnect(kPortalService, kPortalPath, kShortcutsInterface, QStringLiteral("Activated"), this,
                       SLOT(PortalActivated(QDBusObjectPath, QString, qulonglong, QVariantMap)));
        if (!portalSession_.isEmpty())
            bus.call(QDBusMessage::createMethodCall(kPortalService, portalSession_,
                                                    QStringLiteral("org.freedesktop.portal.Session"),
                                                    QStringLiteral("Close")),
                     QDBus::NoBlock);
        portalSession_.clear();
    }
    backend_ = Backend::None;
    SetAvailable(false);
}

void KELHotKey::SetAvailable(bool available)
{
    if (available_ == available)
        return;
    available_ = available;
    emit AvailabilityChanged(available);
}

void KELHotKey::Deliver()
{
    if (!window_)
        return;
    for (const auto& [key, flags] : KeySequence())
        QCoreApplication::postEvent(window_, new KELHookMessage(message_, key, flags));
}

bool KELHotKey::GrabX11()
{
    xcb_connection_t* c = X11Connection();
    if (!c)
        return false;
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(c);
    if (!screen || !symbols)
        return false;
    root_ = screen->root;
    xcb_keycode_t* codes = xcb_key_symbols_get_keycode(symbols, kKeysymF12);

    bool refused = false;
    for (xcb_keycode_t* code = codes; code && *code != XCB_NO_SYMBOL; ++code) {
        keycodes_ << *code;
        for (uint16_t lock : kLockMods) {
            // owner_events false: the key reaches the root window even while
            // one of our own windows has the focus.
            xcb_void_cookie_t cookie = xcb_grab_key_checked(c, 0, root_, kHotMods | lock, *code,
                                                            XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
            if (xcb_generic_error_t* error = xcb_request_check(c, cookie)) {
                refused = true;   // another program holds the combination
                std::free(error);
            }
        }
    }
    std::free(codes);
    xcb_key_symbols_free(symbols);
    if (refused || keycodes_.isEmpty()) {
        UngrabX11();
        return false;
    }
    QCoreApplication::instance()->installNativeEventFilter(this);
    return true;
}

void KELHotKey::UngrabX11()
{
    QCoreApplication::instance()->removeNativeEventFilter(this);
    if (xcb_connection_t* c = X11Connection()) {
        for (quint8 code : keycodes_)
            for (uint16_t lock : kLockMods)
                xcb_ungrab_key(c, code, root_, kHotMods | lock);
        xcb_flush(c);
    }
    keycodes_.clear();
    grabbed_ = false;
}

bool KELHotKey::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (backend_ != Backend::X11 || eventType != "xcb_generic_event_t")
        return false;
    auto* event = static_cast<xcb_generic_event_t*>(message);
    const uint8_t type = event->response_type & 0x7F;
    if (type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE)
        return false;
    // Press and release share one layout.
    auto* key = reinterpret_cast<xcb_key_release_event_t*>(event);
    if (key->event != root_ || !keycodes_.contains(key->detail))
        return false;
    // The grab starts with Shift+Ctrl+F12 going down; its key-up counts
    // whichever modifier is let go first.
    if (type == XCB_KEY_PRESS) {
        grabbed_ = (key->state & kHotMods) == kHotMods;
    } else if (grabbed_) {
        grabbed_ = false;
        Deliver();
    }
    return true;
}

// The path of the portal's answer to a request made with token.
QString KELHotKey::PortalRequestPath(const QString& token) const
{
    QString sender = QDBusConnection::sessionBus().baseService().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    return kPortalPath + QStringLiteral("/request/") + sender + QLatin1Char('/') + token;
}

bool KELHotKey::StartPortal()
{
    if (QGuiApplication::platformName() != QLatin1String("wayland"))
        return false;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    qDBusRegisterMetaType<PortalShortcut>();
    qDBusRegisterMetaType<QList<PortalShortcut>>();
    const QString token = QStringLiteral("vaultleaf_session");
    bus.connect(kPortalService, PortalRequestPath(token), kRequestInterface, QStringLiteral("Response"), this,
                SLOT(PortalSessionResponse(uint, QVariantMap)));
    QDBusMessage call = QDBusMessage::createMethodCall(kPortalService, kPortalPath, kShortcutsInterface,
                                                       QStringLiteral("CreateSession"));
    call << QVariantMap{{QStringLiteral("handle_token"), token},
                        {QStringLiteral("session_handle_token"), QStringLiteral("vaultleaf")}};
    // A compositor without the interface answers with an error, which leaves
    // the hot key unavailable.
    return bus.send(call);
}

void KELHotKey::PortalSessionResponse(uint response, const QVariantMap& results)
{
    if (response != 0 || backend_ != Backend::Portal)
        return;
    portalSession_ = results.value(QStringLiteral("session_handle")).toString();
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.connect(kPortalService, kPortalPath, kShortcutsInterface, QStringLiteral("Activated"), this,
                SLOT(PortalActivated(QDBusObjectPath, QString, qulonglong, QVariantMap)));
    const QString token = QStringLiteral("vaultleaf_bind");
    bus.connect(kPortalService, PortalRequestPath(token), kRequestInterface, QStringLiteral("Response"), this,
                SLOT(PortalBindResponse(uint, QVariantMap)));
    const QList<PortalShortcut> shortcuts = {
        {kShortcutId, {{QStringLiteral("description"), QStringLiteral("窗口最小化/恢复窗口")},
                       {QStringLiteral("preferred_trigger"), QStringLiteral("SHIFT+CTRL+F12")}}}};
    QDBusMessage call = QDBusMessage::createMethodCall(kPortalService, kPortalPath, kShortcutsInterface,
                                                       QStringLiteral("BindShortcuts"));
    call << QVariant::fromValue(QDBusObjectPath(portalSession_)) << QVariant::fromValue(shortcuts) << QString()
         << QVariantMap{{QStringLiteral("handle_token"), token}};
    bus.send(call);
}

void KELHotKey::PortalBindResponse(uint response, const QVariantMap&)
{
    if (backend_ == Backend::Portal)
        SetAvailable(response == 0);
}

void KELHotKey::PortalActivated(const QDBusObjectPath& session, const QString& id, qulonglong, const QVariantMap&)
{
    if (backend_ == Backend::Portal && session.path() == portalSession_ && id == kShortcutId)
        Deliver();
}

xcb_connection_t* X11Connection()
{
    auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}
