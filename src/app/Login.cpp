#include "app/Login.h"

#include "kellib/qt/Kelhtmlhelp.h"
#include "db/CaseDB.h"
#include "kellib/Kelapputil.h"
#include "kellib/Kelcodepage.h"
#include "kellib/qt/Kelapputil.h"
#include "kellib/qt/Kelkeyring.h"
#include "kellib/qt/Kelregistry.h"
#include "public/Base64.h"
#include "public/ContentKey.h"
#include "public/TextCrypt.h"
#include "public/Wipe.h"

#include <QApplication>
#include <QCheckBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScreen>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace {

QPointer<TFormLogin> showingLogin;

const QString kRememberPlaceholder(24, QLatin1Char('*'));
const QString kSection = QStringLiteral("Default");
const QString kRandomKeyName = QStringLiteral("RandomKey");
const QString kInKeyringName = QStringLiteral("RandomKeyInKeyring");

// A key text of one dialog's own, for holding what is typed without the
// key of remembered passwords.
std::string DialogKeyText()
{
    quint32 words[4];
    QRandomGenerator::system()->fillRange(words);
    std::string key = Base64Encode(std::string_view(reinterpret_cast<const char*>(words), sizeof words));
    WipeBytes(words, sizeof words);
    return key;
}

} // namespace

QString WrongPasswordText(const std::string& path)
{
    return QStringLiteral("密码不对，不能打开数据库：") + QString::fromStdString(path)
           + QStringLiteral("。");
}

// The steps between are wiped: text is usually a password.
std::string PasswordBytes(const QString& text)
{
    QByteArray utf8 = text.toUtf8();
    std::string bytes = utf8.toStdString();
    std::string ansi = Utf8ToAnsi(bytes);
    WipeBytes(utf8.data(), static_cast<size_t>(utf8.size()));
    WipeString(bytes);
    return ansi;
}

std::string RememberKeyText(const QString& randomKey, const std::string& dbPath)
{
    const QString text = randomKey + QString::fromStdString(dbPath).toLower()
                         + QString::number(TotalPhysicalMemory());
    return PasswordBytes(text);
}

namespace {

QString MakeRandomKeyText()
{
    const std::string seed = QApplication::applicationFilePath().toLower().toStdString();
    DesKey random = MakeRandomKey(seed);
    const QString key = QString::fromStdString(
        Base64Encode(std::string_view(reinterpret_cast<const char*>(random.data()), random.size())));
    WipeKey(random);
    return key;
}

} // namespace

namespace {

struct KnownKey {
    QString folder;      // of the settings store it belongs to
    QString fileValue;   // what the settings file held after the look-up
    QString key;
};
KnownKey knownKey;

} // namespace

void ForgetRandomKey()
{
    knownKey = {};
}

QString ReadOrMakeRandomKey()
{
    // The file changed meanwhile (another instance, a restored backup): look again.
    if (knownKey.folder == SettingsFolder() && knownKey.key.size() == 12
        && knownKey.fileValue == ReadString(kSection, kRandomKeyName))
        return knownKey.key;
    const QString key = LocateRandomKey();
    knownKey = {SettingsFolder(), ReadString(kSection, kRandomKeyName), key};
    return key;
}

// The keyring's key wins; a key in the settings file is moved into a keyring
// that answers (and removed from the file only once the keyring holds it and
// the file says so); without a keyring the file keeps the key, as before. A
// key the file says the keyring holds is never made anew for a keyring that
// does not answer: the key is empty then.
QString LocateRandomKey()
{
    QString key;
    const KeyringAnswer answer = KeyringRead(kRandomKeyName, key);
    const QString fileKey = ReadString(kSection, kRandomKeyName);
    const bool inKeyring = ReadBool(kSection, kInKeyringName, false);
    if (answer == KeyringAnswer::Found && key.size() == 12) {
        if (!inKeyring)
            WriteBool(kSection, kInKeyringName, true);
        if (!fileKey.isEmpty())
            WriteString(kSection, kRandomKeyName, QString());   // a copy left by an earlier outage
        return key;
    }
    if (answer == KeyringAnswer::Unavailable && inKeyring)
        return QString();
    key = fileKey.size() == 12 ? fileKey : MakeRandomKeyText();
    if (answer != KeyringAnswer::Unavailable && KeyringWrite(kRandomKeyName, key)) {
        WriteBool(kSection, kInKeyringName, true);
        if (!fileKey.isEmpty())
            WriteString(kSection, kRandomKeyName, QString());
        return key;
    }
    if (key != fileKey)
        WriteString(kSection, kRandomKeyName, key);
    return key;
}

TFormLogin::TFormLogin(QWidget* owner, CaseDB& db, LoginOffer offer)
    : QDialog(owner), db_(db), offer_(offer)
{
    // Exists from here on: Prepare may wait for the keyring with the event loop turning.
    showingLogin = this;
    setObjectName(QStringLiteral("FormLogin"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowStaysOnTopHint
                   | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

    auto* top = new QFrame(this);
    top->setObjectName(QStringLiteral("PanelTop"));
    top->setAutoFillBackground(true);
    QPalette white = top->palette();
    white.setColor(QPalette::Window, Qt::white);
    top->setPalette(white);
    PanelTopImage = new QLabel(top);
    PanelTopImage->setObjectName(QStringLiteral("Image1"));
    PanelTopImage->setPixmap(QIcon(QStringLiteral(":/icons/00.svg")).pixmap(40, 40));
    Label2 = new QLabel(QStringLiteral("需要输入密码才能打开数据库"), top);
    Label2->setObjectName(QStringLiteral("Label2"));
    QFont bold = Label2->font();
    bold.setBold(true);
    Label2->setFont(bold);
    LabelStatus = new QLabel(top);
    LabelStatus->setObjectName(QStringLiteral("LabelStatus"));
    LabelStatus->setWordWrap(true);
    auto* topText = new QVBoxLayout;
    topText->addWidget(Label2);
    topText->addWidget(LabelStatus);
    auto* topLayout = new QHBoxLayout(top);
    topLayout->addWidget(PanelTopImage, 0, Qt::AlignTop);
    topLayout->addLayout(topText, 1);

    Label1 = new QLabel(QStringLiteral("请输入密码:"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    EditPassword = new QLineEdit(this);
    EditPassword->setObjectName(QStringLiteral("EditPassword"));
    EditPassword->setMaxLength(kPasswordMaxLength);
    EditPassword->setEchoMode(QLineEdit::Password);
    EditPassword->setStyleSheet(QStringLiteral("lineedit-password-character: 42;"));
    Label1->setBuddy(EditPassword);
    CheckBoxRememberPassword = new QCheckBox(QStringLiteral("记住密码(&R)"), this);
    CheckBoxRememberPassword->setObjectName(QStringLiteral("CheckBoxRememberPassword"));
    Label3 = new QLabel(QStringLiteral("记住密码后下次登录不需要再输入密码"), this);
    Label3->setObjectName(QStringLiteral("Label3"));
    Label4 = new QLabel(QStringLiteral("只在您认为安全的机器上选择记住密码"), this);
    Label4->setObjectName(QStringLiteral("Label4"));
    Label4->setStyleSheet(QStringLiteral("color: #c00000;"));

    ButtonOk = new QPushButton(QStringLiteral("确认"), this);
    ButtonOk->setObjectName(QStringLiteral("ButtonOk"));
    ButtonOk->setDefault(true);
    ButtonHelp = new QPushButton(QStringLiteral("帮助(&H)"), this);
    ButtonHelp->setObjectName(QStringLiteral("ButtonHelp"));
    ButtonHelp->setAutoDefault(false);
    ButtonCancel = new QPushButton(QStringLiteral("取消(&C)"), this);
    ButtonCancel->setObjectName(QStringLiteral("ButtonCancel"));
    ButtonCancel->setAutoDefault(false);

    auto* passwordRow = new QHBoxLayout;
    passwordRow->addWidget(Label1);
    passwordRow->addWidget(EditPassword, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ButtonOk);
    buttons->addWidget(ButtonHelp);
    buttons->addWidget(ButtonCancel);
    auto* body = new QVBoxLayout;
    body->setContentsMargins(12, 8, 12, 12);
    body->addLayout(passwordRow);
    body->addWidget(CheckBoxRememberPassword);
    body->addWidget(Label3);
    body->addWidget(Label4);
    body->addSpacing(6);
    body->addLayout(buttons);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(top);
    layout->addLayout(body);

    connect(EditPassword, &QLineEdit::textChanged, this, &TFormLogin::EditPasswordChange);
    connect(ButtonOk, &QPushButton::clicked, this, &TFormLogin::ButtonOkClick);
    connect(ButtonHelp, &QPushButton::clicked, this, &TFormLogin::ButtonHelpClick);
    connect(ButtonCancel, &QPushButton::clicked, this, &QDialog::reject);

    Prepare();
    adjustSize();
    setFixedSize(qMax(width(), 380), height());
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->geometry().center() - rect().center());
}

TFormLogin::~TFormLogin()
{
    WipeLineEdit(EditPassword);
}

// The keyring is asked only when a remembered password is offered.
void TFormLogin::Prepare()
{
    setWindowTitle(ApplicationTitle() + QStringLiteral(" - 登录"));
    QString status = QStringLiteral("您正准备打开数据库：") + QString::fromStdString(db_.Path());
    const bool remember = db_.GetParamBool("RememberPassword", false);
    CheckBoxRememberPassword->setChecked(remember);
    keyText_ = DialogKeyText();
    if (remember && offer_ == LoginOffer::Remembered) {
        const QString randomKey = ReadOrMakeRandomKey();
        keyringAway_ = randomKey.isEmpty();
        if (keyringAway_) {
            status += QStringLiteral("\n无法读取记住的密码：密钥环不可用。");
        } else {
            WipeString(keyText_);
            keyText_ = RememberKeyText(randomKey, db_.Path());
            keyTextRemembered_ = true;
            held_ = db_.GetParam("RememberedPassword", "");
            const QSignalBlocker blocker(EditPassword);
            EditPassword->setText(kRememberPlaceholder);
        }
    }
    LabelStatus->setText(status);
}

std::string TFormLogin::HeldPassword() const
{
    return held_.empty() ? std::string() : DecryptText(keyText_, held_);
}

bool TFormLogin::RememberChecked() const
{
    return CheckBoxRememberPassword->isChecked();
}

void TFormLogin::EditPasswordChange(const QString& text)
{
    std::string typed = PasswordBytes(text);
    held_ = typed.empty() ? std::string() : EncryptText(keyText_, typed);
    WipeString(typed);
}

void TFormLogin::ButtonOkClick()
{
    std::string password = HeldPassword();
    const WipeOnExit wipe(password);
    if (!db_.Login(password)) {
        FormMessageBox(this, WrongPasswordText(db_.Path()), MB_ICONERROR);
        EditPassword->setFocus();
        return;
    }
    if (!StoreRemembered(password) || !db_.Commit()) {
        FormMessageBox(this, QStringLiteral("无法保存数据库的配置。"), MB_ICONERROR);
        // A store whose rollback fails has closed itself: nothing is left to open.
        if (!db_.Rollback()) {
            reject();
            return;
        }
    }
    accept();
}

// Unticked, the remembered password goes. Ticked, it is stored under the key
// of remembered passwords; one remembered already stays as it is when the
// key was not read (the restore login, a keyring that does not answer).
bool TFormLogin::StoreRemembered(const std::string& password)
{
    if (!CheckBoxRememberPassword->isChecked())
        return db_.SetParamBool("RememberPassword", false) && db_.SetParam("RememberedPassword", std::string());
    if (keyTextRemembered_)
        return db_.SetParamBool("RememberPassword", true) && db_.SetParam("RememberedPassword", held_);
    if (db_.GetParamBool("RememberPassword", false))
        return true;
    const QString randomKey = ReadOrMakeRandomKey();
    if (randomKey.isEmpty()) {
        FormMessageBox(this, QStringLiteral("无法记住密码：密钥环不可用。"), MB_ICONWARNING);
        return true;
    }
    return db_.SetParamBool("RememberPassword", true)
           && db_.SetParam("RememberedPassword", EncryptText(RememberKeyText(randomKey, db_.Path()), password));
}

void TFormLogin::ButtonHelpClick()
{
    ShowHelpTopic(QStringLiteral("/html/login.htm"));
}

bool AskLogin(QWidget* owner, bool autoLogin, CaseDB& db, std::string& password, LoginOffer offer)
{
    if (!db.IsOpen())
        return false;
    if (showingLogin) {
        BringAppToFront();
        showingLogin->raise();   // above the window just brought forward
        showingLogin->activateWindow();
        showingLogin->EditPassword->setFocus();
        return false;
    }
    auto* dialog = new TFormLogin(owner, db, offer);
    bool accepted = false;
    if (autoLogin && dialog->RememberChecked()) {
        std::string remembered = dialog->HeldPassword();
        if (db.Login(remembered)) {
            password = remembered;
            accepted = true;
        }
        WipeString(remembered);
    }
    if (!accepted && ExecDialog(dialog) == QDialog::Accepted) {
        password = dialog->HeldPassword();
        accepted = true;
    }
    delete dialog;
    return accepted;
}

bool IsLoginShowing()
{
    return !showingLogin.isNull();
}
