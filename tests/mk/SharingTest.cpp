// A reader shares the file with its writer: it keeps reading the commit it
// opened at while the writer commits, and a commit the disk refuses leaves
// the file as long as it was.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <filesystem>

#include "TestUtil.h"
#include "mk/Dump.h"
#include "mk/FileIo.h"
#include "mk/Storage.h"

namespace {

using namespace mktest;

const int kRows = 6;

// Every row's Data set to a value of its own, large enough to be a blob of
// its own (memo), read from the file only when asked for.
void SetGeneration(mk::Storage& s, int generation) {
    mk::View* c = s.GetAs(kCase);
    while (c->RowCount() < kRows) c->SetInt(c->AddRow(), 0, c->RowCount());
    for (int row = 0; row < kRows; ++row) c->SetBytes(row, 8, std::string(15000 + row, char('a' + generation % 26)));
}

// Which generation every row of a storage holds; -1 when rows disagree or cannot be read.
int GenerationOf(mk::Storage& s) {
    mk::View* c = s.ViewNamed("Case");
    if (!c || c->RowCount() != kRows) return -1;
    int found = -1;
    for (int row = 0; row < kRows; ++row) {
        std::string bytes;
        if (!c->GetBytes(row, 8, bytes) || bytes.size() != size_t(15000 + row)) return -1;
        if (bytes.find_first_not_of(bytes[0]) != std::string::npos) return -1;
        int g = bytes[0] - 'a';
        if (found >= 0 && g != found) return -1;
        found = g;
    }
    return found;
}

// Without a reader the writer reuses the space its older commits left; with
// one it writes past the end only, so the reader's values stay intact,
// whether the values wait in memory for the commit or go to the file as they
// are set (memory limit 0).
TEST(Sharing, ReaderKeepsTheCommitItOpenedAt) {
    for (int64_t memoryLimit : {int64_t(32) << 20, int64_t(0)}) {
        TempDir dir;
        const std::string path = dir.File("shared.mk");
        mk::Storage writer;
        writer.SetMemoryLimit(memoryLimit);
        ASSERT_EQ(writer.Open(path), mk::Status::Ok);
        SetGeneration(writer, 0);
        ASSERT_TRUE(writer.Commit());
        SetGeneration(writer, 1);
        ASSERT_TRUE(writer.Commit());
        {
            mk::Storage reader;
            ASSERT_EQ(reader.Open(path, true), mk::Status::Ok);
            for (int g = 2; g < 8; ++g) {
                SetGeneration(writer, g);
                ASSERT_TRUE(writer.Commit());
                EXPECT_EQ(GenerationOf(reader), 1) << "limit " << memoryLimit << " after generation " << g;
                mk::Storage late;
                ASSERT_EQ(late.Open(path, true), mk::Status::Ok);
                EXPECT_EQ(GenerationOf(late), g);
            }
        }
        // Alone again, the writer reuses free space: the file stops growing.
        int64_t size = 0;
        for (int g = 8; g < 14; ++g) {
            SetGeneration(writer, g);
            ASSERT_TRUE(writer.Commit());
            if (g == 10) size = int64_t(std::filesystem::file_size(path));
        }
        EXPECT_EQ(int64_t(std::filesystem::file_size(path)), size) << "limit " << memoryLimit;
    }
}

// A full disk at any write of a commit (or of a value written ahead of it):
// the commit fails with ENOSPC, the file is as long as before and opens at
// the last commit, and the same storage commits once there is room again.
TEST(Sharing, FullDiskLeavesTheFileAtTheLastCommit) {
    struct Case {
        const char* name;
        int64_t memoryLimit;
        bool empty;   // first commit into a new file
    } cases[] = {{"grows", int64_t(32) << 20, false}, {"values ahead", 0, false}, {"first commit", int64_t(32) << 20, true}};
    for (const auto& c : cases) {
        for (int64_t k = 0;; ++k) {
            TempDir dir;
            const std::string path = dir.File("full.mk");
            int committed = -1;
            if (!c.empty) {
                mk::Storage s;
                ASSERT_EQ(s.Open(path), mk::Status::Ok);
                SetGeneration(s, 0);
                ASSERT_TRUE(s.Commit());
                committed = 0;
            }
            const int64_t before = std::filesystem::exists(path) ? int64_t(std::filesystem::file_size(path)) : 0;
            mk::Storage s;
            s.SetMemoryLimit(c.memoryLimit);
            ASSERT_EQ(s.Open(path), mk::Status::Ok);
            mk::SetWriteLimit({k, -1, ENOSPC});
            SetGeneration(s, 1);
            mk::View* v = s.GetAs(kCase);
            v->SetInt(v->AddRow(), 8, 0);   // and a change of the row count, so the commit grows the file
            bool ok = s.Commit();
            mk::SetWriteLimit({});
            if (ok) break;   // k passed every write: all cut points were tried
            EXPECT_EQ(s.LastError(), ENOSPC) << c.name << " at write " << k;
            s.Close();
            EXPECT_EQ(int64_t(std::filesystem::file_size(path)), before) << c.name << " at write " << k;
            mk::Storage back;
            ASSERT_EQ(back.Open(path, true), mk::Status::Ok) << c.name << " at write " << k;
            EXPECT_EQ(committed < 0 ? back.ViewCount() : GenerationOf(back), committed < 0 ? 0 : committed)
                << c.name << " at write " << k;
        }
    }
}

// The same storage retries after a refused commit: its changes are kept.
TEST(Sharing, RefusedCommitCanBeRepeated) {
    TempDir dir;
    const std::string path = dir.File("again.mk");
    mk::Storage s;
    s.SetMemoryLimit(0);
    ASSERT_EQ(s.Open(path), mk::Status::Ok);
    SetGeneration(s, 0);
    ASSERT_TRUE(s.Commit());
    const int64_t before = int64_t(std::filesystem::file_size(path));
    SetGeneration(s, 1);
    const int64_t ahead = int64_t(std::filesystem::file_size(path));   // values written ahead of the commit
    mk::SetWriteLimit({1, -1, ENOSPC});   // the new end is written, then the disk is full
    EXPECT_FALSE(s.Commit());
    mk::SetWriteLimit({});
    EXPECT_EQ(int64_t(std::filesystem::file_size(path)), ahead);
    ASSERT_TRUE(s.Commit());
    s.Close();
    mk::Storage back;
    ASSERT_EQ(back.Open(path, true), mk::Status::Ok);
    EXPECT_EQ(GenerationOf(back), 1);
    EXPECT_GT(ahead, before);
}

// A real refusal by the system: a file size limit (EFBIG, SIGXFSZ ignored)
// in a child process; the cause is reported and the file keeps its last
// commit's length.
TEST(Sharing, FileSizeLimitLeavesTheFileAtTheLastCommit) {
    TempDir dir;
    const std::string path = dir.File("limit.mk");
    {
        mk::Storage s;
        ASSERT_EQ(s.Open(path), mk::Status::Ok);
        SetGeneration(s, 0);
        ASSERT_TRUE(s.Commit());
    }
    const int64_t before = int64_t(std::filesystem::file_size(path));
    pid_t child = fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit = {rlim_t(before + 20000), rlim_t(before + 20000)};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(10);
        mk::Storage s;
        if (s.Open(path) != mk::Status::Ok) _exit(11);
        mk::View* c = s.GetAs(kCase);
        c->SetBytes(0, 8, std::string(200000, 'z'));
        if (s.Commit()) _exit(12);
        _exit(s.LastError() == EFBIG ? 0 : 13);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(int64_t(std::filesystem::file_size(path)), before);
    mk::Storage back;
    ASSERT_EQ(back.Open(path, true), mk::Status::Ok);
    EXPECT_EQ(GenerationOf(back), 0);
}

}  // namespace
