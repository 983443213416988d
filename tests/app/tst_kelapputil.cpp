// Window functions of Kelapputil: message boxes through the layer, the name
// check's box, shell folders and shortcuts as desktop entries.
#include "ScriptedResponder.h"

#include "kellib/Kelfilelib.h"
#include "kellib/qt/Kelapputil.h"
#include "kellib/qt/Kelregistry.h"

#include <QFile>
#include <QTemporaryDir>
#include <QWidget>
#include <QtTest>

class TestKelapputil : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;

private slots:
    void initTestCase()
    {
        qputenv("VAULTLEAF_CONFIG_HOME", dir_.path().toUtf8() + "/config");
        qputenv("XDG_CONFIG_HOME", dir_.path().toUtf8() + "/xdg");
        SetApplicationTitle("Vaultleaf");
    }

    void messageBoxesCarryTitleAndFlags()
    {
        ScriptedResponder responder;
        responder.answers = {IDYES};
        QWidget owner;
        QCOMPARE(FormMessageBox(&owner, "问题", MB_YESNO | MB_ICONQUESTION), int(IDYES));
        QCOMPARE(AppMessageBox("信息", 0), int(IDOK));
        QCOMPARE(responder.boxes.size(), 2);
        QCOMPARE(responder.boxes[0].owner, &owner);
        QCOMPARE(responder.boxes[0].caption, QString("Vaultleaf"));
        QCOMPARE(responder.boxes[0].flags, int(MB_YESNO | MB_ICONQUESTION));
        QCOMPARE(responder.boxes[1].flags, int(MB_ICONINFORMATION));   // flags 0: information icon
    }

    void validateNameShowsItsBox_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("valid");
        QTest::newRow("bar") << "a|b" << false;
        QTest::newRow("greater") << "a>b" << false;
        QTest::newRow("slash") << "a/b" << false;
        QTest::newRow("chinese digits blanks") << "我的 笔记 2024" << true;
    }
    void validateNameShowsItsBox()
    {
        QFETCH(QString, name);
        QFETCH(bool, valid);
        ScriptedResponder responder;
        InstallNameErrorBox();
        QCOMPARE(ValidateName(name.toStdString()), valid);
        QCOMPARE(responder.boxes.size(), valid ? 0 : 1);
        if (!valid) {
            QCOMPARE(responder.boxes[0].caption, QString("错误"));
            QCOMPARE(responder.boxes[0].owner, static_cast<QWidget*>(nullptr));
            QCOMPARE(responder.boxes[0].flags & 0xF0, int(MB_ICONERROR));
            QCOMPARE(responder.boxes[0].text, QString("名称中不能包扩以下字符:\n\\ / : * ? \" < > |"));
        }
    }

    void shellFolders()
    {
        QCOMPARE(GetStartupFolder(), dir_.path() + "/xdg/autostart/");
        RootWriteString(KelRoot::CurrentUser,
                        "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", "Startup",
                        "/elsewhere/start");
        QCOMPARE(GetStartupFolder(), QString("/elsewhere/start/"));
        RootDeleteKey(KelRoot::CurrentUser, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders");
        QCOMPARE(GetShellFolder("NoSuchFolder", "Some Folder"), QDir::homePath() + "/Some Folder/");
    }

    void shortcutsAreDesktopEntries()
    {
        const QString folder = dir_.path() + "/links/";
        QVERIFY(!ShortcutExists(folder, "Vaultleaf"));
        QVERIFY(CreateShortcut(folder, "Vaultleaf", "/opt/my apps/vaultleaf", "--hidden \"a b\""));
        QVERIFY(ShortcutExists(folder, "Vaultleaf"));
        QFile entry(folder + "Vaultleaf.desktop");
        QVERIFY(entry.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(entry.readAll());
        QVERIFY(text.startsWith("[Desktop Entry]\n"));
        QVERIFY(text.contains("\nName=Vaultleaf\n"));
        QVERIFY(text.contains("\nExec=\"/opt/my apps/vaultleaf\" --hidden \"a b\"\n"));
        QVERIFY(text.contains("\nPath=/opt/my apps\n"));
        QVERIFY(DeleteShortcut(folder, "Vaultleaf"));
        QVERIFY(!ShortcutExists(folder, "Vaultleaf"));
    }

    void shellOpenGoesThroughTheLayer()
    {
        ScriptedResponder responder;
        QVERIFY(ShellOpen("open", "mailto:?subject=x", "", ""));
        QCOMPARE(responder.shells.size(), 1);
        QCOMPARE(responder.shells[0].file, QString("mailto:?subject=x"));
    }
};

QTEST_MAIN(TestKelapputil)
#include "tst_kelapputil.moc"
