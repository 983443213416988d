// The window program and the command-line tool, started as a user starts
// them, are not dumpable (their /proc entries then belong to root, not to the
// user who runs them, so no other process of that user may trace them) and
// write no core files (core size limit 0). Run as root, the programs are
// started as "nobody", so the owner of their entries tells.
#include "db/CaseDB.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr uid_t kNobody = 65534;

struct ProcFacts {
    bool known = false;
    uid_t runsAs = 0;
    uid_t entryOwner = 0;
    QString coreLimit;   // "soft hard" of "Max core file size"
};

ProcFacts factsOf(qint64 pid)
{
    ProcFacts facts;
    const QString dir = QStringLiteral("/proc/%1").arg(pid);
    struct stat st;
    QFile status(dir + "/status"), limits(dir + "/limits");
    if (stat(QFile::encodeName(dir + "/status").constData(), &st) != 0 || !status.open(QIODevice::ReadOnly)
        || !limits.open(QIODevice::ReadOnly))
        return facts;
    facts.entryOwner = st.st_uid;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("Uid:"))
            facts.runsAs = line.mid(4).simplified().split(' ').value(0).toUInt();
    for (const QByteArray& line : limits.readAll().split('\n'))
        if (line.startsWith("Max core file size")) {
            const QList<QByteArray> words = line.mid(18).simplified().split(' ');
            facts.coreLimit = QString::fromLatin1(words.value(0) + ' ' + words.value(1));
        }
    facts.known = true;
    return facts;
}

// Another user may run the file: it and every folder above it let others in.
bool othersMayRun(const QString& program)
{
    struct stat st;
    QString path = QFileInfo(program).absoluteFilePath();
    while (true) {
        if (stat(QFile::encodeName(path).constData(), &st) != 0 || !(st.st_mode & S_IXOTH))
            return false;
        if (path == QLatin1String("/"))
            return true;
        path = QFileInfo(path).path();
    }
}

} // namespace

class TestHardening : public QObject {
    Q_OBJECT

private slots:
    void programsAreNotDumpable_data()
    {
        QTest::addColumn<QString>("program");
        QTest::newRow("window program") << QStringLiteral(VAULTLEAF_APP);
        QTest::newRow("command-line tool") << QStringLiteral(VAULTLEAF_CLI);
    }
    void programsAreNotDumpable()
    {
        QFETCH(QString, program);
        QTemporaryDir dir;
        const QString path = dir.path();
        // A database to list and a FIFO as the password file: the tool waits
        // on it, the window program runs its loop.
        CaseDB db;
        QCOMPARE(db.Open((path + "/h.vldb").toStdString(), true), int(CaseDB::kOpened));
        QVERIFY(db.Login("pw"));
        db.Close();
        QCOMPARE(mkfifo(QFile::encodeName(path + "/pw").constData(), 0666), 0);
        const bool asRoot = geteuid() == 0;
        if (asRoot) {   // readable for nobody
            chmod(QFile::encodeName(path).constData(), 0777);
            chmod(QFile::encodeName(path + "/h.vldb").constData(), 0644);
            if (!othersMayRun(program))
                QSKIP("the program cannot be run by another user here");
        }
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("VAULTLEAF_CONFIG_HOME", path + "/config");
        env.insert("XDG_CONFIG_HOME", path + "/xdg");
        env.insert("HOME", path);
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("QTWEBENGINE_DISABLE_SANDBOX", "1");
        env.remove("XDG_RUNTIME_DIR");
        process.setProcessEnvironment(env);
        if (asRoot)
            process.setChildProcessModifier([] {
                if (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0)
                    _exit(126);
            });
        const QStringList arguments = program == QStringLiteral(VAULTLEAF_CLI)
                                          ? QStringList{"ls", path + "/h.vldb", "--password-file", path + "/pw"}
                                          : QStringList{};
        process.start(program, arguments);
        QVERIFY(process.waitForStarted(10000));

        // Until main has run: its first step makes the process undumpable.
        ProcFacts facts;
        QElapsedTimer clock;
        clock.start();
        do {
            QTest::qWait(20);
            facts = factsOf(process.processId());
        } while (process.state() == QProcess::Running && clock.elapsed() < 20000
                 && !(facts.known && facts.entryOwner == 0 && facts.coreLimit == "0 0"));
        QVERIFY2(process.state() == QProcess::Running, "the program ended before it could be looked at");
        QVERIFY(facts.known);
        if (asRoot)
            QCOMPARE(facts.runsAs, kNobody);
        QCOMPARE(facts.coreLimit, QString("0 0"));
        QCOMPARE(facts.entryOwner, uid_t(0));   // not the user's own: not dumpable
        process.kill();
        process.waitForFinished(10000);
    }
};

QTEST_GUILESS_MAIN(TestHardening)
#include "tst_hardening.moc"
