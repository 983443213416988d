// The tray icon, hiding to the tray and restoring, the hot key messages,
// minimising to the tray, the login on restoring and the help topics.
#include "ScriptedResponder.h"
#include "TestSettings.h"

#include "app/HelpWindow.h"
#include "app/Login.h"
#include "app/Main.h"
#include "kellib/Kelcodepage.h"
#include "kellib/qt/KELSysHook.h"
#include "kellib/qt/Kelhtmlhelp.h"
#include "kellib/qt/Kelhotkey.h"
#include "kellib/qt/Kelregistry.h"
#include "kellib/qt/Keltrayicon.h"
#include "lunar/CalendarGrid.h"

#include <QAction>
#include <QFrame>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

ScriptedResponder::DialogScript login(const char* password)
{
    return [=](QDialog* d) {
        auto* form = static_cast<TFormLogin*>(d);
        form->EditPassword->setText(QString::fromUtf8(password));
        form->ButtonOk->click();
    };
}

ScriptedResponder::DialogScript cancelLogin()
{
    return [](QDialog* d) { static_cast<TFormLogin*>(d)->ButtonCancel->click(); };
}

QStringList menuTexts(QMenu* menu)
{
    QStringList out;
    for (QAction* a : menu->actions())
        out << (a->isSeparator() ? QStringLiteral("-") : a->text());
    return out;
}

size_t ansiSize(const QString& text)
{
    return Utf8ToAnsi(text.toStdString()).size();
}

} // namespace

class TestTray : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<ScriptedResponder> responder_;
    std::unique_ptr<TFormMain> form_;
    bool area_ = true;   // the desktop has a notification area

    TFormMain* start()
    {
        form_ = std::make_unique<TFormMain>(nullptr);
        SetAppMainWindow(form_.get());
        form_->FormCreate(QString());
        return form_.get();
    }
    // A database with password "pw" is open.
    void openDatabase()
    {
        responder_->dialogs << login("pw");
        QVERIFY(form_->OpenDatabase(dir_->path() + "/t.vldb", true, false));
    }
    void sendKey(qint64 key, qint64 flags)
    {
        KELHookMessage message(MSG_HOOK_KEY, key, flags);
        QCoreApplication::sendEvent(form_.get(), &message);
    }
    void pressHotKey()
    {
        for (const auto& [key, flags] : KELHotKey::KeySequence())
            sendKey(key, flags);
    }
    bool panelsVisible() const
    {
        return !form_->findChild<QFrame*>("PanelMain")->isHidden() && !form_->findChild<QFrame*>("PanelNav")->isHidden();
    }

private slots:
    void init()
    {
        dir_ = std::make_unique<QTemporaryDir>();
        UseSettingsIn(dir_->path());
        responder_ = std::make_unique<ScriptedResponder>();
        area_ = true;
        KELTrayIcon::SetAreaProbe([this] { return area_; });
    }
    void cleanup()
    {
        if (form_)
            form_->close();
        form_.reset();
        KELTrayIcon::SetAreaProbe(nullptr);
        responder_.reset();
        dir_.reset();
    }

    void trayIconTipAndMenu()
    {
        TFormMain* form = start();
        QVERIFY(form->Tray()->Created() && form->Tray()->Added());
        QCOMPARE(form->TrayIcon()->toolTip(), QString("Vaultleaf"));
        QCOMPARE(form->TrayIcon()->contextMenu(), form->findChild<QMenu*>("PopupMenuTray"));
        form->TrayMouseMove();
        const lunar::LunarCalendar today;
        const QString expected = "Vaultleaf\n今天是：\n◎ 公历 "
                                 + QString::fromStdString(AnsiToUtf8(today.SolarDateText())) + "\n◎ "
                                 + QString::fromStdString(AnsiToUtf8(today.LunarDateText()));
        QCOMPARE(form->TrayIcon()->toolTip(), expected);
        QCOMPARE(menuTexts(form->findChild<QMenu*>("PopupMenuTray")),
                 (QStringList{"关于(&A)", "-", "日历", "-", "窗口最小化 Shift+Ctrl+F12", "恢复窗口时需要登录", "-",
                              "退出(&X)"}));
        // Offscreen there is no hot key: the window menu says so.
        auto* unavailable = form->findChild<QAction*>("ActionHotKeyUnavailable");
        QVERIFY(unavailable && unavailable->isVisible());
        QVERIFY(form->findChild<QMenu*>("MenuItemWindow")->actions().contains(unavailable));
    }

    void tipLimitsInCodePageBytes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("limit");
        QTest::addColumn<QString>("tip");
        const QString a63(63, 'a'), a64(64, 'a'), a200(200, 'a');
        const QString han32 = QString("日").repeated(32), han70 = QString("日").repeated(70);
        QTest::newRow("63 bytes kept") << a63 << true << a63;
        QTest::newRow("64 bytes cut to 63") << a64 << true << a63;
        QTest::newRow("no limit keeps 64") << a64 << false << a64;
        QTest::newRow("field of 127 bytes") << a200 << false << QString(127, 'a');
        QTest::newRow("field also with limit") << a200 << true << a63;
        QTest::newRow("never half a character") << han32 << true << QString("日").repeated(31);
        QTest::newRow("127 bytes of two-byte characters") << han70 << false << QString("日").repeated(63);
        QTest::newRow("mixed") << QString("a") + han32 << true << QString("a") + QString("日").repeated(31);
    }
    void tipLimitsInCodePageBytes()
    {
        QFETCH(QString, text);
        QFETCH(bool, limit);
        QFETCH(QString, tip);
        KELTrayIcon tray;
        tray.CreateIcon("Vaultleaf NOTIFY_MSG_RUN", QIcon());
        tray.SetTip(text, limit);
        QCOMPARE(tray.Tip(), tip);
        QVERIFY(ansiSize(tray.Tip()) <= (limit ? 63u : 127u));
    }

    void iconIndexAndRemoval()
    {
        KELTrayIcon tray;
        QVERIFY(!tray.SetIconIndex(0));   // nothing created
        tray.CreateIcon("Vaultleaf NOTIFY_MSG_RUN", QIcon());
        QVERIFY(tray.SetIconIndex(0));
        QVERIFY(!tray.SetIconIndex(1));
        QVERIFY(!tray.SetIconIndex(-1));
        tray.RemoveIcon();
        QVERIFY(!tray.Created() && !tray.Added() && !tray.Icon());
        QVERIFY(!tray.SetIconIndex(0));
    }

    void noAreaAddsTheIconLater()
    {
        area_ = false;
        KELTrayIcon tray;
        tray.CreateIcon("Vaultleaf NOTIFY_MSG_RUN", QIcon());
        QVERIFY(tray.Created() && !tray.Added());
        tray.SetTip("Vaultleaf");
        QVERIFY(!tray.Added());
        area_ = true;   // a panel with a notification area has started
        tray.SetTip("Vaultleaf");
        QVERIFY(tray.Added());
    }

    void toggleHidesAndRestores()
    {
        TFormMain* form = start();
        form->UpdateActions();
        QVERIFY(form->WindowShown());
        QCOMPARE(form->ActionToggleMinimize->text(), QString("窗口最小化 Shift+Ctrl+F12"));
        QVERIFY(form->ActionToggleMinimize->isEnabled());
        form->ActionToggleMinimize->trigger();
        QVERIFY(!form->isVisible() && !form->Shown() && !panelsVisible());
        form->UpdateActions();
        QCOMPARE(form->ActionToggleMinimize->text(), QString("恢复窗口 Shift+Ctrl+F12"));
        QVERIFY(!form->ActionNewDB->isEnabled());   // most commands wait for the window
        emit form->Tray()->Clicked();               // left click on the icon
        QVERIFY(form->isVisible() && form->Shown() && panelsVisible());
        form->ActionToggleMinimize->trigger();
        form_->close();
        form_.reset();
        QCOMPARE(ReadString("Default", "Visible"), QString("false"));
        QVERIFY(!start()->isVisible());   // starts in the tray
    }

    void withoutAreaTheWindowStaysOnTheTaskbar()
    {
        area_ = false;
        WriteBool("Default", "Visible", false);
        TFormMain* form = start();
        QVERIFY(form->isVisible() && form->isMinimized());   // reachable, not lost
        QVERIFY(!form->WindowShown() && !panelsVisible());
        form->UpdateActions();
        QCOMPARE(form->ActionToggleMinimize->text(), QString("恢复窗口 Shift+Ctrl+F12"));
        form->ActionToggleMinimize->trigger();
        QVERIFY(form->WindowShown() && !form->isMinimized() && panelsVisible());
        form->ActionToggleMinimize->trigger();
        QVERIFY(form->isMinimized() && !form->WindowShown());
        form_->close();
        form_.reset();
        QCOMPARE(ReadString("Default", "Visible"), QString("false"));
    }

    void restoringFromTheTaskbarAsksForLogin()
    {
        area_ = false;
        TFormMain* form = start();
        openDatabase();
        form->ActionMinimizedAskForLogin->setChecked(true);
        form->ActionToggleMinimize->trigger();
        QVERIFY(form->isMinimized() && !form->WindowShown());
        responder_->dialogs << cancelLogin();
        form->setWindowState(Qt::WindowNoState);   // the taskbar button
        QTRY_VERIFY(form->isMinimized());
        QVERIFY(!form->WindowShown() && !panelsVisible());
        responder_->dialogs << login("pw");
        form->setWindowState(Qt::WindowNoState);
        QTRY_VERIFY(form->WindowShown());
        QCOMPARE(responder_->dialogsRun, 3);
    }

    void minimisingGoesToTheTray()
    {
        TFormMain* form = start();
        form->setWindowState(Qt::WindowMinimized);   // the title bar button
        QTRY_VERIFY(!form->isVisible());
        QVERIFY(!form->Shown());
        form->ActionToggleMinimize->trigger();
        QVERIFY(form->isVisible() && !form->isMinimized() && form->Shown());
    }

    void hotKeySequence()
    {
        TFormMain* form = start();
        QTRY_COMPARE(QGuiApplication::applicationState(), Qt::ApplicationActive);
        // F12 released with only Ctrl held: nothing.
        sendKey(VK_CONTROL, 0);
        sendKey(VK_F12, KEY_UP_FLAG);
        sendKey(VK_CONTROL, KEY_UP_FLAG);
        QVERIFY(form->WindowShown());
        // Shift down, Ctrl down, F12 up: the active window hides, then comes back.
        pressHotKey();
        QVERIFY(!form->isVisible());
        pressHotKey();
        QVERIFY(form->WindowShown());
        // Shift released before F12: nothing.
        sendKey(VK_SHIFT, 0);
        sendKey(VK_CONTROL, 0);
        sendKey(VK_SHIFT, KEY_UP_FLAG);
        sendKey(VK_F12, KEY_UP_FLAG);
        QVERIFY(form->WindowShown());
        sendKey(VK_CONTROL, KEY_UP_FLAG);
    }

    void hotKeyWithLoginRequired()
    {
        TFormMain* form = start();
        openDatabase();
        form->ActionMinimizedAskForLogin->setChecked(true);
        QTRY_COMPARE(QGuiApplication::applicationState(), Qt::ApplicationActive);
        pressHotKey();
        QVERIFY(!form->isVisible());
        form->UpdateActions();
        QVERIFY(!form->ActionMinimizedAskForLogin->isEnabled());   // not from the tray
        QVERIFY(form->ActionToggleMinimize->isEnabled());

        responder_->dialogs << cancelLogin();
        pressHotKey();
        QVERIFY(!form->isVisible());
        responder_->dialogs << [](QDialog* d) {
            auto* f = static_cast<TFormLogin*>(d);
            f->EditPassword->setText("wrong");
            f->ButtonOk->click();   // refused with a box; the dialog stays
            f->ButtonCancel->click();
        };
        pressHotKey();
        QVERIFY(!form->isVisible());
        QCOMPARE(responder_->texts().size(), 1);
        responder_->dialogs << login("pw");
        pressHotKey();
        QVERIFY(form->WindowShown());
        QCOMPARE(responder_->dialogsRun, 4);   // the remembered password is never used
        form->UpdateActions();
        QVERIFY(form->ActionMinimizedAskForLogin->isEnabled());
    }

    void hiddenWindowStaysHiddenWhileTheLoginShows()
    {
        TFormMain* form = start();
        openDatabase();
        form->ActionMinimizedAskForLogin->setChecked(true);
        form->ActionToggleMinimize->trigger();
        QVERIFY(!form->isVisible());
        // A second start asks for the window while the restoring login is open.
        responder_->dialogs << [form](QDialog* d) {
            KELHookMessage show(MSG_SHOW_INSTANCE, 0, 0);
            QCoreApplication::sendEvent(form, &show);
            QVERIFY(!form->isVisible());
            form->UpdateActions();
            QVERIFY(!form->ActionToggleMinimize->isEnabled());
            static_cast<TFormLogin*>(d)->ButtonCancel->click();
        };
        form->UpdateActions();
        form->ActionToggleMinimize->trigger();
        QCOMPARE(responder_->dialogsRun, 2);
        QVERIFY(!form->isVisible() && !form->Shown());
    }

    void toggleDisabledWhileAModalWindowIsOpen()
    {
        TFormMain* form = start();
        QDialog modal(form);
        modal.setModal(true);
        modal.show();
        QTRY_VERIFY(QApplication::activeModalWidget() == &modal);
        form->UpdateActions();
        QVERIFY(!form->ActionToggleMinimize->isEnabled());
        pressHotKey();   // the hot key goes through the same rule
        QVERIFY(form->WindowShown());
        modal.close();
        form->UpdateActions();
        QVERIFY(form->ActionToggleMinimize->isEnabled());
    }

    void helpTopicsOpenTheInstalledPages()
    {
        const QString saved = HelpFile();
        SetHelpFile(VAULTLEAF_SOURCE_DIR "/help");
        TFormMain* form = start();
        form->ActionHelp->trigger();
        QVERIFY(ShowHelpTopic("/html/login.htm"));
        QVERIFY(ShowHelpTopic("/html/filemonitor.htm"));
        QVERIFY(!ShowHelpTopic("/html/none.htm"));
        QVERIFY(!ShowHelpTopic("/../help/html/index.htm"));
        QCOMPARE(responder_->shells.size(), 3);
        QCOMPARE(responder_->shells[0].file,
                 QUrl::fromLocalFile(VAULTLEAF_SOURCE_DIR "/help/html/index.htm").toString());
        QVERIFY(responder_->shells[1].file.endsWith("/html/login.htm"));
        SetHelpFile(dir_->path() + "/nohelp");   // not installed: nothing happens
        form->ActionHelp->trigger();
        QCOMPARE(responder_->shells.size(), 3);
        QVERIFY(responder_->boxes.isEmpty());
        SetHelpFile(saved);
    }

    // With the program's help window, topics show in its own web view (no
    // browser, never through the desktop's program for web pages); a link
    // leaving the help folder goes to the desktop's browser.
    void helpOpensInItsOwnWindow()
    {
        const QString saved = HelpFile();
        SetHelpFile(VAULTLEAF_SOURCE_DIR "/help");
        TFormMain* form = start();
        InstallHelpWindow();
        form->ActionHelp->trigger();
        auto* help = form->findChild<TFormHelp*>(QStringLiteral("TFormHelp"));
        QVERIFY(help);
        QVERIFY(help->isVisible());
        QCOMPARE(help->View()->url(), QUrl::fromLocalFile(VAULTLEAF_SOURCE_DIR "/help/html/index.htm"));
        QTRY_COMPARE(help->View()->title(), QStringLiteral("Vaultleaf 帮助"));
        QVERIFY(ShowHelpTopic("/html/login.htm"));
        QCOMPARE(form->findChildren<TFormHelp*>().size(), 1);
        QTRY_COMPARE(help->View()->url(), QUrl::fromLocalFile(VAULTLEAF_SOURCE_DIR "/help/html/login.htm"));
        QVERIFY(responder_->shells.isEmpty());
        help->View()->page()->runJavaScript(QStringLiteral(
            "var a = document.createElement('a'); a.href = 'https://example.com/x';"
            "document.body.appendChild(a); a.click();"));
        QTRY_COMPARE(responder_->shells.size(), 1);
        QCOMPARE(responder_->shells[0].file, QStringLiteral("https://example.com/x"));
        QCOMPARE(help->View()->url(), QUrl::fromLocalFile(VAULTLEAF_SOURCE_DIR "/help/html/login.htm"));
        SetHelpViewer(nullptr);
        SetHelpFile(saved);
    }
};

QTEST_MAIN(TestTray)
#include "tst_tray.moc"
