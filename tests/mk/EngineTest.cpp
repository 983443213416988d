// Writing, restructuring, row operations, rollback and compacted copies.
#include <filesystem>

#include "Invariants.h"
#include "TestUtil.h"
#include "mk/Dump.h"
#include "mk/Format.h"
#include "mk/Storage.h"

namespace {

using namespace mktest;
const char* kParameter = "Parameter[Name:S,Value:S]";
const char* kBookmarks = "Bookmarks[Id:I]";

std::string Content(const std::string& json) { return json.substr(json.find("\"structure\"")); }

std::string DumpOf(const std::string& path, mk::Status want = mk::Status::Ok) {
    mk::Storage s;
    EXPECT_EQ(s.Open(path, true), want) << path;
    return s.IsOpen() ? Content(mk::DumpJson(s)) : std::string();
}

std::string Check(const std::string& path, bool memoRule = true, bool compact = false, bool padding = true) {
    return mktest::FileChecker().Check(ReadFile(path), memoRule, compact, padding);
}

std::string Copy(const TempDir& dir, const std::string& fixture) {
    std::string path = dir.File(fixture);
    std::filesystem::copy_file(FixtureDir() + "/" + fixture, path);
    return path;
}

class StringStream : public mk::Stream {
public:
    std::string bytes;
    long failAfter = -1;   // bytes accepted before writes fail
    long Read(void*, long) override { return 0; }
    bool Write(const void* p, long len) override {
        if (failAfter >= 0 && long(bytes.size()) + len > failAfter) return false;
        bytes.append(static_cast<const char*>(p), size_t(len));
        return true;
    }
};

// Fills the three project views with the rows of tiny.mk.
void FillTiny(mk::Storage& s) {
    mk::View* c = s.GetAs(kCase);
    mk::View* p = s.GetAs(kParameter);
    mk::View* b = s.GetAs(kBookmarks);
    ASSERT_TRUE(c && p && b);
    struct Row {
        int id, parent, order, type;
        const char* caption;
        double created, modified;
        const char *attribute, *data;
    } rows[] = {{1, 0, 0, 0, "Root", 45000.5123, 45000.5123, "", ""}, {2, 1, 0, 1, "Page", 45001, 45001.25, "a", "xyz"}};
    for (const auto& r : rows) {
        int i = c->AddRow();
        c->SetInt(i, 0, r.id);
        c->SetInt(i, 1, r.parent);
        c->SetInt(i, 2, r.order);
        c->SetInt(i, 3, r.type);
        c->SetBytes(i, 4, r.caption);
        c->SetDouble(i, 5, r.created);
        c->SetDouble(i, 6, r.modified);
        c->SetBytes(i, 7, r.attribute);
        c->SetBytes(i, 8, r.data);
    }
    p->SetValue(p->AddRow(), 0, std::string("Version"));
    p->SetValue(0, 1, std::string("3"));
    b->SetInt(b->AddRow(), 0, 2);
}

TEST(Writer, NewFileIsByteIdenticalToTheOriginalLibrarysFile) {
    TempDir dir;
    std::string path = dir.File("tiny.mk");
    {
        mk::Storage s;
        ASSERT_EQ(s.Open(path), mk::Status::Ok);
        FillTiny(s);
        ASSERT_TRUE(s.Commit());
    }
    EXPECT_TRUE(ReadFile(path) == ReadFile(FixtureDir() + "/tiny.mk"));
    EXPECT_EQ(Check(path), "");
}

TEST(Writer, CommitAfterSaveToAndReopenKeepsEveryFixtureContent) {
    // Every fixture the engine reads is copied through SaveTo and through a
    // restructuring-free commit; both must read back identically and follow the rules.
    TempDir dir;
    for (const auto& e : std::filesystem::directory_iterator(FixtureDir())) {
        std::string name = e.path().filename().string();
        if (e.path().extension() != ".mk" || name.rfind("old-format-bigendian", 0) == 0) continue;
        mk::Storage s;
        mk::Status st = s.Open(e.path().string(), true);
        ASSERT_TRUE(st == mk::Status::Ok || st == mk::Status::Recovered) << name;
        std::string want = Content(mk::DumpJson(s));
        StringStream out;
        ASSERT_TRUE(s.SaveTo(out)) << name;
        std::string copy = dir.File(name);
        WriteFile(copy, out.bytes);
        EXPECT_EQ(DumpOf(copy), want) << name;
        if (!s.Description().empty()) {
            EXPECT_EQ(mktest::FileChecker().Check(out.bytes, true, true, false), "") << name;
        }
    }
}

TEST(Writer, CompactedCopyMatchesTheOriginalLibrarysCopy) {
    mk::Storage s;
    ASSERT_EQ(s.Open(FixtureDir() + "/history-5.mk", true), mk::Status::Ok);
    StringStream out;
    ASSERT_TRUE(s.SaveTo(out));
    std::string want = ReadFile(FixtureDir() + "/history-compacted.mk");
    // Same layout (the root walk names every blob) and the same content;
    // the original library leaves arbitrary padding bits, so bytes may differ there.
    ASSERT_EQ(out.bytes.size(), want.size());
    size_t walkAndTails = 138 + 16;
    EXPECT_TRUE(out.bytes.substr(out.bytes.size() - walkAndTails) == want.substr(want.size() - walkAndTails));
    WriteFile(::testing::TempDir() + "/compacted.mk", out.bytes);
    EXPECT_EQ(DumpOf(::testing::TempDir() + "/compacted.mk"), Content(ReadFile(FixtureDir() + "/history-compacted.json")));
}

TEST(Writer, FailingStreamMakesSaveToFail) {
    mk::Storage s;
    ASSERT_EQ(s.Open(FixtureDir() + "/bytes-memo.mk", true), mk::Status::Ok);
    for (long at : {0L, 7L, 100L, 20000L, 1613000L}) {
        StringStream out;
        out.failAfter = at;
        EXPECT_FALSE(s.SaveTo(out)) << at;
    }
}

TEST(Writer, NoopCommitWritesNothing) {
    TempDir dir;
    std::string path = Copy(dir, "schema-basic.mk");
    mk::Storage s;
    ASSERT_EQ(s.Open(path), mk::Status::Ok);
    s.GetAs(kCase);
    s.GetAs(kParameter);
    s.GetAs(kBookmarks);
    mk::View* c = s.ViewNamed("case");
    c->SetInt(0, 0, c->GetInt(0, 0));   // same value
    ASSERT_TRUE(s.Commit());
    EXPECT_TRUE(ReadFile(path) == ReadFile(FixtureDir() + "/schema-basic.mk"));
}

TEST(Writer, EmptyStoragesWriteNothingUntilThereIsSomethingToWrite) {
    TempDir dir;
    std::string missing = dir.File("missing.mk");
    {
        mk::Storage s;
        ASSERT_EQ(s.Open(missing), mk::Status::Ok);
        EXPECT_EQ(s.ViewCount(), 0);
        ASSERT_TRUE(s.Commit());
    }
    ASSERT_TRUE(std::filesystem::exists(missing));   // created at open, left empty
    EXPECT_EQ(ReadFile(missing).size(), 0u);
    mk::Storage ro;
    EXPECT_EQ(ro.Open(dir.File("other.mk"), true), mk::Status::IoError);
    EXPECT_FALSE(std::filesystem::exists(dir.File("other.mk")));
    {
        mk::Storage s;
        ASSERT_EQ(s.Open(missing), mk::Status::Ok);
        mk::View* v = s.GetAs(kParameter);
        ASSERT_TRUE(v);
        EXPECT_EQ(v->RowCount(), 0);
        ASSERT_TRUE(s.Commit());
    }
    EXPECT_EQ(ReadFile(missing).size(), 56u);   // header, empty view, walk, tails
    EXPECT_EQ(Check(missing), "");
}

TEST(Writer, CommitToForeignFileAppendsAfterItsBytes) {
    TempDir dir;
    std::string path = Copy(dir, "not-metakit.mk");
    std::string foreign = ReadFile(path);
    {
        mk::Storage s;
        ASSERT_EQ(s.Open(path), mk::Status::Ok);
        EXPECT_FALSE(s.Info().metakitData);
        mk::View* p = s.GetAs(kParameter);
        p->SetBytes(p->AddRow(), 0, "Version");
        ASSERT_TRUE(s.Commit());
    }
    std::string now = ReadFile(path);
    EXPECT_EQ(now.substr(0, foreign.size()), foreign);
    mk::Storage s;
    ASSERT_EQ(s.Open(path, true), mk::Status::Ok);
    EXPECT_EQ(s.Info().baseOffset, int64_t(foreign.size()));
    EXPECT_EQ(s.ViewNamed("Parameter")->GetString(0, 0), "Version");
}

TEST(Writer, RecoveredFileCommitsOnFromTheRecoveredState) {
    TempDir dir;
    for (const char* name : {"trailing-garbage.mk", "interrupted-append.mk"}) {
        std::string path = Copy(dir, name);
        {
            mk::Storage s;
            ASSERT_EQ(s.Open(path), mk::Status::Recovered) << name;
            mk::View* b = s.GetAs(kBookmarks);
            b->SetInt(b->AddRow(), 0, 77);
            ASSERT_TRUE(s.Commit());
        }
        mk::Storage s;
        ASSERT_EQ(s.Open(path, true), mk::Status::Ok) << name;
        mk::View* b = s.ViewNamed("Bookmarks");
        EXPECT_EQ(b->GetInt(b->RowCount() - 1, 0), 77);
        EXPECT_EQ(Check(path, false, false, false), "") << name;
    }
}

TEST(Writer, DamagedFilesOpenAsErrorsOrEarlierCommits) {
    TempDir dir;
    std::string good = ReadFile(FixtureDir() + "/history-5.mk");
    std::string second = ReadFile(FixtureDir() + "/history-2.mk");
    struct Case {
        const char* what;
        std::string bytes;
        mk::Status status;
    } cases[] = {
        {"cut in the middle", good.substr(0, good.size() / 2), mk::Status::Corrupt},
        {"cut after an earlier commit", second.substr(0, 13000), mk::Status::Recovered},
        {"flipped tail", good.substr(0, good.size() - 3) + "xyz", mk::Status::Recovered},
        {"header only", good.substr(0, 8), mk::Status::Corrupt},
        {"old generation", ReadFile(FixtureDir() + "/old-format-bigendian.mk"), mk::Status::OldFormat},
        {"zero length", "", mk::Status::Ok},
    };
    for (const auto& c : cases) {
        std::string path = dir.File("damaged.mk");
        WriteFile(path, c.bytes);
        mk::Storage s;
        EXPECT_EQ(s.Open(path), c.status) << c.what;
        EXPECT_EQ(ReadFile(path), c.bytes) << c.what;
    }
}

TEST(Writer, ValuesOfEveryTypeRoundTrip) {
    TempDir dir;
    std::string path = dir.File("types.mk");
    std::string big(3 << 20, 'x');
    for (size_t i = 0; i < big.size(); ++i) big[i] = char(i * 7 % 251);
    {
        mk::Storage s;
        ASSERT_EQ(s.Open(path), mk::Status::Ok);
        mk::View* v = s.GetAs("T[I:I,L:L,F:F,D:D,S:S,B:B,N[X:I]]");
        ASSERT_TRUE(v);
        for (int64_t i : {int64_t(0), int64_t(-1), int64_t(1) << 40, int64_t(INT32_MIN)}) {
            int r = v->AddRow();
            v->SetInt(r, 0, i);
            v->SetInt(r, 1, i * 3);
            v->SetDouble(r, 2, double(i) / 4);
            v->SetDouble(r, 3, double(i) / 3);
            v->SetBytes(r, 4, r == 1 ? std::string("\xd6\xd0") : std::string());
            v->SetBytes(r, 5, r == 2 ? big : std::string(size_t(r), '\0'));
            mk::View* n = v->GetSubview(r, 6);
            for (int k = 0; k < r; ++k) n->SetInt(n->AddRow(), 0, k + 100);
        }
        ASSERT_TRUE(s.Commit());
    }
    mk::Storage s;
    ASSERT_EQ(s.Open(path, true), mk::Status::Ok);
    mk::View* v = s.ViewNamed("t");
    ASSERT_EQ(v->RowCount(), 4);
    EXPECT_EQ(v->GetInt(1, 0), -1);
    EXPECT_EQ(v->GetInt(2, 0), 0);   // I keeps 32 bits
    EXPECT_EQ(v->GetInt(2, 1), int64_t(3) << 40);
    EXPECT_EQ(v->GetDouble(3, 3), double(INT32_MIN) / 3);
    EXPECT_EQ(v->GetDouble(1, 2), -0.25);
    EXPECT_EQ(v->GetString(1, 4), "\xd6\xd0");
    std::string out;
    ASSERT_TRUE(v->GetBytes(2, 5, out));
    EXPECT_EQ(out, big);
    ASSERT_TRUE(v->GetBytes(3, 5, out));
    EXPECT_EQ(out, std::string(3, '\0'));
    EXPECT_EQ(v->GetSubview(3, 6)->RowCount(), 3);
    EXPECT_EQ(v->GetSubview(3, 6)->GetInt(2, 0), 102);
    EXPECT_EQ(Check(path), "");
}

TEST(Restructure, MatchedColumnsKeepTheirBlobsAndAddedOnesReadEmpty) {
    TempDir dir;
    std::string path = Copy(dir, "restructure-1.mk");
    std::string before = ReadFile(path);
    {
        mk::Storage s;
        ASSERT_EQ(s.Open(path), mk::Status::Ok);
        mk::View* c = s.GetAs("case[ID:I,Parent:I,Caption:B,Created:D,Attribute:S,F:F,L:L]");
        ASSERT_TRUE(c);
        EXPECT_EQ(c->GetInt(3, 0), 4);
        EXPECT_EQ(c->GetDouble(3, 3), 0.0);
        EXPECT_EQ(c->GetString(3, 4), "");
        ASSERT_TRUE(s.Commit());
    }
    std::string after = ReadFile(path);
    EXPECT_EQ(after.substr(8, 4), before.substr(8, 4));   // Id and Parent blobs untouched
    mk::Storage s;
    ASSERT_EQ(s.Open(path, true), mk::Status::Ok);
    EXPECT_EQ(s.Description(), "case[ID:I,Parent:I,Caption:B,Created:D,Attribute:S,F:F,L:L]");
    EXPECT_EQ(s.ViewAt(0)->GetInt(3, 0), 4);
    EXPECT_EQ(Check(path), "");
}

TEST(Restructure, DroppedColumnsAreGoneAfterCommit) {
    TempDir dir;
    std::string path = Copy(dir, "restructure-drop-1.mk");
    {
        mk::Storage s;
        ASSERT_EQ(s.Open(path), mk::Status::Ok);
        s.GetAs(kCase);
        s.GetAs(kParameter);
        s.GetAs(kBookmarks);
        ASSERT_TRUE(s.Commit());
    }
    EXPECT_EQ(DumpOf(path), Content(ReadFile(FixtureDir() + "/restructure-drop-2.json")));
}

TEST(Restructure, ChangedTypeStartsEmptyInsteadOfCorruptingTheFile) {
    TempDir dir;
    std::string path = dir.File("t.mk");
    {
        mk::Storage s;
        ASSERT_EQ(s.Open(path), mk::Status::Ok);
        mk::View* t = s.GetAs("T[A:S,B:I]");
        t->SetBytes(t->AddRow(), 0, "text");
        t->SetInt(0, 1, 5);
        ASSERT_TRUE(s.Commit());
        t = s.GetAs("T[A:I,B:I]");
        EXPECT_EQ(t->GetInt(0, 0), 0);
        ASSERT_TRUE(s.Commit());
    }
    EXPECT_EQ(Check(path), "");
    mk::Storage s;
    ASSERT_EQ(s.Open(path, true), mk::Status::Ok);
    EXPECT_EQ(s.ViewAt(0)->GetInt(0, 1), 5);
}

TEST(Rows, FindSelectAndStableSortCompareAsTheOriginalLibrary) {
    TempDir dir;
    mk::Storage s;
    ASSERT_EQ(s.Open(dir.File("rows.mk")), mk::Status::Ok);
    mk::View* v = s.GetAs("R[K:I,Name:S,D:D,B:B]");
    struct {
        int k;
        const char* name;
        double d;
        const char* b;
    } rows[] = {{3, "beta", 1.5, "b"}, {1, "Alpha", 2.5, "ab"}, {3, "alpha", 0.5, "a"}, {2, "\xb0\xa1", 1.5, ""}, {1, "BETA", 9, "b\x01"}};
    for (const auto& r : rows) {
        int i = v->AddRow();
        v->SetInt(i, 0, r.k);
        v->SetBytes(i, 1, r.name);
        v->SetDouble(i, 2, r.d);
        v->SetBytes(i, 3, r.b);
    }
    EXPECT_EQ(v->Find({{1, std::string("ALPHA")}}), 1);
    EXPECT_EQ(v->Find({{1, std::string("alpha")}}, 2), 2);
    EXPECT_EQ(v->Find({{1, std::string("alpha")}, {0, int64_t(1)}}, 2), -1);
    EXPECT_EQ(v->Select({{0, int64_t(3)}}), (std::vector<int>{0, 2}));
    EXPECT_EQ(v->Select({{2, 1.5}}), (std::vector<int>{0, 3}));
    EXPECT_EQ(v->Select({{3, std::string("b")}}), (std::vector<int>{0}));
    std::vector<int> all{0, 1, 2, 3, 4};
    EXPECT_EQ(v->Sort(all, {1}), (std::vector<int>{1, 2, 0, 4, 3}));   // case folded, stable, 0xB0 last
    EXPECT_EQ(v->Sort(all, {0, 2}), (std::vector<int>{1, 4, 3, 2, 0}));
    EXPECT_EQ(v->Sort(all, {3}), (std::vector<int>{3, 2, 1, 0, 4}));
    v->RemoveRow(1);
    EXPECT_EQ(v->RowCount(), 4);
    EXPECT_EQ(v->GetString(1, 1), "alpha");
}

TEST(Rollback, ReturnsToTheLastCommit) {
    TempDir dir;
    std::string path = Copy(dir, "schema-basic.mk");
    mk::Storage s;
    ASSERT_EQ(s.Open(path), mk::Status::Ok);
    mk::View* c = s.GetAs(kCase);
    int rows = c->RowCount();
    c->AddRow();
    c->SetBytes(0, 4, "changed");
    s.GetAs("Extra[X:I]");
    ASSERT_TRUE(s.Rollback());
    c = s.GetAs(kCase);
    EXPECT_EQ(c->RowCount(), rows);
    EXPECT_EQ(s.ViewCount(), 3);
    EXPECT_EQ(Content(mk::DumpJson(s)), Content(ReadFile(FixtureDir() + "/schema-basic.json")));
}

TEST(Commit, SmallChangeInLargeFileWritesLittleAndReusesFreeSpace) {
    TempDir dir;
    std::string path = Copy(dir, "bytes-memo.mk");
    int64_t size = std::filesystem::file_size(path);
    for (int round = 0; round < 3; ++round) {
        mk::Storage s;
        ASSERT_EQ(s.Open(path), mk::Status::Ok);
        mk::View* v = s.GetAs("Blobs[Label:S,Data:B]");
        v->SetBytes(1, 0, "label " + std::to_string(round));
        ASSERT_TRUE(s.Commit());
        EXPECT_EQ(s.ViewAt(0)->GetString(1, 0), "label " + std::to_string(round));
        EXPECT_EQ(Check(path, true), "");
    }
    EXPECT_LT(int64_t(std::filesystem::file_size(path)), size + 400);
    mk::Storage s;
    ASSERT_EQ(s.Open(path, true), mk::Status::Ok);
    std::string out;
    ASSERT_TRUE(s.ViewAt(0)->GetBytes(7, 1, out));
    EXPECT_EQ(out.size(), 1572864u);
}

}  // namespace

namespace {

// A file of our own layout around a hand-made root walk and blobs.
std::string HandMade(const std::string& blobs, const std::string& walk) {
    std::string f = std::string("JL\x1a\0\0\0\0\0", 8) + blobs;
    uint32_t walkPos = uint32_t(f.size());
    f += walk;
    uint32_t skip = uint32_t(f.size());
    auto mark = [&](uint8_t a, uint32_t mid, uint32_t v) {
        f += char(a);
        f += char(mid >> 16);
        f += char(mid >> 8);
        f += char(mid);
        for (int s = 24; s >= 0; s -= 8) f += char(v >> s);
    };
    mark(0x80, 0, skip);
    mark(0x80, uint32_t(walk.size()), walkPos);
    return f;
}

std::string Walk(const std::string& desc, const std::string& refs) {
    std::string w = "\x80";
    mk::PutVarint(w, int64_t(desc.size()));
    return w + desc + "\x81" + refs;
}

TEST(Hostile, HandMadeFileOfTheSameShapeOpens) {
    TempDir dir;
    std::string path = dir.File("hand.mk");
    WriteFile(path, HandMade(std::string("\x05\x80\x81\x81\x88", 5), Walk("T[X:I]", "\x84\x89")));
    mk::Storage s;
    ASSERT_EQ(s.Open(path, true), mk::Status::Ok);
    EXPECT_EQ(s.ViewAt(0)->GetInt(0, 0), 5);
}

TEST(Hostile, DamagedStructuresAreRefusedWithoutCrashing) {
    TempDir dir;
    std::string deep;
    for (int i = 0; i < 100; ++i) deep += "A[";
    deep += "X:I";
    for (int i = 0; i < 100; ++i) deep += "]";
    std::string wide = "T[S[A0:I";
    for (int i = 1; i < 1000; ++i) wide += ",A" + std::to_string(i) + ":I";
    wide += "]]";
    std::string wideRefs;
    mk::PutVarint(wideRefs, 6);
    mk::PutVarint(wideRefs, 8008);
    struct Case {
        const char* what;
        std::string file;
    } cases[] = {
        {"nesting too deep", HandMade("\x80\x80", Walk(deep, "\x82\x88"))},
        {"absurd row count", HandMade(std::string("\x80\x07\x7f\x7f\x7f\xff\x80", 7), Walk("T[X:I]", "\x87\x88"))},
        {"column outside the file", HandMade(std::string("\x80\x81\x84\x07\x7f\x7f\xff", 7), Walk("T[X:I]", "\x87\x88"))},
        {"memo outside the file", HandMade(std::string("\x80\x90\x07\x7f\x7f\x7f\xff\x80\x81\x80\x87\x88", 12),
                                            Walk("T[X:B]", "\x85\x8f"))},
        {"width that is no power of two", HandMade(std::string("\x01\x02\x03\x80\x88\x83\x88", 7), Walk("T[X:I]", "\x84\x8b"))},
        {"unknown type", HandMade("\x80\x80", Walk("T[X:Q]", "\x82\x88"))},
        {"a million subview rows in a two-byte blob",
         HandMade(std::string("\x80\x80\x80\x3d\x04\xc0\x82\x88", 8), Walk("T[S[X:I]]", "\x86\x8a"))},
        {"4,000 empty subviews of 1,000 columns each",
         HandMade(std::string(8000, '\x80') + "\x80\x1f\xa0\x3e\xc0\x88", Walk(wide, wideRefs))},
    };
    for (const auto& c : cases) {
        std::string path = dir.File("hostile.mk");
        WriteFile(path, c.file);
        mk::Storage s;
        EXPECT_EQ(s.Open(path, true), mk::Status::Corrupt) << c.what;
        EXPECT_FALSE(s.IsOpen()) << c.what;
    }
}

}  // namespace

namespace {

TEST(Rows, ValuesSetManyTimesBeforeACommitKeepTheLastOne) {
    TempDir dir;
    std::string path = dir.File("many.mk");
    {
        mk::Storage s;
        ASSERT_EQ(s.Open(path), mk::Status::Ok);
        mk::View* v = s.GetAs("T[A:S,B:B]");
        v->AddRow();
        v->AddRow();
        v->SetBytes(1, 0, "keep");
        for (int i = 0; i < 40; ++i) v->SetBytes(0, 1, std::string(1 << 20, char('a' + i % 26)));
        EXPECT_EQ(v->GetString(1, 0), "keep");
        ASSERT_TRUE(s.Commit());
    }
    mk::Storage s;
    ASSERT_EQ(s.Open(path, true), mk::Status::Ok);
    EXPECT_EQ(s.ViewAt(0)->GetString(0, 1), std::string(1 << 20, char('a' + 39 % 26)));
    EXPECT_EQ(s.ViewAt(0)->GetString(1, 0), "keep");
}

}  // namespace
