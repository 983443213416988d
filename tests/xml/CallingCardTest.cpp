#include "xml/CallingCard.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace xml;

namespace {

const std::string kZhangSan = "\xD5\xC5\xC8\xFD";  // 张三
const std::string kMale = "\xC4\xD0";              // 男

std::vector<std::string> Lines(const std::string& doc) {
    std::vector<std::string> lines;
    size_t from = 0;
    for (size_t at; (at = doc.find("\r\n", from)) != std::string::npos; from = at + 2)
        lines.push_back(doc.substr(from, at - from));
    lines.push_back(doc.substr(from));  // what follows the last line break
    return lines;
}

CallingCard Read(const std::string& doc) {
    CallingCard card;
    card.ReadDocument(doc);
    return card;
}

}  // namespace

TEST(CallingCard, NewCardWithOnlyANameStoresTwentyFiveLines) {
    CallingCard card;
    card.SetText(Name, kZhangSan);
    std::string doc = card.BuildDocument();
    ASSERT_FALSE(doc.empty());
    EXPECT_EQ(doc.back(), '\0');
    std::vector<std::string> lines = Lines(doc);
    ASSERT_EQ(lines.size(), 26u);
    EXPECT_EQ(lines[0], "<Contact>");
    EXPECT_EQ(lines[1], "<Name>" + kZhangSan + "</Name>");
    EXPECT_EQ(lines[2], "<Sex></Sex>");
    EXPECT_EQ(lines[13], "<HomePage>http://</HomePage>");
    EXPECT_EQ(lines[23], "<CompanyRemark></CompanyRemark>");
    EXPECT_EQ(lines[24], "</Contact>");
    EXPECT_EQ(lines[25], std::string(1, '\0'));
    for (int f = 0; f < kCardFieldCount; ++f) {
        std::string name = CardElementName(static_cast<CardField>(f));
        EXPECT_EQ(lines[f + 1].rfind("<" + name + ">", 0), 0u) << name;
    }
}

TEST(CallingCard, EveryFieldRoundTrips) {
    CallingCard card;
    for (int f = 0; f < kCardFieldCount; ++f)
        if (!CallingCard::IsList(static_cast<CardField>(f)))
            card.SetText(static_cast<CardField>(f), std::string(CardElementName(static_cast<CardField>(f))) + " & x");
    card.SetText(Remark, "line one\r\nline two");
    card.SetText(Sex, kMale);
    card.SetText(BirthdayYear, "2000");
    card.SetText(BirthdayMonth, "02");
    card.BirthdayMonthChange();
    card.SetText(BirthdayDay, "29");
    std::string doc = card.BuildDocument();
    CallingCard back = Read(doc);
    for (int f = 0; f < kCardFieldCount; ++f)
        EXPECT_EQ(back.Text(static_cast<CardField>(f)), card.Text(static_cast<CardField>(f)))
            << CardElementName(static_cast<CardField>(f));
    EXPECT_EQ(back.Text(Remark), "line one\r\nline two");
    EXPECT_EQ(back.BuildDocument(), doc);
}

// "&", "<" and ">" are written as entity references: values holding markup,
// even their own closing tag, read back whole, and the fields after them too.
TEST(CallingCard, ValuesHoldingMarkupReadBackWhole) {
    CallingCard card;
    card.SetText(Name, "<&>\"");
    card.SetText(Remark, "before</Remark>after");
    card.SetText(Address, "a<b &amp; c");
    card.SetText(CompanyName, "Acme");
    const std::string doc = card.BuildDocument();
    EXPECT_NE(doc.find("<Name>&lt;&amp;&gt;\"</Name>\r\n"), std::string::npos);
    CallingCard back = Read(doc);
    EXPECT_EQ(back.Text(Name), "<&>\"");
    EXPECT_EQ(back.Text(Remark), "before</Remark>after");
    EXPECT_EQ(back.Text(Address), "a<b &amp; c");
    EXPECT_EQ(back.Text(CompanyName), "Acme");
    EXPECT_EQ(back.BuildDocument(), doc);
}

TEST(CallingCard, CardsWrittenWithoutEscapesReadAsBefore) {
    CallingCard back = Read("<Contact>\r\n<Name>AT&T &quot;x&quot;</Name>\r\n<Address>a<b</Address>\r\n"
                            "<CompanyName>Acme</CompanyName>\r\n</Contact>\r\n");
    EXPECT_EQ(back.Text(Name), "AT&T \"x\"");   // a lone "&" stays
    EXPECT_EQ(back.Text(Address), "");            // a raw "<" still makes a container
    EXPECT_EQ(back.Text(CompanyName), "Acme");
}

TEST(CallingCard, ElementNamesAreCaseSensitiveAndListsSelectTheFirstEqualEntry) {
    CallingCard back = Read("<Contact>\r\n<name>x</name>\r\n<Sex>?</Sex>\r\n<BirthdayYear>1999</BirthdayYear>\r\n"
                            "<BirthdayYear>3000</BirthdayYear>\r\n</Contact>\r\n");
    EXPECT_EQ(back.Text(Name), "");
    EXPECT_EQ(back.Text(Sex), "");  // no equal entry: the selection stays
    EXPECT_EQ(back.Text(BirthdayYear), "1999");
    EXPECT_EQ(back.Text(HomePage), "http://");  // not in the document: the initial value
}

TEST(CallingCard, DayListFollowsTheMonth) {
    struct {
        const char* year;
        const char* month;
        size_t entries;  // the empty entry included
    } cases[] = {{"2000", "02", 30}, {"1900", "02", 29}, {"", "02", 30}, {"2001", "04", 31},
                 {"2001", "12", 32}, {"2001", "", 1}};
    for (const auto& c : cases) {
        CallingCard card;
        card.SetText(BirthdayYear, c.year);
        card.SetText(BirthdayMonth, c.month);
        card.BirthdayMonthChange();
        const CardList& days = card.List(BirthdayDay);
        ASSERT_EQ(days.entries.size(), c.entries) << c.year << "-" << c.month;
        EXPECT_EQ(days.entries[0], "");
        if (c.entries > 1) {
            EXPECT_EQ(days.entries.back(), std::to_string(c.entries - 1));
        }
        EXPECT_EQ(days.selected, -1);
    }
}

TEST(CallingCard, StoredDayMissingFromTheRebuiltListStaysUnselected) {
    CallingCard back = Read("<Contact>\r\n<BirthdayYear>2001</BirthdayYear>\r\n<BirthdayMonth>02</BirthdayMonth>\r\n"
                            "<BirthdayDay>29</BirthdayDay>\r\n</Contact>\r\n");
    EXPECT_EQ(back.Text(BirthdayMonth), "02");
    EXPECT_EQ(back.List(BirthdayDay).entries.size(), 29u);
    EXPECT_EQ(back.Text(BirthdayDay), "");
    // The month read before the year: the day list is built without it.
    CallingCard early = Read("<BirthdayMonth>02</BirthdayMonth><BirthdayYear>2001</BirthdayYear>"
                             "<BirthdayDay>29</BirthdayDay>");
    EXPECT_EQ(early.Text(BirthdayDay), "29");
}

TEST(CallingCard, ListsOfANewCard) {
    CallingCard card;
    EXPECT_EQ(card.List(Sex).entries.size(), 3u);
    EXPECT_EQ(card.List(BirthdayYear).entries.size(), 150u);
    EXPECT_EQ(card.List(BirthdayYear).entries.front(), "1900");
    EXPECT_EQ(card.List(BirthdayYear).entries.back(), "2049");
    EXPECT_EQ(card.List(BirthdayMonth).entries.size(), 13u);
    EXPECT_TRUE(card.List(BirthdayDay).entries.empty());
    EXPECT_EQ(card.Text(BirthdayYear), "");
}
