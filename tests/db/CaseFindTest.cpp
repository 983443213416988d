// The caption test of the find window and the store walk that covers
// subtrees the window has not loaded.
#include "db/CaseFind.h"

#include "TestSupport.h"
#include "kellib/Kelcodepage.h"

#include <clocale>

namespace {

std::u32string U(const char* utf8) { return Utf8ToU32(utf8); }

TEST(CaptionMatcherTest, CaseAndExactCombinations) {
    ASSERT_NE(std::setlocale(LC_CTYPE, "C.UTF-8"), nullptr);
    struct Case {
        const char* pattern;
        bool caseSensitive, exactly;
        const char* caption;
        bool matches;
    } cases[] = {
        {"abc", false, false, "ABC", true},
        {"abc", false, false, "xAbCx", true},
        {"abc", false, true, "  abc  ", true},
        {"abc", false, true, "xabc", false},
        {"abc", true, false, "xAbCx", false},
        {"AbC", true, false, "xAbCx", true},
        {"abc", true, true, "\tabc ", true},
        {"abc", true, true, "ABC", false},
        {"  abc  ", true, true, "abc", true},   // the pattern is trimmed as well
        {"abc", true, false, " abc", true},
        {"中文", false, false, "一段中文说明", true},
        {"straße", false, false, "STRASSE", false},   // one character at a time
        {"äb", false, true, "ÄB", true},              // the locale's letters, not only ASCII
    };
    for (const Case& c : cases) {
        CaptionMatcher matcher(U(c.pattern), c.caseSensitive, c.exactly);
        EXPECT_EQ(matcher.Matches(U(c.caption)), c.matches)
            << c.pattern << " / " << c.caption << " case " << c.caseSensitive << " exact " << c.exactly;
        EXPECT_EQ(matcher.MatchesAnsi(Utf8ToAnsi(c.caption)), c.matches) << c.caption;
    }
    EXPECT_TRUE(CaptionMatcher(U(" \t "), false, false).Empty());
}

TEST(CaptionMatcherTest, MalformedTextNeverBreaksTheTest) {
    EXPECT_EQ(Utf8ToU32("a\xC3"), U"a\uFFFD");
    EXPECT_EQ(Utf8ToU32("\xE4\xB8\xAD"), U"中");
    EXPECT_FALSE(CaptionMatcher(U("x"), true, false).MatchesAnsi("\xFF\xFE"));
}

class CaseTreeIndexTest : public ::testing::Test {
protected:
    TempFolder temp;
    CaseDB db;
    void SetUp() override { CreateTestDatabase(db, temp.File("find.vldb"), "pw"); }
};

TEST_F(CaseTreeIndexTest, FindsInTreeOrderWithThePathDown) {
    // top: A(order 2) { a1, deep { hit } }, B(order 1) { hit }
    int32_t a = AddTestNode(db, kParentTop, 2, "A", "", kNodeFolder);
    int32_t b = AddTestNode(db, kParentTop, 1, "B", "", kNodeFolder);
    AddTestNode(db, a, 1, "a1");
    int32_t deep = AddTestNode(db, a, 2, "deep", "", kNodeFolder);
    int32_t hitA = AddTestNode(db, deep, 1, "target two");
    int32_t hitB = AddTestNode(db, b, 1, "target one");
    AddTestNode(db, kParentRecycleBin, 1, "target in bin");
    CaseTreeIndex index(db);
    CaptionMatcher matcher(U("TARGET"), false, false);
    EXPECT_EQ(index.FindBelow(kParentTop, matcher), (std::vector<int32_t>{b, hitB}));   // B comes first by Order
    EXPECT_EQ(index.FindBelow(a, matcher), (std::vector<int32_t>{deep, hitA}));
    EXPECT_EQ(index.FindBelow(hitA, matcher), std::vector<int32_t>{});   // root itself is never tested
    EXPECT_EQ(index.FindBelow(kParentRecycleBin, matcher).size(), 1u);
    EXPECT_TRUE(index.FindBelow(kParentTop, CaptionMatcher(U("nothing"), false, false)).empty());
}

TEST_F(CaseTreeIndexTest, EqualOrdersGoByIdAndCirclesEnd) {
    int32_t first = AddTestNode(db, kParentTop, 5, "x first");
    AddTestNode(db, kParentTop, 5, "x second");
    EXPECT_EQ(CaseTreeIndex(db).FindBelow(kParentTop, CaptionMatcher(U("x"), true, false)),
              std::vector<int32_t>{first});
    // Two nodes that name each other as parent hang below nothing; walking from one ends.
    CaseNode node;
    ASSERT_TRUE(db.GetNode(first, node, true));
    int32_t other = AddTestNode(db, first, 1, "loop");
    node.Parent = other;
    ASSERT_TRUE(db.SaveNode(node));
    EXPECT_TRUE(CaseTreeIndex(db).FindBelow(other, CaptionMatcher(U("absent"), true, false)).empty());
}

}  // namespace
