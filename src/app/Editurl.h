// TEditURL: asks for the caption and the address of a new URL node.
#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;

class TEditURL : public QDialog {
    Q_OBJECT
public:
    explicit TEditURL(QWidget* parent = nullptr);

    QLineEdit* EditCaption = nullptr;
    QLineEdit* EditURL = nullptr;
    QPushButton* ButtonOk = nullptr;
    QPushButton* ButtonCancel = nullptr;

    // OK closes the dialog only when the caption is a valid name.
    void ButtonOkClick();
};

// Shows TEditURL with the two texts; true and both texts on OK.
bool AskForUrl(QWidget* owner, QString& caption, QString& address);
