// The RTF writer: its dialect, and reading back what it wrote.
#include "rtf/RtfCodepage.h"
#include "rtf/RtfReader.h"
#include "rtf/RtfWriter.h"

#include <gtest/gtest.h>

namespace {

RtfRun MakeRun(const char* utf8, const char* font = "宋体", int charset = kCharsetGB2312) {
    RtfRun run;
    run.font = font;
    run.charset = charset;
    run.text = Utf8ToUtf32(utf8);
    return run;
}

// Every attribute of the model at least once, with text the GBK table holds
// and text it does not.
RtfDocument RichDocument() {
    RtfDocument doc;
    RtfParagraph title;
    title.align = RtfAlign::Center;
    RtfRun bold = MakeRun("标题 {1} \\ 完");
    bold.bold = true;
    bold.size = 32;
    title.runs.push_back(bold);
    doc.paragraphs.push_back(title);

    RtfParagraph body;
    body.firstIndent = 420;
    body.leftIndent = 100;
    body.rightIndent = 300;
    body.align = RtfAlign::Justify;
    RtfRun italic = MakeRun("斜体\t한국어 😀");
    italic.italic = true;
    RtfRun red = MakeRun("红色", "宋体");
    red.color = 0xFF0000;
    red.underline = true;
    RtfRun latin = MakeRun("Arial café 中", "Arial", kCharsetAnsi);
    latin.color = 0x000080;
    latin.size = 17;
    body.runs = {italic, red, latin, MakeRun("行\u2028二")};
    doc.paragraphs.push_back(body);

    doc.paragraphs.push_back(RtfParagraph());   // an empty paragraph
    RtfParagraph item;
    item.bullet = true;
    item.firstIndent = -200;
    item.leftIndent = 200;
    item.runs.push_back(MakeRun("第一项"));
    doc.paragraphs.push_back(item);
    item.runs = {MakeRun("second", "Times New Roman", kCharsetAnsi)};
    item.align = RtfAlign::Right;
    doc.paragraphs.push_back(item);
    return doc;
}

TEST(RtfWriter, RoundTripGivesTheSameModel) {
    const RtfDocument doc = RichDocument();
    RtfDocument back;
    EXPECT_TRUE(ReadRtf(WriteRtf(doc), back));
    EXPECT_EQ(back, doc);

    RtfDocument empty;
    EXPECT_TRUE(ReadRtf(WriteRtf(empty), back));
    EXPECT_TRUE(back.paragraphs.empty());
}

TEST(RtfWriter, WritesTheRichEditDialect) {
    const std::string rtf = WriteRtf(RichDocument());
    EXPECT_EQ(rtf.rfind("{\\rtf1\\ansi\\ansicpg936\\deff0", 0), 0u);
    EXPECT_NE(rtf.find("{\\f0\\fnil\\fcharset134 \\'cb\\'ce\\'cc\\'e5;}"), std::string::npos);   // 宋体
    EXPECT_NE(rtf.find("\\fcharset0 Arial;"), std::string::npos);
    EXPECT_NE(rtf.find("{\\colortbl ;\\red255\\green0\\blue0;\\red0\\green0\\blue128;}"), std::string::npos);
    EXPECT_NE(rtf.find("\\uc1"), std::string::npos);
    EXPECT_NE(rtf.find("\\'b1\\'ea\\'cc\\'e2"), std::string::npos);   // 标题 as GBK pairs
    EXPECT_NE(rtf.find("\\u-10179?\\u-8704?"), std::string::npos);    // 😀 as a surrogate pair
    EXPECT_NE(rtf.find("\\u-10916?"), std::string::npos);             // 한 (U+D55C): not in GBK
    EXPECT_NE(rtf.find("caf\\u233? \\u20013?"), std::string::npos);  // non-ASCII in a Latin font
    EXPECT_NE(rtf.find("{\\pntext\\f"), std::string::npos);
    EXPECT_NE(rtf.find("{\\*\\pn\\pnlvlblt"), std::string::npos);
    EXPECT_EQ(rtf.find('\0'), std::string::npos);
    for (unsigned char c : rtf)
        ASSERT_LT(c, 0x80) << "RTF is 7-bit text";
}

TEST(RtfWriter, PlainTextBecomesOneParagraphPerLine) {
    const RtfDocument doc = DocumentOfText(Utf8ToUtf32("第一行\r\n\nthird"), "宋体", kCharsetGB2312);
    RtfDocument back;
    ReadRtf(WriteRtf(doc), back);
    EXPECT_EQ(PlainTextOf(back), "第一行\n\nthird\n");
    EXPECT_EQ(back.paragraphs[0].runs[0].font, "宋体");
}

} // namespace
