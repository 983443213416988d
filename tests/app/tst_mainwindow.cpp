// The main window with a scripted responder: start-up on empty settings,
// creating, logging into, closing and reopening databases, remembered
// passwords, the password change and its cancel, the Open errors, the reopen
// list, the hand-over of paths and the pack command.
#include "ScriptedResponder.h"

#include "app/AppEntry.h"
#include "app/Chgpass.h"
#include "app/Login.h"
#include "app/Main.h"
#include "db/CaseDB.h"
#include "kellib/Kelcodepage.h"
#include "kellib/qt/KELSysHook.h"
#include "kellib/qt/Kelhtmlhelp.h"
#include "kellib/qt/Kelregistry.h"
#include "mk/Storage.h"
#include "public/TextCrypt.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QToolButton>
#include <QTextEdit>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <QLocalServer>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

#include <memory>

namespace {

// A person at the login dialog: types the password (unless null), sets the
// remember box, presses OK.
ScriptedResponder::DialogScript login(const char* password, bool remember = false)
{
    return [=](QDialog* d) {
        auto* form = static_cast<TFormLogin*>(d);
        if (password)
            form->EditPassword->setText(QString::fromUtf8(password));
        form->CheckBoxRememberPassword->setChecked(remember);
        form->ButtonOk->click();
    };
}

// Types a wrong password, reads the error, then gives up.
ScriptedResponder::DialogScript wrongThenCancel(const char* password)
{
    return [=](QDialog* d) {
        auto* form = static_cast<TFormLogin*>(d);
        form->EditPassword->setText(QString::fromUtf8(password));
        form->ButtonOk->click();
        QVERIFY(form->isVisible() || form->result() != QDialog::Accepted);
        form->ButtonCancel->click();
    };
}

QStringList menuTexts(QMenu* menu)
{
    QStringList out;
    for (QAction* a : menu->actions())
        out << (a->isSeparator() ? QStringLiteral("-") : a->text());
    return out;
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<ScriptedResponder> responder_;
    std::unique_ptr<TFormMain> form_;

    QString path(const QString& name) const { return dir_->path() + QLatin1Char('/') + name; }

    TFormMain* start(const QString& argument = QString(), KELSysHook* hook = nullptr)
    {
        form_ = std::make_unique<TFormMain>(hook);
        SetAppMainWindow(form_.get());
        form_->FormCreate(argument);
        return form_.get();
    }
    void quit()
    {
        form_->close();
        form_.reset();
    }
    // A new database whose first login set password, with remember as given.
    QString newDatabase(const QString& name, const char* password, bool remember = false)
    {
        const QString file = path(name);
        responder_->files << file;
        responder_->dialogs << login(password, remember);
        form_->ActionNewDB->trigger();
        return file;
    }
    QString treeTexts() const
    {
        QStringList out;
        for (int i = 0; i < form_->NavTree()->topLevelItemCount(); ++i)
            out << form_->NavTree()->topLevelItem(i)->text(0);
        return out.join(QLatin1Char('|'));
    }

    // A database made straight in the store, with count text nodes.
    QString storedDatabase(const QString& name, const char* password, int count)
    {
        const QString file = path(name);
        CaseDB db;
        if (db.Open(file.toStdString(), true) != 0 || !db.Login(password))
            return QString();
        for (int i = 0; i < count; ++i) {
            CaseNode node;
            node.Id = db.TakeNextId(false);
            node.Caption = "node" + std::to_string(node.Id);
            node.Type = kNodeText;
            node.SetDataFromText("content of " + node.Caption);
            if (!db.AddNode(node))
                return QString();
        }
        if (!db.Commit())
            return QString();
        db.Close();
        return file;
    }
    // Every node of file reads under password, with the content it was made with.
    static bool readsUnder(const QString& file, const char* password)
    {
        CaseDB db;
        if (db.Open(file.toStdString(), false) != 0 || !db.Login(password))
            return false;
        for (int32_t id : db.AllNodeIds()) {
            CaseNode node;
            if (!db.GetNode(id, node, true) || std::string(node.Data()) != "content of " + node.Caption)
                return false;
        }
        return true;
    }
    static QByteArray fileBytes(const QString& file)
    {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    // A window that takes hand-overs from hook.
    TFormMain* startReceiving(KELSysHook& hook)
    {
        return hook.Load("Vaultleaf") ? start(QString(), &hook) : nullptr;
    }
    // A second instance's hand-over of a path, as the channel delivers it.
    static void postHandOver(TFormMain* form, KELSysHook& hook, const QString& path)
    {
        QByteArray shared = path.toUtf8();
        shared.append('\0');
        hook.PutSharedData(shared);
        QCoreApplication::postEvent(form, new KELHookMessage(MSG_OPEN_PATH, shared.size(), 0));
    }

private slots:
    void init()
    {
        dir_ = std::make_unique<QTemporaryDir>();
        qputenv("VAULTLEAF_CONFIG_HOME", dir_->path().toUtf8() + "/config");
        qputenv("XDG_CONFIG_HOME", dir_->path().toUtf8() + "/xdg");
        responder_ = std::make_unique<ScriptedResponder>();
        SetProductKey(QStringLiteral("Vaultleaf"));
    }
    void cleanup()
    {
        if (form_)
            quit();
        responder_.reset();
        dir_.reset();
    }

    void componentsUnderTheirNames()
    {
        TFormMain* form = start();
        const char* names[] = {"CoolBarMain", "ToolBarMenu", "ToolBarMain", "ToolButtonNewSub", "PanelNav",
                               "PanelNavBar", "SBMoveUp", "SBMoveDown", "SBHideNav", "PanelTreeView", "TVNav",
                               "Splitter", "PanelMain", "PageControlMain", "StatusBar", "MainMenu",
                               "PopupMenuNav", "PopupMenuEdit", "PopupMenuTray", "PopupMenuNewSubNode",
                               "MenuItemReOpenSub", "MenuItemNewSubNode", "PopItemNewNode", "MenuItemBookmarks",
                               "TabSheetText", "TabSheetHtml", "TabSheetRTF", "TabSheetDraw", "TabSheetWave",
                               "TabSheetInfo", "RichEditText", "ListBoxInfo"};
        for (const char* name : names)
            QVERIFY2(form->findChild<QObject*>(QLatin1String(name)), name);
        QCOMPARE(form->findChild<QTreeWidget*>("TVNav"), form->NavTree());
        QCOMPARE(form->Status()->findChildren<QLabel*>(QRegularExpression("^StatusPanel")).size(), 6);
        QCOMPARE(form->Pages()->count(), 6);
        QCOMPARE(form->findChild<QToolBar*>("ToolBarMenu")->findChildren<QToolButton*>(QRegularExpression("^ToolButton")).size(), 8);
    }

    void menusAndShortcuts()
    {
        TFormMain* form = start();
        QCOMPARE(menuTexts(form->findChild<QMenu*>("MenuItemFile")),
                 (QStringList{"创建数据库(&N)", "打开数据库(&O)", "重新打开数据库", "-", "选项...", "修改数据库密码",
                              "压缩数据库", "-", "关闭数据库(&C)", "-", "退出(&X)"}));
        QCOMPARE(menuTexts(form->findChild<QMenu*>("MenuItemNode")),
                 (QStringList{"新建", "打开", "查找", "全文搜索...", "设为书签", "-", "剪切节点", "粘贴节点", "高级粘贴", "-",
                              "保存节点", "重命名", "删除", "删除所有子项", "-", "导入文件...", "导出文件...", "-",
                              "属性"}));
        QCOMPARE(menuTexts(form->findChild<QMenu*>("PopupMenuNav"))[8], QString("超级粘贴"));
        QCOMPARE(menuTexts(form->findChild<QMenu*>("MenuItemEdit")),
                 (QStringList{"撤消(&U)", "-", "复制(&C)", "剪切(&T)", "粘贴(&P)", "删除(&D)", "-", "全选(&A)", "-",
                              "插入日期标签", "插入时间标签"}));
        QCOMPARE(menuTexts(form->findChild<QMenu*>("MenuItemView")),
                 (QStringList{"隐藏导航窗口", "-", "自动回行"}));
        QCOMPARE(menuTexts(form->findChild<QMenu*>("MenuItemHelp")),
                 (QStringList{"帮助(&H)", "-", "访问软件主页", "-", "关于(&A)"}));
        struct Key { const char* action; QKeySequence key; };
        const Key keys[] = {
            {"ActionNewDB", QKeySequence("Ctrl+N")}, {"ActionOpenDB", QKeySequence("Ctrl+O")},
            {"ActionCloseDB", QKeySequence("Ctrl+F4")}, {"ActionDeleteSelNode", QKeySequence("Ctrl+Del")},
            {"ActionDeleteAllChilds", QKeySequence("Shift+Del")}, {"ActionCutNode", QKeySequence("Ctrl+Alt+X")},
            {"ActionPaste", QKeySequence("Ctrl+Alt+V")}, {"ActionNodeProp", QKeySequence("F2")},
            {"ActionFindNode", QKeySequence("Ctrl+F")}, {"ActionOpenNode", QKeySequence("Ctrl+F3")},
            {"ActionMainLayoutSplit", QKeySequence("Shift+F1")}, {"ActionSave", QKeySequence("Ctrl+S")},
            {"ActionWordWrap", QKeySequence("Ctrl+W")}, {"ActionInsertDate", QKeySequence("Ctrl+D")},
            {"ActionInsertTimestamp", QKeySequence("Ctrl+T")}, {"ActionToggleBookmark", QKeySequence("Ctrl+B")},
        };
        for (const Key& k : keys) {
            auto* action = form->findChild<QAction*>(QLatin1String(k.action));
            QVERIFY2(action, k.action);
            QCOMPARE(action->shortcut(), k.key);
        }
    }

    void firstStartOnEmptySettings()
    {
        TFormMain* form = start();
        QVERIFY(responder_->boxes.isEmpty());
        QCOMPARE(form->windowTitle(), QString("Vaultleaf"));
        QCOMPARE(QRect(form->pos(), form->size()), QRect(124, 125, 717, 503));
        QVERIFY(form->isVisible());
        QVERIFY(!form->NavTree()->isEnabled());
        QVERIFY(form->ReopenMenu()->isEmpty());
        QCOMPARE(form->TrayIcon()->toolTip(), QString("Vaultleaf"));
        form->UpdateActions();
        QVERIFY(form->ActionNewDB->isEnabled() && form->ActionOpenDB->isEnabled() && form->ActionExit->isEnabled());
        QVERIFY(!form->ActionCloseDB->isEnabled() && !form->ActionPackDB->isEnabled());
        QVERIFY(!form->ActionChangePassword->isEnabled() && !form->ActionReOpen->isEnabled());
        QVERIFY(!form->ActionSave->isEnabled() && !form->ActionFindNode->isEnabled());   // later work
        quit();
        QCOMPARE(ReadString("Default", "DBFileName"), QString());
        QCOMPARE(ReadInt("Default", "NavWidth", 0), 185);
        QCOMPARE(ReadString("Default", "Visible"), QString("true"));
        QCOMPARE(ReadString("Default", "MinimizedLogin"), QString("false"));
        QCOMPARE(ReadInt("Vaultleaf-Pos", "Width", 0), 717);
        QCOMPARE(ReadInt("Vaultleaf-Pos", "WindowState", -1), 0);
    }

    void visibleFalseStartsInTheTray()
    {
        WriteBool("Default", "Visible", false);
        TFormMain* form = start();
        QVERIFY(!form->isVisible());
        QVERIFY(!form->Shown());
        QCOMPARE(form->TrayIcon()->toolTip(), QString("Vaultleaf"));
        form->UpdateActions();
        QVERIFY(!form->ActionNewDB->isEnabled());
        QVERIFY(form->ActionExit->isEnabled());
        quit();
        QCOMPARE(ReadString("Default", "Visible"), QString("false"));
    }

    void showRequestAsksForLoginWhenRequired()
    {
        WriteBool("Default", "Visible", false);
        WriteBool("Default", "MinimizedLogin", true);
        TFormMain* form = start();
        QVERIFY(form->ActionMinimizedAskForLogin->isChecked());
        responder_->dialogs << login("pw");
        QVERIFY(form->OpenDatabase(path("m.vldb"), true, false));
        QVERIFY(!form->isVisible());

        KELHookMessage show(MSG_SHOW_INSTANCE, 0, 0);
        responder_->dialogs << [](QDialog* d) { static_cast<TFormLogin*>(d)->ButtonCancel->click(); };
        QCoreApplication::sendEvent(form, &show);
        QVERIFY(!form->isVisible());   // the login was refused

        responder_->dialogs << login("pw");
        QCoreApplication::sendEvent(form, &show);
        QVERIFY(form->isVisible());
        QVERIFY(form->Shown());
        form->UpdateActions();
        QVERIFY(form->ActionMinimizedAskForLogin->isEnabled());
    }

    void newDatabaseLoginCloseAndReopen()
    {
        TFormMain* form = start();
        const QString file = newDatabase("notes.vldb", "秘密");
        QVERIFY(form->Database().IsOpen());
        QCOMPARE(form->windowTitle(), "Vaultleaf - " + file);
        QCOMPARE(treeTexts(), QString("回收站|我的公文包"));
        QCOMPARE(form->NavTree()->currentItem()->text(0), QString("我的公文包"));
        QCOMPARE(ReadString("Default", "ReOpen"), file + "\r\n");
        form->UpdateActions();
        QVERIFY(form->ActionCloseDB->isEnabled() && form->ActionPackDB->isEnabled());

        form->ActionCloseDB->trigger();
        QVERIFY(!form->Database().IsOpen());
        QCOMPARE(form->windowTitle(), QString("Vaultleaf"));
        QCOMPARE(form->NavTree()->topLevelItemCount(), 0);
        QVERIFY(!form->NavTree()->isEnabled());

        // Reopen from the list; the first password is now the password.
        QCOMPARE(form->ReopenMenu()->actions().first()->text(), "&0 " + file);
        responder_->dialogs << login("秘密");
        form->ReopenMenu()->actions().first()->trigger();
        QVERIFY(form->Database().IsOpen());
        QVERIFY(responder_->boxes.isEmpty());

        // Closing with the recycle bin selected remembers it.
        form->NavTree()->setCurrentItem(form->NavTree()->topLevelItem(0));
        form->CloseDatabase();
        responder_->dialogs << login("秘密");
        QVERIFY(form->OpenDatabase(file, false, false));
        QCOMPARE(form->NavTree()->currentItem()->text(0), QString("回收站"));

        quit();   // the last database is remembered for the next start
        QCOMPARE(ReadString("Default", "DBFileName"), file);
    }

    void wrongPasswordIsRefused()
    {
        TFormMain* form = start();
        const QString file = newDatabase("a.vldb", "right");
        form->CloseDatabase();
        responder_->dialogs << wrongThenCancel("wrong");
        QVERIFY(!form->OpenDatabase(file, false, false));
        QCOMPARE(responder_->texts(), QStringList{"密码不对，不能打开数据库：" + file + "。"});
        QCOMPARE(responder_->boxes.first().flags & 0xF0, int(MB_ICONERROR));
        QCOMPARE(responder_->boxes.first().caption, QString("Vaultleaf"));
        QVERIFY(!form->Database().IsOpen());
        QCOMPARE(form->windowTitle(), QString("Vaultleaf"));
    }

    void rememberedPasswordLogsInAutomatically()
    {
        start();
        const QString file = newDatabase("r.vldb", "pw", true);
        QCOMPARE(ReadString("Default", "RandomKey").size(), 12);
        quit();

        // Start-up reopens it with no window at all.
        TFormMain* form = start();
        QVERIFY(form->Database().IsOpen());
        QCOMPARE(responder_->dialogsRun, 1);   // only the first login
        QVERIFY(form->Database().GetParamBool("RememberPassword", false));
        const std::string held = form->Database().GetParam("RememberedPassword", "");
        QVERIFY(!held.empty());
        // Enciphered, not plain (a random cipher text may contain "pw" by chance).
        QVERIFY(held != "pw");
        QCOMPARE(DecryptText(RememberKeyText(ReadString("Default", "RandomKey"), file.toStdString()), held),
                 std::string("pw"));

        // From the menu the dialog shows, with the placeholder; OK logs in.
        form->CloseDatabase();
        responder_->dialogs << [](QDialog* d) {
            auto* f = static_cast<TFormLogin*>(d);
            QCOMPARE(f->EditPassword->text(), QString(24, '*'));
            QVERIFY(f->CheckBoxRememberPassword->isChecked());
            QCOMPARE(f->windowTitle(), QString("Vaultleaf - 登录"));
            f->ButtonOk->click();
        };
        QVERIFY(form->OpenDatabase(file, false, false));
        QCOMPARE(form->Password(), std::string("pw"));

        // Another RandomKey (another machine account) makes automatic login ask.
        form->CloseDatabase();
        WriteString("Default", "RandomKey", "AAAAAAAAAAA=");
        responder_->dialogs << wrongThenCancel("nope");
        QVERIFY(!form->OpenDatabase(file, false, true));
        QCOMPARE(responder_->dialogsRun, 3);
    }

    void uncheckingRememberClearsIt()
    {
        TFormMain* form = start();
        const QString file = newDatabase("u.vldb", "pw", true);
        form->CloseDatabase();
        responder_->dialogs << login(nullptr, false);   // the placeholder stays, the box is cleared
        QVERIFY(form->OpenDatabase(file, false, false));
        QCOMPARE(form->Database().GetParam("RememberPassword", ""), std::string("False"));
        QCOMPARE(form->Database().GetParam("RememberedPassword", "x"), std::string());
    }

    void emptyPasswordOnFirstLogin()
    {
        TFormMain* form = start();
        const QString file = newDatabase("e.vldb", "");
        form->CloseDatabase();
        responder_->dialogs << login("");
        QVERIFY(form->OpenDatabase(file, false, false));
    }

    // A cancelled first login takes the file just made away again; a database
    // that was there before stays.
    void cancelledFirstLoginLeavesNoFile()
    {
        TFormMain* form = start();
        const auto cancel = [](QDialog* d) { static_cast<TFormLogin*>(d)->ButtonCancel->click(); };
        const QString file = path("gone.vldb");
        responder_->files << file;
        responder_->dialogs << cancel;
        form->ActionNewDB->trigger();
        QVERIFY(!form->Database().IsOpen());
        QVERIFY(!QFileInfo::exists(file));
        QVERIFY(!QFileInfo::exists(file + ".lock"));

        const QString kept = newDatabase("kept.vldb", "pw");
        QVERIFY(form->CloseDatabase());
        responder_->dialogs << cancel;
        QVERIFY(!form->OpenDatabase(kept, false, false));
        QVERIFY(QFileInfo(kept).size() > 0);
    }

    // Every password the change dialog sets can be typed into the login: both
    // fields share one limit.
    void longPasswordCanBeTypedAgain()
    {
        TFormMain* form = start();
        const QString file = newDatabase("long.vldb", "old");
        const QString longPassword(40, QLatin1Char('p'));
        responder_->dialogs << [&](QDialog* d) {
            auto* f = static_cast<TFormChangePassword*>(d);
            QCOMPARE(f->EditNewPass->maxLength(), kPasswordMaxLength);
            f->EditOldPass->setText("old");
            f->EditNewPass->setText(longPassword);
            f->EditVerifyPass->setText(longPassword);
            f->ButtonOk->click();
        };
        responder_->answers << IDYES;
        form->UpdateActions();
        form->ActionChangePassword->trigger();
        QVERIFY(responder_->texts().contains("密码修改成功。"));
        QVERIFY(form->CloseDatabase());
        responder_->dialogs << [&](QDialog* d) {
            auto* f = static_cast<TFormLogin*>(d);
            QCOMPARE(f->EditPassword->maxLength(), kPasswordMaxLength);
            f->EditPassword->setText(longPassword);
            f->ButtonOk->click();
        };
        QVERIFY(form->OpenDatabase(file, false, false));
    }

    // An empty new password is asked about first; No keeps the old one.
    void emptyNewPasswordAsksFirst()
    {
        TFormMain* form = start();
        newDatabase("empty.vldb", "old");
        const auto change = [](QDialog* d) {
            auto* f = static_cast<TFormChangePassword*>(d);
            f->EditOldPass->setText("old");
            f->ButtonOk->click();
        };
        const QString question = QStringLiteral("新密码为空，数据库将不再受密码保护。确定吗？");
        responder_->answers << IDNO;
        responder_->dialogs << change;
        form->UpdateActions();
        form->ActionChangePassword->trigger();
        QCOMPARE(responder_->texts(), QStringList{question});
        QCOMPARE(responder_->boxes.last().flags & 0xF, int(MB_YESNO));
        QVERIFY(form->Database().Login("old"));

        responder_->answers << IDYES << IDYES;
        responder_->dialogs << change;
        form->ActionChangePassword->trigger();
        QVERIFY(responder_->texts().contains("密码修改成功。"));
        QVERIFY(form->Database().Login(""));
    }

    void changePasswordChecks_data()
    {
        QTest::addColumn<QString>("oldPass");
        QTest::addColumn<QString>("newPass");
        QTest::addColumn<QString>("verify");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("focus");
        QTest::newRow("differ") << "old" << "new1" << "new2" << "两次输入的新密码不相同，请重输。" << "EditNewPass";
        QTest::newRow("same") << "old" << "old" << "old" << "新密码与旧密码不能相同。" << "EditNewPass";
        QTest::newRow("wrong old") << "bad" << "new" << "new" << "旧密码不对，请重输。" << "EditOldPass";
    }
    void changePasswordChecks()
    {
        QFETCH(QString, oldPass);
        QFETCH(QString, newPass);
        QFETCH(QString, verify);
        QFETCH(QString, message);
        QFETCH(QString, focus);
        TFormMain* form = start();
        newDatabase("c.vldb", "old");
        form->show();
        TFormChangePassword dialog(form, form->Database());
        dialog.show();
        dialog.EditOldPass->setText(oldPass);
        dialog.EditNewPass->setText(newPass);
        dialog.EditVerifyPass->setText(verify);
        dialog.ButtonOk->click();
        QCOMPARE(responder_->texts(), QStringList{message});
        QCOMPARE(responder_->boxes.first().flags & 0xF0, int(MB_ICONERROR));
        QCOMPARE(QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : dialog.focusWidget()->objectName(), focus);
        QVERIFY(dialog.isVisible());
    }

    void changePasswordAndCancelHalfway()
    {
        TFormMain* form = start();
        const QString file = newDatabase("p.vldb", "old", true);
        CaseDB& db = form->Database();
        for (int i = 0; i < 6; ++i) {
            CaseNode node;
            node.Id = db.TakeNextId(false);
            node.Caption = "node";
            node.Type = kNodeText;
            node.SetDataFromText("content");
            QVERIFY(db.AddNode(node));
        }
        QVERIFY(db.Commit());

        // Cancel while records are re-enciphered: confirm, then Yes to cancelling.
        responder_->answers = {IDYES, IDYES};
        responder_->dialogs << [](QDialog* d) {
            auto* f = static_cast<TFormChangePassword*>(d);
            f->EditOldPass->setText("old");
            f->EditNewPass->setText("new");
            f->EditVerifyPass->setText("new");
            QTimer::singleShot(0, f, [f] {
                QVERIFY(!f->Idle());
                QVERIFY(f->ProgressBar->isVisible() || !f->isVisible());
                QVERIFY(!f->ButtonOk->isEnabled());
                f->ButtonCancel->click();
            });
            f->ButtonOk->click();
        };
        form->UpdateActions();
        form->ActionChangePassword->trigger();
        QCOMPARE(responder_->texts(),
                 (QStringList{"修改密码时所有数据需要重新加密，这可能需要较长时间，确认要修改吗？",
                              "修改密码还没有完成，确认要取消吗？", "密码修改失败，密码和数据已恢复。"}));
        QVERIFY(db.Login("old"));
        CaseNode node;
        QVERIFY(db.GetNode(1, node, true));
        QCOMPARE(std::string(node.Data()), std::string("content"));

        // A change that runs to its end; the remembered password follows it.
        responder_->boxes.clear();
        responder_->answers = {IDYES};
        responder_->dialogs << [](QDialog* d) {
            auto* f = static_cast<TFormChangePassword*>(d);
            f->EditOldPass->setText("old");
            f->EditNewPass->setText("new");
            f->EditVerifyPass->setText("new");
            f->ButtonOk->click();
        };
        form->ActionChangePassword->trigger();
        QCOMPARE(responder_->texts().last(), QString("密码修改成功。"));
        QVERIFY(db.Login("new"));
        QVERIFY(!db.Login("old"));
        form->CloseDatabase();
        const int before = responder_->dialogsRun;
        QVERIFY(form->OpenDatabase(file, false, true));   // remembered new password
        QCOMPARE(responder_->dialogsRun, before);
    }

    void openErrors()
    {
        TFormMain* form = start();
        const QString missing = path("missing.vldb");
        const QString foreign = path("foreign.vldb");
        QFile f(foreign);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("this is not a database of ours, just text\n");
        f.close();
        const QString locked = path("locked.vldb");
        CaseDB other;
        QCOMPARE(other.Open(locked.toStdString(), true), 0);
        const QString folder = path("folder.vldb");
        QDir().mkpath(folder);

        struct Case { QString file; QString text; };
        const Case cases[] = {
            {missing, "数据库文件\"" + missing + "\"不存在。"},
            {locked, "数据库文件\"" + locked + "\"已经被打开，不能重复打开。"},
            {foreign, "文件\"" + foreign + "\"的格式不对。"},
            {folder, "文件\"" + folder + "\"的格式不对。"},   // only regular files are databases
        };
        for (const Case& c : cases) {
            responder_->boxes.clear();
            QVERIFY(!form->OpenDatabase(c.file, false, false));
            QCOMPARE(responder_->texts(), QStringList{c.text});
            QCOMPARE(responder_->boxes.first().flags & 0xF0, int(MB_ICONERROR));
            QCOMPARE(responder_->boxes.first().owner, static_cast<QWidget*>(form));
            QCOMPARE(form->windowTitle(), QString("Vaultleaf"));
        }
        QCOMPARE(responder_->dialogsRun, 0);
        QVERIFY(ReadString("Default", "ReOpen").isEmpty());
        // The foreign file is left as it was.
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("this is not a database of ours, just text\n"));
    }

    void lastDatabaseMissingAtStart()
    {
        const QString gone = path("gone.vldb");
        WriteString("Default", "DBFileName", gone);
        TFormMain* form = start();
        QCOMPARE(responder_->texts(), QStringList{"上次打开的数据库文件\"" + gone + "\"不存在。"});
        QVERIFY(!form->Database().IsOpen());
    }

    void newOnExistingFileOpensIt()
    {
        TFormMain* form = start();
        const QString file = newDatabase("x.vldb", "pw");
        form->CloseDatabase();
        responder_->files << file;
        responder_->dialogs << login("pw");
        form->ActionNewDB->trigger();
        QCOMPARE(responder_->texts(), QStringList{"文件[" + file + "]已经存在，不能覆盖，将打开该文件。"});
        QVERIFY(form->Database().IsOpen());
    }

    void reopenListKeepsEverything()
    {
        TFormMain* form = start();
        for (int i = 0; i < 20; ++i)
            form->UpdateReopenList(QStringLiteral("/data/db%1.vldb").arg(i));
        const QList<QAction*> items = form->ReopenMenu()->actions();
        QCOMPARE(items.size(), 15);
        QCOMPARE(items[0]->text(), QString("&0 /data/db19.vldb"));
        QCOMPARE(items[9]->text(), QString("&9 /data/db10.vldb"));
        QCOMPARE(items[10]->text(), QString("&a /data/db9.vldb"));
        QCOMPARE(items[14]->text(), QString("&e /data/db5.vldb"));
        QCOMPARE(ReadString("Default", "ReOpen").split("\r\n", Qt::SkipEmptyParts).size(), 20);
        form->UpdateReopenList("/DATA/DB3.vldb");
        QStringList stored = ReadString("Default", "ReOpen").split("\r\n", Qt::SkipEmptyParts);
        QCOMPARE(stored.size(), 20);
        QCOMPARE(stored.first(), QString("/DATA/DB3.vldb"));
        QVERIFY(!stored.contains("/data/db3.vldb"));
        QVERIFY(ReadString("Default", "ReOpen").endsWith("\r\n"));
    }

    void receivePath()
    {
        TFormMain* form = start();
        form->ReceivePath("http://example.com");
        QCOMPARE(responder_->texts(), QStringList{"请先打开数据库。"});

        const QString file = newDatabase("h.vldb", "pw");
        responder_->boxes.clear();
        form->ReceivePath("ftp://example.com/x");
        QCOMPARE(responder_->texts(), QStringList{"收到的URL(ftp://example.com/x)不符合要求。"});

        responder_->boxes.clear();
        form->ReceivePath("http://example.com");
        QVERIFY(responder_->boxes.isEmpty());
        QTreeWidgetItem* item = form->NavTree()->currentItem();
        QCOMPARE(item->text(0), QString("example.com"));
        CaseNode node;
        QVERIFY(form->Database().GetNode(item->data(0, RoleNodeId).toInt(), node, true));
        QCOMPARE(int(node.Type), int(kNodeUrl));
        QCOMPARE(node.DataBytes(), std::string("http://example.com", 19));

        form->NavTree()->setCurrentItem(form->NavTree()->topLevelItem(1));
        form->ReceivePath("http://example.com/a%20b");
        QCOMPARE(responder_->boxes.size(), 1);
        QCOMPARE(responder_->boxes.first().caption, QString("错误"));
        QCOMPARE(responder_->boxes.first().text, QString("名称中不能包扩以下字符:\n\\ / : * ? \" < > |"));
        QCOMPARE(form->NavTree()->currentItem()->text(0), QString("请输入标题"));
        QVERIFY(form->Database().GetNode(form->NavTree()->currentItem()->data(0, RoleNodeId).toInt(), node, true));
        QCOMPARE(std::string(node.Data()), std::string("http://example.com/a b"));

        // A file:// text with its blanks as %20 imports the file.
        QFile plain(path("a b.txt"));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.write("hello");
        plain.close();
        form->NavTree()->setCurrentItem(form->NavTree()->topLevelItem(1));
        form->ReceivePath("file://" + path("a%20b.txt"));
        QCOMPARE(form->NavTree()->currentItem()->text(0), QString("a b.txt"));
        QVERIFY(form->Database().GetNode(form->NavTree()->currentItem()->data(0, RoleNodeId).toInt(), node, true));
        QCOMPARE(int(node.Type), int(kNodeFile));
        QCOMPARE(node.DataBytes(), std::string("hello"));
        // So does its plain path (a file manager's "open with"); a path to nothing is refused.
        form->NavTree()->setCurrentItem(form->NavTree()->topLevelItem(1));
        responder_->boxes.clear();
        form->ReceivePath(path("a b.txt"));
        QVERIFY(responder_->boxes.isEmpty());
        QCOMPARE(form->NavTree()->currentItem()->text(0), QString("a b.txt"));
        QVERIFY(form->Database().GetNode(form->NavTree()->currentItem()->data(0, RoleNodeId).toInt(), node, true));
        QCOMPARE(node.DataBytes(), std::string("hello"));
        form->ReceivePath(path("none.txt"));
        QCOMPARE(responder_->texts(), QStringList{"收到的URL(" + path("none.txt") + ")不符合要求。"});

        // A database path in capitals opens that database.
        form->CloseDatabase();
        QFile::rename(file, path("H.VLDB"));
        responder_->dialogs << login("pw");
        form->ReceivePath(path("H.VLDB"));
        QVERIFY(form->Database().IsOpen());
        QCOMPARE(form->windowTitle(), "Vaultleaf - " + path("H.VLDB"));
    }

    void packCommand()
    {
        TFormMain* form = start();
        newDatabase("k.vldb", "pw");
        form->UpdateActions();
        responder_->answers = {IDNO};
        form->ActionPackDB->trigger();
        QCOMPARE(responder_->boxes.size(), 1);
        QVERIFY(responder_->boxes[0].text.startsWith("数据库文件大小："));
        QVERIFY(responder_->boxes[0].text.endsWith("MB\r\n压缩时间与文件大小有关。\r\n\r\n继续吗？"));
        QCOMPARE(responder_->boxes[0].flags, int(MB_YESNO | MB_ICONQUESTION | MB_TOPMOST));
        responder_->answers = {IDYES};
        form->ActionPackDB->trigger();
        QCOMPARE(responder_->boxes.size(), 3);
        QVERIFY(responder_->boxes[2].text.startsWith("数据库压缩完毕。\r\n\r\n压缩后的文件大小为"));
        QVERIFY(form->Database().IsOpen());
    }

    void secondLoginRequestReturnsAtOnce()
    {
        TFormMain* form = start();
        newDatabase("l.vldb", "pw");
        bool inner = true;
        responder_->dialogs << [&](QDialog* d) {
            std::string pw;
            inner = AskLogin(form, false, form->Database(), pw);
            QVERIFY(IsLoginShowing());
            form->UpdateActions();
            QVERIFY(!form->ActionExit->isEnabled());   // no exit while a login dialog exists
            static_cast<TFormLogin*>(d)->ButtonCancel->click();
        };
        std::string pw;
        QVERIFY(!AskLogin(form, false, form->Database(), pw));
        QVERIFY(!inner);
        QVERIFY(!IsLoginShowing());
        form->UpdateActions();
        QVERIFY(form->ActionExit->isEnabled());
    }

    // A hand-over that arrives while records are re-enciphered waits for the
    // change to end; the database commands are refused meanwhile.
    void handOverDuringPasswordChangeWaits()
    {
        KELSysHook hook;
        TFormMain* form = startReceiving(hook);
        QVERIFY(form);
        const QString first = storedDatabase("first.vldb", "old", 60);
        const QString other = storedDatabase("other.vldb", "pw", 1);
        responder_->dialogs << login("old");
        QVERIFY(form->OpenDatabase(first, false, false));

        bool refusedWhileRunning = false;
        responder_->answers = {IDYES};
        responder_->dialogs << [&](QDialog* d) {
            auto* f = static_cast<TFormChangePassword*>(d);
            f->EditOldPass->setText("old");
            f->EditNewPass->setText("new");
            f->EditVerifyPass->setText("new");
            QTimer::singleShot(0, form, [&] {
                postHandOver(form, hook, other);
                form->UpdateActions();
                refusedWhileRunning = form->Busy() && !form->ActionOpenDB->isEnabled()
                                      && !form->ActionCloseDB->isEnabled() && !form->ActionPackDB->isEnabled();
            });
            f->ButtonOk->click();
        };
        responder_->dialogs << login("pw");   // the handed-over database, afterwards
        form->UpdateActions();
        form->ActionChangePassword->trigger();
        QVERIFY(refusedWhileRunning);
        QCOMPARE(responder_->texts(),
                 (QStringList{"修改密码时所有数据需要重新加密，这可能需要较长时间，确认要修改吗？", "密码修改成功。"}));
        QTRY_COMPARE(QString::fromStdString(form->Database().Path()), other);
        QVERIFY(form->Database().IsLoggedIn());
        QVERIFY(readsUnder(first, "new"));
        QVERIFY(!readsUnder(first, "old"));
    }

    // A hand-over while a login dialog is up waits for that login; nothing is
    // written to the database being logged into before the password is given.
    void handOverWhileLoginShowingWaits()
    {
        KELSysHook hook;
        TFormMain* form = startReceiving(hook);
        QVERIFY(form);
        const QString first = storedDatabase("first.vldb", "pw", 3);
        const QString sample = storedDatabase("sample.vldb", "sample", 1);
        bool untouched = false;
        responder_->dialogs << [&](QDialog* d) {
            const QByteArray before = fileBytes(first);
            postHandOver(form, hook, sample);
            QTest::qWait(50);   // the dialog's own event loop runs meanwhile
            untouched = fileBytes(first) == before
                        && QString::fromStdString(form->Database().Path()) == first && form->Database().IsOpen();
            login("pw")(d);
        };
        responder_->dialogs << login("sample");
        QVERIFY(form->OpenDatabase(first, false, false));
        QVERIFY(untouched);
        QVERIFY(!responder_->texts().contains(WrongPasswordText(sample.toStdString())));
        QTRY_COMPARE(QString::fromStdString(form->Database().Path()), sample);
        QVERIFY(form->Database().IsLoggedIn());
        QCOMPARE(responder_->dialogsRun, 2);
        QVERIFY(readsUnder(first, "pw"));
    }

    // A hand-over waits while a modal window (a question, a dialog) is open.
    void handOverWaitsForAModalWindow()
    {
        KELSysHook hook;
        TFormMain* form = startReceiving(hook);
        QVERIFY(form);
        const QString first = storedDatabase("first.vldb", "pw", 1);
        const QString other = storedDatabase("other.vldb", "pw", 1);
        responder_->dialogs << login("pw") << login("pw");
        QVERIFY(form->OpenDatabase(first, false, false));
        QDialog question(form);
        question.setModal(true);
        question.show();
        postHandOver(form, hook, other);
        QTest::qWait(500);
        QCOMPARE(QString::fromStdString(form->Database().Path()), first);
        question.hide();
        QTRY_COMPARE(QString::fromStdString(form->Database().Path()), other);
    }

    // New asks with a save dialog, Open with an open dialog; the filter shows
    // its pattern once.
    void databaseFileDialogs()
    {
        TFormMain* form = start();
        form->UpdateActions();
        form->ActionNewDB->trigger();
        form->ActionOpenDB->trigger();
        QCOMPARE(responder_->fileRequests.size(), 2);
        QCOMPARE(responder_->fileRequests[0].title, QString("创建数据库"));
        QVERIFY(responder_->fileRequests[0].save);
        QCOMPARE(responder_->fileRequests[1].title, QString("打开数据库"));
        QVERIFY(!responder_->fileRequests[1].save);
        QCOMPARE(QtFileFilter(responder_->fileRequests[0].filter), QString("数据库文件(*.vldb)"));
    }

    void storedAutoHideLayoutAppliesAtStart()
    {
        WriteInt("Default", "MainLayout", 2);
        TFormMain* form = start();
        auto* nav = form->findChild<QFrame*>("PanelNav");
        QVERIFY(!nav->isVisibleTo(form));
        QVERIFY(form->findChild<QSplitter*>("Splitter")->indexOf(nav) < 0);
        QVERIFY(form->findChild<QFrame*>("PanelMain")->isVisible());
        QVERIFY(!form->ActionMainLayoutSplit->isChecked());
    }

    // The bookmark menu's button is usable only while the open database has
    // bookmarks; closing the database empties it.
    void bookmarkMenuFollowsTheDatabase()
    {
        TFormMain* form = start();
        auto* button = form->findChild<QToolButton*>("ToolButtonBookmarks");
        QVERIFY(button);
        QVERIFY(!button->isEnabled());
        newDatabase("b.vldb", "pw");
        QVERIFY(!button->isEnabled());
        CaseNode node;
        node.Id = form->Database().TakeNextId(false);
        node.Caption = "marked";
        QVERIFY(form->Database().AddNode(node) && form->Database().Commit());
        form->CreateSpecialItems();   // the tree shows the new node
        QVERIFY(form->SelectNodeById(node.Id));
        form->UpdateActions();
        form->ActionToggleBookmark->trigger();
        QVERIFY(button->isEnabled());
        QVERIFY(form->CloseDatabase());
        QVERIFY(!button->isEnabled());
        QVERIFY(form->findChild<QMenu*>("MenuItemBookmarks")->isEmpty());
    }

    void editDeleteRemovesSelectionOrNextCharacter()
    {
        TFormMain* form = start();
        auto* editor = form->findChild<QTextEdit*>("RichEditText");
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form));
        editor->setPlainText("abcdef");
        editor->setFocus();
        QTRY_VERIFY(editor->hasFocus());
        QTextCursor cursor = editor->textCursor();
        cursor.setPosition(1);
        cursor.setPosition(3, QTextCursor::KeepAnchor);
        editor->setTextCursor(cursor);
        form->UpdateActions();
        QVERIFY(form->ActionEditDelete->isEnabled());
        form->ActionEditDelete->trigger();
        QCOMPARE(editor->toPlainText(), QString("adef"));
        form->ActionEditDelete->trigger();
        QCOMPARE(editor->toPlainText(), QString("aef"));
        editor->setReadOnly(true);
        form->UpdateActions();
        QVERIFY(!form->ActionEditDelete->isEnabled());
    }

    // Panel 4 is as wide as the modified time needs and empty once the
    // database is closed.
    void modifiedTimePanel()
    {
        TFormMain* form = start();
        newDatabase("t.vldb", "pw");
        auto* panel = form->Status()->findChild<QLabel*>("StatusPanel4");
        auto* shown = form->findChild<QTimer*>("TimerNavChange");
        QTRY_VERIFY(!shown->isActive());   // the opening's own showing is done
        QFont large = form->Status()->font();   // a desktop with a larger font
        large.setPointSize(12);
        form->Status()->setFont(large);
        form->ShowModifiedTime("2026年12月10日 14时04分54秒");
        QCOMPARE(panel->text(), QString("修改时间:2026年12月10日 14时04分54秒"));
        QTRY_VERIFY(panel->contentsRect().width() >= panel->fontMetrics().horizontalAdvance(panel->text()));
        QVERIFY(form->CloseDatabase());
        QCOMPARE(form->Status()->PanelText(4), QString());
    }

    // A first instance that takes the hand-over but never answers: the second
    // start says so instead of ending silently.
    void secondStartWithoutAnswerSaysSo()
    {
        KELSysHook hook;
        QVERIFY(hook.Load("Vaultleaf"));
        QLocalServer hung;   // listens, never reads: the event loop of a hung program
        QLocalServer::removeServer(hook.ChannelPath());
        QVERIFY(hung.listen(hook.ChannelPath()));
        QVERIFY(!HandOverToFirstInstance(hook, path("x.vldb")));
        QCOMPARE(responder_->boxes.size(), 1);
        QCOMPARE(responder_->boxes[0].text, QString("Vaultleaf已经在运行，但是没有响应，请结束它后再启动。"));
    }

    void hookChannelRefusedSaysSo()
    {
        const QByteArray tmp = qgetenv("TMPDIR"), runtime = qgetenv("XDG_RUNTIME_DIR");
        qunsetenv("XDG_RUNTIME_DIR");
        qputenv("TMPDIR", dir_->path().toUtf8());
        const QString shared = path("vaultleaf-" + QString::number(getuid()));
        QVERIFY(QDir().mkdir(shared));
        QVERIFY(chmod(shared.toUtf8().constData(), 0755) == 0);   // readable by others: not ours alone
        KELSysHook hook;
        const bool loaded = LoadHook(hook);
        qputenv("TMPDIR", tmp);
        if (!runtime.isEmpty())
            qputenv("XDG_RUNTIME_DIR", runtime);
        QVERIFY(!loaded);
        QCOMPARE(responder_->boxes.size(), 1);
        QVERIFY(responder_->boxes[0].text.startsWith("不能装载文件" + shared + "/Vaultleaf-"));
        QVERIFY(responder_->boxes[0].text.endsWith("，相关的一些功能被关闭。"));
    }

    void helpThatCannotBeOpenedSaysSo()
    {
        SetHelpFile(QStringLiteral(VAULTLEAF_SOURCE_DIR) + "/help");
        responder_->shellStarts = false;
        QVERIFY(!ShowHelpTopic("/html/index.htm"));
        QCOMPARE(responder_->boxes.size(), 1);
        QVERIFY(responder_->boxes[0].text.startsWith("不能打开帮助文件\""));
        QCOMPARE(responder_->boxes[0].flags, int(MB_ICONERROR));
    }

    // Qt's standard dialogs and buttons speak the program's language.
    void qtTextsInChinese()
    {
        QVERIFY(InstallTranslations());
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QString("取消"));
        QVERIFY(QCoreApplication::translate("QFileDialog", "Look in:") != QString("Look in:"));
        QVERIFY(QCoreApplication::translate("QColorDialog", "&Red:") != QString("&Red:"));
        QVERIFY(QCoreApplication::translate("QFontDialog", "&Font") != QString("&Font"));
        QCOMPARE(QCoreApplication::translate("RenderViewContextMenuQt", "Back"), QString("后退"));
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
