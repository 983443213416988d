// Readers beside a writer in another process: every open reads one whole
// commit, and keeps reading it while the writer commits and packs.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "TestSupport.h"
#include "db/CaseDB.h"

namespace {

const int kNodes = 6;
const char* const kPassword = "pw";

// Node i's content in generation g: bytes that do not compress, whose size
// changes with g (so commits leave free space behind and fill it again); two
// nodes are large enough to be read from the file only when asked for.
std::string ContentOf(int i, int g) {
    size_t size = (i < 2 ? 20000 : 200) + size_t((g * 7 + i * 13) % 50) * 97;
    return Noise(size, uint32_t(g * 7919 + i * 104729 + 1));
}

// The generation every node and the parameter agree on; -1 when they do not.
int GenerationOf(CaseDB& db) {
    int g = db.GetParamInt("Generation", -1);
    if (g < 0 || db.NodeCount() != kNodes) return -1;
    CaseNode node;
    for (int32_t id : db.AllNodeIds()) {
        if (!db.GetNode(id, node, true) || node.DataBytes() != ContentOf(id - 1, g)) return -1;
    }
    return g;
}

void WriteGeneration(CaseDB& db, int g) {
    CaseNode node;
    for (int32_t id : db.AllNodeIds()) {
        if (!db.GetNode(id, node, false)) continue;
        node.SetData(ContentOf(id - 1, g));
        EXPECT_TRUE(db.SaveNode(node));
    }
    db.SetParamInt("Generation", g);
}

// The writer commits generation after generation and packs every seventh;
// it reports "o" once open and "d" when it has done rounds of them, and
// closes only when told to. Exit code 0 when all went well.
[[noreturn]] void Writer(const std::string& path, int rounds, int report, int release) {
    CaseDB db;
    if (db.Open(path, false) != CaseDB::kOpened || !db.Login(kPassword)) _exit(10);
    if (write(report, "o", 1) != 1) _exit(11);
    for (int g = 1; g <= rounds; ++g) {
        WriteGeneration(db, g);
        if (!db.Commit()) _exit(12);
        if (g % 7 == 0 && !db.Pack()) _exit(13);
    }
    char c;
    if (write(report, "d", 1) != 1 || read(release, &c, 1) < 0) _exit(14);
    _exit(0);
}

TEST(CaseDBSharing, ReadersSeeWholeCommitsWhileAnotherProcessWritesAndPacks) {
    TempFolder dir;
    const std::string path = dir.File("shared.vldb");
    {
        CaseDB db;
        CreateTestDatabase(db, path, kPassword);
        for (int i = 0; i < kNodes; ++i) AddTestNode(db, 0, i, "node" + std::to_string(i), ContentOf(i, 0));
        db.SetParamInt("Generation", 0);
        ASSERT_TRUE(db.Commit());
    }
    CaseDB early;   // opened before the writer, read again all along
    ASSERT_EQ(early.OpenReadOnly(path), CaseDB::kOpened);
    ASSERT_TRUE(early.Login(kPassword));
    ASSERT_EQ(GenerationOf(early), 0);

    int report[2], release[2];
    ASSERT_EQ(pipe(report), 0);
    ASSERT_EQ(pipe(release), 0);
    pid_t writer = fork();
    if (writer == 0) Writer(path, 150, report[1], release[0]);
    close(report[1]);
    close(release[0]);
    struct Release {   // however the test ends, the writer is told to close
        int fd;
        ~Release() { close(fd); }
    } releaser{release[1]};
    char c = 0;
    ASSERT_EQ(read(report[0], &c, 1), 1) << "the writer could not open the database";
    fcntl(report[0], F_SETFL, O_NONBLOCK);

    int reads = 0, bad = 0, last = 0, status = 0, refused = 0;
    while (read(report[0], &c, 1) < 0) {   // until "d", or the writer's end
        CaseDB reader;
        ASSERT_EQ(reader.OpenReadOnly(path), CaseDB::kOpened);
        ASSERT_TRUE(reader.Login(kPassword));
        int g = GenerationOf(reader);
        if (g < 0 || g < last) ++bad;
        last = std::max(last, g);
        if (GenerationOf(early) != 0) ++bad;
        CaseDB second;
        if (second.Open(path, false) == CaseDB::kLockFailed) ++refused;
        ++reads;
    }
    EXPECT_EQ(c, 'd');
    ASSERT_EQ(write(release[1], "x", 1), 1);
    ASSERT_EQ(waitpid(writer, &status, 0), writer);
    close(report[0]);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(bad, 0) << "of " << reads << " reads";
    EXPECT_EQ(refused, reads) << "a second writer got in";
    EXPECT_GT(reads, 0);
    EXPECT_EQ(GenerationOf(early), 0);
    CaseDB after;
    ASSERT_EQ(after.OpenReadOnly(path), CaseDB::kOpened);
    ASSERT_TRUE(after.Login(kPassword));
    EXPECT_EQ(GenerationOf(after), 150);
}

}  // namespace
