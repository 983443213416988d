// The key of remembered passwords in the desktop's keyring: a Secret Service
// (gnome-keyring on a private session bus, unlocked with a test password)
// takes over the key of the settings file, a remembered password keeps
// working across the move, a keyring that disappears falls back without a
// hang and the login then simply asks, and no keyring leaves the file as it was.
#include "PrivateBus.h"
#include "ScriptedResponder.h"
#include "TestSettings.h"

#include "app/Login.h"
#include "db/CaseDB.h"
#include "kellib/qt/Kelkeyring.h"
#include "kellib/qt/Kelregistry.h"
#include "public/TextCrypt.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QElapsedTimer>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>


#include <memory>

namespace {

const QString kSecrets = QStringLiteral("org.freedesktop.secrets");

PrivateBus* sessionBus = nullptr;

} // namespace

class TestKeyring : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    std::unique_ptr<ScriptedResponder> responder_;
    QProcess keyring_;

    bool keyringAnswers()
    {
        return QDBusConnection::sessionBus().interface()->isServiceRegistered(kSecrets);
    }
    // gnome-keyring-daemon with its keyrings in the test's folder, unlocked.
    bool startKeyring()
    {
        if (QStandardPaths::findExecutable("gnome-keyring-daemon").isEmpty() || sessionBus->Address().isEmpty())
            return false;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", dir_.path() + "/home");
        env.insert("XDG_DATA_HOME", dir_.path() + "/home/data");
        env.insert("XDG_RUNTIME_DIR", dir_.path() + "/runtime");
        QDir().mkpath(dir_.path() + "/home/data");
        QDir().mkpath(dir_.path() + "/runtime");
        QFile::setPermissions(dir_.path() + "/runtime", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        keyring_.setProcessEnvironment(env);
        keyring_.start("gnome-keyring-daemon", {"--foreground", "--unlock", "--components=secrets"});
        if (!keyring_.waitForStarted(5000))
            return false;
        keyring_.write("test-password");
        keyring_.closeWriteChannel();
        QElapsedTimer clock;
        clock.start();
        while (!keyringAnswers() && clock.elapsed() < 10000)
            QTest::qWait(50);
        return keyringAnswers();
    }
    void stopKeyring()
    {
        keyring_.kill();
        keyring_.waitForFinished(5000);
        QTRY_VERIFY(!keyringAnswers());
    }
    QString fileKey() { return ReadString("Default", "RandomKey"); }
    // A database at path whose password "pw" is remembered under key.
    void rememberPassword(CaseDB& db, const QString& path, const QString& key)
    {
        QCOMPARE(db.Open(path.toStdString(), true), int(CaseDB::kOpened));
        QVERIFY(db.Login("pw"));
        QVERIFY(db.SetParamBool("RememberPassword", true));
        QVERIFY(db.SetParam("RememberedPassword", EncryptText(RememberKeyText(key, db.Path()), "pw")));
        QVERIFY(db.Commit());
    }
    // As at the next start: the key is looked up afresh.
    bool autoLogin(CaseDB& db)
    {
        ForgetRandomKey();
        std::string password;
        return AskLogin(nullptr, true, db, password) && password == "pw";
    }

private slots:
    void initTestCase()
    {
        UseSettingsIn(dir_.path());
        responder_ = std::make_unique<ScriptedResponder>();
        SetKeyringTimeout(3000);
    }

    void withoutAKeyringTheFileKeepsTheKey()
    {
        QVERIFY(!keyringAnswers());
        const QString key = LocateRandomKey();
        QCOMPARE(key.size(), 12);
        QCOMPARE(fileKey(), key);
        QCOMPARE(LocateRandomKey(), key);   // kept, not made anew
        QString stored;
        QCOMPARE(KeyringRead("RandomKey", stored), KeyringAnswer::Unavailable);
    }

    void aKeyringTakesOverAndRememberedPasswordsKeepWorking()
    {
        // A key of its own: keys made in the same second are alike.
        const QString key = QStringLiteral("AAECAwQFBgc=");
        WriteString("Default", "RandomKey", key);
        CaseDB db;
        rememberPassword(db, dir_.path() + "/notes.vldb", key);
        if (!startKeyring())
            QSKIP("no gnome-keyring-daemon could be started on a private bus");
        QCOMPARE(LocateRandomKey(), key);
        QString stored;
        QCOMPARE(KeyringRead("RandomKey", stored), KeyringAnswer::Found);
        QCOMPARE(stored, key);
        QVERIFY(fileKey().isEmpty());   // moved, not copied
        const int shown = responder_->dialogsRun;
        QVERIFY(autoLogin(db));
        QCOMPARE(responder_->dialogsRun, shown);   // no dialog: the remembered password worked

        // A key the file got while the keyring was away: the keyring's is used, the copy goes.
        WriteString("Default", "RandomKey", QStringLiteral("CAkKCwwNDg8="));
        QCOMPARE(LocateRandomKey(), key);
        QVERIFY(fileKey().isEmpty());

        // The keyring goes away: no hang, a key of the file's own, and the
        // remembered password cannot be read, so the login asks.
        stopKeyring();
        QElapsedTimer clock;
        clock.start();
        const QString fallback = LocateRandomKey();
        QVERIFY2(clock.elapsed() < 3500, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(fallback.size(), 12);
        QVERIFY(fallback != key);
        QCOMPARE(fileKey(), fallback);
        responder_->dialogs << [](QDialog* d) { static_cast<TFormLogin*>(d)->ButtonCancel->click(); };
        QVERIFY(!autoLogin(db));
        QCOMPARE(responder_->dialogsRun, shown + 1);
    }

    void cleanupTestCase()
    {
        responder_.reset();
    }
};

int main(int argc, char** argv)
{
    PrivateBus bus("DBUS_SESSION_BUS_ADDRESS");
    sessionBus = &bus;
    if (bus.Address().isEmpty())
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent");
    QApplication app(argc, argv);
    TestKeyring test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_keyring.moc"
