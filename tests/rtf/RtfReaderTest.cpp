// The RTF reader: the fixtures in the rich edit dialects, the constructs of
// other writers, and damaged input.
#include "rtf/RtfCodepage.h"
#include "rtf/RtfReader.h"

#include "../db/JsonLite.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace {

std::string ReadFixture(const std::string& name) {
    std::ifstream in(std::string(VAULTLEAF_FIXTURES) + "/rtf/" + name, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> Paragraphs(const RtfDocument& doc) {
    std::vector<std::string> out;
    for (const RtfParagraph& p : doc.paragraphs)
        out.push_back(Utf32ToUtf8(p.Text()));
    return out;
}

std::vector<std::string> ParagraphsOf(const std::string& rtf) {
    RtfDocument doc;
    ReadRtf(rtf, doc);
    return Paragraphs(doc);
}

// The paragraph and run holding the first character of text.
struct Found {
    const RtfParagraph* paragraph = nullptr;
    const RtfRun* run = nullptr;
};
Found Find(const RtfDocument& doc, const std::string& utf8) {
    const std::u32string text = Utf8ToUtf32(utf8);
    for (const RtfParagraph& p : doc.paragraphs) {
        const size_t at = p.Text().find(text);
        if (at == std::u32string::npos)
            continue;
        size_t offset = 0;
        for (const RtfRun& run : p.runs) {
            if (at < offset + run.text.size())
                return {&p, &run};
            offset += run.text.size();
        }
    }
    return {};
}

const char* AlignName(RtfAlign align) {
    switch (align) {
    case RtfAlign::Left: return "left";
    case RtfAlign::Center: return "center";
    case RtfAlign::Right: return "right";
    case RtfAlign::Justify: return "justify";
    }
    return "";
}

void CheckFact(const RtfDocument& doc, const Json& fact) {
    const std::string text = fact["text"].text;
    SCOPED_TRACE(text);
    const Found found = Find(doc, text);
    ASSERT_NE(found.run, nullptr);
    const RtfRun& run = *found.run;
    const RtfParagraph& para = *found.paragraph;
    for (const auto& [key, value] : fact.members) {
        SCOPED_TRACE(key);
        if (key == "bold") EXPECT_EQ(run.bold, value.boolean);
        else if (key == "italic") EXPECT_EQ(run.italic, value.boolean);
        else if (key == "underline") EXPECT_EQ(run.underline, value.boolean);
        else if (key == "size") EXPECT_EQ(run.size, int(value.number * 2));
        else if (key == "font") EXPECT_EQ(run.font, value.text);
        else if (key == "color") {
            const int32_t rgb = int32_t(value.items[0].number) << 16 | int32_t(value.items[1].number) << 8
                                | int32_t(value.items[2].number);
            EXPECT_EQ(run.color, rgb);
        } else if (key == "align") EXPECT_STREQ(AlignName(para.align), value.text.c_str());
        else if (key == "first_indent_twips") EXPECT_EQ(para.firstIndent, int(value.number));
        else if (key == "left_indent_twips") EXPECT_EQ(para.leftIndent, int(value.number));
        else if (key == "bullet") EXPECT_EQ(para.bullet, value.boolean);
        else if (key != "text") ADD_FAILURE() << "unknown fact";
    }
}

class RtfFixture : public ::testing::TestWithParam<const char*> {};

TEST_P(RtfFixture, ReadsAsExpected) {
    const std::string name = GetParam();
    const Json expected = Json::Parse(ReadFixture(name + ".json"));
    RtfDocument doc;
    const bool complete = ReadRtf(ReadFixture(name + ".rtf"), doc);
    if (expected["no_crash_only"].boolean)
        return;
    EXPECT_TRUE(complete);
    std::vector<std::string> paragraphs;
    for (const Json& p : expected["paragraphs"].items)
        paragraphs.push_back(p.text);
    EXPECT_EQ(Paragraphs(doc), paragraphs);
    for (const Json& fact : expected["facts"].items)
        CheckFact(doc, fact);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, RtfFixture,
                         ::testing::Values("richedit20-plain", "richedit30-format", "damaged-braces",
                                           "deep-nesting"));

struct DialectCase {
    const char* what;
    std::string rtf;
    std::vector<std::string> paragraphs;
};

class RtfDialect : public ::testing::TestWithParam<DialectCase> {};

TEST_P(RtfDialect, Text) {
    EXPECT_EQ(ParagraphsOf(GetParam().rtf), GetParam().paragraphs) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RtfDialect,
    ::testing::Values(
        DialectCase{"unicode with fallback", R"({\rtf1\uc1 a\u20320?\u22909?b\par})", {"a你好b"}},
        DialectCase{"two fallback bytes", R"({\rtf1\ansicpg936\uc2 \u20320\'c4\'e3x\par})", {"你x"}},
        DialectCase{"fallback across a group end", R"({\rtf1{\u20320}?x\par})", {"你x"}},
        DialectCase{"uc0 skips nothing", R"({\rtf1\uc0\u20320 ?\par})", {"你?"}},
        DialectCase{"negative value", R"({\rtf1\u-3913?\par})", {"\xef\x82\xb7"}},
        DialectCase{"surrogate pair joined", R"({\rtf1\u-10179?\u-8704?\par})", {"\xf0\x9f\x98\x80"}},
        DialectCase{"lone surrogate", R"({\rtf1\u-10179?x\par})", {"\xef\xbf\xbdx"}},
        DialectCase{"big5 font", R"({\rtf1\ansi{\fonttbl{\f0\fcharset136 x;}}\f0\'a4\'a4\'a4\'e5\par})", {"中文"}},
        DialectCase{"shift-jis font", R"({\rtf1\ansi{\fonttbl{\f0\fcharset128 x;}}\f0\'82\'a0\par})", {"あ"}},
        DialectCase{"korean font", R"({\rtf1\ansi{\fonttbl{\f0\fcharset129 x;}}\f0\'c7\'d1\par})", {"한"}},
        DialectCase{"ansi font in a 936 document", R"({\rtf1\ansi\ansicpg936{\fonttbl{\f0\fcharset0 Arial;}}\f0 caf\'e9\par})", {"café"}},
        DialectCase{"default charset takes ansicpg", R"({\rtf1\ansi\ansicpg936{\fonttbl{\f0\fcharset1 x;}}\f0\'d6\'d0\par})", {"中"}},
        DialectCase{"no font table", R"({\rtf1\ansi\ansicpg936 \'d6\'d0\par})", {"中"}},
        DialectCase{"line and tab", R"({\rtf1 a\tab b\line c\par})", {"a\tb\xe2\x80\xa8" "c"}},
        DialectCase{"escaped symbols", R"({\rtf1 \\\{\}\~\emdash\par})", {"\\{}\xc2\xa0\xe2\x80\x94"}},
        DialectCase{"ignorable destination", R"({\rtf1 a{\*\unknown hidden {nested}}b\par})", {"ab"}},
        DialectCase{"info and stylesheet", R"({\rtf1{\info{\title T}}{\stylesheet{\s0 Normal;}}x\par})", {"x"}},
        DialectCase{"picture skipped", R"({\rtf1 a{\pict\pngblip 89504e47}b\par})", {"ab"}},
        DialectCase{"object skipped", R"({\rtf1 a{\object\objemb{\*\objdata 0102}{\result r}}b\par})", {"ab"}},
        DialectCase{"binary data skipped", "{\\rtf1 a{\\pict\\bin4 }}{\\}b\\par}", {"ab"}},
        DialectCase{"binary count beyond the end", R"({\rtf1 a\bin99999999 xyz)", {"a"}},
        DialectCase{"field result kept", R"({\rtf1{\field{\*\fldinst HYPERLINK "x"}{\fldrslt link}}\par})", {"link"}},
        DialectCase{"unknown words ignored", R"({\rtf1\foo12\barbaz x\qux-5 y\par})", {"xy"}},
        DialectCase{"list text left out", R"({\rtf1{\listtext\'b7\tab}\ls1 item\par})", {"item"}},
        DialectCase{"no empty paragraph after the last par", R"({\rtf1 a\par b\par})", {"a", "b"}},
        DialectCase{"empty paragraphs kept", R"({\rtf1 a\par\par b})", {"a", "", "b"}},
        DialectCase{"text after the end ignored", R"({\rtf1 a}b)", {"a"}},
        DialectCase{"truncated in an escape", R"({\rtf1 ab\'c)", {"ab"}},
        DialectCase{"truncated after a backslash", "{\\rtf1 ab\\", {"ab"}},
        DialectCase{"broken escape digits", R"({\rtf1 a\'zzb\par})", {"azzb"}},
        DialectCase{"huge numbers", R"({\rtf1\fs99999999999999999999\li-99999999999999999 a\u99999999999?\par})", {"a\xef\xbf\xbf"}},
        DialectCase{"stops at a zero byte", std::string("{\\rtf1 a\0b}", 11), {"a"}}));

TEST(RtfReader, FormatsOfRichEditBullets) {
    RtfDocument doc;
    ReadRtf(R"({\rtf1\pard{\*\pn\pnlvlblt\pnf1{\pntxtb\'b7}}\li200 one\par two\par\pard three\par})", doc);
    ASSERT_EQ(doc.paragraphs.size(), 3u);
    EXPECT_TRUE(doc.paragraphs[0].bullet);
    EXPECT_TRUE(doc.paragraphs[1].bullet);
    EXPECT_EQ(doc.paragraphs[1].leftIndent, 200);
    EXPECT_FALSE(doc.paragraphs[2].bullet);
}

TEST(RtfReader, GroupsRestoreCharacterFormat) {
    RtfDocument doc;
    ReadRtf(R"({\rtf1{\colortbl ;\red0\green128\blue0;}a{\b\cf1 b}\plain c\ul d\ul0 e\par})", doc);
    ASSERT_EQ(doc.paragraphs.size(), 1u);
    const auto& runs = doc.paragraphs[0].runs;
    ASSERT_EQ(runs.size(), 5u);
    EXPECT_TRUE(runs[1].bold);
    EXPECT_EQ(runs[1].color, 0x008000);
    EXPECT_FALSE(runs[2].bold);
    EXPECT_EQ(runs[2].color, kAutoColor);
    EXPECT_TRUE(runs[3].underline);
    EXPECT_FALSE(runs[4].underline);
    EXPECT_EQ(Utf32ToUtf8(runs[0].text + runs[2].text + runs[4].text), "ace");
}

TEST(RtfReader, DamagedInputReportsIncompleteAndKeepsText) {
    RtfDocument doc;
    EXPECT_FALSE(ReadRtf(R"({\rtf1 a\par b{\b c)", doc));
    EXPECT_EQ(Paragraphs(doc), (std::vector<std::string>{"a", "bc"}));
    EXPECT_FALSE(ReadRtf("not rtf at all", doc));
    EXPECT_TRUE(ReadRtf(R"({\rtf1 x})", doc));
}

TEST(RtfReader, DeepNestingNeedsNoStack) {
    const size_t depth = 300000;
    std::string rtf = "{\\rtf1 a" + std::string(depth, '{') + "b" + std::string(depth, '}') + "c}";
    RtfDocument doc;
    EXPECT_TRUE(ReadRtf(rtf, doc));
    EXPECT_EQ(Paragraphs(doc), (std::vector<std::string>{"abc"}));
    rtf.resize(rtf.size() / 2);
    EXPECT_FALSE(ReadRtf(rtf, doc));
}

TEST(RtfReader, PlainTextPayloads) {
    // Not RTF: GB18030 text, one paragraph per line, up to the zero byte.
    const RtfDocument doc = ReadRtfOrText(std::string("\xd6\xd0\r\nb\n\0tail", 10));
    EXPECT_EQ(Paragraphs(doc), (std::vector<std::string>{"中", "b"}));
    EXPECT_TRUE(ReadRtfOrText("").paragraphs.empty());
    EXPECT_EQ(PlainTextOf(ReadRtfOrText(R"({\rtf1 a\line b\par c\par})")), "a\nb\nc\n");
}

} // namespace
