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
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusVirtualObject>
#include <QElapsedTimer>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>


#include <cstdio>
#include <memory>

namespace {

const QString kSecrets = QStringLiteral("org.freedesktop.secrets");

PrivateBus* sessionBus = nullptr;

} // namespace

// Owns whatever path it is asked about and never answers.
class SilentService : public QDBusVirtualObject {
public:
    int calls = 0;
    QString introspect(const QString&) const override { return QString(); }
    bool handleMessage(const QDBusMessage&, const QDBusConnection&) override
    {
        ++calls;
        return true;
    }
};

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

    // Opening and creating without a remembered password never contact the
    // Secret Service; storing one does. (A service that owns the name and
    // never answers, counting what reaches it.)
    void keyringOnlyForRememberedPasswords()
    {
        if (sessionBus->Address().isEmpty())
            QSKIP("no dbus-daemon could be started");
        QVERIFY(!keyringAnswers());
        QDBusConnection fake = QDBusConnection::connectToBus(sessionBus->Address(), "fake-secrets");
        SilentService service;
        QVERIFY(fake.registerVirtualObject("/", &service, QDBusConnection::SubPath));
        QVERIFY(fake.registerService(kSecrets));
        UseSettingsIn(dir_.path() + "/silent");
        ForgetRandomKey();
        SetKeyringTimeout(300);
        CaseDB db;
        QCOMPARE(db.Open((dir_.path() + "/silent.vldb").toStdString(), true), int(CaseDB::kOpened));
        const auto typed = [](bool remember) {
            return [=](QDialog* d) {
                auto* f = static_cast<TFormLogin*>(d);
                f->EditPassword->setText("pw");
                f->CheckBoxRememberPassword->setChecked(remember);
                f->ButtonOk->click();
            };
        };
        std::string password;
        responder_->dialogs << typed(false) << typed(false);
        QVERIFY(AskLogin(nullptr, false, db, password));   // created
        QVERIFY(AskLogin(nullptr, true, db, password));    // opened at start-up
        QCOMPARE(service.calls, 0);
        responder_->dialogs << typed(true);
        QVERIFY(AskLogin(nullptr, false, db, password));
        QVERIFY(service.calls > 0);   // asked to store it
        db.Close();
        fake.unregisterService(kSecrets);
        QDBusConnection::disconnectFromBus("fake-secrets");
        SetKeyringTimeout(3000);
        UseSettingsIn(dir_.path());
        QTRY_VERIFY(!keyringAnswers());
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

        // The keyring goes away: no hang, and no key of the file's own that
        // would replace the keyring's. The login says why it asks.
        stopKeyring();
        QElapsedTimer clock;
        clock.start();
        QVERIFY(LocateRandomKey().isEmpty());
        QVERIFY2(clock.elapsed() < 3500, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(fileKey().isEmpty());
        responder_->dialogs << [](QDialog* d) {
            auto* f = static_cast<TFormLogin*>(d);
            QVERIFY(f->LabelStatus->text().endsWith(QStringLiteral("\n无法读取记住的密码：密钥环不可用。")));
            QVERIFY(f->EditPassword->text().isEmpty());   // no placeholder that would read as a wrong password
            QVERIFY(f->CheckBoxRememberPassword->isChecked());
            f->EditPassword->setText("pw");
            f->ButtonOk->click();
        };
        QVERIFY(autoLogin(db));
        QCOMPARE(responder_->dialogsRun, shown + 1);
        QVERIFY(responder_->texts().isEmpty());
        QVERIFY(fileKey().isEmpty());

        // Back at the next start: its key, under which the password is still remembered.
        QVERIFY(startKeyring());
        QProcess next;
        next.start(QCoreApplication::applicationFilePath(), {"--print-random-key"});
        QVERIFY(next.waitForFinished(10000));
        QCOMPARE(QString::fromLatin1(next.readAllStandardOutput()), key);
        stopKeyring();
    }

    void cleanupTestCase()
    {
        responder_.reset();
    }
};

int main(int argc, char** argv)
{
    // A next start of the program, as far as the key goes.
    if (argc > 1 && qstrcmp(argv[1], "--print-random-key") == 0) {
        QCoreApplication app(argc, argv);
        SetProductKey(QStringLiteral("Vaultleaf"));
        std::fputs(qPrintable(LocateRandomKey()), stdout);
        return 0;
    }
    PrivateBus bus("DBUS_SESSION_BUS_ADDRESS");
    sessionBus = &bus;
    if (bus.Address().isEmpty())
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent");
    QApplication app(argc, argv);
    TestKeyring test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_keyring.moc"
