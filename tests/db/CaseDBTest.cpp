#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <functional>
#include <vector>

#include "TestSupport.h"
#include "db/CaseDB.h"
#include "mk/Storage.h"
#include "public/CRC32NF.h"

namespace {

const char* const kCase =
    "Case[Id:I,Parent:I,Order:I,Type:I,Caption:B,Created:D,Modified:D,Attribute:S,Data:B]";

// The stored Caption and Data bytes of the row with the node id, read past the store.
std::pair<std::string, std::string> StoredColumns(const std::string& path, int32_t id) {
    mk::Storage storage;
    EXPECT_EQ(storage.Open(path, true), mk::Status::Ok);
    mk::View* view = storage.GetAs(kCase);
    int row = view->Find({{view->Column("Id"), mk::Value{int64_t{id}}}});
    std::string caption, data;
    view->GetBytes(row, view->Column("Caption"), caption);
    view->GetBytes(row, view->Column("Data"), data);
    return {caption, data};
}

class CaseDBTest : public ::testing::Test {
protected:
    void SetUp() override { CreateTestDatabase(db, path, "secret"); }

    TempFolder dir;
    std::string path = dir.File("notes.vldb");
    CaseDB db;
};

}  // namespace

TEST(CaseDBOpen, NewDatabaseIsPrivateVersionedAndHandsOutIdOne) {
    TempFolder dir;
    const std::string path = dir.File("new.vldb");
    CaseDB db;
    EXPECT_EQ(db.Open(path, false), CaseDB::kFileMissing);
    EXPECT_FALSE(Exists(path));
    ASSERT_EQ(db.Open(path, true), CaseDB::kOpened);
    EXPECT_TRUE(db.IsOpen());
    EXPECT_EQ(db.Path(), path);
    EXPECT_EQ(db.GetParam("Version", ""), "10");
    EXPECT_EQ(db.TakeNextId(false), 1);
    EXPECT_EQ(db.TakeNextId(false), 2);
    ASSERT_TRUE(db.Login("pw"));
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600);
    db.Close();
    EXPECT_FALSE(db.IsOpen());
    // Open with create on an existing file opens it.
    ASSERT_EQ(db.Open(path, true), CaseDB::kOpened);
    EXPECT_EQ(db.GetParamInt("NextId", 0), 3);
}

TEST(CaseDBOpen, DatabaseClosedBeforeFirstLoginIsNotOurs) {
    TempFolder dir;
    const std::string path = dir.File("cancelled.vldb");
    CaseDB db;
    ASSERT_EQ(db.Open(path, true), CaseDB::kOpened);
    db.Close();
    EXPECT_EQ(db.Open(path, false), CaseDB::kNotDatabase);
    EXPECT_FALSE(db.IsOpen());
    EXPECT_FALSE(Exists(CaseDB::LockPath(path)));
}

TEST(CaseDBOpen, ForeignFilesGiveCodeThreeAndStayUntouched) {
    TempFolder dir;
    const std::string cases[] = {
        std::string("just some text\n"),
        std::string(4096, '\xFF'),
        ReadFile(std::string(VAULTLEAF_FIXTURES) + "/metakit/empty-committed.mk"),
    };
    for (const auto& bytes : cases) {
        const std::string path = dir.File("foreign.vldb");
        WriteFile(path, bytes);
        CaseDB db;
        EXPECT_EQ(db.Open(path, false), CaseDB::kNotDatabase);
        EXPECT_EQ(db.Open(path, true), CaseDB::kNotDatabase);
        EXPECT_FALSE(db.IsOpen());
        EXPECT_EQ(ReadFile(path), bytes);
        EXPECT_FALSE(Exists(CaseDB::LockPath(path)));
    }
}

TEST(CaseDBOpen, ClosedStoreDoesNothing) {
    CaseDB db;
    CaseNode node;
    EXPECT_FALSE(db.Commit());
    EXPECT_FALSE(db.Rollback());
    EXPECT_EQ(db.TakeNextId(true), 0);
    EXPECT_FALSE(db.AddNode(node));
    EXPECT_FALSE(db.GetNode(1, node, true));
    EXPECT_FALSE(db.SaveNode(node));
    EXPECT_FALSE(db.DeleteNode(1));
    EXPECT_FALSE(db.MoveNode(1, 0));
    EXPECT_EQ(db.CountDescendants(0), 0);
    EXPECT_TRUE(db.GetChildren(0).empty());
    EXPECT_EQ(db.GetParam("Version", "none"), "none");
    EXPECT_FALSE(db.SetParam("a", "b"));
    EXPECT_FALSE(db.AddBookmark(1));
    EXPECT_FALSE(db.Login(""));
    EXPECT_FALSE(db.Pack());
}

TEST(CaseDBLock, SecondHolderIsRefusedUntilClose) {
    TempFolder dir;
    const std::string path = dir.File("locked.vldb");
    CaseDB first, second;
    CreateTestDatabase(first, path, "pw");
    EXPECT_TRUE(Exists(CaseDB::LockPath(path)));
    EXPECT_EQ(second.Open(path, false), CaseDB::kLockFailed);

    // A real second process is refused as well.
    pid_t child = fork();
    if (child == 0) {
        CaseDB other;
        _exit(other.Open(path, false));
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), CaseDB::kLockFailed);

    first.Close();
    EXPECT_FALSE(Exists(CaseDB::LockPath(path)));
    EXPECT_EQ(second.Open(path, false), CaseDB::kOpened);
}

TEST(CaseDBLock, StaleLockFileDoesNotBlock) {
    TempFolder dir;
    const std::string path = dir.File("stale.vldb");
    {
        CaseDB db;
        CreateTestDatabase(db, path, "pw");
    }
    WriteFile(CaseDB::LockPath(path), "left by a crashed process");
    CaseDB db;
    EXPECT_EQ(db.Open(path, false), CaseDB::kOpened);
    db.Close();
    EXPECT_FALSE(Exists(CaseDB::LockPath(path)));
}

// A ".lock" that is somebody else's file (another name of it, a link to it,
// a FIFO) is neither opened for writing, cut short nor removed; the lock on
// the database file itself still keeps a second writer out.
TEST(CaseDBLock, ForeignLockFileIsLeftAlone) {
    struct Case {
        const char* name;
        std::function<void(const std::string& precious, const std::string& lock)> make;
    } cases[] = {
        {"hard link", [](const std::string& p, const std::string& l) { std::filesystem::create_hard_link(p, l); }},
        {"symbolic link", [](const std::string& p, const std::string& l) { std::filesystem::create_symlink(p, l); }},
        {"dangling link", [](const std::string& p, const std::string& l) { std::filesystem::create_symlink(p + ".none", l); }},
        {"fifo", [](const std::string&, const std::string& l) { ASSERT_EQ(mkfifo(l.c_str(), 0600), 0); }},
    };
    for (const auto& c : cases) {
        TempFolder dir;
        const std::string path = dir.File("c.vldb"), lock = CaseDB::LockPath(path), precious = dir.File("precious");
        {
            CaseDB db;
            CreateTestDatabase(db, path, "pw");
        }
        WriteFile(precious, "keep me");
        c.make(precious, lock);
        struct stat before;
        ASSERT_EQ(lstat(lock.c_str(), &before), 0) << c.name;
        {
            CaseDB db, second;
            ASSERT_EQ(db.Open(path, false), CaseDB::kOpened) << c.name;
            EXPECT_EQ(second.Open(path, false), CaseDB::kLockFailed) << c.name;
            ASSERT_TRUE(db.Login("pw"));
            AddTestNode(db, 0, 1, "n");
            EXPECT_TRUE(db.Commit()) << c.name;
        }
        EXPECT_EQ(ReadFile(precious), "keep me") << c.name;
        struct stat after;
        ASSERT_EQ(lstat(lock.c_str(), &after), 0) << c.name << ": the name was removed";
        EXPECT_EQ(after.st_ino, before.st_ino) << c.name;
        EXPECT_EQ(after.st_mode, before.st_mode) << c.name;
    }
}

// Every name of one file meets the same writer's lock: links, other
// spellings, and the file that replaces it in a pack. Readers are let in
// by every name; they hold no writer off.
TEST(CaseDBLock, EveryNameOfTheFileMeetsTheLock) {
    TempFolder dir;
    const std::string sub = dir.File("sub"), path = dir.File("sub/c.vldb");
    std::filesystem::create_directory(sub);
    CaseDB holder;
    CreateTestDatabase(holder, path, "pw");
    AddTestNode(holder, 0, 1, "a", "content");
    ASSERT_TRUE(holder.Commit());
    std::filesystem::create_symlink(path, dir.File("link.vldb"));
    std::filesystem::create_hard_link(path, dir.File("hard.vldb"));
    const std::vector<std::string> names = {dir.File("link.vldb"), dir.File("hard.vldb"),
                                            sub + "/./c.vldb", sub + "/../sub/c.vldb"};
    for (int round = 0; round < 2; ++round) {
        for (const std::string& name : names) {
            CaseDB other;
            EXPECT_EQ(other.Open(name, false), CaseDB::kLockFailed) << name << " round " << round;
            EXPECT_EQ(other.OpenReadOnly(name), CaseDB::kOpened) << name << " round " << round;
        }
        // The packed copy takes the name under the same holder's lock (the
        // hard link keeps naming the old file, which the holder still locks).
        ASSERT_TRUE(holder.Pack()) << "round " << round;
        EXPECT_TRUE(std::filesystem::is_symlink(dir.File("link.vldb")));
    }
    holder.Close();
    CaseDB reader1, reader2, writer;
    EXPECT_EQ(reader1.OpenReadOnly(dir.File("link.vldb")), CaseDB::kOpened);
    EXPECT_EQ(reader2.OpenReadOnly(path), CaseDB::kOpened);   // readers share
    EXPECT_FALSE(Exists(CaseDB::LockPath(path)));             // readers make no lock file
    EXPECT_EQ(writer.Open(sub + "/./c.vldb", false), CaseDB::kOpened);
    CaseDB second;
    EXPECT_EQ(second.Open(dir.File("link.vldb"), false), CaseDB::kLockFailed);
}

// While one process packs again and again, an open through a link never
// gets in, whichever file the name leads to at that moment.
TEST(CaseDBLock, LinkIsRefusedWhilePacksRun) {
    TempFolder dir;
    const std::string path = dir.File("c.vldb"), link = dir.File("link.vldb");
    {
        CaseDB db;
        CreateTestDatabase(db, path, "pw");
        for (int i = 0; i < 20; ++i) AddTestNode(db, 0, i, "n", std::string(20000, 'x'));
        ASSERT_TRUE(db.Commit());
    }
    std::filesystem::create_symlink(path, link);
    // The packer reports "o" once open and "d" when done, and exits (which
    // releases its lock) only when told to.
    int report[2], release[2];
    ASSERT_EQ(pipe(report), 0);
    ASSERT_EQ(pipe(release), 0);
    pid_t packer = fork();
    if (packer == 0) {
        CaseDB db;
        char c;
        if (db.Open(path, false) != CaseDB::kOpened || write(report[1], "o", 1) != 1) _exit(1);
        for (int i = 0; i < 40; ++i)
            if (!db.Pack()) _exit(2);
        if (write(report[1], "d", 1) != 1 || read(release[0], &c, 1) < 0) _exit(3);
        _exit(0);
    }
    char c = 0;
    ASSERT_EQ(read(report[0], &c, 1), 1);
    fcntl(report[0], F_SETFL, O_NONBLOCK);
    int opened = 0, tries = 0;
    for (; read(report[0], &c, 1) != 1; ++tries) {
        CaseDB other;
        if (other.Open(link, false) == CaseDB::kOpened) ++opened;
    }
    EXPECT_EQ(c, 'd');
    ASSERT_EQ(write(release[1], "x", 1), 1);
    int status = 0;
    ASSERT_EQ(waitpid(packer, &status, 0), packer);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    for (int fd : {report[0], report[1], release[0], release[1]}) close(fd);
    EXPECT_GT(tries, 0);
    EXPECT_EQ(opened, 0);
    CaseDB after;
    ASSERT_EQ(after.Open(link, false), CaseDB::kOpened);
    ASSERT_TRUE(after.Login("pw"));
    EXPECT_EQ(after.NodeCount(), 20);
}

// A reader writes nothing, not even the first password of a database that has none.
TEST(CaseDBOpen, ReadOnlyStoreNeverWrites) {
    TempFolder dir;
    const std::string path = dir.File("ro.vldb");
    {
        CaseDB db;
        ASSERT_EQ(db.Open(path, true), CaseDB::kOpened);
        ASSERT_TRUE(db.Commit());   // Version only: no password yet
    }
    const std::string before = ReadFile(path);
    CaseDB db;
    ASSERT_EQ(db.OpenReadOnly(path), CaseDB::kOpened);
    EXPECT_TRUE(db.IsReadOnly());
    EXPECT_TRUE(db.NeedsFirstPassword());
    EXPECT_TRUE(db.Login("anything"));
    CaseNode node;
    node.Id = 5;
    EXPECT_FALSE(db.AddNode(node));
    EXPECT_FALSE(db.SetParam("a", "b"));
    EXPECT_EQ(db.TakeNextId(true), 0);
    EXPECT_FALSE(db.Commit());
    EXPECT_FALSE(db.Pack());
    db.Close();
    EXPECT_EQ(ReadFile(path), before);
}

TEST(CaseDBOpen, OnlyRegularFilesAreOpened) {
    TempFolder dir;
    ASSERT_EQ(mkfifo(dir.File("fifo.vldb").c_str(), 0600), 0);   // nobody writes: an open must not wait
    std::filesystem::create_directory(dir.File("folder.vldb"));
    for (const char* name : {"fifo.vldb", "folder.vldb"}) {
        CaseDB db;
        EXPECT_EQ(db.Open(dir.File(name), false), CaseDB::kNotDatabase) << name;
        EXPECT_EQ(db.OpenReadOnly(dir.File(name)), CaseDB::kNotDatabase) << name;
        EXPECT_FALSE(Exists(dir.File(name) + ".lock"));
    }
    CaseDB db;
    EXPECT_EQ(db.Open(dir.File("no/such/folder.vldb"), true), CaseDB::kOpenFailed);
    EXPECT_EQ(db.OpenErrno(), ENOENT);
}

TEST_F(CaseDBTest, LoginKeepsTheFirstPassword) {
    db.Close();
    ASSERT_EQ(db.Open(path, false), CaseDB::kOpened);
    CaseNode node;
    EXPECT_FALSE(db.AddNode(node));   // no content key before login
    EXPECT_FALSE(db.Login("other"));
    EXPECT_FALSE(db.IsLoggedIn());
    EXPECT_TRUE(db.Login("secret"));
    EXPECT_EQ(db.GetParamInt("PassCheckSum", 0), static_cast<int32_t>(CRC32NF("secret")));
}

TEST(CaseDBLogin, EmptyPasswordIsAPassword) {
    TempFolder dir;
    const std::string path = dir.File("empty.vldb");
    CaseDB db;
    CreateTestDatabase(db, path, "");
    EXPECT_EQ(db.GetParam("PassCheckSum", ""), "-1");
    db.Close();
    ASSERT_EQ(db.Open(path, false), CaseDB::kOpened);
    EXPECT_FALSE(db.Login("x"));
    EXPECT_TRUE(db.Login(""));
}

TEST_F(CaseDBTest, NodesRoundTripWithEnvelopeSizes) {
    CaseNode node;
    node.Id = db.TakeNextId(false);
    node.Parent = 0;
    node.Order = 1;
    node.Type = kNodeFile;
    node.Caption = "\xCE\xC4\xBC\xFE";   // GB18030 bytes
    node.Created = 45000.25;
    node.SetAttr("FSize", "1");
    node.SetData("x", 1);
    ASSERT_TRUE(db.AddNode(node));
    int32_t empty = AddTestNode(db, 0, 2, "", "");
    ASSERT_TRUE(db.Commit());

    CaseNode back;
    ASSERT_TRUE(db.GetNode(node.Id, back, true));
    EXPECT_EQ(back.Caption, node.Caption);
    EXPECT_EQ(back.Type, kNodeFile);
    EXPECT_EQ(back.Order, 1);
    EXPECT_EQ(back.Created, 45000.25);
    EXPECT_EQ(back.Modified, 45000.25);   // never modified: stored as Created
    EXPECT_EQ(back.Attribute, "FSize=1\r\n");
    EXPECT_EQ(back.DataBytes(), "x");

    // Without data the node's content stays as it was.
    CaseNode keep;
    keep.SetData("old", 3);
    ASSERT_TRUE(db.GetNode(empty, keep, false));
    EXPECT_EQ(keep.DataBytes(), "old");
    ASSERT_TRUE(db.GetNode(empty, keep, true));
    EXPECT_EQ(keep.DataSize(), 0);
    EXPECT_EQ(keep.Caption, "");
    EXPECT_FALSE(db.GetNode(999, keep, true));

    db.Close();
    auto [caption, data] = StoredColumns(path, node.Id);
    EXPECT_EQ(caption.size(), 16u);   // 4 bytes and the zero
    EXPECT_EQ(data.size(), 40u);   // 34-byte LZW stream sealed
    auto [emptyCaption, emptyData] = StoredColumns(path, empty);
    EXPECT_EQ(emptyCaption.size(), 8u);
    EXPECT_EQ(emptyData.size(), 0u);
}

TEST_F(CaseDBTest, SaveNodeOverwritesOrAppends) {
    int32_t id = AddTestNode(db, 0, 1, "a", "one");
    CaseNode node;
    ASSERT_TRUE(db.GetNode(id, node, true));
    node.Caption = "b";
    node.SetData("two", 3);
    node.Touch();
    ASSERT_TRUE(db.SaveNode(node));
    node.Id = 77;
    ASSERT_TRUE(db.SaveNode(node));
    EXPECT_EQ(db.NodeCount(), 2);
    CaseNode back;
    ASSERT_TRUE(db.GetNode(id, back, true));
    EXPECT_EQ(back.Caption, "b");
    EXPECT_EQ(back.DataBytes(), "two");
    EXPECT_GT(back.Modified, back.Created - 1);
    EXPECT_TRUE(db.GetNode(77, back, false));
}

TEST_F(CaseDBTest, ChildrenSortByOrderThenId) {
    CaseNode node;
    for (auto [id, order] : {std::pair{7, 2}, {9, 1}, {5, 1}}) {
        node.Id = id;
        node.Parent = 3;
        node.Order = order;
        ASSERT_TRUE(db.AddNode(node));
    }
    EXPECT_EQ(db.GetChildren(3), (std::vector<int32_t>{5, 9, 7}));
    EXPECT_EQ(db.MaxChildOrder(3), 2);
    EXPECT_EQ(db.MaxChildOrder(5), 0);
    EXPECT_TRUE(db.GetChildren(5).empty());
}

TEST_F(CaseDBTest, TreeOperations) {
    int32_t a = AddTestNode(db, 0, 1, "a");
    int32_t b = AddTestNode(db, a, 1, "b");
    int32_t c = AddTestNode(db, a, 2, "c");
    int32_t c1 = AddTestNode(db, c, 1, "c1");
    int32_t c2 = AddTestNode(db, c, 2, "c2");
    int32_t c3 = AddTestNode(db, c, 3, "c3");
    int32_t other = AddTestNode(db, 0, 2, "other");
    EXPECT_EQ(db.CountDescendants(a), 5);
    EXPECT_EQ(db.CountDescendants(b), 0);
    EXPECT_TRUE(db.IsDescendant(a, c2));
    EXPECT_FALSE(db.IsDescendant(c, b));
    EXPECT_FALSE(db.IsDescendant(a, -1));

    EXPECT_FALSE(db.MoveNode(a, a));
    EXPECT_FALSE(db.MoveNode(a, c3));
    EXPECT_FALSE(db.MoveNode(12345, 0));
    CaseNode node;
    ASSERT_TRUE(db.GetNode(a, node, false));
    EXPECT_EQ(node.Parent, 0);
    ASSERT_TRUE(db.MoveNode(c, -1));
    ASSERT_TRUE(db.GetNode(c, node, false));
    EXPECT_EQ(node.Parent, -1);
    EXPECT_EQ(node.Order, 2);

    // A subtree whose descendants are stored before it: move the older "other" under c.
    ASSERT_TRUE(db.MoveNode(c, other));
    ASSERT_TRUE(db.MoveNode(other, b));
    ASSERT_TRUE(db.DeleteNode(other));
    EXPECT_EQ(db.AllNodeIds(), (std::vector<int32_t>{a, b}));
    EXPECT_FALSE(db.DeleteNode(other));
    (void)c1;
}

TEST_F(CaseDBTest, NodesAreFoundAfterRowsMove) {
    int32_t first = AddTestNode(db, 0, 1, "first");
    int32_t second = AddTestNode(db, 0, 2, "second");
    int32_t third = AddTestNode(db, 0, 3, "third");
    CaseNode node;
    ASSERT_TRUE(db.GetNode(third, node, false));
    ASSERT_TRUE(db.Commit());
    ASSERT_TRUE(db.DeleteNode(first));   // later rows move up
    ASSERT_TRUE(db.GetNode(third, node, false));
    EXPECT_EQ(node.Caption, "third");
    int32_t fourth = AddTestNode(db, 0, 4, "fourth");
    ASSERT_TRUE(db.GetNode(fourth, node, false));
    EXPECT_EQ(node.Caption, "fourth");
    ASSERT_TRUE(db.Rollback());          // the deleted row comes back in front
    EXPECT_FALSE(db.GetNode(fourth, node, false));
    for (auto [id, caption] : {std::pair{first, "first"}, {second, "second"}, {third, "third"}}) {
        ASSERT_TRUE(db.GetNode(id, node, false));
        EXPECT_EQ(node.Caption, caption);
    }
}

TEST_F(CaseDBTest, CircularParentsInADamagedFileDoNotHang) {
    CaseNode node;
    node.Id = 1;
    node.Parent = 2;
    ASSERT_TRUE(db.AddNode(node));
    node.Id = 2;
    node.Parent = 1;
    ASSERT_TRUE(db.AddNode(node));
    EXPECT_EQ(db.CountDescendants(1), 1);
    EXPECT_TRUE(db.IsDescendant(1, 2));
    EXPECT_TRUE(db.DeleteNode(1));
    EXPECT_EQ(db.NodeCount(), 0);
}

TEST_F(CaseDBTest, TakeNextIdSkipsIdsInUse) {
    AddTestNode(db, 0, 1, "a");
    AddTestNode(db, 0, 2, "b");
    EXPECT_EQ(db.GetParam("NextId", ""), "3");
    ASSERT_TRUE(db.SetParam("NextId", "1"));   // a damaged counter
    EXPECT_EQ(db.TakeNextId(true), 3);
    EXPECT_EQ(db.GetParamInt("NextId", 0), 4);
}

// A damaged counter never hands out 0 or less, nor an id below one in use,
// and one at the top of the range is refused instead of wrapping.
TEST_F(CaseDBTest, TakeNextIdStaysAboveEveryIdAndRefusesTheTop) {
    struct Case { const char* counter; int32_t expected; } cases[] = {
        {"abc", 1}, {"-1", 1}, {"0", 1}, {"", 1}, {"7", 7}, {"99999999999", 0}, {"2147483647", 0},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(db.SetParam("NextId", c.counter));
        EXPECT_EQ(db.TakeNextId(false), c.expected) << c.counter;
    }
    CaseNode node;
    node.Id = 40;
    node.Caption = "high";
    ASSERT_TRUE(db.AddNode(node));
    ASSERT_TRUE(db.SetParam("NextId", "-1"));
    EXPECT_EQ(db.TakeNextId(false), 41);
    node.Id = INT32_MAX;
    ASSERT_TRUE(db.AddNode(node));
    EXPECT_EQ(db.TakeNextId(false), 0);
}

TEST_F(CaseDBTest, Parameters) {
    EXPECT_EQ(db.GetParam("Missing", "dflt"), "dflt");
    EXPECT_TRUE(db.SetParam("Key", "v1"));
    EXPECT_TRUE(db.SetParam("Key", "v2"));
    EXPECT_EQ(db.GetParam("Key", ""), "v2");
    EXPECT_TRUE(db.SetParamBool("Flag", true));
    EXPECT_EQ(db.GetParam("Flag", ""), "True");
    EXPECT_TRUE(db.GetParamBool("Flag", false));
    ASSERT_TRUE(db.SetParam("Flag", "true"));
    EXPECT_FALSE(db.GetParamBool("Flag", false));
    EXPECT_TRUE(db.GetParamBool("Flag", true));
    ASSERT_TRUE(db.SetParamInt("Num", -42));
    EXPECT_EQ(db.GetParamInt("Num", 0), -42);
    ASSERT_TRUE(db.SetParam("Num", "abc"));
    EXPECT_EQ(db.GetParamInt("Num", 7), 0);
    EXPECT_EQ(db.GetParamInt("None", 7), 7);
}

TEST_F(CaseDBTest, BookmarksCommitByThemselves) {
    EXPECT_TRUE(db.AddBookmark(5));
    EXPECT_TRUE(db.AddBookmark(3));
    EXPECT_TRUE(db.AddBookmark(5));
    EXPECT_TRUE(db.RemoveBookmark(8));
    ASSERT_TRUE(db.SetParam("Uncommitted", "x"));
    db.Close();
    ASSERT_EQ(db.Open(path, false), CaseDB::kOpened);
    EXPECT_EQ(db.GetBookmarks(), (std::vector<int32_t>{5, 3}));
    EXPECT_TRUE(db.IsBookmark(3));
    EXPECT_EQ(db.GetParam("Uncommitted", ""), "");
    EXPECT_TRUE(db.RemoveBookmark(5));
    db.Close();
    ASSERT_EQ(db.Open(path, false), CaseDB::kOpened);
    EXPECT_EQ(db.GetBookmarks(), (std::vector<int32_t>{3}));
}

TEST_F(CaseDBTest, RollbackReturnsToLastCommitAndRebinds) {
    int32_t kept = AddTestNode(db, 0, 1, "kept", "data");
    ASSERT_TRUE(db.Commit());
    int32_t dropped = AddTestNode(db, 0, 2, "dropped");
    ASSERT_TRUE(db.Rollback());
    CaseNode node;
    EXPECT_TRUE(db.GetNode(kept, node, true));
    EXPECT_FALSE(db.GetNode(dropped, node, true));
    EXPECT_EQ(db.TakeNextId(false), dropped);   // the id counter rolled back too
}

TEST_F(CaseDBTest, DamagedContentFailsOnlyThatNode) {
    int32_t good = AddTestNode(db, 0, 1, "good", "fine content");
    int32_t bad = AddTestNode(db, 0, 2, "bad", "will be damaged");
    ASSERT_TRUE(db.Commit());
    db.Close();
    {
        mk::Storage storage;
        ASSERT_EQ(storage.Open(path), mk::Status::Ok);
        mk::View* view = storage.GetAs(kCase);
        int row = view->Find({{view->Column("Id"), mk::Value{int64_t{bad}}}});
        std::string data;
        view->GetBytes(row, view->Column("Data"), data);
        data[data.size() / 2] ^= 0x5A;
        view->SetBytes(row, view->Column("Data"), data);
        ASSERT_TRUE(storage.Commit());
    }
    std::vector<std::string> reports;
    SetInternalFailureReporter([&](const std::string& m) { reports.push_back(m); });
    ASSERT_EQ(db.Open(path, false), CaseDB::kOpened);
    ASSERT_TRUE(db.Login("secret"));
    CaseNode node;
    EXPECT_FALSE(db.GetNode(bad, node, true));
    EXPECT_TRUE(db.GetNode(bad, node, false));   // caption and fields still read
    EXPECT_EQ(node.Caption, "bad");
    EXPECT_TRUE(db.GetNode(good, node, true));
    EXPECT_EQ(node.DataBytes(), "fine content");
    SetInternalFailureReporter(nullptr);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_TRUE(reports[0].starts_with("Assertion failed: false, file db/CaseDB, line "))
        << reports[0];
}

namespace {

struct Recorded {
    int maximum = -1;
    std::vector<int> positions;
    int events = 0;
};

PasswordProgress Recorder(Recorded& r, unsigned char* cancel = nullptr, int cancelAt = -1) {
    PasswordProgress p;
    p.SetMaximum = [&r](int m) { r.maximum = m; };
    p.SetPosition = [&r](int pos) { r.positions.push_back(pos); };
    p.ProcessEvents = [&r, cancel, cancelAt] {
        if (++r.events == cancelAt) *cancel = 1;
    };
    return p;
}

}  // namespace

TEST_F(CaseDBTest, ChangePasswordReSealsEveryNode) {
    int32_t live = AddTestNode(db, 0, 1, "live", "text one");
    int32_t binned = AddTestNode(db, -1, 1, "binned", std::string(5000, 'z'));
    ASSERT_TRUE(db.Commit());
    Recorded r;
    unsigned char cancel = 0;
    EXPECT_FALSE(db.ChangePassword("wrong", "new", cancel, Recorder(r)));
    ASSERT_TRUE(db.ChangePassword("secret", "new", cancel, Recorder(r)));
    EXPECT_EQ(r.maximum, 2);
    EXPECT_EQ(r.positions, (std::vector<int>{1, 2}));
    CaseNode node;
    EXPECT_TRUE(db.GetNode(binned, node, true));
    db.Close();

    ASSERT_EQ(db.Open(path, false), CaseDB::kOpened);
    EXPECT_FALSE(db.Login("secret"));
    ASSERT_TRUE(db.Login("new"));
    ASSERT_TRUE(db.GetNode(live, node, true));
    EXPECT_EQ(node.Caption, "live");
    EXPECT_EQ(node.DataBytes(), "text one");
    ASSERT_TRUE(db.GetNode(binned, node, true));
    EXPECT_EQ(node.DataBytes(), std::string(5000, 'z'));
    // Same old and new: nothing to do.
    EXPECT_TRUE(db.ChangePassword("new", "new", cancel, {}));
}

TEST_F(CaseDBTest, CancelledPasswordChangeRestoresEverything) {
    for (int i = 0; i < 6; ++i) AddTestNode(db, 0, i, "n" + std::to_string(i), "c" + std::to_string(i));
    ASSERT_TRUE(db.Commit());
    const std::string check = db.GetParam("PassCheckSum", "");
    Recorded r;
    unsigned char cancel = 0;
    EXPECT_FALSE(db.ChangePassword("secret", "new", cancel, Recorder(r, &cancel, 3)));
    EXPECT_EQ(db.GetParam("PassCheckSum", ""), check);
    CaseNode node;
    for (int32_t id : db.AllNodeIds()) {
        ASSERT_TRUE(db.GetNode(id, node, true));
        EXPECT_EQ(node.DataBytes(), "c" + node.Caption.substr(1));
    }
    db.Close();
    ASSERT_EQ(db.Open(path, false), CaseDB::kOpened);
    EXPECT_TRUE(db.Login("secret"));
}
