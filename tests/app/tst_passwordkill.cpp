// A password change killed (SIGKILL) at random moments: the database opens
// afterwards with the old or the new password, and every node reads under
// that one password with its content intact. The change runs in the
// command-line tool, which shares the store's ChangePassword with the window.
#include "db/CaseDB.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <random>

namespace {

constexpr int kNodes = 60;
constexpr int kNodeBytes = 70 * 1024;   // about 4 MB in all, incompressible
constexpr int kTrials = 30;

std::string contentOf(int32_t id)
{
    std::mt19937 random(static_cast<unsigned>(id));
    std::string bytes(kNodeBytes, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random() & 0xFF);
    return bytes;
}

// Every node reads under password with the content it was made with.
bool allReadUnder(const QString& file, const std::string& password)
{
    CaseDB db;
    if (db.Open(file.toStdString(), false) != CaseDB::kOpened || !db.Login(password))
        return false;
    const std::vector<int32_t> ids = db.AllNodeIds();
    if (ids.size() != size_t(kNodes))
        return false;
    for (int32_t id : ids) {
        CaseNode node;
        if (!db.GetNode(id, node, true) || node.DataBytes() != contentOf(id))
            return false;
    }
    return true;
}

} // namespace

class TestPasswordKill : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    QString pristine_;

    QString path(const QString& name) const { return dir_.path() + QLatin1Char('/') + name; }

    void writeFile(const QString& name, const QByteArray& text)
    {
        QFile f(path(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
    bool copyPristine(const QString& to)
    {
        QFile::remove(to);
        return QFile::copy(pristine_, to);
    }
    void startChange(QProcess& process, const QString& file)
    {
        process.start(VAULTLEAF_CLI, {"passwd", file, "--password-file", path("old.txt"), "--new-password-file",
                                      path("new.txt")});
        QVERIFY(process.waitForStarted());
    }

private slots:
    void initTestCase()
    {
        writeFile("old.txt", "old\n");
        writeFile("new.txt", "new\n");
        pristine_ = path("pristine.vldb");
        CaseDB db;
        QCOMPARE(db.Open(pristine_.toStdString(), true), int(CaseDB::kOpened));
        QVERIFY(db.Login("old"));
        for (int i = 0; i < kNodes; ++i) {
            CaseNode node;
            node.Id = db.TakeNextId(false);
            node.Caption = "node";
            node.Type = kNodeFile;
            node.SetData(contentOf(node.Id));
            QVERIFY(db.AddNode(node));
        }
        QVERIFY(db.Commit());
        db.Close();
        QVERIFY(allReadUnder(pristine_, "old"));
    }

    void killedChangeLeavesOnePasswordForEveryNode()
    {
        // How long a whole change takes here, to spread the kills over it.
        const QString file = path("trial.vldb");
        QVERIFY(copyPristine(file));
        QElapsedTimer timer;
        timer.start();
        QProcess whole;
        startChange(whole, file);
        QVERIFY(whole.waitForFinished(120000));
        QCOMPARE(whole.exitCode(), 0);
        const qint64 duration = qMax<qint64>(timer.elapsed(), 20);
        QVERIFY(allReadUnder(file, "new"));

        const quint32 seed = QRandomGenerator::global()->generate();
        QRandomGenerator random(seed);
        int oldCount = 0, newCount = 0;
        for (int trial = 0; trial < kTrials; ++trial) {
            QVERIFY(copyPristine(file));
            QProcess change;
            startChange(change, file);
            const int delay = int(random.bounded(quint32(duration * 6 / 5)));
            QTest::qSleep(delay);
            change.kill();   // SIGKILL
            QVERIFY(change.waitForFinished(30000));
            const bool old = allReadUnder(file, "old"), fresh = allReadUnder(file, "new");
            QVERIFY2(old != fresh, qPrintable(QStringLiteral("trial %1 (seed %2, %3 ms): old %4, new %5")
                                                  .arg(trial).arg(seed).arg(delay).arg(old).arg(fresh)));
            (old ? oldCount : newCount)++;
        }
        qInfo("%d of %d killed changes left one password (seed %u, change %lld ms): %d old, %d new",
              oldCount + newCount, kTrials, seed, static_cast<long long>(duration), oldCount, newCount);
    }
};

QTEST_GUILESS_MAIN(TestPasswordKill)
#include "tst_passwordkill.moc"
