#include "app/CardForm.h"

#include "app/TextPage.h"
#include "db/CaseNode.h"
#include "kellib/qt/Kelapputil.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

using namespace xml;

namespace {

struct FieldSpec {
    const char* control;
    const char* label;
};

// By CardField.
const FieldSpec kFields[kCardFieldCount] = {
    {"EditName", "姓名"},
    {"ComboBoxSex", "性别"},
    {"ComboBoxBirthdayYear", "年"},
    {"ComboBoxBirthdayMonth", "月"},
    {"ComboBoxBirthdayDay", "日"},
    {"EditMobile", "手机"},
    {"EditTel1", "电话"},
    {"EditTel2", "电话"},
    {"EditEmail1", "Email"},
    {"EditEmail2", "Email"},
    {"EditICQ", "ICQ"},
    {"EditOICQ", "OICQ"},
    {"EditHomePage", "主页"},
    {"EditAddress", "住址"},
    {"MemoRemark", "备注"},
    {"EditCompanyName", "单位名称"},
    {"EditCompanyAddress", "地址"},
    {"EditCompanyTel1", "电话"},
    {"EditCompanyTel2", "电话"},
    {"EditCompanyFax", "传真"},
    {"EditCompanyPostCode", "邮编"},
    {"EditCompanyContactAddress", "通讯地址"},
    {"MemoCompanyRemark", "备注"},
};

QString label(CardField field)
{
    return QString::fromUtf8(kFields[field].label);
}

QString shown(const std::string& stored)
{
    return StoredTextToEditor(stored);
}

bool isMemo(CardField field)
{
    return field == Remark || field == CompanyRemark;
}

// Rows visible in each list's drop-down.
int visibleRows(CardField field)
{
    return field == BirthdayYear ? 25 : field == BirthdayMonth ? 13 : field == BirthdayDay ? 32 : 3;
}

} // namespace

TFormCallingCard::TFormCallingCard(CaseNode& node, bool newCard, QWidget* parent)
    : QDialog(parent), node_(node), newCard_(newCard)
{
    setObjectName(QStringLiteral("FormCallingCard"));
    auto* personal = new QGroupBox(QStringLiteral("个人资料"), this);
    personal->setObjectName(QStringLiteral("GroupBoxPersonal"));
    auto* company = new QGroupBox(QStringLiteral("工作单位"), this);
    company->setObjectName(QStringLiteral("GroupBoxCompany"));
    auto* personalForm = new QFormLayout(personal);
    auto* companyForm = new QFormLayout(company);
    for (int f = 0; f < kCardFieldCount; ++f)
        fields_[f] = MakeField(CardField(f), f < CompanyName ? personal : company);

    auto* birthday = new QHBoxLayout;
    for (CardField f : {BirthdayYear, BirthdayMonth, BirthdayDay}) {
        birthday->addWidget(fields_[f]);
        birthday->addWidget(new QLabel(label(f), personal));
    }
    birthday->addStretch(1);
    for (int f = Name; f < CompanyName; ++f) {
        if (f == BirthdayYear)
            personalForm->addRow(QStringLiteral("生日"), birthday);
        else if (f != BirthdayMonth && f != BirthdayDay)
            personalForm->addRow(label(CardField(f)), fields_[f]);
    }
    for (int f = CompanyName; f < kCardFieldCount; ++f)
        companyForm->addRow(label(CardField(f)), fields_[f]);

    EditName = static_cast<QLineEdit*>(fields_[Name]);
    ComboBoxSex = static_cast<QComboBox*>(fields_[Sex]);
    ComboBoxBirthdayYear = static_cast<QComboBox*>(fields_[BirthdayYear]);
    ComboBoxBirthdayMonth = static_cast<QComboBox*>(fields_[BirthdayMonth]);
    ComboBoxBirthdayDay = static_cast<QComboBox*>(fields_[BirthdayDay]);
    MemoRemark = static_cast<QPlainTextEdit*>(fields_[Remark]);

    ButtonSave = new QPushButton(QStringLiteral("保存(&S)"), this);
    ButtonSave->setObjectName(QStringLiteral("ButtonSave"));
    ButtonSave->setDefault(true);
    ButtonCancel = new QPushButton(QStringLiteral("取消(&C)"), this);
    ButtonCancel->setObjectName(QStringLiteral("ButtonCancel"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ButtonSave);
    buttons->addWidget(ButtonCancel);
    auto* groups = new QHBoxLayout;
    groups->addWidget(personal);
    groups->addWidget(company);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(groups);
    layout->addLayout(buttons);

    connect(ButtonSave, &QPushButton::clicked, this, &TFormCallingCard::ButtonSaveClick);
    connect(ButtonCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(ComboBoxBirthdayMonth, &QComboBox::currentIndexChanged, this, [this] {
        if (!filling_)
            ComboBoxBirthdayMonthChange();
    });

    if (newCard_) {
        setWindowTitle(QStringLiteral("新建名片"));
    } else {
        setWindowTitle(QStringLiteral("修改名片 - ") + shown(node_.Caption));
        card_.ReadDocument(node_.DataBytes());
    }
    ShowCard();
}

QWidget* TFormCallingCard::MakeField(CardField field, QWidget* parent)
{
    QWidget* control;
    if (CallingCard::IsList(field)) {
        auto* list = new QComboBox(parent);   // a drop-down list without free typing
        list->setMaxVisibleItems(visibleRows(field));
        list->setMinimumContentsLength(field == BirthdayYear ? 4 : 2);
        control = list;
    } else if (isMemo(field)) {
        auto* memo = new QPlainTextEdit(parent);
        memo->setTabChangesFocus(true);
        memo->setFixedHeight(60);
        control = memo;
    } else {
        control = new QLineEdit(parent);
    }
    control->setObjectName(QLatin1String(kFields[field].control));
    return control;
}

void TFormCallingCard::FillList(CardField field)
{
    auto* box = static_cast<QComboBox*>(fields_[field]);
    const CardList& list = card_.List(field);
    filling_ = true;
    box->clear();
    for (const std::string& entry : list.entries)
        box->addItem(shown(entry));
    box->setCurrentIndex(list.selected);
    filling_ = false;
}

void TFormCallingCard::ShowCard()
{
    for (int f = 0; f < kCardFieldCount; ++f) {
        const auto field = CardField(f);
        if (CallingCard::IsList(field))
            FillList(field);
        else if (isMemo(field))
            static_cast<QPlainTextEdit*>(fields_[f])->setPlainText(shown(card_.Text(field)));
        else
            static_cast<QLineEdit*>(fields_[f])->setText(shown(card_.Text(field)));
    }
}

bool TFormCallingCard::ReadControls()
{
    for (int f = 0; f < kCardFieldCount; ++f) {
        const auto field = CardField(f);
        if (CallingCard::IsList(field)) {
            card_.List(field).selected = static_cast<QComboBox*>(fields_[f])->currentIndex();
            continue;
        }
        const QString text = isMemo(field) ? static_cast<QPlainTextEdit*>(fields_[f])->toPlainText()
                                           : static_cast<QLineEdit*>(fields_[f])->text();
        std::string stored;
        UnencodableChar failure;
        if (!EditorTextToStored(text, stored, TextEncoding::Ansi, &failure)) {
            UnencodableMessageBox(failure);
            fields_[f]->setFocus();
            return false;
        }
        card_.SetText(field, stored);
    }
    return true;
}

void TFormCallingCard::ComboBoxBirthdayMonthChange()
{
    card_.List(BirthdayYear).selected = ComboBoxBirthdayYear->currentIndex();
    card_.List(BirthdayMonth).selected = ComboBoxBirthdayMonth->currentIndex();
    card_.BirthdayMonthChange();
    FillList(BirthdayDay);
}

void TFormCallingCard::ButtonSaveClick()
{
    if (EditName->text().isEmpty()) {
        FormMessageBox(this, QStringLiteral("请输入姓名。"), MB_ICONINFORMATION);
        EditName->setFocus();
        return;
    }
    if (!ReadControls())
        return;
    node_.Type = kNodeCard;
    if (newCard_)
        node_.Caption = card_.Text(Name);
    node_.SetData(card_.BuildDocument());
    accept();
}

bool RunCardDialog(CaseNode& node, bool newCard, QWidget* owner)
{
    TFormCallingCard dialog(node, newCard, owner);
    return ExecDialog(&dialog) == QDialog::Accepted;
}

QStringList CardInfoLines(const std::string& content)
{
    CallingCard card;
    card.ReadDocument(content);
    QStringList lines;
    for (int f = 0; f < kCardFieldCount; ++f) {
        const auto field = CardField(f);
        if (field == BirthdayMonth || field == BirthdayDay)
            continue;
        QString value = shown(card.Text(field));
        if (field == BirthdayYear) {
            value = card.Text(BirthdayYear).empty() && card.Text(BirthdayMonth).empty() ? QString()
                    : value + label(BirthdayYear) + shown(card.Text(BirthdayMonth)) + label(BirthdayMonth)
                          + shown(card.Text(BirthdayDay)) + label(BirthdayDay);
            lines << QStringLiteral("生日: ") + value;
            continue;
        }
        lines << label(field) + QStringLiteral(": ") + value;
    }
    return lines;
}
