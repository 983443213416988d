#include "xml/CallingCard.h"

#include <cstdio>
#include <cstdlib>

#include "lunar/LunarCalendar.h"

namespace xml {
namespace {

const char* const kElementNames[kCardFieldCount] = {
    "Name",        "Sex",        "BirthdayYear", "BirthdayMonth",   "BirthdayDay",    "Mobile",
    "Tel1",        "Tel2",       "Email1",       "Email2",          "ICQ",            "OICQ",
    "HomePage",    "Address",    "Remark",       "CompanyName",     "CompanyAddress", "CompanyTel1",
    "CompanyTel2", "CompanyFax", "CompanyPostCode", "CompanyContactAddress", "CompanyRemark",
};

const char kMale[] = "\xC4\xD0";    // 男
const char kFemale[] = "\xC5\xAE";  // 女

std::string TwoDigits(unsigned n) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02u", n);
    return buf;
}

// An empty entry (when asked) and then "01" … "NN".
std::vector<std::string> NumberEntries(bool withEmpty, unsigned count) {
    std::vector<std::string> entries;
    if (withEmpty) entries.emplace_back();
    for (unsigned n = 1; n <= count; ++n) entries.push_back(TwoDigits(n));
    return entries;
}

// "&", "<" and ">" as entity references, so a value holding them reads back
// whole; any other byte is written as typed. GB18030 never uses these bytes
// inside a character.
std::string Escaped(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c == '&') out += "&amp;";
        else if (c == '<') out += "&lt;";
        else if (c == '>') out += "&gt;";
        else out += c;
    }
    return out;
}

// The five predefined entity references back to their characters; any
// other "&" stays as it stands (cards written before it was escaped).
std::string Unescaped(const std::string& text) {
    static const std::pair<const char*, char> entities[] = {
        {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        bool replaced = false;
        for (const auto& [entity, c] : entities) {
            const size_t length = std::char_traits<char>::length(entity);
            if (text.compare(i, length, entity) == 0) {
                out += c;
                i += length;
                replaced = true;
                break;
            }
        }
        if (!replaced) out += text[i++];
    }
    return out;
}

// The text of a list as an integer, 0 when empty.
unsigned ListNumber(const CardList& list) { return static_cast<unsigned>(std::atoi(list.Text().c_str())); }

}  // namespace

const char* CardElementName(CardField field) {
    return field >= 0 && field < kCardFieldCount ? kElementNames[field] : "";
}

std::string CardList::Text() const {
    return selected >= 0 && selected < static_cast<int>(entries.size()) ? entries[selected] : std::string();
}

void CardList::SelectFirstEqual(const std::string& text) {
    for (size_t i = 0; i < entries.size(); ++i)
        if (entries[i] == text) {
            selected = static_cast<int>(i);
            return;
        }
}

CallingCard::CallingCard() {
    texts_[HomePage] = "http://";
    sex_.entries = {"", kMale, kFemale};
    for (unsigned y = 1900; y <= 2049; ++y) year_.entries.push_back(std::to_string(y));
    month_.entries = NumberEntries(true, 12);
}

bool CallingCard::IsList(CardField field) {
    return field == Sex || field == BirthdayYear || field == BirthdayMonth || field == BirthdayDay;
}

CardList& CallingCard::List(CardField field) {
    switch (field) {
        case Sex: return sex_;
        case BirthdayYear: return year_;
        case BirthdayMonth: return month_;
        default: return day_;
    }
}

const CardList& CallingCard::List(CardField field) const { return const_cast<CallingCard*>(this)->List(field); }

std::string CallingCard::Text(CardField field) const {
    if (field < 0 || field >= kCardFieldCount) return std::string();
    return IsList(field) ? List(field).Text() : texts_[field];
}

void CallingCard::SetText(CardField field, const std::string& text) {
    if (field < 0 || field >= kCardFieldCount) return;
    if (IsList(field))
        List(field).SelectFirstEqual(text);
    else
        texts_[field] = text;
}

void CallingCard::BirthdayMonthChange() {
    // Without a year, February has 29 days: year 0 counts as a leap year.
    day_.entries = NumberEntries(true, lunar::DaysInMonth(ListNumber(year_), ListNumber(month_)));
    day_.selected = -1;
}

std::string CallingCard::BuildDocument() const {
    std::string doc = "<Contact>\r\n";
    for (int f = 0; f < kCardFieldCount; ++f) {
        const std::string name = kElementNames[f];
        doc += "<" + name + ">" + Escaped(Text(static_cast<CardField>(f))) + "</" + name + ">\r\n";
    }
    doc += "</Contact>\r\n";
    doc += '\0';
    return doc;
}

void CallingCard::ReadDocument(const std::string& content) {
    CallingCardNotify notify(*this);
    XmlStream stream;
    stream.SetNotify(&notify);
    stream.Parse(content.data(), static_cast<long>(content.size()));
}

void CallingCardNotify::OnLeaf(const std::string& name, const std::string& text, const std::string&) {
    for (int f = 0; f < kCardFieldCount; ++f) {
        if (name != kElementNames[f]) continue;
        card_.SetText(static_cast<CardField>(f), Unescaped(text));
        if (f == BirthdayMonth) card_.BirthdayMonthChange();
        return;
    }
}

}  // namespace xml
