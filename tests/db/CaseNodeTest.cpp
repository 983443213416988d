#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <cmath>

#include "TestSupport.h"
#include "db/CaseNode.h"
#include "kellib/Kelcodepage.h"

TEST(CaseNode, NewNodeIsEmptyAndDatedNow) {
    double before = NowDayTime();
    CaseNode node;
    EXPECT_EQ(node.Id, 0);
    EXPECT_EQ(node.Parent, 0);
    EXPECT_EQ(node.Type, 0);
    EXPECT_EQ(node.DataSize(), 0);
    EXPECT_EQ(node.Data()[0], '\0');
    EXPECT_EQ(node.Modified, 0);
    EXPECT_GE(node.Created, before);
    EXPECT_LT(node.Created - before, 1.0 / 86400);
}

TEST(CaseNode, DataAlwaysEndsWithSpareZero) {
    CaseNode node;
    node.SetData("abc", 3);
    EXPECT_EQ(node.DataSize(), 3);
    EXPECT_STREQ(node.Data(), "abc");
    node.SetDataFromText("");
    EXPECT_EQ(node.DataSize(), 1);
    node.SetDataFromText("xy");
    EXPECT_EQ(node.DataSize(), 3);
    EXPECT_EQ(node.DataBytes(), std::string("xy\0", 3));
    node.SetData("abc", 0);
    EXPECT_EQ(node.DataSize(), 0);
}

TEST(CaseNode, AttributeListKeepsOrderIgnoresCaseAndDropsEmptyValues) {
    CaseNode node;
    node.SetAttr("FSize", "10");
    node.SetAttr("Attribute", "32");
    EXPECT_EQ(node.Attribute, "FSize=10\r\nAttribute=32\r\n");
    node.SetAttr("fsize", "11");
    EXPECT_EQ(node.Attribute, "fsize=11\r\nAttribute=32\r\n");
    EXPECT_EQ(node.GetAttr("FSIZE"), "11");
    EXPECT_EQ(node.GetAttr("Missing"), "");
    node.SetAttr("FSize", "");
    EXPECT_EQ(node.Attribute, "Attribute=32\r\n");
    node.SetAttr("Missing", "");
    EXPECT_EQ(node.Attribute, "Attribute=32\r\n");
}

TEST(CaseNode, TypeNames) {
    const char* const expected[] = {"资料夹", "纯文本", "HTML", "文件", "名片",
                                    "URL",    "RTF格式", "白板", "声音"};
    for (int code = 0; code <= 8; ++code) EXPECT_EQ(AnsiToUtf8(TypeName(code)), expected[code]);
    EXPECT_EQ(TypeName(-1), "");
    EXPECT_EQ(TypeName(9), "");
    EXPECT_EQ(TypeName(10), "");
}

TEST(CaseNode, DisplayTimes) {
    CaseNode node;
    node.Created = 45000.5;
    node.Modified = 0;
    EXPECT_EQ(AnsiToUtf8(node.FormatCreated()), "2023年03月15日 12时00分00秒");
    EXPECT_EQ(AnsiToUtf8(node.FormatModified()), "2023年03月15日 12时00分00秒");
    node.Modified = 45002.75 + 1.0 / 86400;
    EXPECT_EQ(AnsiToUtf8(node.FormatModified()), "2023年03月17日 18时00分01秒");
    EXPECT_EQ(AnsiToUtf8(FormatDayTime(0)), "1899年12月30日 00时00分00秒");
    EXPECT_EQ(AnsiToUtf8(FormatDayTime(std::nan(""))), "0000年00月00日 00时00分00秒");
    EXPECT_EQ(AnsiToUtf8(FormatDayTime(1e300)), "0000年00月00日 00时00分00秒");
    // File times of the sample's file node: 2024-03-07 09:05:00 and 2024-03-08 09:05:00 UTC.
    node.Attribute = "FCreateLow=-2004531712\r\nFCreateHigh=31092846\r\n"
                     "FModifyLow=-1292958208\r\nFModifyHigh=31093047\r\n";
    EXPECT_EQ(AnsiToUtf8(node.FormatFileCreated()), "2024年03月07日 09时05分00秒");
    EXPECT_EQ(AnsiToUtf8(node.FormatFileModified()), "2024年03月08日 09时05分00秒");
}

TEST(CaseNode, FilePayloadRoundTripsBytesTimesAndReadOnly) {
    TempFolder dir;
    const std::string source = dir.File("notes.txt"), copy = dir.File("copy.txt");
    WriteFile(source, std::string("bytes\0more", 10));
    struct timespec times[2] = {{0, UTIME_OMIT}, {1709802300, 123456700}};   // 2024-03-07 09:05:00
    ASSERT_EQ(utimensat(AT_FDCWD, source.c_str(), times, 0), 0);
    ASSERT_EQ(chmod(source.c_str(), 0444), 0);

    CaseNode node;
    ASSERT_TRUE(node.LoadFromFile(source, true));
    EXPECT_EQ(node.DataBytes(), std::string("bytes\0more", 10));
    EXPECT_EQ(node.GetAttr("FSize"), "10");
    EXPECT_EQ(node.GetAttr("Attribute"), "1");
    EXPECT_EQ(AnsiToUtf8(node.FormatFileModified()), "2024年03月07日 09时05分00秒");
    EXPECT_NE(node.GetAttr("FCreateHigh"), "");

    ASSERT_TRUE(node.SaveToFile(copy));
    EXPECT_EQ(ReadFile(copy), node.DataBytes());
    struct stat st;
    ASSERT_EQ(stat(copy.c_str(), &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, 1709802300);
    EXPECT_EQ(st.st_mtim.tv_nsec, 123456700);
    EXPECT_FALSE(st.st_mode & S_IWUSR);

    // Saving again over the read-only copy works and a normal word restores write access.
    node.SetAttr("Attribute", "128");
    ASSERT_TRUE(node.SaveToFile(copy));
    ASSERT_EQ(stat(copy.c_str(), &st), 0);
    EXPECT_TRUE(st.st_mode & S_IWUSR);
}

TEST(CaseNode, FilePayloadAttributeWords) {
    TempFolder dir;
    WriteFile(dir.File(".hidden"), "x");
    WriteFile(dir.File("plain"), "x");
    CaseNode hidden, plain;
    ASSERT_TRUE(hidden.LoadFromFile(dir.File(".hidden"), true));
    ASSERT_TRUE(plain.LoadFromFile(dir.File("plain"), true));
    EXPECT_EQ(hidden.GetAttr("Attribute"), "2");
    EXPECT_EQ(plain.GetAttr("Attribute"), "128");

    CaseNode dataOnly;
    ASSERT_TRUE(dataOnly.LoadFromFile(dir.File("plain"), false));
    EXPECT_EQ(dataOnly.Attribute, "");
    EXPECT_FALSE(dataOnly.LoadFromFile(dir.File("missing"), true));
    EXPECT_FALSE(dataOnly.LoadFromFile(dir.Path(), false));   // a folder reads short
    EXPECT_FALSE(dataOnly.SaveToFile(dir.File("no/such/folder")));
    // Damaged time words still save the content.
    dataOnly.Attribute = "FModifyLow=-1\r\nFModifyHigh=2147483647\r\nAttribute=x\r\n";
    EXPECT_TRUE(dataOnly.SaveToFile(dir.File("odd")));
    EXPECT_EQ(ReadFile(dir.File("odd")), "x");
}
