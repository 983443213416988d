// Locking: after the idle time, on the desktop's screen-lock signals (sent on
// a private session bus) and on logind's Lock (a stand-in logind on a private
// bus in the system bus's place). The window hides, restoring asks for the
// password without offering the remembered one, and unsaved edits stay.
#include "NodeTestWindow.h"
#include "PrivateBus.h"

#include "app/Options.h"
#include "xml/CallingCard.h"
#include "kellib/qt/Kellockwatch.h"
#include "kellib/qt/Keltrayicon.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QLabel>
#include <QListWidget>
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
    // The texts the window's widgets, menus and title offer (to the eye or to accessibility).
    static QStringList shownTexts(NodeTestWindow& w)
    {
        QStringList out{w.form->windowTitle()};
        for (QLabel* label : w.form->findChildren<QLabel*>())
            out << label->text();
        for (QTextEdit* edit : w.form->findChildren<QTextEdit*>())
            out << edit->toPlainText();
        for (QLineEdit* edit : w.form->findChildren<QLineEdit*>())
            out << edit->text();
        for (QListWidget* list : w.form->findChildren<QListWidget*>())
            for (int i = 0; i < list->count(); ++i)
                out << list->item(i)->text();
        for (QTreeWidget* tree : w.form->findChildren<QTreeWidget*>())
            for (QTreeWidgetItemIterator it(tree); *it; ++it)
                out << (*it)->text(0);
        for (QMenu* menu : w.form->findChildren<QMenu*>())
            for (QAction* action : menu->actions())
                out << action->text();
        return out;
    }

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

    // While locked no widget, nor the title or the status bar, shows a text
    // of the database (what accessibility reads); after the login everything
    // is back, the unsaved edit included.
    void lockTakesTheTextsFromEveryWidget()
    {
        NodeTestWindow w;
        xml::CallingCard fields;
        fields.SetText(xml::Name, "secret name");
        const int32_t card = w.addNode(0, "secret card", kNodeCard, fields.BuildDocument());
        const int32_t text = w.addNode(0, "secret caption", kNodeText, "secret text");
        w.select(w.item(card));
        w.form->ActionToggleBookmark->trigger();
        w.select(w.item(text));
        editor(w)->moveCursor(QTextCursor::End);
        editor(w)->insertPlainText(QStringLiteral(" typed"));
        const QString title = w.form->windowTitle();
        QVERIFY(title.contains(w.file));
        QVERIFY(shownTexts(w).join('|').contains("secret"));   // what the check below looks at

        w.form->LockWindow();
        QVERIFY(hidden(w));
        for (const QString& shown : shownTexts(w))
            QVERIFY2(!shown.contains("secret"), qPrintable(shown));
        QCOMPARE(w.form->windowTitle(), QString("Vaultleaf"));
        for (int i = 0; i < TStatusBar::kPanels; ++i)
            QCOMPARE(w.form->Status()->PanelText(i), QString());

        w.responder.dialogs << typePassword("pw");
        emit w.form->Tray()->Clicked();
        QVERIFY(w.form->WindowShown() && !w.form->Locked());
        QCOMPARE(editor(w)->toPlainText(), QString("secret text typed"));
        QVERIFY(w.form->IsModified());
        QCOMPARE(w.form->Status()->PanelText(1), QString("已修改"));
        QCOMPARE(w.form->Status()->PanelText(5), QString("secret caption"));
        QCOMPARE(w.form->windowTitle(), title);
        QCOMPARE(w.tree()->currentItem()->text(0), QString("secret caption"));
        QVERIFY(w.tree()->currentItem()->parent()->isExpanded());
        QCOMPARE(w.form->findChild<QMenu*>("MenuItemBookmarks")->actions().size(), 1);
        w.responder.answers << IDYES;
        w.select(w.item(card));   // the save question, as before the lock
        QCOMPARE(w.stored(text).DataBytes(), std::string("secret text typed"));
        QVERIFY(w.form->findChild<QListWidget*>("ListBoxInfo")->count() > 0);
    }

    // A close while locked asks about the unsaved edits as usual.
    void closeWhileLockedKeepsTheEdits()
    {
        NodeTestWindow w;
        const int32_t text = w.addNode(0, "text", kNodeText, "one");
        w.select(w.item(text));
        editor(w)->insertPlainText(QStringLiteral("更多"));
        w.form->LockWindow();
        QVERIFY(hidden(w));
        w.responder.answers << IDCANCEL;
        QVERIFY(!w.form->close());
        QCOMPARE(w.responder.texts().last(), QString("您已经修改了\"text\"的内容，要保存吗？"));
        QCOMPARE(editor(w)->toPlainText(), QString());   // locked again
        w.responder.answers << IDYES;
        QVERIFY(w.form->close());
        CaseDB db;
        QCOMPARE(db.Open(w.file.toStdString(), false), int(CaseDB::kOpened));
        QVERIFY(db.Login("pw"));
        CaseNode node;
        QVERIFY(db.GetNode(text, node, true));
        QCOMPARE(AnsiToUtf8(node.DataBytes()), std::string("更多one"));
    }

    // A dialog open when the lock comes keeps its answer: what lies behind it
    // is covered at once, the rest of the lock follows when it closes. A
    // database closed meanwhile leaves nothing to lock, and the cover goes.
    void aLockWaitsForAnOpenModalWindow_data()
    {
        QTest::addColumn<bool>("closeDatabase");
        QTest::newRow("dialog closed") << false;
        QTest::newRow("database closed meanwhile") << true;
    }
    void aLockWaitsForAnOpenModalWindow()
    {
        QFETCH(bool, closeDatabase);
        NodeTestWindow w;
        QDialog modal(w.form.get());
        modal.setModal(true);
        modal.show();
        QTRY_VERIFY(QApplication::activeModalWidget() == &modal);
        w.form->LockWindow();
        QTest::qWait(300);
        QVERIFY(w.form->WindowShown() && modal.isVisible());   // the person's dialog is left alone
        QVERIFY(!w.form->findChild<QWidget*>("PanelMain")->isVisible());
        QVERIFY(!w.form->findChild<QWidget*>("PanelNav")->isVisible());
        QCOMPARE(w.form->windowTitle(), QString("Vaultleaf"));
        QCOMPARE(w.form->Status()->PanelText(0), QString());
        if (closeDatabase)
            QVERIFY(w.form->CloseDatabase());
        modal.close();
        if (closeDatabase) {
            QTRY_VERIFY(!w.form->Locked());
            QVERIFY(w.form->WindowShown());
            QVERIFY(w.form->findChild<QWidget*>("PanelMain")->isVisible());
            return;
        }
        QTRY_VERIFY(hidden(w));
        QVERIFY(w.form->Locked());
        QCOMPARE(w.tree()->topLevelItemCount(), 0);
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
