#include "app/Editurl.h"

#include "kellib/Kelcodepage.h"
#include "kellib/Kelfilelib.h"
#include "kellib/qt/Kelapputil.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

TEditURL::TEditURL(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("EditURL"));
    setWindowTitle(QStringLiteral("编辑URL"));
    auto* grid = new QGridLayout(this);
    EditCaption = new QLineEdit(this);
    EditCaption->setObjectName(QStringLiteral("EditCaption"));
    EditURL = new QLineEdit(this);
    EditURL->setObjectName(QStringLiteral("EditURL"));
    EditURL->setMinimumWidth(320);
    grid->addWidget(new QLabel(QStringLiteral("名称:"), this), 0, 0);
    grid->addWidget(EditCaption, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("链接:"), this), 1, 0);
    grid->addWidget(EditURL, 1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    ButtonOk = new QPushButton(QStringLiteral("确认"), this);
    ButtonOk->setObjectName(QStringLiteral("ButtonOk"));
    ButtonOk->setDefault(true);
    ButtonCancel = new QPushButton(QStringLiteral("取消"), this);
    ButtonCancel->setObjectName(QStringLiteral("ButtonCancel"));
    buttons->addWidget(ButtonOk);
    buttons->addWidget(ButtonCancel);
    grid->addLayout(buttons, 2, 0, 1, 2);
    connect(ButtonOk, &QPushButton::clicked, this, &TEditURL::ButtonOkClick);
    connect(ButtonCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TEditURL::ButtonOkClick()
{
    if (ValidateName(Utf8ToAnsi(EditCaption->text().toStdString())))
        accept();
}

bool AskForUrl(QWidget* owner, QString& caption, QString& address)
{
    TEditURL dialog(owner);
    dialog.EditCaption->setText(caption);
    dialog.EditURL->setText(address);
    if (ExecDialog(&dialog) != QDialog::Accepted)
        return false;
    caption = dialog.EditCaption->text();
    address = dialog.EditURL->text();
    return true;
}
