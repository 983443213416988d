// A commit interrupted at any write, or after any number of bytes, leaves a
// file that opens at the previous commit or at the new one, with all data.
#include <filesystem>
#include <functional>

#include "TestUtil.h"
#include "mk/Dump.h"
#include "mk/FileIo.h"
#include "mk/Storage.h"

namespace {

using namespace mktest;

struct Script {
    const char* name;
    const char* fixture;   // starting file; nullptr: a zero-length file
    bool grows;
    std::function<void(mk::Storage&)> change;
};

const Script kScripts[] = {
    {"in place", "history-5.mk", false,
     [](mk::Storage& s) { s.GetAs(kCase)->SetInt(0, 2, 9); }},
    {"appending", "history-1.mk", true,
     [](mk::Storage& s) {
         mk::View* c = s.GetAs(kCase);
         c->SetBytes(1, 4, "a caption much longer than the one before it");
         c->SetBytes(2, 8, std::string(3000, 'd'));
     }},
    {"restructuring", "restructure-1.mk", true,
     [](mk::Storage& s) {
         mk::View* c = s.GetAs(kCase);
         c->SetBytes(0, 4, "Root");
         c->SetDouble(1, 5, 45000.5);
         mk::View* p = s.GetAs("Parameter[Name:S,Value:S]");
         p->SetBytes(p->AddRow(), 0, "Version");
     }},
    {"into an empty file", nullptr, true,
     [](mk::Storage& s) {
         mk::View* c = s.GetAs(kCase);
         for (int i = 0; i < 3; ++i) {
             c->SetInt(c->AddRow(), 0, i + 1);
             c->SetBytes(i, 8, std::string(size_t(i) * 6000, char('a' + i)));
         }
     }},
    {"memo added", "strings.mk", true,
     [](mk::Storage& s) {
         mk::View* t = s.GetAs("Strings[Label:S,Text:S]");
         t->SetBytes(t->AddRow(), 1, std::string(20000, 'm'));
         t->SetBytes(8, 1, std::string(12000, 'n'));   // replaces a memo of the old commit
         t->RemoveRow(0);
     }},
};

std::string Content(const std::string& path, mk::Status* status) {
    mk::Storage s;
    *status = s.Open(path, true);
    if (!s.IsOpen()) return "not open";
    std::string json = mk::DumpJson(s);
    return json.substr(json.find("\"structure\""));
}

class Crash : public ::testing::TestWithParam<Script> {
protected:
    void SetUp() override { base_ = Fresh("base.mk"); }
    void TearDown() override { mk::SetWriteLimit({}); }

    std::string Fresh(const std::string& name) {
        std::string path = dir_.File(name);
        WriteFile(path, GetParam().fixture ? ReadFile(FixtureDir() + "/" + GetParam().fixture) : std::string());
        return path;
    }

    // Runs the script with the given write limit; returns whether Commit succeeded.
    bool Run(const std::string& path, mk::WriteLimit limit) {
        mk::Storage s;
        EXPECT_EQ(s.Open(path), mk::Status::Ok);
        GetParam().change(s);
        mk::SetWriteLimit(limit);
        bool ok = s.Commit();
        calls_ = mk::WriteCallCount();
        bytes_ = mk::WriteByteCount();
        mk::SetWriteLimit({});
        return ok;
    }

    TempDir dir_;
    std::string base_;
    int64_t calls_ = 0;
    int64_t bytes_ = 0;
};

TEST_P(Crash, EveryInterruptionOpensAtTheOldOrTheNewCommit) {
    mk::Status st;
    const std::string before = Content(base_, &st);
    const int64_t oldSize = std::filesystem::file_size(base_);
    std::string done = Fresh("done.mk");
    mk::SetWriteLimit({});
    ASSERT_TRUE(Run(done, {}));
    const std::string after = Content(done, &st);
    ASSERT_EQ(st, mk::Status::Ok);
    ASSERT_NE(before, after);
    EXPECT_EQ(int64_t(std::filesystem::file_size(done)) > oldSize, GetParam().grows);

    const int64_t calls = calls_;
    const int64_t bytes = bytes_;
    int onOld = 0, onNew = 0;

    // Stop all writes after the k-th write call: the file must open without
    // any recovery, as the original library would open it too.
    for (int64_t k = 0; k <= calls; ++k) {
        std::string path = Fresh("calls.mk");
        Run(path, {k, -1});
        std::string got = Content(path, &st);
        EXPECT_EQ(st, mk::Status::Ok) << "after " << k << " writes";
        EXPECT_TRUE(got == before || got == after) << "after " << k << " writes";
        (got == before ? onOld : onNew)++;
    }
    EXPECT_GT(onOld, 0);
    EXPECT_GT(onNew, 0);

    // Stop after a number of bytes, torn writes included.
    int64_t step = std::max<int64_t>(1, bytes / 3000);
    for (int64_t b = 0; b <= bytes + 64; b += (b < 64 ? 1 : step)) {
        std::string path = Fresh("bytes.mk");
        Run(path, {-1, b});
        std::string got = Content(path, &st);
        EXPECT_TRUE(st == mk::Status::Ok || st == mk::Status::Recovered) << "after " << b << " bytes";
        EXPECT_TRUE(got == before || got == after) << "after " << b << " bytes";
        // The next commit continues from whatever state was found.
        if (b % 97 == 0 && got == before) {
            ASSERT_TRUE(Run(path, {}));
            EXPECT_EQ(Content(path, &st), after) << "recommit after " << b << " bytes";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Commit, Crash, ::testing::ValuesIn(kScripts), [](const auto& info) {
    std::string n = info.param.name;
    for (char& c : n)
        if (!isalnum(static_cast<unsigned char>(c))) c = '_';
    return n;
});

TEST(CrashFree, FailedCommitLeavesChangesForTheNextCommit) {
    TempDir dir;
    std::string path = dir.File("h.mk");
    WriteFile(path, ReadFile(FixtureDir() + "/history-1.mk"));
    mk::Storage s;
    ASSERT_EQ(s.Open(path), mk::Status::Ok);
    mk::View* c = s.GetAs(kCase);
    c->SetBytes(0, 4, std::string(500, 'c'));
    mk::SetWriteLimit({1, -1});
    EXPECT_FALSE(s.Commit());
    mk::SetWriteLimit({});
    ASSERT_TRUE(s.Commit());
    mk::Storage t;
    ASSERT_EQ(t.Open(path, true), mk::Status::Ok);
    EXPECT_EQ(t.ViewAt(0)->GetString(0, 4), std::string(500, 'c'));
}

// Large values beyond the memory limit (0 here) are written to the file as
// they are set, before their commit, into free space or past the end.
// Cut at any write of that or of the commit, the file opens at the old commit
// or the new one, the way the original library finds it; a rollback or a
// close without commit leaves the file as long as it was, at the old state.
void SetLargeValues(mk::Storage& s) {
    mk::View* c = s.GetAs(kCase);
    c->SetBytes(0, 8, std::string(30000, 'x'));
    c->SetBytes(1, 8, std::string(20000, 'y'));
    c->SetBytes(0, 8, std::string(15000, 'z'));   // the first value, set again
    c->SetBytes(c->AddRow(), 8, std::string(40000, 'w'));
}

TEST(CrashFree, LargeValuesWrittenAheadOfTheirCommit) {
    TempDir dir;
    const std::string original = ReadFile(FixtureDir() + "/history-5.mk");
    std::string path = dir.File("v.mk");
    mk::Status st;
    auto fresh = [&] { WriteFile(path, original); };
    fresh();
    const std::string before = Content(path, &st);
    std::string after;
    int64_t calls = 0, bytes = 0;
    {
        mk::Storage s;
        s.SetMemoryLimit(0);
        ASSERT_EQ(s.Open(path), mk::Status::Ok);
        mk::SetWriteLimit({});
        SetLargeValues(s);
        EXPECT_GT(mk::WriteCallCount(), 0) << "the values went to the file at once";
        std::string back;
        ASSERT_TRUE(s.ViewAt(0)->GetBytes(1, 8, back));
        EXPECT_EQ(back, std::string(20000, 'y'));
        ASSERT_TRUE(s.Commit());
        calls = mk::WriteCallCount();
        bytes = mk::WriteByteCount();
    }
    after = Content(path, &st);
    ASSERT_EQ(st, mk::Status::Ok);
    ASSERT_NE(after, before);

    for (bool rollback : {true, false}) {
        fresh();
        mk::Storage s;
        s.SetMemoryLimit(0);
        ASSERT_EQ(s.Open(path), mk::Status::Ok);
        SetLargeValues(s);
        if (rollback) {
            ASSERT_TRUE(s.Rollback());
            EXPECT_EQ(s.ViewAt(0)->RowCount(), 7);
        } else {
            s.Close();
        }
        EXPECT_EQ(std::filesystem::file_size(path), original.size()) << (rollback ? "rollback" : "close");
        EXPECT_EQ(Content(path, &st), before) << (rollback ? "rollback" : "close");
    }

    // Saved again and again, a large value reuses the space its last version left.
    fresh();
    {
        mk::Storage s;
        s.SetMemoryLimit(0);
        ASSERT_EQ(s.Open(path), mk::Status::Ok);
        for (int i = 0; i < 12; ++i) {
            s.GetAs(kCase)->SetBytes(3, 8, std::string(50000, char('a' + i)));
            ASSERT_TRUE(s.Commit());
        }
    }
    EXPECT_LT(std::filesystem::file_size(path), original.size() + 3 * 50000 + 4096);

    auto cut = [&](mk::WriteLimit limit, const std::string& what) -> mk::Status {
        fresh();
        {
            mk::Storage s;
            s.SetMemoryLimit(0);
            EXPECT_EQ(s.Open(path), mk::Status::Ok);
            mk::SetWriteLimit(limit);
            SetLargeValues(s);
            s.Commit();
            mk::SetWriteLimit({});
            // A crash keeps whatever was written: skip the truncation of Close.
            std::string keep = ReadFile(path);
            s.Close();
            WriteFile(path, keep);
        }
        std::string got = Content(path, &st);
        EXPECT_TRUE(got == before || got == after) << what;
        return st;
    };
    for (int64_t k = 0; k <= calls; ++k) EXPECT_EQ(cut({k, -1}, "calls " + std::to_string(k)), mk::Status::Ok);
    for (int64_t b = 0; b <= bytes; b += 997) cut({-1, b}, "bytes " + std::to_string(b));
}

}  // namespace
