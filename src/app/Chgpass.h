// TFormChangePassword: changes the database password and re-enciphers every
// record, with a progress bar and a cancel that rolls everything back.
#pragma once

#include <QDialog>

class CaseDB;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

class TFormChangePassword : public QDialog {
    Q_OBJECT
public:
    TFormChangePassword(QWidget* owner, CaseDB& db);
    ~TFormChangePassword() override;

    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLineEdit* EditOldPass = nullptr;
    QLineEdit* EditNewPass = nullptr;
    QLineEdit* EditVerifyPass = nullptr;
    QLabel* LabelChanging = nullptr;
    QProgressBar* ProgressBar = nullptr;
    QPushButton* ButtonOk = nullptr;
    QPushButton* ButtonCancel = nullptr;

    bool Idle() const { return idle_ != 0; }

public slots:
    // Cancel button, Escape and the frame's close: asks while work runs.
    void reject() override;

private:
    void ButtonOkClick();
    bool CheckInput();
    void RunChange();

    CaseDB& db_;
    // 1 while idle, 0 while records are re-enciphered; also the cancel flag
    // of the change, which sees 1 before its next record and rolls back.
    unsigned char idle_ = 1;
};

// Shows TFormChangePassword modally; true when it closed with OK.
bool ChangePasswordDialog(CaseDB& db);
