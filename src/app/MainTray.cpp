// TFormMain: the tray icon and its menu, hiding to the tray and restoring
// (with the login when required), the hot key Shift+Ctrl+F12, minimising to
// the tray, locking on the desktop's screen lock and on idle, and the
// calendar command.
#include "app/Main.h"

#include "app/CaseNodeData.h"

#include "app/Cal_form.h"
#include "app/Login.h"
#include "app/RtfPage.h"
#include "kellib/Kelcodepage.h"
#include "kellib/qt/KELSysHook.h"
#include "kellib/qt/Kelhotkey.h"
#include "kellib/qt/Kellockwatch.h"
#include "kellib/qt/Kelregistry.h"
#include "kellib/qt/Keltrayicon.h"
#include "lunar/CalendarGrid.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QFrame>
#include <QMenu>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QWebEngineView>

namespace {

const QString kMinimizeCaption = QStringLiteral("窗口最小化 Shift+Ctrl+F12");
const QString kRestoreCaption = QStringLiteral("恢复窗口 Shift+Ctrl+F12");

} // namespace

void TFormMain::ConnectTrayCommands()
{
    tray_ = new KELTrayIcon(this);
    hotKey_ = new KELHotKey(this);
    connect(tray_, &KELTrayIcon::Clicked, this, [this] {
        UpdateActions();
        ActionToggleMinimize->trigger();
    });
    connect(PopupMenuTray, &QMenu::aboutToShow, this, &TFormMain::UpdateActions);

    // Disabled while a login dialog exists or a modal window is open.
    SetUpdateRule(ActionToggleMinimize, [this] {
        ActionToggleMinimize->setText(WindowShown() ? kMinimizeCaption : kRestoreCaption);
        return !IsLoginShowing() && !(WindowShown() && QApplication::activeModalWidget());
    });
    connect(ActionToggleMinimize, &QAction::triggered, this, &TFormMain::ActionToggleMinimizeExecute);
    // The requirement cannot be switched off from the tray.
    SetUpdateRule(ActionMinimizedAskForLogin, [this] {
        return !(db_.IsOpen() && !WindowShown() && ActionMinimizedAskForLogin->isChecked());
    });
    SetUpdateRule(ActionCalendar, [] { return !IsLoginShowing(); });
    connect(ActionCalendar, &QAction::triggered, this, &TFormMain::ActionCalendarExecute);

    // Said in the window menu while no hot key could be had.
    ActionHotKeyUnavailable = new QAction(QStringLiteral("热键 Shift+Ctrl+F12 不可用"), this);
    ActionHotKeyUnavailable->setObjectName(QStringLiteral("ActionHotKeyUnavailable"));
    ActionHotKeyUnavailable->setEnabled(false);
    if (QMenu* window = findChild<QMenu*>(QStringLiteral("MenuItemWindow")))
        window->addAction(ActionHotKeyUnavailable);
    connect(hotKey_, &KELHotKey::AvailabilityChanged, ActionHotKeyUnavailable,
            [this](bool available) { ActionHotKeyUnavailable->setVisible(!available); });

    // The desktop tells of no hover over the icon: the date in the tip is
    // kept current instead (and the icon added once an area appears).
    TimerTrayTip = new QTimer(this);
    TimerTrayTip->setObjectName(QStringLiteral("TimerTrayTip"));
    TimerTrayTip->setInterval(30000);
    connect(TimerTrayTip, &QTimer::timeout, this, &TFormMain::TrayMouseMove);
    ConnectLock();
}

void TFormMain::ConnectLock()
{
    lockWatch_ = new KELLockWatch(this);
    connect(lockWatch_, &KELLockWatch::LockRequested, this, &TFormMain::LockWindow);
    lockWatch_->Start();
    TimerLock = new QTimer(this);
    TimerLock->setObjectName(QStringLiteral("TimerLock"));
    TimerLock->setSingleShot(true);
    TimerLock->setInterval(200);
    connect(TimerLock, &QTimer::timeout, this, &TFormMain::LockWindow);
}

void TFormMain::ReadLockSettings()
{
    idleLockMinutes_ = qMax(0, ReadInt(QStringLiteral("Default"), QStringLiteral("IdleLockMinutes"), 0));
    lockWatch_->SetIdleInterval(qint64(idleLockMinutes_) * 60000);
}

void TFormMain::SetIdleLockMinutes(int minutes)
{
    WriteInt(QStringLiteral("Default"), QStringLiteral("IdleLockMinutes"), qMax(0, minutes));
    ReadLockSettings();
}

// Only with a database open. The title and the status bar show nothing of
// the database at once. An open question, dialog or long operation keeps its
// answer or work: the panels behind it are hidden at once, and the rest of
// the lock follows when it ends. Then the pages and the tree give up their
// contents, and a shown window hides as by the hot key (a hidden one stays
// hidden); without a notification area the login takes its place at once.
// Restoring asks for the password.
void TFormMain::LockWindow()
{
    if (closing_)
        return;
    if (!db_.IsOpen()) {
        // Nothing to keep from view; a cover put up for a lock that waited goes.
        if (locked_ && WindowShown()) {
            Unlock();
            ShowMainWindow(true);
        }
        return;
    }
    locked_ = true;
    StatusBar->SetVeiled(true);
    UpdateTitle();
    if (busy_ > 0 || QApplication::activeModalWidget()) {
        PanelMain->hide();
        PanelNav->hide();
        TimerLock->start();
        return;
    }
    HideContents();
    if (!WindowShown())
        return;
    ShowMainWindow(false);
    // Still visible: parked on the taskbar for want of a notification area.
    if (isVisible() && MayShowWindow())
        ShowMainWindow(true);
}

// Only while no modal window or long operation may read the pages.
void TFormMain::HideContents()
{
    if (veil_.Active())
        return;
    ++updateLock_;
    veil_.HideTree(TVNav);
    --updateLock_;
    TimerNavChange->stop();
    veil_.HideEditor(RichEditText);
    veil_.HideEditor(rtfPage_->Editor());
    ShowCardInfo(nullptr);
    HTMLViewer->setHtml(QString());
    RebuildBookmarkMenu();
}

// The shown node's page shows its unsaved edits again. False when nothing
// was hidden.
bool TFormMain::RestoreContents()
{
    if (!veil_.Active())
        return false;
    QTreeWidgetItem* current = veil_.Restore();
    if (current)
        KeepSelection(current);
    ShowCardInfo(current);
    RebuildBookmarkMenu();
    ShowModifiedMark();
    return true;
}

// After the login the browser renders the shown node anew, as when its tab is chosen.
void TFormMain::Unlock()
{
    locked_ = false;
    TimerLock->stop();
    StatusBar->SetVeiled(false);
    if (RestoreContents() && PageControlMain->isTabVisible(PageControlMain->indexOf(PageOfKind(kNodeHtml))))
        ShowAsHtml(KindOf(TVNav->currentItem()) == kNodeUrl);
    UpdateTitle();
}

QSystemTrayIcon* TFormMain::TrayIcon() const
{
    return tray_->Icon();
}

void TFormMain::CreateTrayIcon()
{
    tray_->CreateIcon(QStringLiteral("Vaultleaf NOTIFY_MSG_RUN"), ImageListMenus::Icon(0));
    tray_->SetMenu(PopupMenuTray);
    tray_->SetIconIndex(0);
    tray_->SetTip(QStringLiteral("Vaultleaf"), false);
    TimerTrayTip->start();
    QTimer::singleShot(0, this, &TFormMain::TrayMouseMove);
}

void TFormMain::TrayMouseMove()
{
    const lunar::LunarCalendar today;
    tray_->SetTip(QStringLiteral("Vaultleaf\n") + QString::fromStdString(AnsiToUtf8(lunar::TodayTipText(today))),
                  false);
}

void TFormMain::InstallHotKey()
{
    ActionHotKeyUnavailable->setVisible(!hotKey_->Install(this, MSG_HOOK_KEY) || !hotKey_->Available());
}

bool TFormMain::WindowShown() const
{
    return shown_ && isVisible();
}

void TFormMain::ActionToggleMinimizeExecute()
{
    if (MayShowWindow())
        ShowMainWindow(!WindowShown());
}

void TFormMain::ActionCalendarExecute()
{
    TFormCalendar::Execute(this);
}

void TFormMain::HideWindow()
{
    // Never hidden to a notification area that does not exist: the window
    // then waits minimised on the taskbar, its content hidden all the same.
    if (tray_->Add())
        setVisible(false);
    else
        ParkMinimized();
}

void TFormMain::ParkMinimized()
{
    parking_ = true;
    showMinimized();
    parking_ = false;
}

void TFormMain::setVisible(bool visible)
{
    if (visible && !shown_ && !parking_)
        return;
    QMainWindow::setVisible(visible);
}

void TFormMain::ApplicationEventsMinimize()
{
    if (WindowShown())
        ShowMainWindow(false);
}

void TFormMain::RestoreFromTaskbar()
{
    if (shown_ || !isVisible() || isMinimized())
        return;
    if (MayShowWindow())
        ShowMainWindow(true);
    else
        ParkMinimized();
}

void TFormMain::changeEvent(QEvent* e)
{
    QMainWindow::changeEvent(e);
    if (e->type() != QEvent::WindowStateChange)
        return;
    // Acted on once the state change is over.
    if (isMinimized() && shown_)
        QTimer::singleShot(0, this, &TFormMain::ApplicationEventsMinimize);
    else if (!isMinimized() && !shown_ && isVisible())
        QTimer::singleShot(0, this, &TFormMain::RestoreFromTaskbar);
}

void TFormMain::HotKeyMessage(qint64 key, qint64 flags)
{
    const bool down = (flags & KEY_UP_FLAG) == 0;
    if (key == VK_SHIFT) {
        shiftDown_ = down;
    } else if (key == VK_CONTROL) {
        ctrlDown_ = down;
    } else if (key == VK_F12 && !down && shiftDown_ && ctrlDown_) {
        if (WindowShown() && QGuiApplication::applicationState() != Qt::ApplicationActive)
            ShowMainWindow(false);   // behind other windows: it comes back to the front
        UpdateActions();
        ActionToggleMinimize->trigger();
    }
}
