// The calling card: 23 text fields, stored as a 25-line XML text in the
// database code page (GB18030 bytes) and read back through XmlParser.
#pragma once

#include <string>
#include <vector>

#include "xml/XmlParser.h"

namespace xml {

// The fields in document order; each is also the element name of its line.
enum CardField {
    Name, Sex, BirthdayYear, BirthdayMonth, BirthdayDay, Mobile, Tel1, Tel2, Email1, Email2, ICQ, OICQ,
    HomePage, Address, Remark, CompanyName, CompanyAddress, CompanyTel1, CompanyTel2, CompanyFax,
    CompanyPostCode, CompanyContactAddress, CompanyRemark,
    kCardFieldCount
};

const char* CardElementName(CardField field);

// A drop-down list without free typing: its entries and the selected one.
struct CardList {
    std::vector<std::string> entries;
    int selected = -1;  // -1: nothing selected, the text is empty

    std::string Text() const;
    // Selects the first entry equal to `text`; none equal: the selection stays.
    void SelectFirstEqual(const std::string& text);
};

class CallingCard {
public:
    // The fields as the dialog shows them first: empty, HomePage "http://",
    // the sex, year and month lists filled, the day list empty.
    CallingCard();

    static bool IsList(CardField field);
    // The text of an edit field, or the selected entry of a list.
    std::string Text(CardField field) const;
    // An edit field takes the text; a list selects its first equal entry.
    void SetText(CardField field, const std::string& text);
    CardList& List(CardField field);
    const CardList& List(CardField field) const;

    // Refills the day list for the chosen year and month (ComboBoxBirthdayMonthChange).
    void BirthdayMonthChange();

    // The 25 lines, each ended by CR LF, followed by one zero byte; "&", "<"
    // and ">" in values as entity references, everything else as typed.
    std::string BuildDocument() const;
    // Fills the fields the parser reaches from a stored document.
    void ReadDocument(const std::string& content);

private:
    std::string texts_[kCardFieldCount];
    CardList sex_, year_, month_, day_;
};

// Fills a card from the elements of its document.
class CallingCardNotify : public XmlNotify {
public:
    explicit CallingCardNotify(CallingCard& card) : card_(card) {}
    void OnContainer(const std::string&, const std::string&) override {}
    void OnLeaf(const std::string& name, const std::string& text, const std::string& attributes) override;

private:
    CallingCard& card_;
};

}  // namespace xml
