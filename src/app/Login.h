// TFormLogin: asks for the password of the database being opened, and can
// remember it, enciphered under a key that only this machine account, this
// database path and this memory size reproduce.
#pragma once

#include <QDialog>
#include <QString>

#include <string>

class CaseDB;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The longest password the login and the password change take (the most a
// line edit holds), one limit for both, so every password set can be typed.
constexpr int kPasswordMaxLength = 32767;

// Password text as the store keys it: bytes in the database code page.
std::string PasswordBytes(const QString& text);
// Key text of a remembered password: RandomKey + database path in lower case
// + the total physical memory as signed decimal.
std::string RememberKeyText(const QString& randomKey, const std::string& dbPath);
// RandomKey of section "Default"; made anew (and stored) unless 12 characters
// long. Kept in the desktop's keyring when one answers, else in the settings
// file. Looked up once per settings folder: the keyring's wait (at most its
// timeout, with the event loop turning) happens at the first use only. Only
// reading or storing a remembered password asks for it.
// Empty while the key is in the keyring ("RandomKeyInKeyring" in the settings)
// and the keyring does not answer: a key made anew then would lose every
// password remembered under the keyring's.
QString ReadOrMakeRandomKey();
// Looks the key up in the keyring and the settings file, moving it from the
// file into a keyring that answers.
QString LocateRandomKey();
// The next ReadOrMakeRandomKey looks the key up again.
void ForgetRandomKey();
// "密码不对，不能打开数据库：" + path + "。"
QString WrongPasswordText(const std::string& path);

// What the dialog offers: the remembered password as well (opening a
// database), or only what is typed (restoring the window, which asks for the
// password again).
enum class LoginOffer { Remembered, TypedOnly };

class TFormLogin : public QDialog {
    Q_OBJECT
public:
    TFormLogin(QWidget* owner, CaseDB& db, LoginOffer offer = LoginOffer::Remembered);
    ~TFormLogin() override;

    // The held password deciphered (empty when nothing can be deciphered).
    std::string HeldPassword() const;
    bool RememberChecked() const;

    QLabel* PanelTopImage = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* LabelStatus = nullptr;
    QLineEdit* EditPassword = nullptr;
    QCheckBox* CheckBoxRememberPassword = nullptr;
    QPushButton* ButtonOk = nullptr;
    QPushButton* ButtonHelp = nullptr;
    QPushButton* ButtonCancel = nullptr;

private:
    void Prepare();
    void EditPasswordChange(const QString& text);
    void ButtonOkClick();
    // False when the store refused the change.
    bool StoreRemembered(const std::string& password);
    void ButtonHelpClick();

    CaseDB& db_;
    LoginOffer offer_;
    // Key text of held_: the remembered password's while it is offered,
    // else one of this dialog's own, so the keyring is asked only to read or
    // store a remembered password.
    std::string keyText_;
    bool keyTextRemembered_ = false;
    bool keyringAway_ = false;
    std::string held_;   // EncryptText of the typed password, never the plain text
};

// The only entry to TFormLogin. True when the password was accepted; it is
// returned in password. With autoLogin and a remembered password no window
// is shown. With LoginOffer::TypedOnly the remembered password is not offered.
bool AskLogin(QWidget* owner, bool autoLogin, CaseDB& db, std::string& password,
              LoginOffer offer = LoginOffer::Remembered);
// A login dialog exists.
bool IsLoginShowing();
