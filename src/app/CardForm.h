// TFormCallingCard: the modal dialog that edits a calling card, a node of
// kind 4 holding one person's contact data as a small XML text. Its 23
// fields in two groups ("个人资料", "工作单位") are those of xml::CallingCard.
#pragma once

#include <QDialog>
#include <QStringList>

#include "xml/CallingCard.h"

class CaseNode;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

class TFormCallingCard : public QDialog {
    Q_OBJECT
public:
    // node: the node being edited, owned by the caller; it is changed only by a save.
    TFormCallingCard(CaseNode& node, bool newCard, QWidget* parent = nullptr);

    // The control of a field (a QLineEdit, QComboBox or QPlainTextEdit).
    QWidget* Field(xml::CardField field) const { return fields_[field]; }
    QLineEdit* EditName = nullptr;
    QComboBox* ComboBoxSex = nullptr;
    QComboBox* ComboBoxBirthdayYear = nullptr;
    QComboBox* ComboBoxBirthdayMonth = nullptr;
    QComboBox* ComboBoxBirthdayDay = nullptr;
    QPlainTextEdit* MemoRemark = nullptr;
    QPushButton* ButtonSave = nullptr;
    QPushButton* ButtonCancel = nullptr;

    void ComboBoxBirthdayMonthChange();
    void ButtonSaveClick();

private:
    QWidget* MakeField(xml::CardField field, QWidget* parent);
    void ShowCard();      // the model into the controls
    bool ReadControls();  // the controls into the model; false after the message for text the code page lacks
    void FillList(xml::CardField field);

    CaseNode& node_;
    bool newCard_;
    xml::CallingCard card_;
    QWidget* fields_[xml::kCardFieldCount] = {};
    bool filling_ = false;
};

// Shows the dialog modally; true when it closed through the save button.
bool RunCardDialog(CaseNode& node, bool newCard, QWidget* owner);

// The card's fields as lines "label: value" for the information page.
QStringList CardInfoLines(const std::string& content);
