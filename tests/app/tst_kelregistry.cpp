// Settings store on text files: value forms, damaged files, fonts, placement.
#include "kellib/qt/Kelregistry.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QWidget>
#include <QtTest>

class TestKelregistry : public QObject {
    Q_OBJECT
    QTemporaryDir* dir_ = nullptr;

    QString sectionFile(const QString& section)
    {
        return dir_->path() + "/machine/Software/Vaultleaf/" + section + ".conf";
    }
    void writeRaw(const QString& section, const QByteArray& bytes)
    {
        QDir().mkpath(QFileInfo(sectionFile(section)).path());
        QFile f(sectionFile(section));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }

private slots:
    void init()
    {
        dir_ = new QTemporaryDir;
        qputenv("VAULTLEAF_CONFIG_HOME", dir_->path().toUtf8());
        SetProductKey("Vaultleaf");
    }
    void cleanup() { delete dir_; }

    void emptyFolderReadsDefaults()
    {
        QCOMPARE(ReadString("Default", "DBFileName"), QString());
        QCOMPARE(ReadInt("Default", "NavWidth", 185), 185);
        QCOMPARE(ReadBool("Default", "Visible", true), true);
        QVERIFY(!QFile::exists(sectionFile("Default")));  // reads write nothing
    }

    void textsRoundTrip_data()
    {
        QTest::addColumn<QString>("value");
        QTest::newRow("plain") << "C:/data/notes.vldb";
        QTest::newRow("line list") << "/a.vldb\r\n/b.vldb\r\n";
        QTest::newRow("escapes") << "a\\b=c\\r\\n#x";
        QTest::newRow("chinese") << "我的公文包";
        QTest::newRow("empty") << "";
    }
    void textsRoundTrip()
    {
        QFETCH(QString, value);
        QVERIFY(WriteString("Default", "Key=Odd", value));
        QVERIFY(WriteString("Default", "Other", "x"));
        QCOMPARE(ReadString("Default", "Key=Odd"), value);
        QCOMPARE(ReadString("Default", "key=odd"), value);  // names ignore case
        QCOMPARE(ReadString("Default", "Other"), QString("x"));
    }

    void boolForms_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("def");
        QTest::addColumn<bool>("expected");
        QTest::newRow("true") << "true" << false << true;
        QTest::newRow("false") << "false" << true << false;
        QTest::newRow("capital") << "True" << true << false;
        QTest::newRow("capitals") << "TRUE" << true << false;
        QTest::newRow("missing") << "" << true << true;
        QTest::newRow("missing false") << "" << false << false;
    }
    void boolForms()
    {
        QFETCH(QString, stored);
        QFETCH(bool, def);
        QFETCH(bool, expected);
        WriteString("Default", "B", stored);
        QCOMPARE(ReadBool("Default", "B", def), expected);
    }

    void writeBoolIsLowerCase()
    {
        WriteBool("Default", "B", true);
        QCOMPARE(ReadString("Default", "B"), QString("true"));
        WriteBool("Default", "B", false);
        QCOMPARE(ReadString("Default", "B"), QString("false"));
    }

    void intForms_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("expected");
        QTest::newRow("decimal") << "185" << 185;
        QTest::newRow("system colour") << "-2147483643" << -2147483643;
        QTest::newRow("letters") << "abc" << 7;
        QTest::newRow("empty") << "" << 7;
        QTest::newRow("too large") << "99999999999" << 7;
    }
    void intForms()
    {
        QFETCH(QString, stored);
        QFETCH(int, expected);
        WriteString("Default", "I", stored);
        QCOMPARE(ReadInt("Default", "I", 7), expected);
    }

    void damagedFileReadsAsDefaults_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        static const char binary[] = "\x00\xff\xfe\x01garbage\x00=\\";
        QTest::newRow("binary") << QByteArray(binary, sizeof binary - 1);
        QTest::newRow("no separator") << QByteArray("NavWidth 300\nVisible\n");
        QTest::newRow("dangling escape") << QByteArray("NavWidth=\\");
    }
    void damagedFileReadsAsDefaults()
    {
        QFETCH(QByteArray, bytes);
        writeRaw("Default", bytes);
        QCOMPARE(ReadInt("Default", "NavWidth", 185), 185);
        QCOMPARE(ReadBool("Default", "Visible", true), true);
        // A write replaces the damaged file with a sound one.
        QVERIFY(WriteInt("Default", "NavWidth", 200));
        QCOMPARE(ReadInt("Default", "NavWidth", 185), 200);
    }

    void damagedLinesAreSkipped()
    {
        writeRaw("Default", "junk\nNavWidth=210\n\xff\xfe\nVisible=false\n");
        QCOMPARE(ReadInt("Default", "NavWidth", 185), 210);
        QCOMPARE(ReadBool("Default", "Visible", true), false);
    }

    void writeLeavesNoTemporaryAndPrivateMode()
    {
        QVERIFY(WriteString("Default", "A", "1"));
        const QStringList files = QDir(QFileInfo(sectionFile("Default")).path()).entryList(QDir::Files);
        QCOMPARE(files, QStringList{"Default.conf"});
        QCOMPARE(QFile::permissions(sectionFile("Default"))
                     & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup | QFile::WriteOther),
                 QFile::Permissions());
    }

    void unwritableFolderFailsQuietly()
    {
        QFile blocker(dir_->path() + "/machine");
        QVERIFY(blocker.open(QIODevice::WriteOnly));  // a file where the folder belongs
        blocker.close();
        QVERIFY(!WriteString("Default", "A", "1"));
        QCOMPARE(ReadString("Default", "A"), QString());
    }

    void productKeyNamesTheFolder()
    {
        SetProductKey("Other");
        WriteInt("Default", "X", 1);
        QVERIFY(QFile::exists(dir_->path() + "/machine/Software/Other/Default.conf"));
        SetProductKey("Vaultleaf");
        QCOMPARE(ReadInt("Default", "X", 0), 0);
    }

    void perUserRootAndDeleteKey()
    {
        const QString key = "Software\\Microsoft\\Internet Explorer\\MenuExt\\发送到Vaultleaf";
        QVERIFY(RootWriteString(KelRoot::CurrentUser, key, "", "/opt/vaultleaf/vaultleaf.htm"));
        QCOMPARE(RootReadString(KelRoot::CurrentUser, key, ""), QString("/opt/vaultleaf/vaultleaf.htm"));
        QCOMPARE(RootReadString(KelRoot::LocalMachine, key, ""), QString());
        QVERIFY(QFile::exists(dir_->path() + "/user/Software/Microsoft/Internet Explorer/MenuExt/发送到Vaultleaf.conf"));
        QVERIFY(RootDeleteKey(KelRoot::CurrentUser, key));
        QCOMPARE(RootReadString(KelRoot::CurrentUser, key, ""), QString());
        // A key with sub-keys is not deleted.
        RootWriteString(KelRoot::CurrentUser, "Software\\Vaultleaf\\Setup", "InstallationDir", "/x/");
        QVERIFY(!RootDeleteKey(KelRoot::CurrentUser, "Software\\Vaultleaf"));
        QCOMPARE(RootReadString(KelRoot::CurrentUser, "Software\\Vaultleaf\\Setup", "InstallationDir"),
                 QString("/x/"));
    }

    void keySegmentsCannotEscapeTheFolder()
    {
        QVERIFY(RootWriteString(KelRoot::LocalMachine, "..\\..\\evil/x", "A", "1"));
        QCOMPARE(RootReadString(KelRoot::LocalMachine, "..\\..\\evil/x", "A"), QString("1"));
        QVERIFY(QFile::exists(dir_->path() + "/machine/%2E%2E/%2E%2E/evil%2Fx.conf"));
    }

    void fontRecord()
    {
        QFont font;
        QColor color;
        QVERIFY(ReadFont("Nav", font, color));
        QCOMPARE(font.family(), QString("Arial"));
        QCOMPARE(font.pointSize(), 9);
        QCOMPARE(color, QColor(Qt::black));
        QVERIFY(!font.bold() && !font.italic() && !font.underline() && !font.strikeOut());

        QFont bold("Noto Sans CJK SC", 12);
        bold.setBold(true);
        bold.setStrikeOut(true);
        QVERIFY(WriteFont("Nav", bold, QColor(0x12, 0x34, 0x56)));
        QCOMPARE(ReadInt("Nav", "FontColor", 0), 0x563412);
        QCOMPARE(ReadInt("Nav", "FontStyle", 0), 9);
        QVERIFY(ReadFont("Nav", font, color));
        QCOMPARE(font.family(), QString("Noto Sans CJK SC"));
        QCOMPARE(font.pointSize(), 12);
        QVERIFY(font.bold() && font.strikeOut() && !font.italic());
        QCOMPARE(color, QColor(0x12, 0x34, 0x56));
    }

    void colourNumbers()
    {
        QCOMPARE(NumberToColor(0x0000FF, Qt::black), QColor(Qt::red));
        QCOMPARE(NumberToColor(int(0x80000005), Qt::green), QGuiApplication::palette().color(QPalette::Base));
        QCOMPARE(NumberToColor(int(0x80000063), Qt::green), QColor(Qt::green));
    }

    void placementClamping_data()
    {
        QTest::addColumn<int>("left");
        QTest::addColumn<int>("top");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<QRect>("expected");
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        QTest::newRow("far left") << -5000 << 10 << 700 << 500 << QRect(-600, 10, 700, 500);
        QTest::newRow("too low") << 10 << 100000 << 700 << 500 << QRect(10, screen.height() - 100, 700, 500);
        QTest::newRow("above") << 10 << -40 << 700 << 500 << QRect(10, 0, 700, 500);
        QTest::newRow("too right") << 100000 << 10 << 700 << 500 << QRect(screen.width() - 100, 10, 700, 500);
        QTest::newRow("tiny") << 200 << 10 << 10 << 3 << QRect(200, 10, 50, 50);
        QTest::newRow("tiny far left") << 10 << 10 << 10 << 3 << QRect(50, 10, 50, 50);
    }
    void placementClamping()
    {
        QFETCH(int, left);
        QFETCH(int, top);
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(QRect, expected);
        WriteInt("Vaultleaf-Pos", "Left", left);
        WriteInt("Vaultleaf-Pos", "Top", top);
        WriteInt("Vaultleaf-Pos", "Width", width);
        WriteInt("Vaultleaf-Pos", "Height", height);
        QWidget form;
        form.setWindowTitle("Vaultleaf");
        QVERIFY(RestorePlacement(&form));
        QCOMPARE(QRect(form.pos(), form.size()), expected);
    }

    void placementStateAndDefaults()
    {
        QWidget form;
        form.setWindowTitle("Vaultleaf");
        form.setGeometry(124, 125, 717, 503);
        QVERIFY(RestorePlacement(&form));  // nothing stored: the designed bounds stay
        QCOMPARE(QRect(form.pos(), form.size()), QRect(124, 125, 717, 503));
        QVERIFY(!form.isMaximized());

        WriteInt("Vaultleaf-Pos", "WindowState", 1);
        RestorePlacement(&form);
        QVERIFY(!form.isMinimized());
        WriteInt("Vaultleaf-Pos", "WindowState", 2);
        RestorePlacement(&form);
        QVERIFY(form.windowState() & Qt::WindowMaximized);
    }

    void placementRoundTrip()
    {
        QWidget form;
        form.setWindowTitle("Vaultleaf");
        form.setGeometry(200, 150, 640, 480);
        QVERIFY(SavePlacement(&form));
        QCOMPARE(ReadInt("Vaultleaf-Pos", "Width", 0), 640);
        QCOMPARE(ReadInt("Vaultleaf-Pos", "WindowState", -1), 0);
        QWidget other;
        other.setWindowTitle("Vaultleaf");
        RestorePlacement(&other);
        QCOMPARE(QRect(other.pos(), other.size()), QRect(form.pos(), form.size()));
    }
};

QTEST_MAIN(TestKelregistry)
#include "tst_kelregistry.moc"
