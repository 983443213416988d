// Locking: after the idle time, on the desktop's screen-lock signals (sent on
// a private session bus) and on logind's Lock (a stand-in logind on a private
// bus in the system bus's place). The window hides, restoring asks for the
// password without offering the remembered one, and unsaved edits stay.
#include "NodeTestWindow.h"
#include "PrivateBus.h"

#include "app/Options.h"
#include "kellib/qt/Kellockwatch.h"
#include "kellib/qt/Keltrayicon.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QProcess>
#include <QSpinBox>
#include <QTextEdit>


namespace {

PrivateBus* sessionBus = nullptr;
PrivateBus* systemBus = nullptr;

const char* const kSessionPath = "/org/freedesktop/login1/session/_3test";

ScriptedResponder::DialogScript typePassword(const char* password)
{
    return [=](QDialog* d) {
        auto* f = static_cast<TFormLogin*>(d);
        f->EditPassword->setText(QString::fromUtf8(password));
        f->ButtonOk->click();
    };
}

} // namespace

// logind's manager as far as the watcher asks it.
class FakeLogind : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")
public slots:
    Q_SCRIPTABLE QDBusObjectPath GetSessionByPID(uint) { return QDBusObjectPath(kSessionPath); }
};

class TestLock : public QObject {
    Q_OBJECT

    QTextEdit* editor(NodeTestWindow& w) { return w.form->findChild<QTextEdit*>(QStringLiteral("RichEditText")); }
    bool hidden(NodeTestWindow& w) { return !w.form->isVisible() && !w.form->Shown(); }

private slots:
    void idleLockKeepsEditsAndAsksForThePassword()
    {
        NodeTestWindow w;
        // The password is remembered: restoring must ask for it all the same.
        QVERIFY(w.db().SetParamBool("RememberPassword", true));
        QVERIFY(w.db().Commit());
        w.reopen();
        w.responder.dialogs.clear();
        const int32_t text = w.addNode(0, "text", kNodeText, "one");
        const int32_t folder = w.addNode(0, "folder", kNodeFolder);
        w.select(w.item(text));
        editor(w)->moveCursor(QTextCursor::End);
        editor(w)->insertPlainText(QStringLiteral("更多"));
        QVERIFY(w.form->IsModified());

        w.form->LockWatch()->SetIdleInterval(150);
        QTRY_VERIFY_WITH_TIMEOUT(hidden(w), 5000);
        QVERIFY(w.form->Locked());
        w.form->LockWatch()->SetIdleInterval(0);

        int asked = w.responder.dialogsRun;
        w.responder.dialogs << [](QDialog* d) {
            auto* f = static_cast<TFormLogin*>(d);
            QVERIFY(f->EditPassword->text().isEmpty());   // no placeholder of the remembered one
            f->ButtonOk->click();                          // an empty password is refused
            f->ButtonCancel->click();
        };
        emit w.form->Tray()->Clicked();
        QCOMPARE(w.responder.dialogsRun, asked + 1);
        QVERIFY(hidden(w));
        QCOMPARE(w.responder.texts().last(), WrongPasswordText(w.db().Path()));
        w.responder.dialogs << typePassword("pw");
        emit w.form->Tray()->Clicked();
        QVERIFY(w.form->WindowShown() && !w.form->Locked());

        // The edit is still there, unsaved, and the save question comes as usual.
        QCOMPARE(editor(w)->toPlainText(), QString("one更多"));
        QVERIFY(w.form->IsModified());
        w.select(w.item(folder));
        QCOMPARE(w.responder.texts().last(), QString("您已经修改了\"text\"的内容，要保存吗？"));
        // Restoring again needs no password: only the lock asked for it.
        w.form->ActionToggleMinimize->trigger();
        asked = w.responder.dialogsRun;
        w.form->ActionToggleMinimize->trigger();
        QVERIFY(w.form->WindowShown());
        QCOMPARE(w.responder.dialogsRun, asked);
    }

    void inputPostponesTheIdleLock()
    {
        NodeTestWindow w;
        w.form->LockWatch()->SetIdleInterval(2000);
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 3000) {
            QTest::mouseMove(w.form->NavTree()->viewport(), QPoint(10 + int(clock.elapsed() % 20), 10));
            QTest::qWait(100);
            QVERIFY(w.form->WindowShown());
        }
        QTRY_VERIFY_WITH_TIMEOUT(hidden(w), 5000);
    }

    void aLockWaitsForAnOpenModalWindow()
    {
        NodeTestWindow w;
        QDialog modal(w.form.get());
        modal.setModal(true);
        modal.show();
        QTRY_VERIFY(QApplication::activeModalWidget() == &modal);
        w.form->LockWindow();
        QTest::qWait(300);
        QVERIFY(w.form->WindowShown() && modal.isVisible());   // the person's dialog is left alone
        modal.close();
        QTRY_VERIFY(hidden(w));
        QVERIFY(w.form->Locked());
    }

    void withoutATrayTheLoginTakesTheWindowsPlace()
    {
        NodeTestWindow w;
        KELTrayIcon::SetAreaProbe([] { return false; });   // a desktop without a notification area
        w.form->Tray()->RemoveIcon();
        w.form->Tray()->CreateIcon("Vaultleaf NOTIFY_MSG_RUN", QIcon());
        QVERIFY(!w.form->Tray()->Added());
        const int asked = w.responder.dialogsRun;
        w.responder.dialogs << [&](QDialog* d) {
            QVERIFY(!w.form->WindowShown());   // the content is gone while it asks
            static_cast<TFormLogin*>(d)->ButtonCancel->click();
        };
        w.form->LockWindow();
        QCOMPARE(w.responder.dialogsRun, asked + 1);
        QVERIFY(w.form->isMinimized() && !w.form->WindowShown());   // on the taskbar, still locked
        QVERIFY(w.form->Locked());
        w.responder.dialogs << typePassword("pw");
        w.form->setWindowState(Qt::WindowNoState);   // the taskbar button
        QTRY_VERIFY(w.form->WindowShown());
        QVERIFY(!w.form->Locked());
        KELTrayIcon::SetAreaProbe([] { return true; });
    }

    void withoutADatabaseNothingHides()
    {
        NodeTestWindow w;
        QVERIFY(w.form->CloseDatabase());
        w.form->LockWindow();
        QVERIFY(w.form->WindowShown() && !w.form->Locked());
    }

    void optionIsStoredAndApplied()
    {
        NodeTestWindow w;
        QCOMPARE(w.form->LockWatch()->IdleInterval(), 0);   // never, unless chosen
        w.responder.dialogs << [](QDialog* d) {
            auto* f = static_cast<TFormOption*>(d);
            QCOMPARE(f->SpinEditIdleLock->value(), 0);
            f->SpinEditIdleLock->setValue(15);
            f->ButtonOK->click();
        };
        w.form->ActionOption->trigger();
        QCOMPARE(ReadString("Default", "IdleLockMinutes"), QString("15"));
        QCOMPARE(w.form->LockWatch()->IdleInterval(), 15 * 60000);
        w.responder.dialogs << [](QDialog* d) {
            auto* f = static_cast<TFormOption*>(d);
            QCOMPARE(f->SpinEditIdleLock->value(), 15);
            f->Button5->click();   // the defaults: never
            QCOMPARE(f->SpinEditIdleLock->value(), 0);
            f->ButtonCancel->click();
        };
        w.form->ActionOption->trigger();
        QCOMPARE(w.form->LockWatch()->IdleInterval(), 15 * 60000);   // Cancel applies nothing
    }

    void screenLockSignals_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("signal");
        QTest::addColumn<bool>("locks");
        QTest::newRow("freedesktop") << "/org/freedesktop/ScreenSaver" << "org.freedesktop.ScreenSaver.ActiveChanged" << true;
        QTest::newRow("KDE's path") << "/ScreenSaver" << "org.freedesktop.ScreenSaver.ActiveChanged" << true;
        QTest::newRow("GNOME") << "/org/gnome/ScreenSaver" << "org.gnome.ScreenSaver.ActiveChanged" << true;
    }
    void screenLockSignals()
    {
        if (sessionBus->Address().isEmpty())
            QSKIP("no dbus-daemon could be started");
        QFETCH(QString, path);
        QFETCH(QString, signal);
        NodeTestWindow w;
        auto send = [&](bool active) {
            return QProcess::execute("dbus-send", {"--session", "--type=signal", path, signal,
                                                   QString("boolean:") + (active ? "true" : "false")});
        };
        QCOMPARE(send(false), 0);   // the screen saver ending locks nothing
        QTest::qWait(300);
        QVERIFY(w.form->WindowShown());
        QCOMPARE(send(true), 0);
        QTRY_VERIFY_WITH_TIMEOUT(hidden(w), 5000);
        w.responder.dialogs << typePassword("pw");
        emit w.form->Tray()->Clicked();
        QVERIFY(w.form->WindowShown());
    }

    void logindLock()
    {
        if (systemBus->Address().isEmpty())
            QSKIP("no dbus-daemon could be started");
        QDBusConnection logind = QDBusConnection::connectToBus(systemBus->Address(), "fake-logind");
        FakeLogind manager;
        QVERIFY(logind.registerService("org.freedesktop.login1"));
        QVERIFY(logind.registerObject("/org/freedesktop/login1", &manager, QDBusConnection::ExportScriptableSlots));
        NodeTestWindow w;
        QTRY_COMPARE(w.form->LockWatch()->LogindSession(), QString(kSessionPath));
        // Another session's Lock is not ours.
        logind.send(QDBusMessage::createSignal("/org/freedesktop/login1/session/other",
                                               "org.freedesktop.login1.Session", "Lock"));
        QTest::qWait(300);
        QVERIFY(w.form->WindowShown());
        logind.send(QDBusMessage::createSignal(kSessionPath, "org.freedesktop.login1.Session", "Lock"));
        QTRY_VERIFY_WITH_TIMEOUT(hidden(w), 5000);
        QVERIFY(w.form->Locked());
        logind.unregisterService("org.freedesktop.login1");
    }
};

int main(int argc, char** argv)
{
    PrivateBus session("DBUS_SESSION_BUS_ADDRESS"), system("DBUS_SYSTEM_BUS_ADDRESS");
    sessionBus = &session;
    systemBus = &system;
    QApplication app(argc, argv);
    TestLock test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_lock.moc"
