#include <gtest/gtest.h>

#include "kellib/Kelcodepage.h"

TEST(Kelcodepage, RoundTripsChineseText) {
    const std::string utf8 = "测试密码 我的公文包 €𠀀";
    std::string ansi = Utf8ToAnsi(utf8);
    EXPECT_EQ(ansi.substr(0, 8), "\xB2\xE2\xCA\xD4\xC3\xDC\xC2\xEB");
    EXPECT_EQ(AnsiToUtf8(ansi), utf8);
    EXPECT_EQ(Utf8ToAnsi("plain ascii"), "plain ascii");
    EXPECT_EQ(AnsiToUtf8(""), "");
}

TEST(Kelcodepage, BadInputIsReplacedNotLost) {
    EXPECT_EQ(AnsiToUtf8("a\xFF" "b"), "a\xEF\xBF\xBD" "b");
    EXPECT_EQ(AnsiToUtf8("ab\xB2"), "ab\xEF\xBF\xBD");   // truncated pair at the end
    EXPECT_EQ(Utf8ToAnsi("a\xC3"), "a?");
}

TEST(Kelcodepage, Utf8Validity) {
    EXPECT_TRUE(IsValidUtf8("测试 ascii"));
    EXPECT_TRUE(IsValidUtf8(""));
    EXPECT_FALSE(IsValidUtf8("\xB2\xE2\xCA\xD4"));
    EXPECT_FALSE(IsValidUtf8("\xC0\x80"));          // overlong
    EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));      // surrogate
    EXPECT_FALSE(IsValidUtf8("\xE6\xB5"));          // cut short
}

// The checked conversion stops at the first character it cannot store and
// names it: a private-use character the system's table lacks, or bad UTF-8.
TEST(Kelcodepage, CheckedConversionNamesWhatItCannotStore) {
    struct Case { std::string utf8; bool ok; size_t position; uint32_t codePoint; } cases[] = {
        {"你好 abc", true, 0, 0},
        {"", true, 0, 0},
        {"a\xEE\x9E\x8D" "b", false, 2, 0xE78D},          // U+E78D
        {"中文\xEE\xA0\x9E", false, 3, 0xE81E},            // U+E81E
        {"ok\xFF", false, 3, 0xFF},                         // not UTF-8
    };
    for (const Case& c : cases) {
        std::string ansi = "stale";
        UnencodableChar failure;
        EXPECT_EQ(Utf8ToAnsiChecked(c.utf8, ansi, &failure), c.ok) << c.utf8;
        if (c.ok) {
            EXPECT_EQ(ansi, Utf8ToAnsi(c.utf8));
            continue;
        }
        EXPECT_TRUE(ansi.empty());
        EXPECT_EQ(failure.position, c.position) << c.utf8;
        EXPECT_EQ(failure.codePoint, c.codePoint) << c.utf8;
    }
    UnencodableChar failure{2, 0xE78D};
    EXPECT_NE(UnencodableMessage(failure).find("第2个字符（U+E78D）"), std::string::npos);
}

// Bytes of unknown encoding: UTF-8 converted checked, GB18030 taken as it is,
// anything else refused; never a "?" in place of a byte.
TEST(Kelcodepage, ExternalTextIsNeverReplaced) {
    const std::string gb = "\xB2\xE2\xCA\xD4\xC3\xDC\xC2\xEB";   // 测试密码 in GB18030
    struct Case { std::string bytes; ExternalText result; std::string ansi; } cases[] = {
        {"测试密码", ExternalText::kConverted, gb},
        {gb, ExternalText::kConverted, gb},
        {"plain", ExternalText::kConverted, "plain"},
        {"", ExternalText::kConverted, ""},
        {"a\xEE\x9E\x8D", ExternalText::kUnencodable, ""},
        {"\xFF\xFF", ExternalText::kUndecodable, ""},
        {"\x80", ExternalText::kUndecodable, ""},
        {"ab\xB2", ExternalText::kUndecodable, ""},   // a pair cut short
    };
    for (const Case& c : cases) {
        std::string ansi = "stale";
        UnencodableChar failure;
        EXPECT_EQ(ExternalToAnsiChecked(c.bytes, ansi, &failure), c.result) << c.bytes;
        EXPECT_EQ(ansi, c.ansi) << c.bytes;
    }
    EXPECT_TRUE(IsValidGb18030(gb + "\x81\x30\x81\x30"));   // a four-byte sequence
    EXPECT_FALSE(IsValidGb18030("\xFF"));
}

// Text from outside: UTF-8 converted, GB18030 taken as it is, anything else refused as no text.
TEST(Kelcodepage, ExternalTextIsUtf8OrTheCodePageItself) {
    struct Case { std::string bytes; bool ok; std::string ansi; } cases[] = {
        {"测试 a", true, "\xB2\xE2\xCA\xD4 a"},
        {"\xB2\xE2\xCA\xD4.txt", true, "\xB2\xE2\xCA\xD4.txt"},   // GB18030 already
        {"\x81\x30\x81\x30", true, "\x81\x30\x81\x30"},           // a four-byte sequence
        {"caf\xE9.txt", false, ""},                                 // Latin-1
        {"\xFF\xFE", false, ""},
        {"ab\xB2", false, ""},                                      // cut short
    };
    for (const Case& c : cases) {
        std::string ansi, why;
        EXPECT_EQ(ExternalTextToAnsi(c.bytes, ansi, why), c.ok) << c.bytes;
        EXPECT_EQ(ansi, c.ansi) << c.bytes;
        if (!c.ok) EXPECT_EQ(why, "不是有效的文本（既不是UTF-8，也不是GB18030）。");
    }
}
