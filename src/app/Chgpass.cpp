#include "app/Chgpass.h"

#include "app/Login.h"
#include "db/CaseDB.h"
#include "kellib/qt/Kelapputil.h"
#include "public/TextCrypt.h"
#include "public/Wipe.h"

#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QLineEdit* passwordField(QWidget* parent, const char* name)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    edit->setEchoMode(QLineEdit::Password);
    edit->setMaxLength(kPasswordMaxLength);   // the login's limit, so every new password can be typed
    edit->setStyleSheet(QStringLiteral("lineedit-password-character: 42;"));
    return edit;
}

QLabel* label(QWidget* parent, const char* name, const QString& text)
{
    auto* l = new QLabel(text, parent);
    l->setObjectName(QLatin1String(name));
    return l;
}

} // namespace

TFormChangePassword::TFormChangePassword(QWidget* owner, CaseDB& db) : QDialog(owner), db_(db)
{
    setObjectName(QStringLiteral("FormChangePassword"));
    setWindowTitle(QStringLiteral("修改数据库密码"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
                   | Qt::WindowCloseButtonHint);
    Label1 = label(this, "Label1", QStringLiteral("请输入旧密码:"));
    Label2 = label(this, "Label2", QStringLiteral("请输入新密码:"));
    Label3 = label(this, "Label3", QStringLiteral("重输新密码:"));
    EditOldPass = passwordField(this, "EditOldPass");
    EditNewPass = passwordField(this, "EditNewPass");
    EditVerifyPass = passwordField(this, "EditVerifyPass");
    LabelChanging = label(this, "LabelChanging", QStringLiteral("正在修改密码..."));
    LabelChanging->setStyleSheet(QStringLiteral("color: red;"));
    LabelChanging->hide();
    ProgressBar = new QProgressBar(this);
    ProgressBar->setObjectName(QStringLiteral("ProgressBar"));
    ProgressBar->setTextVisible(false);
    ProgressBar->hide();
    ButtonOk = new QPushButton(QStringLiteral("确定"), this);
    ButtonOk->setObjectName(QStringLiteral("ButtonOk"));
    ButtonOk->setDefault(true);
    ButtonCancel = new QPushButton(QStringLiteral("取消"), this);
    ButtonCancel->setObjectName(QStringLiteral("ButtonCancel"));
    ButtonCancel->setAutoDefault(false);

    auto* grid = new QGridLayout;
    grid->addWidget(Label1, 0, 0);
    grid->addWidget(EditOldPass, 0, 1);
    grid->addWidget(Label2, 1, 0);
    grid->addWidget(EditNewPass, 1, 1);
    grid->addWidget(Label3, 2, 0);
    grid->addWidget(EditVerifyPass, 2, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(LabelChanging);
    buttons->addStretch(1);
    buttons->addWidget(ButtonOk);
    buttons->addWidget(ButtonCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(ProgressBar);
    layout->addLayout(buttons);
    connect(ButtonOk, &QPushButton::clicked, this, &TFormChangePassword::ButtonOkClick);
    connect(ButtonCancel, &QPushButton::clicked, this, &TFormChangePassword::reject);
    setMinimumWidth(340);
}

TFormChangePassword::~TFormChangePassword()
{
    for (QLineEdit* edit : {EditOldPass, EditNewPass, EditVerifyPass})
        WipeLineEdit(edit);
}

bool TFormChangePassword::CheckInput()
{
    struct Check { bool failed; const char* text; QLineEdit* focus; };
    const QString oldPass = EditOldPass->text(), newPass = EditNewPass->text();
    const Check checks[] = {
        {newPass != EditVerifyPass->text(), "两次输入的新密码不相同，请重输。", EditNewPass},
        {newPass == oldPass, "新密码与旧密码不能相同。", EditNewPass},
    };
    for (const Check& c : checks) {
        if (c.failed) {
            FormMessageBox(this, QString::fromUtf8(c.text), MB_ICONERROR);
            c.focus->setFocus();
            return false;
        }
    }
    std::string old = PasswordBytes(oldPass);
    const bool loggedIn = db_.Login(old);
    WipeString(old);
    if (!loggedIn) {
        FormMessageBox(this, QStringLiteral("旧密码不对，请重输。"), MB_ICONERROR);
        EditOldPass->setFocus();
        return false;
    }
    return true;
}

void TFormChangePassword::ButtonOkClick()
{
    if (!idle_ || !CheckInput())
        return;
    if (EditNewPass->text().isEmpty()
        && FormMessageBox(this, QStringLiteral("新密码为空，数据库将不再受密码保护。确定吗？"),
                          MB_YESNO | MB_ICONWARNING)
               != IDYES) {
        EditNewPass->setFocus();
        return;
    }
    const int answer = FormMessageBox(
        this, QStringLiteral("修改密码时所有数据需要重新加密，这可能需要较长时间，确认要修改吗？"),
        MB_YESNO | MB_ICONWARNING);
    if (answer != IDYES)
        return;
    RunChange();
    accept();
}

void TFormChangePassword::RunChange()
{
    idle_ = 0;
    ButtonOk->setEnabled(false);
    LabelChanging->show();
    ProgressBar->show();
    std::string oldPass = PasswordBytes(EditOldPass->text());
    std::string newPass = PasswordBytes(EditNewPass->text());
    const WipeOnExit wipeOld(oldPass), wipeNew(newPass);
    PasswordProgress progress;
    progress.SetMaximum = [this](int max) { ProgressBar->setMaximum(max); };
    progress.SetPosition = [this](int pos) { ProgressBar->setValue(pos); };
    progress.ProcessEvents = [] { QApplication::processEvents(); };
    if (db_.ChangePassword(oldPass, newPass, idle_, progress)) {
        if (db_.GetParamBool("RememberPassword", false)) {
            // Without the key (its keyring does not answer) the old remembered password is forgotten.
            const QString randomKey = ReadOrMakeRandomKey();
            const bool stored = db_.SetParamBool("RememberPassword", !randomKey.isEmpty())
                                && db_.SetParam("RememberedPassword",
                                                randomKey.isEmpty() ? std::string()
                                                                    : EncryptText(RememberKeyText(randomKey, db_.Path()), newPass))
                                && db_.Commit();
            if (!stored) {
                // The old password is remembered no more either: nothing stays that would not open.
                const bool cleared = db_.Rollback() && db_.SetParamBool("RememberPassword", false) && db_.Commit();
                if (!cleared)
                    FormMessageBox(this, QStringLiteral("无法保存数据库的配置。"), MB_ICONERROR);
            }
        }
        FormMessageBox(this, QStringLiteral("密码修改成功。"), 0);
    } else {
        FormMessageBox(this, QStringLiteral("密码修改失败，密码和数据已恢复。"), MB_ICONERROR);
    }
    ProgressBar->hide();
    LabelChanging->hide();
    ButtonOk->setEnabled(true);
    idle_ = 1;
}

void TFormChangePassword::reject()
{
    if (idle_) {
        QDialog::reject();
        return;
    }
    if (FormMessageBox(this, QStringLiteral("修改密码还没有完成，确认要取消吗？"),
                       MB_YESNO | MB_ICONQUESTION) == IDYES)
        idle_ = 1;
}

bool ChangePasswordDialog(CaseDB& db)
{
    TFormChangePassword dialog(AppMainWindow(), db);
    return ExecDialog(&dialog) == QDialog::Accepted;
}
