// The full-text search: the readable text of every kind, the match options,
// hits of damaged nodes, odd search texts, stop, and the threads agreeing
// with one thread.
#include <chrono>
#include <map>
#include <set>

#include "../db/TestSupport.h"
#include "kellib/Kelcodepage.h"
#include "mk/Storage.h"
#include "rtf/RtfCodepage.h"
#include "search/CaseSearch.h"
#include "search/FilePreviewList.h"
#include "search/HtmlText.h"
#include "xml/CallingCard.h"

namespace {

std::u32string U(const std::string& utf8) { return Utf8ToUtf32(utf8); }

TEST(TextMatcherTest, Cases) {
    struct Case {
        const char* pattern;
        bool matchCase, wholeWord;
        const char* text;
        size_t at;
    };
    const size_t no = std::u32string::npos;
    const Case cases[] = {
        {"zebra", false, false, "A ZeBrA", 2},
        {"zebra", true, false, "A ZeBrA", no},
        {"ΑΒΓ", false, false, "xαβγ", 1},           // letters beyond ASCII fold too
        {"aab", true, false, "aaab", 1},             // a partial match that overlaps the next
        {"abab", true, false, "abaabab", 3},
        {"zeb", false, true, "zebra zeb", 6},        // the first occurrence is inside a word
        {"zeb", false, true, "zebra_", no},
        {"zeb", false, true, "(zeb)", 1},
        {"斑马", false, true, "一只斑马跑", 2},        // Chinese characters are words of their own
        {"mot", false, true, "élan moté", no},       // é is a letter
        {"x", true, false, "", no},
        {"longer than text", true, false, "short", no},
    };
    for (const Case& c : cases) {
        const TextMatcher matcher(U(c.pattern), {c.matchCase, c.wholeWord});
        EXPECT_EQ(matcher.Find(U(c.text)), c.at) << c.pattern << " in " << c.text;
    }
}

// The byte test before decoding never drops a text that holds a match, also
// where a GB18030 trail byte is an ASCII letter ("俍" is 82 5A, "Z").
TEST(TextMatcherTest, ByteTestKeepsEveryMatch) {
    const char* const patterns[] = {"zebra", "ZEBRA", "Z", "z", "斑马 z", "俍", "ı", "I", "Ζ", "ζ"};
    // The first candidates in either case fail before a later one matches.
    const char* const texts[] = {"a Zebra", "俍", "侤", "斑马 Z", "ı", "I", "ζ", "ΖΕΒΡΑ", "no",
                                 "Zebu zEBRA", "zebu ZEBRA", "ZzZzZebra"};
    for (const char* pattern : patterns)
        for (bool matchCase : {false, true})
            for (const char* text : texts) {
                const TextMatcher matcher(U(pattern), {matchCase, false});
                const bool found = matcher.Find(U(text)) != std::u32string::npos;
                EXPECT_TRUE(!found || matcher.MayMatchBytes(text, true)) << pattern << " in " << text;
                EXPECT_TRUE(!found || matcher.MayMatchBytes(Utf8ToAnsi(text), false)) << pattern << " in " << text;
            }
    const TextMatcher zebra(U("zebra"), {});
    EXPECT_FALSE(zebra.MayMatchBytes(Utf8ToAnsi("斑马 zebu"), false));   // the point of it: most nodes left out
}

// A pattern that almost matches everywhere takes linear time.
TEST(TextMatcherTest, WorstCaseTextIsLinear) {
    const std::u32string text(2'000'000, U'a');
    const TextMatcher matcher(std::u32string(100'000, U'a') + U'b', {true, false});
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(matcher.Find(text), std::u32string::npos);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

TEST(TextMatcherTest, ContextLineIsTheLineCutAroundTheMatch) {
    EXPECT_EQ(ContextLine(U("first\r\n  the\tzebra line  \r\nlast"), 14, 5), "the zebra line");
    const std::u32string longLine = U(std::string(100, 'x') + "zebra" + std::string(100, 'y'));
    const std::string context = ContextLine(longLine, 100, 5);
    EXPECT_EQ(context, "…" + std::string(30, 'x') + "zebra" + std::string(55, 'y') + "…");
}

// The text of a page as the HTML standard tokenizes it.
TEST(HtmlTextTest, Cases) {
    const struct {
        const char* html;
        const char* text;
    } cases[] = {
        // Named references: the standard's whole list, and the legacy names without ';'.
        {"caf&eacute; &euro;5 &ldquo;q&rdquo; &yen; &hellip;", "café €5 “q” ¥ …\n"},
        {"a&nbsp;b&nbsp;&nbsp;c &NotNestedGreaterGreater; &fjlig;", "a b c ⪢̸ fj\n"},
        {"&copy2024 &notit; &ampx &AMP &lt3", "©2024 ¬it; &x & <3\n"},
        {"&unknown; &amp &Eacute &; &#; &#x; & b &", "&unknown; & É &; &#; &#x; & b &\n"},
        // Numeric references: decimal and hex; none, surrogates and numbers past Unicode
        // are U+FFFD, 0x80 to 0x9F read as Windows-1252.
        {"&#233;&#xE9;&#X20AC;&#x20ac &#20320 &#128;&#x93;", "éé€€ 你 €“\n"},
        {"&#0;&#xD800;&#x110000;&#99999999999999;", "\uFFFD\uFFFD\uFFFD\uFFFD\n"},
        // Attributes: a '>' inside a quoted value does not end the tag; quotes elsewhere are
        // characters of a name or an unquoted value.
        {"<p title=\"a > b\">x</p>", "x\n"},
        {"<p title='1>2' data-x=\"'>\" alt = \">\">x</p>", "x\n"},
        {"<a href=x\"y>link</a> after", "link after\n"},
        {"<a b\"c>x</a>", "x\n"},
        {"<p class=\"cut>off", ""},
        // Scripts and styles are no text, whatever they hold; titles are text without tags.
        {"<script>var s = '</p>'; if (a<b) x();</script>shown", "shown\n"},
        {"<STYLE type=\"text/css\">p > b { }</Style >shown", "shown\n"},
        {"<script>x</scripts>y</script>z", "z\n"},
        {"<script>never closed", ""},
        {"<title>A &amp; <b></title><p>x", "A & <b>\nx\n"},
        // Comments, declarations and processing instructions.
        {"a<!-- <p>hidden</p> -->b<!---->c<!-->d<!--->e<!-- never closed", "abcde\n"},
        {"<!DOCTYPE html><?xml x?>a</ b>c</>d", "acd\n"},
        // A '<' that starts no tag is text; blocks and <br> break lines, blanks collapse.
        {"1 < 2 <3 a<", "1 < 2 <3 a<\n"},
        {"<div>one</div>\r\n<div>two<br>three\t \n four</div>", "one\ntwo\nthree four\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(HtmlToText(c.html), c.text) << c.html;
}

TEST(FilePreviewListTest, TextListFirstThenHtml) {
    EXPECT_EQ(FilePreviewOfName("readme.TXT", kDefaultTextPreviewExt, kDefaultHtmlPreviewExt), FilePreview::Text);
    EXPECT_EQ(FilePreviewOfName("a.htm", kDefaultTextPreviewExt, kDefaultHtmlPreviewExt), FilePreview::Html);
    EXPECT_EQ(FilePreviewOfName("Makefile", kDefaultTextPreviewExt, kDefaultHtmlPreviewExt), FilePreview::None);
}

class CaseSearchTest : public ::testing::Test {
protected:
    void SetUp() override {
        CreateTestDatabase(db, path, "pw");
        folder = Add(0, "Animals", "", kNodeFolder);
        ids["text"] = Add(folder, "text", Utf8ToAnsi("第一行\r\n斑马 Zebra here\r\n"));
        ids["html"] = Add(folder, "html",
                          "<html><head><style>p.zebra{}</style><script>var okapi;</script></head>"
                          "<body><p class=\"zebra\" title=\"a > okapi\">Gnu&amp;Yak caf&eacute;</p><p>the <b>Zebra</b> runs</p>"
                          "</body></html>",
                          kNodeHtml);
        ids["file"] = Add(folder, "notes.txt", "utf-8 text: ζ zebra\n", kNodeFile);
        ids["binary"] = Add(folder, "photo.jpg", "zebra", kNodeFile);   // not in the text-preview list
        xml::CallingCard card;
        card.SetText(xml::Remark, "likes zebras");
        card.SetText(xml::Name, Utf8ToAnsi("张三"));
        ids["card"] = Add(folder, "card", card.BuildDocument(), kNodeCard);
        ids["url"] = Add(folder, "url", "http://zebra.example/", kNodeUrl);
        ids["rtf"] = Add(folder, "rtf", "{\\rtf1\\ansi\\ansicpg936{\\fonttbl{\\f0 SimSun;}}\\f0 A \\b Zebra\\b0\\par}",
                         kNodeRtf);
        ids["board"] = Add(folder, "board", "zebra", kNodeWhiteboard);   // a picture: its caption only
        ids["caption"] = Add(folder, "Zebra crossing", "", kNodeFolder);
        ids["binned"] = Add(kParentRecycleBin, "old", "zebra", kNodeText);
        ids["damaged"] = Add(folder, "damaged", std::string(300, 'z'));
        ASSERT_TRUE(db.Commit());
        db.Close();
        Damage(ids["damaged"]);
        ASSERT_EQ(db.OpenReadOnly(path), CaseDB::kOpened);
        ASSERT_TRUE(db.Login("pw"));
    }

    int32_t Add(int32_t parent, const std::string& caption, const std::string& content, uint8_t type = kNodeText) {
        return AddTestNode(db, parent, ++order, caption, content, type);
    }

    void Damage(int32_t id) {
        mk::Storage storage;
        ASSERT_EQ(storage.Open(path), mk::Status::Ok);
        mk::View* view = storage.ViewNamed("Case");
        const int row = view->Find({{view->Column("Id"), mk::Value{int64_t{id}}}});
        std::string data;
        view->GetBytes(row, view->Column("Data"), data);
        data[data.size() / 2] ^= 0x5A;
        view->SetBytes(row, view->Column("Data"), data);
        ASSERT_TRUE(storage.Commit());
    }

    std::map<int32_t, SearchHit> Search(const std::string& text, SearchOptions options, int threads = 0) {
        std::map<int32_t, SearchHit> hits;
        CaseSearch search(db);
        summary = search.Run(TextMatcher(U(text), options), [&](const SearchHit& h) { hits[h.Id] = h; }, threads);
        return hits;
    }

    std::set<std::string> Found(const std::map<int32_t, SearchHit>& hits, SearchHit::Where place) {
        std::set<std::string> names;
        for (const auto& [name, id] : ids)
            if (hits.count(id) && hits.at(id).Place == place) names.insert(name);
        return names;
    }

    TempFolder dir;
    std::string path = dir.File("search.vldb");
    CaseDB db;
    int32_t order = 0, folder = 0;
    std::map<std::string, int32_t> ids;
    SearchSummary summary;
};

TEST_F(CaseSearchTest, FindsEveryReadableKindAndReportsTheDamagedNode) {
    const auto hits = Search("zebra", {});
    EXPECT_EQ(Found(hits, SearchHit::kContent),
              (std::set<std::string>{"text", "html", "file", "card", "url", "rtf", "binned"}));
    EXPECT_EQ(Found(hits, SearchHit::kCaption), (std::set<std::string>{"caption"}));
    EXPECT_EQ(Found(hits, SearchHit::kUnreadable), (std::set<std::string>{"damaged"}));
    EXPECT_EQ(summary.Done, summary.Total);
    EXPECT_EQ(summary.Total, db.NodeCount());
    EXPECT_EQ(summary.Unreadable, 1);

    const SearchHit& text = hits.at(ids["text"]);
    EXPECT_EQ(text.Path, (std::vector<std::string>{"我的公文包", "Animals", "text"}));
    EXPECT_EQ(text.Context, "斑马 Zebra here");
    EXPECT_EQ(hits.at(ids["html"]).Context, "the Zebra runs");   // markup and the class attribute left out
    EXPECT_EQ(hits.at(ids["card"]).Context, "likes zebras");
    EXPECT_EQ(hits.at(ids["binned"]).Path, (std::vector<std::string>{"回收站", "old"}));
    EXPECT_EQ(hits.at(ids["damaged"]).Path, (std::vector<std::string>{"我的公文包", "Animals", "damaged"}));
}

TEST_F(CaseSearchTest, TextOfEachKind) {
    EXPECT_TRUE(Found(Search("okapi", {}), SearchHit::kContent).empty());   // scripts and attributes are no text
    EXPECT_EQ(Found(Search("Gnu&Yak", {}), SearchHit::kContent), (std::set<std::string>{"html"}));
    EXPECT_EQ(Found(Search("CAFÉ", {}), SearchHit::kContent), (std::set<std::string>{"html"}));
    EXPECT_EQ(Found(Search("斑马", {}), SearchHit::kContent), (std::set<std::string>{"text"}));
    EXPECT_EQ(Found(Search("张三", {}), SearchHit::kContent), (std::set<std::string>{"card"}));
    EXPECT_EQ(Found(Search("Ζ ZEBRA", {}), SearchHit::kContent), (std::set<std::string>{"file"}));
}

TEST_F(CaseSearchTest, MatchCaseAndWholeWord) {
    EXPECT_EQ(Found(Search("Zebra", {.matchCase = true}), SearchHit::kContent),
              (std::set<std::string>{"text", "html", "rtf"}));
    EXPECT_EQ(Found(Search("Zebra", {.matchCase = true}), SearchHit::kCaption), (std::set<std::string>{"caption"}));
    EXPECT_EQ(Found(Search("zebra", {.wholeWord = true}), SearchHit::kContent),
              (std::set<std::string>{"text", "html", "file", "url", "rtf", "binned"}));   // not "zebras"
    EXPECT_TRUE(Found(Search("zebr", {.wholeWord = true}), SearchHit::kContent).empty());
}

// Odd texts find nothing and harm nothing; the damaged node is still reported.
TEST_F(CaseSearchTest, OddAndLongTexts) {
    const std::u32string odd[] = {
        std::u32string(1, U'\0'), U"\uFFFD", std::u32string(1, char32_t(0xD800)), std::u32string(1, char32_t(0x110000)),
        std::u32string(1'000'000, U'z'),
    };
    for (const std::u32string& text : odd) {
        CaseSearch search(db);
        const SearchSummary s = search.Run(TextMatcher(text, {}), nullptr);
        EXPECT_EQ(s.Hits, s.Unreadable) << text.size();
        EXPECT_EQ(s.Done, s.Total);
    }
}

TEST_F(CaseSearchTest, ThreadsFindWhatOneThreadFinds) {
    auto one = Search("e", {}, 1);
    auto four = Search("e", {}, 4);
    ASSERT_EQ(one.size(), four.size());
    for (const auto& [id, hit] : one) {
        EXPECT_EQ(four.at(id).Place, hit.Place);
        EXPECT_EQ(four.at(id).Context, hit.Context);
        EXPECT_EQ(four.at(id).Path, hit.Path);
    }
}

// After Stop no hit is handed over, and nothing is read any more.
TEST_F(CaseSearchTest, StopEndsTheRun) {
    CaseSearch search(db);
    int calls = 0;
    const SearchSummary s = search.Run(TextMatcher(U("e"), {}), [&](const SearchHit&) {
        ++calls;
        search.Stop();
    });
    EXPECT_TRUE(s.Stopped);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(s.Hits, 1);

    search.Start(TextMatcher(U("e"), {}));
    search.Stop();
    int steps = 0;
    while (search.Step([&](const SearchHit&) { ++calls; }) && steps < 1000) {
        search.Wait(10);
        ++steps;
    }
    EXPECT_LT(steps, 1000);
    EXPECT_EQ(search.Done(), 0);
    EXPECT_EQ(calls, 1);
}

// A hit off the tree (below parents in a circle, or a missing parent) shows
// the path as far as the parents go, after a "?".
TEST(SearchPathTest, HitsOffTheTreeStartWithAQuestionMark) {
    TempFolder dir;
    CaseDB db;
    CreateTestDatabase(db, dir.File("paths.vldb"), "pw");
    const int32_t a = AddTestNode(db, 0, 1, "a", "", kNodeFolder);
    const int32_t b = AddTestNode(db, a, 1, "b", "", kNodeFolder);
    const int32_t inCircle = AddTestNode(db, b, 1, "in circle", "zebra");
    const int32_t lost = AddTestNode(db, 0, 2, "lost", "zebra");
    for (auto [id, parent] : {std::pair{a, b}, std::pair{lost, 999}}) {
        CaseNode node;
        ASSERT_TRUE(db.GetNode(id, node, true));
        node.Parent = parent;
        ASSERT_TRUE(db.SaveNode(node));
    }
    ASSERT_TRUE(db.Commit());
    std::map<int32_t, SearchHit> hits;
    CaseSearch search(db);
    search.Run(TextMatcher(U("zebra"), {false, false}), [&](const SearchHit& h) { hits[h.Id] = h; }, 1);
    EXPECT_EQ(hits.at(inCircle).Path, (std::vector<std::string>{"?", "a", "b", "in circle"}));
    EXPECT_EQ(hits.at(lost).Path, (std::vector<std::string>{"?", "lost"}));
}

}  // namespace
