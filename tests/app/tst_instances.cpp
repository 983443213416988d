// Two real processes: a second start hands its argument to the running
// instance and ends; the first opens the database or imports the address.
#include "app/Login.h"
#include "db/CaseDB.h"
#include "kellib/qt/KELSysHook.h"
#include "kellib/qt/Kelregistry.h"
#include "mk/Storage.h"
#include "public/TextCrypt.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class TestInstances : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    QString db_;
    QProcess first_;

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("VAULTLEAF_CONFIG_HOME", dir_.path() + "/config");
        return env;
    }
    int runSecond(const QStringList& arguments)
    {
        QProcess second;
        second.setProcessEnvironment(environment());
        second.start(VAULTLEAF_APP, arguments);
        if (!second.waitForFinished(30000))
            return -1;
        return second.exitStatus() == QProcess::NormalExit ? second.exitCode() : -2;
    }
    template <class Condition>
    static bool waitFor(Condition condition, int ms = 30000)
    {
        QElapsedTimer timer;
        timer.start();
        while (!condition()) {
            if (timer.elapsed() > ms)
                return false;
            QTest::qWait(100);
        }
        return true;
    }
    // Rows committed to the node table, read without taking the lock the
    // running instance holds.
    int committedNodes() const
    {
        mk::Storage storage;
        if (storage.Open(db_.toStdString(), true) != mk::Status::Ok)
            return -1;
        const mk::View* nodes = storage.ViewNamed("Case");
        return nodes ? nodes->RowCount() : 0;
    }
    int openCode()
    {
        CaseDB probe;
        const int code = probe.Open(db_.toStdString(), false);
        probe.Close();
        return code;
    }

private slots:
    void initTestCase()
    {
        qputenv("VAULTLEAF_CONFIG_HOME", dir_.path().toUtf8() + "/config");
        SetProductKey("Vaultleaf");
        // A database with a remembered password, so the hand-over opens it
        // without a window.
        db_ = dir_.path() + "/handed.vldb";
        CaseDB db;
        QCOMPARE(db.Open(db_.toStdString(), true), 0);
        QVERIFY(db.Login("pw"));
        const QString key = ReadOrMakeRandomKey();
        QVERIFY(db.SetParamBool("RememberPassword", true));
        QVERIFY(db.SetParam("RememberedPassword", EncryptText(RememberKeyText(key, db_.toStdString()), "pw")));
        QVERIFY(db.Commit());
        db.Close();

        first_.setProcessEnvironment(environment());
        first_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        first_.start(VAULTLEAF_APP, {});
        QVERIFY(first_.waitForStarted());
        KELSysHook hook;
        hook.Load("Vaultleaf");
        QVERIFY(waitFor([&] { return QFileInfo::exists(hook.ChannelPath()); }));
    }
    void cleanupTestCase()
    {
        first_.kill();
        first_.waitForFinished();
    }

    void secondStartWithPathHandsItOver()
    {
        QCOMPARE(runSecond({db_}), 0);
        // The first instance logged in (the reopen list follows the login) and holds it open.
        QVERIFY(waitFor([&] { return ReadString("Default", "ReOpen") == db_ + "\r\n"; }));
        QCOMPARE(openCode(), int(CaseDB::kLockFailed));
        QCOMPARE(first_.state(), QProcess::Running);
    }

    void secondStartWithoutArgumentEnds()
    {
        QCOMPARE(runSecond({}), 0);
        QCOMPARE(first_.state(), QProcess::Running);
    }

    void secondStartWithAddressMakesUrlNode()
    {
        const int before = committedNodes();
        QCOMPARE(runSecond({"http://example.org"}), 0);
        // Wait for the commit itself: the file grows before its tail is written.
        QVERIFY(waitFor([&] { return committedNodes() > before; }));
        first_.kill();
        first_.waitForFinished();
        CaseDB db;
        QCOMPARE(db.Open(db_.toStdString(), false), 0);
        QVERIFY(db.Login("pw"));
        const std::vector<int32_t> children = db.GetChildren(0);
        QCOMPARE(children.size(), size_t(1));
        CaseNode node;
        QVERIFY(db.GetNode(children[0], node, true));
        QCOMPARE(int(node.Type), int(kNodeUrl));
        QCOMPARE(node.Caption, std::string("example.org"));
        QCOMPARE(std::string(node.Data()), std::string("http://example.org"));
    }
};

QTEST_MAIN(TestInstances)
#include "tst_instances.moc"
