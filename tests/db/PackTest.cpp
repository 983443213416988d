#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include "TestSupport.h"
#include "db/CaseDB.h"
#include "db/KELMKPackStream.h"
#include "kellib/Kelfilelib.h"

namespace {

class PackTest : public ::testing::Test {
protected:
    void SetUp() override {
        CreateTestDatabase(db, path, "pw");
        for (int i = 0; i < 20; ++i) AddTestNode(db, 0, i, "node" + std::to_string(i), std::string(3000, 'a' + i % 26));
        ASSERT_TRUE(db.Commit());
        // Leave dead space behind: rewrite every node once.
        CaseNode node;
        for (int32_t id : db.AllNodeIds()) {
            ASSERT_TRUE(db.GetNode(id, node, true));
            node.SetData(node.DataBytes() + "more");
            ASSERT_TRUE(db.SaveNode(node));
        }
        ASSERT_TRUE(db.Commit());
    }

    // Every node as committed, read through a fresh store.
    void ExpectAllNodes(const std::string& file) {
        CaseDB other;
        ASSERT_EQ(other.Open(file, false), CaseDB::kOpened);
        ASSERT_TRUE(other.Login("pw"));
        ASSERT_EQ(other.NodeCount(), 20);
        CaseNode node;
        for (int32_t id : other.AllNodeIds()) {
            ASSERT_TRUE(other.GetNode(id, node, true));
            int i = id - 1;
            EXPECT_EQ(node.Caption, "node" + std::to_string(i));
            EXPECT_EQ(node.DataBytes(), std::string(3000, 'a' + i % 26) + "more");
        }
    }

    TempFolder dir;
    std::string path = dir.File("notes.vldb");
    std::string swap = dir.File("notes.$_swp");
    std::string backup = dir.File("notes.$_bak");
    CaseDB db;
};

// Exit code 0: the pack failed and the store stayed open and readable.
[[noreturn]] void PackWithFileSizeLimit(const std::string& path, rlim_t limit) {
    signal(SIGXFSZ, SIG_IGN);
    CaseDB db;
    if (db.Open(path, false) != CaseDB::kOpened || !db.Login("pw")) _exit(10);
    struct rlimit rl = {limit, limit};
    setrlimit(RLIMIT_FSIZE, &rl);
    bool packed = db.Pack();
    CaseNode node;
    bool stillOpen = db.IsOpen() && db.GetNode(1, node, true);
    _exit(packed ? 11 : stillOpen ? 0 : 12);
}

}  // namespace

TEST(PackNames, SwapAndBackupReplaceTheExtension) {
    EXPECT_EQ(CaseDB::SwapPath("/data/notes.vldb"), "/data/notes.$_swp");
    EXPECT_EQ(CaseDB::BackupPath("/data/notes.vldb"), "/data/notes.$_bak");
    EXPECT_EQ(CaseDB::SwapPath("/data.d/notes"), "/data.d/notes.$_swp");
    EXPECT_EQ(CaseDB::LockPath("/data/notes.vldb"), "/data/notes.vldb.lock");
}

TEST_F(PackTest, PackTwiceCompactsAndCleansUp) {
    auto before = GetFileSize64(path);
    ASSERT_TRUE(db.Pack());
    EXPECT_LT(GetFileSize64(path), before);
    ASSERT_TRUE(db.Pack());
    EXPECT_TRUE(db.IsOpen());
    EXPECT_FALSE(Exists(swap));
    EXPECT_FALSE(Exists(backup));
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600);
    // Still logged in and still holding the lock.
    CaseNode node;
    EXPECT_TRUE(db.GetNode(1, node, true));
    CaseDB other;
    EXPECT_EQ(other.Open(path, false), CaseDB::kLockFailed);
    db.Close();
    ExpectAllNodes(path);
}

TEST_F(PackTest, StaleSwapAndBackupAreDeleted) {
    WriteFile(swap, "half a copy");
    WriteFile(backup, "an old backup");
    ASSERT_TRUE(db.Pack());
    EXPECT_FALSE(Exists(swap));
    EXPECT_FALSE(Exists(backup));
    db.Close();
    ExpectAllNodes(path);
}

// The files an interruption leaves at each step of a pack. Each must open with
// every committed node, and the next pack must leave a clean folder.
TEST_F(PackTest, InterruptionAtEveryStepKeepsCommittedData) {
    db.Close();
    const std::string original = ReadFile(path);
    std::string packed;
    {
        CaseDB copy;
        ASSERT_EQ(copy.Open(path, false), CaseDB::kOpened);
        ASSERT_TRUE(copy.Pack());
        copy.Close();
        packed = ReadFile(path);
    }
    struct Step {
        const char* name;
        std::string db, swap, backup;   // empty: file absent
    };
    const Step steps[] = {
        {"writing the swap file", original, packed.substr(0, packed.size() / 2), ""},
        {"swap complete", original, packed, ""},
        {"database moved to backup", "", packed, original},
        {"copy in place", packed, "", original},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.name);
        std::filesystem::remove(path);
        std::filesystem::remove(swap);
        std::filesystem::remove(backup);
        if (!step.db.empty()) WriteFile(path, step.db);
        if (!step.swap.empty()) WriteFile(swap, step.swap);
        if (!step.backup.empty()) WriteFile(backup, step.backup);
        ExpectAllNodes(path);
        CaseDB next;
        ASSERT_EQ(next.Open(path, false), CaseDB::kOpened);
        ASSERT_TRUE(next.Login("pw"));
        ASSERT_TRUE(next.Pack());
        next.Close();
        EXPECT_FALSE(Exists(swap));
        EXPECT_FALSE(Exists(backup));
        ExpectAllNodes(path);
    }
}

TEST_F(PackTest, FullDiskWhileWritingSwapLeavesDatabaseAsItWas) {
    db.Close();
    const std::string original = ReadFile(path);
    // In a child process, a file-size limit makes every write past 512 bytes fail.
    EXPECT_EXIT(PackWithFileSizeLimit(path, 512), ::testing::ExitedWithCode(0), "");
    EXPECT_TRUE(ReadFile(path) == original);
    EXPECT_FALSE(Exists(swap));
    EXPECT_FALSE(Exists(backup));
    ExpectAllNodes(path);
}

TEST(KELMKPackStream, WritesReadsAndCreatesPrivateFiles) {
    TempFolder dir;
    const std::string file = dir.File("stream.bin");
    {
        KELMKPackStream stream(file);
        ASSERT_TRUE(stream.IsOpen());
        EXPECT_TRUE(stream.Write("hello", 5));
        EXPECT_TRUE(stream.Sync());
        EXPECT_TRUE(stream.Close());
        char buf[4];
        EXPECT_EQ(stream.Read(buf, 4), 0);
        EXPECT_FALSE(stream.Write("x", 1));
    }
    EXPECT_EQ(ReadFile(file), "hello");
    struct stat st;
    ASSERT_EQ(stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600);
    KELMKPackStream missing(dir.File("no/folder"));
    EXPECT_FALSE(missing.IsOpen());
    EXPECT_FALSE(missing.Write("x", 1));
}
