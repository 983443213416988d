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
