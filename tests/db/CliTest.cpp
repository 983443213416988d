// vaultleaf-cli's store commands, run as a script would run them.
#include <gtest/gtest.h>

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <cstdlib>

#include "TestSupport.h"
#include "db/CaseDB.h"
#include "kellib/Kelbmp.h"
#include "kellib/Kelcodepage.h"
#include "kelwavecompress/KELSoundRecords.h"
#include "kelwavecompress/KELWaveFile.h"
#include "mk/Storage.h"

namespace {

struct CliRun {
    int code = -1;
    std::string out, err;
};

std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

class CliTest : public ::testing::Test {
protected:
    void SetUp() override {
        WriteFile(passwordFile, "密码 one\n");
        WriteFile(newPasswordFile, "second\r\n");
    }

    // Runs the tool with args (and stdin from input), capturing both outputs
    // (stdout to outFile when one is named). A hang ends after 60 s.
    CliRun Cli(const std::vector<std::string>& args, const std::string& input = "", std::string outFile = "") {
        if (outFile.empty()) outFile = dir.File("stdout");
        std::string command = "timeout 60 " + Quote(std::string(VAULTLEAF_BINARY_DIR) + "/src/cli/vaultleaf-cli");
        for (const auto& a : args) command += " " + Quote(a);
        WriteFile(dir.File("stdin"), input);
        command += " <" + Quote(dir.File("stdin")) + " >" + Quote(outFile) + " 2>" + Quote(dir.File("stderr"));
        command = "setsid -w sh -c " + Quote(command);   // no terminal: passwords only from files
        CliRun r;
        int status = std::system(command.c_str());
        r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.out = outFile.starts_with("/dev/") ? "" : ReadFile(outFile);
        r.err = ReadFile(dir.File("stderr"));
        return r;
    }

    // A command on db with the password file.
    CliRun On(const std::string& command, std::vector<std::string> args = {}, const std::string& input = "",
              const std::string& outFile = "") {
        args.insert(args.begin(), {command, db});
        args.push_back("--password-file");
        args.push_back(passwordFile);
        return Cli(args, input, outFile);
    }

    void Create() { ASSERT_EQ(Cli({"create", db, "--new-password-file", passwordFile}).code, 0); }

    // The database opened and logged in past the tool.
    void OpenDirect(CaseDB& open) {
        ASSERT_EQ(open.Open(db, false), CaseDB::kOpened);
        ASSERT_TRUE(open.Login(Utf8ToAnsi("密码 one")));
    }

    // Folders 1 → 2 → ... → depth below the top level, written past the tool.
    void AddChain(int depth, const std::string& caption) {
        CaseDB open;
        OpenDirect(open);
        for (int32_t id = 1; id <= depth; ++id) {
            CaseNode node;
            node.Id = id;
            node.Parent = id - 1;
            node.Order = 1;
            node.Caption = caption;
            node.SetDataFromText("");
            ASSERT_TRUE(open.AddNode(node));
        }
        ASSERT_TRUE(open.Commit());
    }

    TempFolder dir;
    std::string db = dir.File("cli.vldb");
    std::string passwordFile = dir.File("pw");
    std::string newPasswordFile = dir.File("newpw");
};

}  // namespace

TEST_F(CliTest, WholeLifeOfADatabase) {
    ASSERT_EQ(Cli({"create", db, "--new-password-file", passwordFile}).code, 0);
    CliRun folder = On("add", {"0", "0", "笔记"});
    ASSERT_EQ(folder.code, 0) << folder.err;
    EXPECT_EQ(folder.out, "1\n");
    CliRun text = On("add", {"1", "1", "第一页"}, "你好\n世界");
    ASSERT_EQ(text.code, 0) << text.err;
    EXPECT_EQ(text.out, "2\n");
    WriteFile(dir.File("blob.bin"), std::string("\0\x01\xFFzz", 5));
    ASSERT_EQ(On("add", {"1", "3", "blob.bin", dir.File("blob.bin")}).out, "3\n");

    EXPECT_EQ(On("ls").out, "1\t0\t1\t笔记\n");
    EXPECT_EQ(On("ls", {"1"}).out, "2\t1\t1\t第一页\n3\t3\t2\tblob.bin\n");
    CliRun json = On("ls", {"1", "--json"});
    EXPECT_NE(json.out.find("{\"id\": 2, \"parent\": 1, \"kind\": 1, \"order\": 1, \"caption\": \"第一页\""),
              std::string::npos) << json.out;
    EXPECT_NE(json.out.find("\"size\": 5}"), std::string::npos);
    EXPECT_EQ(json.out.front(), '[');
    EXPECT_EQ(On("tree").out, "1\t0\t笔记\n  2\t1\t第一页\n  3\t3\tblob.bin\n");

    EXPECT_EQ(On("cat", {"2"}).out, "你好\n世界");
    EXPECT_EQ(On("cat", {"2", "--raw"}).out, Utf8ToAnsi("你好\n世界") + std::string(1, '\0'));
    EXPECT_EQ(On("cat", {"3"}).out, std::string("\0\x01\xFFzz", 5));
    ASSERT_EQ(On("set", {"2"}, "改了").code, 0);
    EXPECT_EQ(On("cat", {"2"}).out, "改了");

    EXPECT_NE(On("mv", {"1", "1"}).code, 0);
    ASSERT_EQ(On("mv", {"3", "0"}).code, 0);
    ASSERT_EQ(On("rm", {"1"}).code, 0);   // into the recycle bin
    EXPECT_EQ(On("ls", {"-1"}).out, "1\t0\t1\t笔记\n");
    ASSERT_EQ(On("rm", {"2"}).code, 0);   // inside the bin: for good
    EXPECT_EQ(On("tree", {"-1"}).out, "1\t0\t笔记\n");
    EXPECT_EQ(On("check").code, 0);
    EXPECT_EQ(On("pack").code, 0);
    EXPECT_FALSE(Exists(CaseDB::SwapPath(db)));

    {   // as the window leaves it after a login with "remember" checked
        CaseDB open;
        ASSERT_EQ(open.Open(db, false), CaseDB::kOpened);
        ASSERT_TRUE(open.Login(Utf8ToAnsi("密码 one")));
        ASSERT_TRUE(open.SetParamBool("RememberPassword", true));
        ASSERT_TRUE(open.SetParam("RememberedPassword", "sealed-old-password"));
        ASSERT_TRUE(open.Commit());
    }
    CliRun passwd = On("passwd", {"--new-password-file", newPasswordFile});
    ASSERT_EQ(passwd.code, 0) << passwd.err;
    {   // the old password, sealed for the window, is gone
        CaseDB open;
        ASSERT_EQ(open.Open(db, false), CaseDB::kOpened);
        EXPECT_FALSE(open.GetParamBool("RememberPassword", true));
        EXPECT_EQ(open.GetParam("RememberedPassword", "x"), "");
    }
    EXPECT_EQ(On("ls").code, 3);
    EXPECT_EQ(Cli({"cat", db, "3", "--password-file", newPasswordFile}).out, std::string("\0\x01\xFFzz", 5));
}

TEST_F(CliTest, ExitCodesAndMessages) {
    CliRun missing = On("ls");
    EXPECT_EQ(missing.code, 4);
    EXPECT_NE(missing.err.find("数据库文件\"" + db + "\"不存在。"), std::string::npos) << missing.err;

    WriteFile(dir.File("foreign.vldb"), "not a database");
    CliRun foreign = Cli({"ls", dir.File("foreign.vldb"), "--password-file", passwordFile});
    EXPECT_EQ(foreign.code, 4);
    EXPECT_NE(foreign.err.find("的格式不对。"), std::string::npos);
    EXPECT_EQ(ReadFile(dir.File("foreign.vldb")), "not a database");

    ASSERT_EQ(Cli({"create", db, "--new-password-file", passwordFile}).code, 0);
    EXPECT_EQ(Cli({"create", db, "--new-password-file", passwordFile}).code, 1);
    CliRun wrong = Cli({"ls", db, "--password-file", newPasswordFile});
    EXPECT_EQ(wrong.code, 3);
    EXPECT_NE(wrong.err.find("密码不对"), std::string::npos);
    CliRun noTerminal = Cli({"ls", db});
    EXPECT_EQ(noTerminal.code, 1);
    EXPECT_NE(noTerminal.err.find("--password-file"), std::string::npos);

    EXPECT_EQ(Cli({"ls"}).code, 2);
    EXPECT_EQ(Cli({"ls", db, "--bogus"}).code, 2);
    EXPECT_EQ(On("cat", {"x"}).code, 2);
    EXPECT_EQ(On("add", {"0", "9", "bad kind"}).code, 2);
    EXPECT_EQ(On("add", {"42", "1", "no parent"}, "x").code, 1);
    EXPECT_EQ(On("cat", {"42"}).code, 1);

    // A database held open for writing elsewhere (this test process) is
    // refused to a second writer; readers read it.
    CaseDB holder;
    ASSERT_EQ(holder.Open(db, false), CaseDB::kOpened);
    CliRun locked = On("add", {"0", "1", "refused"}, "x");
    EXPECT_EQ(locked.code, 4);
    EXPECT_NE(locked.err.find("已经被打开，不能重复打开。"), std::string::npos);
    EXPECT_EQ(On("ls").code, 0);
}

// grep: 0 with hits (in row order), 1 without, 2 for a text it cannot take,
// 3 and 4 as every store command.
TEST_F(CliTest, GrepExitCodesAndOutput) {
    Create();
    ASSERT_EQ(On("add", {"0", "0", "Animals"}).code, 0);
    ASSERT_EQ(On("add", {"1", "1", "note"}, "first line\na Zebra runs").code, 0);
    ASSERT_EQ(On("add", {"0", "5", "Zebra site"}, "http://example.com/").code, 0);
    CliRun found = On("grep", {"Zebra"});
    EXPECT_EQ(found.code, 0) << found.err;
    EXPECT_EQ(found.out, "2\t我的公文包/Animals/note\ta Zebra runs\n3\t我的公文包/Zebra site\tZebra site\n");
    CliRun json = On("grep", {"zebra", "--ignore-case", "--json"});
    EXPECT_EQ(json.code, 0) << json.err;
    EXPECT_EQ(json.out,
              "[\n  {\"id\": 2, \"kind\": 1, \"match\": \"content\", \"path\": [\"我的公文包\", \"Animals\", \"note\"], "
              "\"context\": \"a Zebra runs\"},\n"
              "  {\"id\": 3, \"kind\": 5, \"match\": \"caption\", \"path\": [\"我的公文包\", \"Zebra site\"], "
              "\"context\": \"Zebra site\"}\n]\n");
    struct Case {
        std::vector<std::string> args;
        int code;
    };
    const Case cases[] = {
        {{"zebra"}, 1},                  // the case counts unless told otherwise
        {{"--", "--ignore-case"}, 1},    // a text that looks like an option
        {{""}, 2},
        {{"\xff\xfe"}, 2},
        {{"Zebra", "extra"}, 2},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"grep", db, "--password-file", passwordFile};
        args.insert(args.end(), c.args.begin(), c.args.end());
        CliRun r = Cli(args);
        EXPECT_EQ(r.code, c.code) << c.args[0];
        EXPECT_TRUE(c.code == 1 ? r.err.empty() : !r.err.empty()) << r.err;
    }
    EXPECT_EQ(On("grep", {"[]", "--json"}).out, "[]\n");
    WriteFile(passwordFile, "wrong\n");
    EXPECT_EQ(On("grep", {"Zebra"}).code, 3);
    EXPECT_EQ(Cli({"grep", dir.File("missing.vldb"), "Zebra", "--password-file", passwordFile}).code, 4);
}

TEST_F(CliTest, GrepReportsADamagedNodeAndGoesOn) {
    Create();
    ASSERT_EQ(On("add", {"0", "1", "bad"}, std::string(200, 'q')).code, 0);
    ASSERT_EQ(On("add", {"0", "1", "good"}, "q").code, 0);
    {
        mk::Storage storage;
        ASSERT_EQ(storage.Open(db), mk::Status::Ok);
        mk::View* view = storage.ViewNamed("Case");
        std::string data;
        view->GetBytes(0, view->Column("Data"), data);
        data[9] ^= 1;
        view->SetBytes(0, view->Column("Data"), data);
        ASSERT_TRUE(storage.Commit());
    }
    CliRun r = On("grep", {"q"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "1\t我的公文包/bad\t(content cannot be opened)\n2\t我的公文包/good\tq\n");
    EXPECT_EQ(r.err, "vaultleaf-cli: 1 nodes cannot be opened\n");
}

TEST_F(CliTest, CheckReportsADamagedNode) {
    ASSERT_EQ(Cli({"create", db, "--new-password-file", passwordFile}).code, 0);
    ASSERT_EQ(On("add", {"0", "1", "good"}, "fine").code, 0);
    ASSERT_EQ(On("add", {"0", "1", "bad"}, std::string(200, 'q')).code, 0);
    {
        mk::Storage storage;
        ASSERT_EQ(storage.Open(db), mk::Status::Ok);
        mk::View* view = storage.ViewNamed("Case");
        ASSERT_NE(view, nullptr);
        std::string data;
        view->GetBytes(1, view->Column("Data"), data);
        data[9] ^= 1;
        view->SetBytes(1, view->Column("Data"), data);
        ASSERT_TRUE(storage.Commit());
    }
    CliRun check = On("check");
    EXPECT_EQ(check.code, 1);
    EXPECT_EQ(check.out, "2\tbad\tcontent cannot be opened\n2 nodes, 1 unreadable\n");
    EXPECT_EQ(On("cat", {"1"}).out, "fine");
}

// A password file that cannot be read, or holds nothing, is an error of its
// own and nothing is written; it never stands for an empty password.
TEST_F(CliTest, UnreadablePasswordFilesChangeNothing) {
    const std::string folder = dir.Path(), empty = dir.File("empty"), missing = dir.File("missing");
    WriteFile(empty, "");
    for (const std::string& bad : {folder, empty, missing}) {
        CliRun create = Cli({"create", db, "--new-password-file", bad});
        EXPECT_EQ(create.code, 1) << bad;
        EXPECT_NE(create.err.find("password file"), std::string::npos) << create.err;
        EXPECT_FALSE(Exists(db)) << bad;
    }
    Create();
    const std::string before = ReadFile(db);
    for (const std::string& bad : {folder, empty, missing}) {
        CliRun passwd = On("passwd", {"--new-password-file", bad});
        EXPECT_EQ(passwd.code, 1) << bad;
        EXPECT_EQ(passwd.out, "") << bad;
        CliRun ls = Cli({"ls", db, "--password-file", bad});
        EXPECT_EQ(ls.code, 1) << bad << ": " << ls.err;
        EXPECT_NE(ls.err.find("password file"), std::string::npos) << ls.err;
    }
    EXPECT_EQ(ReadFile(db), before);
    EXPECT_EQ(On("ls").code, 0);
    WriteFile(empty, "\n");   // an empty line is the empty password, which is wrong here
    EXPECT_EQ(Cli({"ls", db, "--password-file", empty}).code, 3);
}

// A damaged id counter never leads to ids of 0 or less (which would take the
// place of the top level or the recycle bin), and is not wrapped at the top.
TEST_F(CliTest, DamagedIdCounter) {
    Create();
    ASSERT_EQ(On("add", {"0", "1", "first"}, "x").out, "1\n");
    struct Case { const char* counter; int code; const char* out; } cases[] = {
        {"abc", 0, "2\n"}, {"-1", 0, "3\n"}, {"0", 0, "4\n"}, {"2147483647", 1, ""},
    };
    for (const Case& c : cases) {
        {
            CaseDB open;
            OpenDirect(open);
            ASSERT_TRUE(open.SetParam("NextId", c.counter));
            ASSERT_TRUE(open.Commit());
        }
        CliRun add = On("add", {"0", "1", c.counter}, "x");
        EXPECT_EQ(add.code, c.code) << c.counter << ": " << add.err;
        EXPECT_EQ(add.out, c.out) << c.counter;
    }
    ASSERT_EQ(On("rm", {"2"}).code, 0);
    ASSERT_EQ(On("rm", {"1"}).code, 0);   // into the bin, beside node 2
    EXPECT_EQ(On("ls", {"-1"}).out, "1\t1\t1\tfirst\n2\t1\t2\tabc\n");
}

TEST_F(CliTest, TreeOfAnyDepth) {
    Create();
    const int depth = 40000;
    AddChain(depth, "n");
    CliRun all = On("tree", {}, "", "/dev/null");
    EXPECT_EQ(all.code, 0) << all.err;
    EXPECT_EQ(On("tree", {std::to_string(depth - 3)}).out, "39998\t0\tn\n  39999\t0\tn\n    40000\t0\tn\n");
}

// Input that cannot be read is a message and exit 1, never an abort that
// leaves a lock file behind.
TEST_F(CliTest, UnreadableInputIsAnError) {
    Create();
    ASSERT_EQ(On("add", {"0", "1", "note"}, "x").code, 0);
    const std::vector<std::vector<std::string>> commands = {
        {"add", "0", "1", "cap", dir.Path()}, {"add", "0", "3", "cap", dir.Path()},
        {"set", "1", dir.Path()}, {"add", "0", "1", "cap", dir.File("missing")}};
    for (const auto& args : commands) {
        CliRun run = On(args[0], {args.begin() + 1, args.end()});
        EXPECT_EQ(run.code, 1) << args[0] << " " << args.back() << ": " << run.err;
        EXPECT_NE(run.err.find("vaultleaf-cli: "), std::string::npos) << run.err;
        EXPECT_FALSE(Exists(CaseDB::LockPath(db)));
    }
    EXPECT_EQ(On("ls").out, "1\t1\t1\tnote\n");
}

// Read commands take a shared lock on the file and make no lock file, so they
// work where none can be made; writers then name the real cause.
// While another process (here: this test, as the window would) has the
// database open for writing, every read command reads its last commit and
// every writing command is refused.
TEST_F(CliTest, ReadCommandsReadWhileAnotherProcessWrites) {
    Create();
    ASSERT_EQ(On("add", {"0", "0", "Animals"}).code, 0);
    ASSERT_EQ(On("add", {"1", "1", "note"}, "first text").code, 0);
    CaseDB holder;
    OpenDirect(holder);
    CaseNode node;
    ASSERT_TRUE(holder.GetNode(2, node, true));
    node.SetDataFromText("second text");
    ASSERT_TRUE(holder.SaveNode(node));   // not committed yet

    const std::string out = dir.File("out");
    const std::vector<std::vector<std::string>> reads = {
        {"ls"}, {"ls", "1", "--json"}, {"tree"}, {"cat", "2"}, {"check"}, {"grep", "first"}, {"export", "1", out}};
    for (const auto& args : reads) {
        std::vector<std::string> rest(args.begin() + 1, args.end());
        CliRun r = On(args[0], rest);
        EXPECT_EQ(r.code, 0) << args[0] << ": " << r.err;
    }
    EXPECT_EQ(On("cat", {"2"}).out, "first text");
    EXPECT_EQ(ReadFile(out + "/Animals/note.vl_txt"), std::string("first text\0", 11));
    EXPECT_EQ(Cli({"dump", db}).code, 0);

    const std::vector<std::vector<std::string>> writes = {
        {"add", "0", "1", "more"}, {"set", "2"}, {"mv", "2", "0"}, {"rm", "2"}, {"passwd"}, {"pack"},
        {"import", "0", passwordFile}};
    for (const auto& args : writes) {
        std::vector<std::string> rest(args.begin() + 1, args.end());
        if (args[0] == "passwd") rest = {"--new-password-file", newPasswordFile};
        CliRun r = On(args[0], rest, "y");
        EXPECT_EQ(r.code, 4) << args[0];
        EXPECT_NE(r.err.find("已经被打开，不能重复打开。"), std::string::npos) << args[0] << ": " << r.err;
    }

    // A commit of the writer is what the next reader sees.
    ASSERT_TRUE(holder.Commit());
    EXPECT_EQ(On("cat", {"2"}).out, "second text");
    holder.Close();
    EXPECT_FALSE(Exists(CaseDB::LockPath(db)));
    EXPECT_EQ(On("cat", {"2"}).out, "second text");
}

// A full file system (4 MiB, mounted in a private mount namespace where the
// system allows it): add, import, passwd and pack fail saying the disk is full,
// the database keeps its length and every committed node, and a pack runs
// once there is room again.
TEST_F(CliTest, FullDiskLeavesTheDatabaseAsItWas) {
    const std::string mnt = dir.File("mnt");
    std::filesystem::create_directory(mnt);
    if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount("tmpfs", mnt.c_str(), "tmpfs", 0, "size=4m") != 0)
        GTEST_SKIP() << "no private tmpfs mount here: " << std::strerror(errno);
    struct Unmount {
        std::string path;
        ~Unmount() { umount2(path.c_str(), MNT_DETACH); }
    } unmount{mnt};
    db = mnt + "/full.vldb";
    Create();
    ASSERT_EQ(On("add", {"0", "1", "small"}, "kept").code, 0);
    const std::string full = "磁盘已满，不能写入文件\"" + db + "\"。";
    auto expectUnchanged = [&](const CliRun& r, std::uintmax_t size, const std::string& what) {
        EXPECT_NE(r.code, 0) << what;
        EXPECT_NE(r.err.find(full), std::string::npos) << what << ": " << r.err;
        EXPECT_EQ(r.err.find("Assertion failed"), std::string::npos) << what << ": " << r.err;
        EXPECT_EQ(std::filesystem::file_size(db), size) << what;
        EXPECT_EQ(On("cat", {"1"}).out, "kept") << what;
    };

    std::uintmax_t size = std::filesystem::file_size(db);
    WriteFile(dir.File("big"), Noise(5 << 20, 1));
    expectUnchanged(On("add", {"0", "1", "big", dir.File("big"), "--raw"}), size, "add");

    // Nearly full: a database of 1.5 MB and little room beside it.
    for (uint32_t i = 0; i < 3; ++i) {
        WriteFile(dir.File("part"), Noise(500000, 7 + i));
        ASSERT_EQ(On("add", {"0", "1", "part", dir.File("part"), "--raw"}).code, 0);
    }
    size = std::filesystem::file_size(db);
    {
        std::ofstream filler(mnt + "/filler", std::ios::binary);
        const std::string block(4096, 'f');
        while (filler.write(block.data(), block.size())) {
        }
    }
    const std::uintmax_t filled = std::filesystem::file_size(mnt + "/filler");
    std::filesystem::resize_file(mnt + "/filler", filled > 200000 ? filled - 200000 : 0);
    expectUnchanged(On("passwd", {"--new-password-file", newPasswordFile}), size, "passwd");
    std::filesystem::create_directory(dir.File("in"));
    WriteFile(dir.File("in/a.bin"), Noise(400000, 99));
    expectUnchanged(On("import", {"0", dir.File("in")}), size, "import");
    EXPECT_EQ(On("ls").out.find("a.bin"), std::string::npos);
    // A pack's copy does not fit either: it goes, and the database stays.
    CliRun pack = On("pack");
    EXPECT_NE(pack.code, 0);
    EXPECT_NE(pack.err.find("磁盘已满，不能写入文件\"" + CaseDB::SwapPath(db) + "\"。"), std::string::npos) << pack.err;
    EXPECT_FALSE(Exists(CaseDB::SwapPath(db)));
    EXPECT_EQ(std::filesystem::file_size(db), size);

    std::filesystem::remove(mnt + "/filler");
    EXPECT_EQ(On("pack").code, 0);
    EXPECT_EQ(On("cat", {"1"}).out, "kept");
}

TEST_F(CliTest, ReadCommandsNeedNoLockFile) {
    Create();
    ASSERT_EQ(On("add", {"0", "1", "note"}, "x").code, 0);
    std::filesystem::create_directory(CaseDB::LockPath(db));   // no lock file can be made
    for (const char* command : {"ls", "tree", "check"}) EXPECT_EQ(On(command).code, 0) << command;
    EXPECT_EQ(On("cat", {"1"}).out, "x");
    // A writer leaves a folder under the lock file's name alone, says so,
    // and relies on the lock of the database file itself.
    CliRun add = On("add", {"0", "1", "more"}, "y");
    EXPECT_EQ(add.code, 0) << add.err;
    EXPECT_NE(add.err.find("不使用也不改动它"), std::string::npos) << add.err;
    EXPECT_TRUE(std::filesystem::is_directory(CaseDB::LockPath(db)));

    CliRun noFolder = Cli({"create", dir.File("nodir/x.vldb"), "--new-password-file", passwordFile});
    EXPECT_EQ(noFolder.code, 4);
    EXPECT_NE(noFolder.err.find(std::strerror(ENOENT)), std::string::npos) << noFolder.err;
}

// On read-only media (the test folder remounted read-only in a private mount
// namespace, where the system allows one) reads work and writes name the cause.
TEST_F(CliTest, ReadOnlyMedia) {
    Create();
    ASSERT_EQ(On("add", {"0", "1", "note"}, "x").code, 0);
    const std::string cli = std::string(VAULTLEAF_BINARY_DIR) + "/src/cli/vaultleaf-cli";
    const std::string script =
        "mount --make-rprivate / && mount --bind " + Quote(dir.Path()) + " " + Quote(dir.Path()) +
        " && mount -o remount,bind,ro " + Quote(dir.Path()) + " || exit 99; " + Quote(cli) + " ls " + Quote(db) +
        " --password-file " + Quote(passwordFile) + " >/dev/null || exit 3; " + Quote(cli) + " add " + Quote(db) +
        " 0 1 y --password-file " + Quote(passwordFile) + " </dev/null 2>&1 | grep -q " + Quote(std::strerror(EROFS)) +
        " || exit 2";
    int status = std::system(("unshare -m sh -c " + Quote(script) + " 2>/dev/null").c_str());
    int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (code == 99 || code == 127 || code == 1) GTEST_SKIP() << "no private read-only mount here";   // 1: unshare refused
    EXPECT_EQ(code, 0);
}

// A read command writes nothing, not even the first password of a database
// that has none; writers refuse to set one.
TEST_F(CliTest, ReadCommandsNeverWrite) {
    {
        CaseDB open;
        ASSERT_EQ(open.Open(db, true), CaseDB::kOpened);
        ASSERT_TRUE(open.Commit());
    }
    const std::string before = ReadFile(db);
    EXPECT_EQ(On("ls").code, 0);
    EXPECT_EQ(On("tree").code, 0);
    CliRun add = On("add", {"0", "1", "x"}, "y");
    EXPECT_EQ(add.code, 1);
    EXPECT_NE(add.err.find("no password yet"), std::string::npos) << add.err;
    EXPECT_EQ(ReadFile(db), before);
}

// Anything but a regular file is refused before it is opened: a FIFO must
// not block the tool.
TEST_F(CliTest, OnlyRegularFilesAreOpened) {
    const std::string fifo = dir.File("fifo.vldb");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(Cli({"dump", fifo}).code, 4);
    EXPECT_EQ(Cli({"ls", fifo, "--password-file", passwordFile}).code, 4);
    EXPECT_EQ(Cli({"dump", dir.Path()}).code, 4);
}

// A character the database code page cannot hold is refused with its
// position; nothing is stored in its place.
TEST_F(CliTest, CharactersTheCodePageLacksAreRefused) {
    Create();
    CliRun caption = On("add", {"0", "1", "a\xEE\x9E\x8D" "b"}, "text");
    EXPECT_EQ(caption.code, 1);
    EXPECT_NE(caption.err.find("第2个字符（U+E78D）"), std::string::npos) << caption.err;
    CliRun text = On("add", {"0", "1", "ok"}, "中文\xEE\xA0\x9E");
    EXPECT_EQ(text.code, 1);
    EXPECT_NE(text.err.find("第3个字符（U+E81E）"), std::string::npos) << text.err;
    EXPECT_EQ(On("ls").out, "");
    ASSERT_EQ(On("add", {"0", "1", "ok"}, "fine").code, 0);
    EXPECT_EQ(On("set", {"1"}, "\xEE\x9E\x8D").code, 1);
    EXPECT_EQ(On("cat", {"1"}).out, "fine");
}

// A repeated id in a damaged file is reported by check; a file recovered at
// its last complete commit is noted on stderr.
TEST_F(CliTest, CheckReportsRepeatedIdsAndRecoveryIsNoted) {
    Create();
    ASSERT_EQ(On("add", {"0", "1", "one"}, "x").code, 0);
    {
        CaseDB open;
        OpenDirect(open);
        CaseNode node;
        ASSERT_TRUE(open.GetNode(1, node, true));
        node.Caption = "twin";
        ASSERT_TRUE(open.AddNode(node));   // a second row with id 1
        ASSERT_TRUE(open.Commit());
    }
    CliRun check = On("check");
    EXPECT_EQ(check.code, 1);
    EXPECT_EQ(check.out, "1\t?\tid held by 2 rows; only the first can be reached\n2 nodes, 1 unreadable\n");

    std::ofstream(db, std::ios::binary | std::ios::app) << std::string(64, '\x5A');
    CliRun ls = On("ls");
    EXPECT_EQ(ls.code, 0);
    EXPECT_NE(ls.err.find("the end of the file was damaged"), std::string::npos) << ls.err;
}

// Sound nodes from WAV files and back, through the recorder's encoder.
TEST_F(CliTest, SoundNodesFromAndToWaveFiles) {
    Create();
    std::string pcm;
    for (int i = 0; i < 8000; ++i) {
        const int16_t v = int16_t((i * 97 % 2000 - 1000) * 8);
        pcm += std::string{char(v & 0xFF), char(v >> 8)};
    }
    WriteFile(dir.File("speech.wav"), MakeWaveFile(pcm));
    CliRun added = On("add", {"0", "8", "录音", dir.File("speech.wav")});
    ASSERT_EQ(added.code, 0) << added.err;
    const std::string id = added.out.substr(0, added.out.find('\n'));
    const std::string payload = On("cat", {id, "--raw"}).out;
    KELWaveCompress codec;
    EXPECT_EQ(payload.size(), 1900u) << "one second is 50 records";
    EXPECT_EQ(payload, EncodeSoundRecords(codec, pcm));

    std::string back, error;
    ASSERT_TRUE(ReadWaveFile(On("cat", {id, "--wav"}).out, back, error)) << error;
    KELWaveCompress decoder;
    EXPECT_EQ(back, DecodeSoundRecords(decoder, payload));

    std::string stereo = MakeWaveFile(pcm);
    stereo[22] = 2;
    WriteFile(dir.File("stereo.wav"), stereo);
    CliRun refused = On("add", {"0", "8", "立体声", dir.File("stereo.wav")});
    EXPECT_EQ(refused.code, 1);
    EXPECT_NE(refused.err.find("单声道"), std::string::npos) << refused.err;
    WriteFile(dir.File("noise.wav"), "not a wave file");
    EXPECT_EQ(On("add", {"0", "8", "噪音", dir.File("noise.wav")}).code, 1);
    EXPECT_EQ(On("cat", {id, "--png"}).code, 2) << "--png needs a whiteboard";
}

// Whiteboards from pictures (stored as BMP) and out as PNG.
TEST_F(CliTest, WhiteboardsFromPicturesAndToPng) {
    Create();
    CliRun added = On("add", {"0", "7", "白板", std::string(VAULTLEAF_FIXTURES) + "/bmp/depth8.bmp"});
    ASSERT_EQ(added.code, 0) << added.err;
    const std::string id = added.out.substr(0, added.out.find('\n'));
    KELBitmap stored;
    ASSERT_TRUE(ReadBmp(On("cat", {id, "--raw"}).out, stored));
    EXPECT_EQ(stored.width, 13);
    EXPECT_EQ(stored.height, 7);

    CliRun png = On("cat", {id, "--png"}, "", dir.File("board.png"));
    ASSERT_EQ(png.code, 0) << png.err;
    EXPECT_EQ(png.out.substr(0, 4), "\x89PNG");
    // The PNG is a picture too: stored again it gives the same pixels.
    CliRun again = On("add", {"0", "7", "再来", dir.File("board.png")});
    ASSERT_EQ(again.code, 0) << again.err;
    KELBitmap reread;
    ASSERT_TRUE(ReadBmp(On("cat", {again.out.substr(0, again.out.find('\n')), "--raw"}).out, reread));
    EXPECT_EQ(reread.pixels, stored.pixels);

    WriteFile(dir.File("text.txt"), "no picture");
    CliRun refused = On("add", {"0", "7", "坏", dir.File("text.txt")});
    EXPECT_EQ(refused.code, 1);
    EXPECT_NE(refused.err.find("不能读入图片。"), std::string::npos) << refused.err;
    EXPECT_EQ(On("cat", {id, "--wav"}).code, 2) << "--wav needs a sound node";
}

// import and export on the shared walks: a tree in and out again, report
// lines on stderr, a failed import leaving the file byte for byte as it was.
TEST_F(CliTest, ImportAndExportATree) {
    Create();
    std::string src = dir.File("src");
    std::filesystem::create_directories(src + "/子 目录/空");
    WriteFile(src + "/子 目录/a.txt", "text a");
    WriteFile(src + "/b.bin", std::string("\0\xFF\x01", 3));
    WriteFile(src + "/Note.vl_txt", std::string("note\0", 5));
    ASSERT_EQ(On("add", {"0", "0", "box"}).out, "1\n");
    CliRun in = On("import", {"1", src, "--pattern", " *.* "});
    ASSERT_EQ(in.code, 0) << in.err;
    EXPECT_EQ(in.out, "2个文件夹，3个文件，文件大小总共14字节。\n");
    EXPECT_NE(On("tree").out.find("\t1\tNote\n"), std::string::npos);   // a text node again
    CliRun check = On("check");
    EXPECT_EQ(check.code, 0) << check.out << check.err;
    ASSERT_EQ(On("import", {"0", src + "/Note.vl_txt", "--no-identify"}).code, 0);
    EXPECT_NE(On("ls").out.find("\t3\t0\tNote.vl_txt\n"), std::string::npos);

    std::string out = dir.File("out");
    CliRun ex = On("export", {"1", out, "--keep-empty-dirs"});
    ASSERT_EQ(ex.code, 0) << ex.err;
    EXPECT_EQ(ReadFile(out + "/box/Note.vl_txt"), std::string("note\0", 5));
    EXPECT_EQ(ReadFile(out + "/box/子 目录/a.txt"), "text a");
    EXPECT_TRUE(std::filesystem::is_directory(out + "/box/子 目录/空"));
    CliRun again = On("export", {"1", out, "--no-overwrite", "--files-only"});
    EXPECT_EQ(again.code, 0);
    EXPECT_EQ(again.err, "文件\"" + out + "/box/子 目录/a.txt\"已存在，忽略。\n文件\"" + out + "/box/b.bin\"已存在，忽略。\n");

    const std::string before = ReadFile(db);
    WriteFile(src + "/zz", "x");
    CliRun bad = On("import", {"0", src, dir.File("missing")});
    EXPECT_EQ(bad.code, 1);
    EXPECT_NE(bad.err.find(dir.File("missing")), std::string::npos);
    std::filesystem::create_symlink(dir.File("gone"), src + "/broken");
    bad = On("import", {"0", src});
    EXPECT_EQ(bad.code, 1);
    EXPECT_NE(bad.err.find("数据导入出错，数据已恢复。"), std::string::npos) << bad.err;
    EXPECT_EQ(ReadFile(db), before);

    WriteFile(dir.File("file"), "x");
    EXPECT_EQ(On("export", {"1", dir.File("file")}).code, 1);
    EXPECT_EQ(On("export", {"1", out, "--bogus"}).code, 2);
}

// cat --text prints the text the search reads, for every kind that holds one:
// each line grep shows stands in it.
TEST_F(CliTest, CatTextIsWhatGrepReads) {
    Create();
    const std::string card = "<Contact>\r\n<Name>张三</Name>\r\n<Remark>likes zebras</Remark>\r\n</Contact>\r\n";
    ASSERT_EQ(On("add", {"0", "4", "名片"}, Utf8ToAnsi(card)).out, "1\n");
    ASSERT_EQ(On("add", {"0", "2", "网页"}, "<p title=\"a > b\">zebra caf&eacute; &euro;5</p>").out, "2\n");
    ASSERT_EQ(On("add", {"0", "3", "notes.txt"}, "a zebra in a file\n").out, "3\n");
    ASSERT_EQ(On("add", {"0", "1", "文字"}, "plain zebra\n").out, "4\n");
    EXPECT_EQ(On("cat", {"2", "--text"}).out, "zebra café €5\n");
    const CliRun card1 = On("cat", {"1", "--text"});
    EXPECT_EQ(card1.code, 0) << card1.err;
    EXPECT_NE(card1.out.find("张三\n"), std::string::npos) << card1.out;

    const CliRun found = On("grep", {"zebra"});
    ASSERT_EQ(found.code, 0) << found.err;
    std::istringstream lines(found.out);
    int hits = 0;
    for (std::string line; std::getline(lines, line); ++hits) {
        const size_t tab = line.find('\t'), context = line.find('\t', tab + 1) + 1;
        const std::string text = "\n" + On("cat", {line.substr(0, tab), "--text"}).out;
        EXPECT_NE(text.find("\n" + line.substr(context) + "\n"), std::string::npos) << line << " in" << text;
    }
    EXPECT_EQ(hits, 4) << found.out;
}

// Entries that cannot be imported (a FIFO, a dangling link) end the import
// with nothing written, or with --skip-errors are named on stderr and left out.
TEST_F(CliTest, ImportSkipsEntriesItCannotTakeWhenAsked) {
    Create();
    std::string src = dir.File("src");
    std::filesystem::create_directories(src);
    WriteFile(src + "/a.txt", "a");
    ASSERT_EQ(mkfifo((src + "/fifo").c_str(), 0644), 0);
    std::filesystem::create_symlink(dir.File("gone"), src + "/broken");
    const std::string before = ReadFile(db);
    CliRun bad = On("import", {"0", src});
    EXPECT_EQ(bad.code, 1);
    EXPECT_NE(bad.err.find("读文件\"" + src + "/broken\"出错：链接的目标不存在"), std::string::npos) << bad.err;
    EXPECT_EQ(ReadFile(db), before);
    CliRun in = On("import", {"0", src, "--skip-errors"});
    EXPECT_EQ(in.code, 0) << in.err;
    EXPECT_EQ(in.err, "读文件\"" + src + "/broken\"出错：链接的目标不存在\n读文件\"" + src +
                          "/fifo\"出错：不是普通文件（命名管道）\n");
    EXPECT_EQ(in.out, "0个文件夹，3个文件，文件大小总共1字节。\n其中2项不能导入，已跳过。\n");
    EXPECT_NE(On("ls").out.find("a.txt"), std::string::npos);
}

// RTF nodes take RTF as it is and UTF-8 text as the RTF of it; cat --text
// prints the plain text of RTF and HTML nodes.
TEST_F(CliTest, RichTextNodes) {
    Create();
    const std::string rtf = ReadFile(std::string(VAULTLEAF_FIXTURES) + "/rtf/richedit30-format.rtf");
    WriteFile(dir.File("note.rtf"), rtf);
    ASSERT_EQ(On("add", {"0", "6", "格式", dir.File("note.rtf")}).out, "1\n");
    EXPECT_EQ(On("cat", {"1", "--raw"}).out, rtf);
    EXPECT_EQ(On("cat", {"1", "--text"}).out, "标题\n普通斜体下划线 红色 Arial text\n第一项\n第二项\n右对齐\n");

    ASSERT_EQ(On("add", {"0", "6", "文本"}, "第一行\n\n{a}\\b 😀\n").out, "2\n");
    const std::string written = On("cat", {"2", "--raw"}).out;
    EXPECT_EQ(written.rfind("{\\rtf1\\ansi\\ansicpg936", 0), 0u) << written;
    EXPECT_EQ(On("cat", {"2", "--text"}).out, "第一行\n\n{a}\\b 😀\n");
    ASSERT_EQ(On("set", {"2"}, "改了").code, 0);
    EXPECT_EQ(On("cat", {"2", "--text"}).out, "改了\n");
    ASSERT_EQ(On("set", {"2", "--raw"}, "not rtf").code, 0);
    EXPECT_EQ(On("cat", {"2", "--raw"}).out, "not rtf");
    CliRun bad = On("set", {"2"}, "\xff\xfe");
    EXPECT_EQ(bad.code, 1);
    EXPECT_NE(bad.err.find("UTF-8"), std::string::npos);

    ASSERT_EQ(On("add", {"0", "2", "网页"}, "<html><head><title>T</title><style>p{x}</style></head><body>"
                                          "<p>Hello&nbsp;<b>world</b> &amp;&#20320;</p>\n<div>two\n  words"
                                          "</div><script>if (a<b) x();</script></body></html>").out, "3\n");
    EXPECT_EQ(On("cat", {"3", "--text"}).out, "T\nHello world &你\ntwo words\n");
    ASSERT_EQ(On("add", {"0", "7", "画", "--raw"}, "BM").out, "4\n");
    EXPECT_EQ(On("cat", {"4", "--text"}).code, 1);
    EXPECT_EQ(On("cat", {"1", "--text", "--raw"}).code, 2);
}

// Parents in a circle, a missing parent and a caption that does not decipher,
// made past the tool: check names each by id, the tree shows what it reaches
// without hanging, and --repair brings the lost nodes back in one folder.
TEST_F(CliTest, CheckReportsAndRepairsTheShapeOfTheTree) {
    Create();
    for (const char* caption : {"kept", "ring a", "ring b", "below ring", "lost", "garbled"})
        ASSERT_EQ(On("add", {"0", "0", caption}).code, 0);
    {
        CaseDB open;
        OpenDirect(open);
        for (auto [id, parent] : std::vector<std::pair<int32_t, int32_t>>{{2, 3}, {3, 2}, {4, 3}, {5, 99}}) {
            CaseNode node;
            ASSERT_TRUE(open.GetNode(id, node, true));
            node.Parent = parent;
            ASSERT_TRUE(open.SaveNode(node));
        }
        ASSERT_TRUE(open.Commit());
    }
    {
        mk::Storage storage;
        ASSERT_EQ(storage.Open(db), mk::Status::Ok);
        mk::View* view = storage.ViewNamed("Case");
        view->SetBytes(5, view->Column("Caption"), std::string(16, '\x5A'));
        ASSERT_TRUE(storage.Commit());
    }
    CliRun check = On("check");
    EXPECT_EQ(check.code, 1);
    EXPECT_EQ(check.out,
              "6\t?\tcaption cannot be opened\n"
              "2\tring a\tits parents run in a circle\n"
              "3\tring b\tits parents run in a circle\n"
              "4\tbelow ring\tbelow node 2, which is not in the tree\n"
              "5\tlost\tits parent 99 does not exist\n"
              "6 nodes, 1 unreadable, 4 not in the tree\n");
    // The tree without node 6, whose caption reads as whatever its bytes give.
    auto tree = [&] {
        std::string out = On("tree").out;
        size_t line = out.find("\n6\t0\t");
        if (line != std::string::npos) out.erase(line + 1, out.find('\n', line + 1) - line);
        return out;
    };
    EXPECT_EQ(tree(), "1\t0\tkept\n");
    EXPECT_EQ(On("rm", {"4"}).code, 0);   // out of the circle into the bin
    EXPECT_EQ(On("rm", {"4"}).code, 0);   // and for good

    CliRun repair = On("check", {"--repair"});
    EXPECT_EQ(repair.code, 1) << repair.err;   // the garbled caption stays
    EXPECT_NE(repair.out.find("已将3个不在树中的节点移到顶层文件夹\"恢复的节点\"下。"), std::string::npos) << repair.out;
    EXPECT_EQ(tree(), "1\t0\tkept\n7\t0\t恢复的节点\n  3\t0\tring b\n    2\t0\tring a\n  5\t0\tlost\n");
    check = On("check");
    EXPECT_EQ(check.out, "6\t?\tcaption cannot be opened\n6 nodes, 1 unreadable\n");
    CliRun again = On("check", {"--repair"});
    EXPECT_EQ(again.out, check.out);   // nothing left to move, no second folder
}

// A check value that does not fit while the password's key opens the
// captions: the file opens with a warning, check counts it; another
// password is still wrong.
TEST_F(CliTest, DamagedPasswordCheckIsSaidAndTheFileOpens) {
    Create();
    ASSERT_EQ(On("add", {"0", "1", "note"}, "text").code, 0);
    {
        CaseDB open;
        OpenDirect(open);
        ASSERT_TRUE(open.SetParam("PassCheckSum", "not a number"));
        ASSERT_TRUE(open.Commit());
    }
    CliRun cat = On("cat", {"1"});
    EXPECT_EQ(cat.code, 0);
    EXPECT_EQ(cat.out, "text");
    EXPECT_NE(cat.err.find("密码的校验值已损坏"), std::string::npos) << cat.err;
    CliRun check = On("check");
    EXPECT_EQ(check.code, 1);
    EXPECT_EQ(check.out, "-\t-\tthe password check value is damaged\n1 nodes, 1 unreadable\n");
    WriteFile(passwordFile, "other\n");
    EXPECT_EQ(On("cat", {"1"}).code, 3);
}

// A sibling at the top of the Order range: the new node comes last, never
// wrapped round to the lowest Order.
TEST_F(CliTest, AddAfterTheHighestOrder) {
    Create();
    ASSERT_EQ(On("add", {"0", "0", "first"}).code, 0);
    {
        CaseDB open;
        OpenDirect(open);
        CaseNode node;
        ASSERT_TRUE(open.GetNode(1, node, true));
        node.Order = INT32_MAX;
        ASSERT_TRUE(open.SaveNode(node));
        ASSERT_TRUE(open.Commit());
    }
    ASSERT_EQ(On("add", {"0", "0", "second"}).code, 0);
    EXPECT_EQ(On("ls").out, "1\t0\t1\tfirst\n2\t0\t2\tsecond\n");
}

// A chain of 30,000 nested folders made past the tool: check and tree walk it
// all; rm finds the deepest node in the bin through every parent.
TEST_F(CliTest, DeepChainCheckTreeAndRm) {
    Create();
    const int depth = 30000;
    AddChain(depth, "d");
    CliRun check = On("check");
    EXPECT_EQ(check.code, 0) << check.err;
    EXPECT_EQ(check.out, "30000 nodes, 0 unreadable\n");
    EXPECT_EQ(On("tree", {}, "", "/dev/null").code, 0);
    ASSERT_EQ(On("rm", {"1"}).code, 0);
    ASSERT_EQ(On("rm", {std::to_string(depth)}).code, 0);   // in the bin, 30,000 levels down: for good
    EXPECT_EQ(On("ls", {std::to_string(depth - 1)}).out, "");
    EXPECT_EQ(On("check").out, "29999 nodes, 0 unreadable\n");
}

// The command line: --version, help in both forms with complete usage lines,
// --option=value, "-" for standard input, "--" before arguments that look
// like options, and arguments taken as they are.
TEST_F(CliTest, CommandLineForms) {
    CliRun version = Cli({"--version"});
    EXPECT_EQ(version.code, 0);
    EXPECT_EQ(version.out.rfind("vaultleaf-cli ", 0), 0u) << version.out;
    for (const char* command : {"ls", "import", "export", "create", "grep"}) {
        CliRun help = Cli({"help", command}), dashed = Cli({command, "--help"});
        EXPECT_EQ(help.code, 0) << command;
        EXPECT_EQ(help.out, dashed.out) << command;
        EXPECT_EQ(help.out.rfind("Usage: vaultleaf-cli " + std::string(command) + " ", 0), 0u) << help.out;
        EXPECT_NE(help.out.find("--password-file FILE"), std::string::npos) << help.out;
    }
    EXPECT_NE(Cli({"help", "export"}).out.find("[--no-overwrite]"), std::string::npos);
    EXPECT_NE(Cli({"--help"}).out.find("import DB PARENT PATH... [--pattern P] [--no-identify] [--skip-errors] [--password-file FILE]"),
              std::string::npos);
    EXPECT_EQ(Cli({"help", "no-such-command"}).code, 2);
    EXPECT_EQ(Cli({"ls", "--help"}).err, "");

    ASSERT_EQ(Cli({"create", db, "--new-password-file=" + passwordFile}).code, 0);
    CliRun fromStdin = Cli({"add", db, "0", "1", "[a,b]", "--password-file", "-"}, "密码 one\ncontent\nmore");
    ASSERT_EQ(fromStdin.code, 0) << fromStdin.err;
    EXPECT_EQ(On("cat", {"1"}).out, "content\nmore");
    EXPECT_EQ(Cli({"ls", db, "--password-file=" + passwordFile}).out, "1\t1\t1\t[a,b]\n");
    ASSERT_EQ(Cli({"add", db, "--password-file", passwordFile, "0", "1", "--", "--json"}, "x").code, 0);
    EXPECT_NE(On("ls", {"--json"}).out.find("\"caption\": \"[a,b]\""), std::string::npos);
    EXPECT_EQ(On("ls").out, "1\t1\t1\t[a,b]\n2\t1\t2\t--json\n");
    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
             {"-x"}, {"--json=maybe"}, {"--pattern", "*"}, {"--password-file"}, {"1", "2"}}) {
        std::vector<std::string> args = {"ls", db};
        args.insert(args.end(), bad.begin(), bad.end());
        CliRun r = Cli(args);
        EXPECT_EQ(r.code, 2) << bad[0];
        EXPECT_NE(r.err.find("vaultleaf-cli: "), std::string::npos) << r.err;
    }
}

// A password file is read up to its first line, from whatever it is: a pipe,
// standard input, a device without end (refused after a few KiB, not read
// until memory runs out).
TEST_F(CliTest, PasswordFilesOfEveryKind) {
    Create();
    WriteFile(dir.File("noend"), "密码 one");
    EXPECT_EQ(Cli({"ls", db, "--password-file", dir.File("noend")}).code, 0);
    EXPECT_EQ(Cli({"ls", db, "--password-file", "/dev/stdin"}, "密码 one\n").code, 0);
    WriteFile(dir.File("long"), std::string(5000, 'x') + "\n");
    for (const std::string& endless : {std::string("/dev/zero"), dir.File("long")}) {
        CliRun r = Cli({"ls", db, "--password-file", endless});
        EXPECT_EQ(r.code, 1) << endless;
        EXPECT_NE(r.err.find("no line end within its first 4096 bytes"), std::string::npos) << r.err;
    }
    CliRun create = Cli({"create", dir.File("new.vldb"), "--new-password-file", "/dev/zero"});
    EXPECT_EQ(create.code, 1);
    EXPECT_FALSE(Exists(dir.File("new.vldb")));
}

// Password bytes are never replaced: UTF-8 is converted checked, GB18030 taken
// as it is, anything else refused before anything is created or changed.
TEST_F(CliTest, PasswordBytesAreNeverReplaced) {
    const std::string bad = dir.File("bad.pw"), gb = dir.File("gb.pw"), utf8 = dir.File("utf8.pw"),
                      unencodable = dir.File("pua.pw");
    WriteFile(bad, "\xff\xff\n");
    WriteFile(gb, "\xB2\xE2\xCA\xD4\xC3\xDC\xC2\xEB\n");   // 测试密码 in GB18030
    WriteFile(utf8, "测试密码\n");
    WriteFile(unencodable, "a\xEE\x9E\x8D\n");
    CliRun refused = Cli({"create", db, "--new-password-file", bad});
    EXPECT_EQ(refused.code, 1);
    EXPECT_NE(refused.err.find("既不是UTF-8也不是GB18030"), std::string::npos) << refused.err;
    EXPECT_FALSE(Exists(db));
    CliRun pua = Cli({"create", db, "--new-password-file", unencodable});
    EXPECT_EQ(pua.code, 1);
    EXPECT_NE(pua.err.find("第2个字符（U+E78D）"), std::string::npos) << pua.err;
    EXPECT_FALSE(Exists(db));

    ASSERT_EQ(Cli({"create", db, "--new-password-file", gb}).code, 0);
    EXPECT_EQ(Cli({"ls", db, "--password-file", utf8}).code, 0);
    EXPECT_EQ(Cli({"ls", db, "--password-file", gb}).code, 0);
    WriteFile(dir.File("other.pw"), "\xfe\xfe\n");   // valid GB18030, but another password
    EXPECT_EQ(Cli({"ls", db, "--password-file", dir.File("other.pw")}).code, 3);
    const std::string before = ReadFile(db);
    CliRun passwd = Cli({"passwd", db, "--password-file", utf8, "--new-password-file", bad});
    EXPECT_EQ(passwd.code, 1);
    EXPECT_EQ(ReadFile(db), before);
    EXPECT_EQ(Cli({"ls", db, "--password-file", bad}).code, 1);
}

// Output that cannot be written in full (a full disk) is an error of every
// command, exit 1 with a message, never a success.
TEST_F(CliTest, OutputThatCannotBeWrittenIsAnError) {
    Create();
    WriteFile(dir.File("big"), std::string(70000, 'b'));
    ASSERT_EQ(On("add", {"0", "3", "big", dir.File("big")}).out, "1\n");
    ASSERT_EQ(On("add", {"0", "1", "note"}, "text").out, "2\n");
    const std::vector<std::vector<std::string>> commands = {
        {"cat", db, "1"}, {"cat", db, "2"}, {"ls", db}, {"ls", db, "--json"}, {"tree", db}, {"grep", db, "b"},
        {"grep", db, "b", "--json"}, {"check", db}, {"dump", db}, {"lunar", "2000-01-06"}, {"--version"},
        {"--help"}, {"help", "ls"}, {"add", db, "0", "1", "more"}};
    for (std::vector<std::string> args : commands) {
        if (args.size() > 1 && args[1] == db && args[0] != "dump")
            args.insert(args.end(), {"--password-file", passwordFile});
        CliRun r = Cli(args, "x", "/dev/full");
        EXPECT_EQ(r.code, 1) << args[0] << " " << args.back();
        EXPECT_NE(r.err.find("cannot write the output: " + std::string(std::strerror(ENOSPC))), std::string::npos)
            << args[0] << ": " << r.err;
    }
    EXPECT_EQ(On("cat", {"1"}).out.size(), 70000u);
}

// Plain output shows the control characters of captions escaped, so a
// caption cannot act on the terminal or break lines and columns; JSON keeps
// them as JSON escapes.
TEST_F(CliTest, ControlCharactersInCaptionsAreEscaped) {
    Create();
    const std::string hostile = "\x1b]0;PWNED\x07 tab\there\nline \\ \xC2\x9B \x7f end";
    const std::string shown = "\\x1B]0;PWNED\\x07 tab\\x09here\\x0Aline \\\\ \\u009B \\x7F end";
    ASSERT_EQ(On("add", {"0", "0", hostile}).out, "1\n");
    ASSERT_EQ(On("add", {"1", "1", "n\x1b[31m"}, "red \x1b[31mPWNED").out, "2\n");
    EXPECT_EQ(On("ls").out, "1\t0\t1\t" + shown + "\n");
    EXPECT_EQ(On("tree").out, "1\t0\t" + shown + "\n  2\t1\tn\\x1B[31m\n");
    EXPECT_EQ(On("grep", {"PWNED"}).out, "1\t我的公文包/" + shown + "\t" + shown + "\n" +
                                         "2\t我的公文包/" + shown + "/n\\x1B[31m\tred [31mPWNED\n");   // the context drops controls
    EXPECT_NE(On("ls", {"--json"}).out.find("\"caption\": \"\\u001b]0;PWNED\\u0007 tab\\u0009here\\u000aline \\\\ "),
              std::string::npos) << On("ls", {"--json"}).out;
    EXPECT_EQ(On("cat", {"2"}).out, "red \x1b[31mPWNED");   // content stays as it is
}

namespace {

// Reads what the tool shows on the terminal until it shows text (10 s at most).
std::string ReadUntil(int master, const std::string& text) {
    std::string shown;
    char buf[256];
    pollfd p{master, POLLIN, 0};
    while (shown.find(text) == std::string::npos && poll(&p, 1, 10000) > 0) {
        ssize_t n = read(master, buf, sizeof buf);
        if (n <= 0) break;
        shown.append(buf, static_cast<size_t>(n));
    }
    return shown;
}

bool Echoing(int master) {
    termios t{};
    return tcgetattr(master, &t) == 0 && (t.c_lflag & ECHO);
}

// Waits until the tool has switched echo off (10 s at most).
bool WaitForEchoOff(int master) {
    for (int i = 0; i < 1000 && Echoing(master); ++i) usleep(10000);
    return !Echoing(master);
}

}  // namespace

// The password prompts on a terminal: in Chinese, without echo, and echo comes
// back however the tool ends, also when a signal stops it at the prompt.
TEST_F(CliTest, PromptRestoresEchoOnEveryExit) {
    const std::string cli = std::string(VAULTLEAF_BINARY_DIR) + "/src/cli/vaultleaf-cli";
    auto start = [&](int& master) {
        pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
        if (pid == 0) {
            execl(cli.c_str(), cli.c_str(), "create", db.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        return pid;
    };
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        int master = -1;
        pid_t pid = start(master);
        if (pid < 0) GTEST_SKIP() << "no pseudo-terminal here";
        EXPECT_NE(ReadUntil(master, "请输入新密码: ").find("请输入新密码: "), std::string::npos);
        EXPECT_TRUE(WaitForEchoOff(master)) << "the password is typed without echo";
        kill(pid, sig);
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << sig;
        EXPECT_TRUE(Echoing(master)) << "echo back after signal " << sig;
        close(master);
        EXPECT_FALSE(Exists(db));
    }
    int master = -1;
    pid_t pid = start(master);
    ASSERT_GT(pid, 0);
    ReadUntil(master, "请输入新密码: ");
    ASSERT_TRUE(WaitForEchoOff(master));
    ASSERT_EQ(write(master, "one\n", 4), 4);
    ReadUntil(master, "重输新密码: ");
    ASSERT_TRUE(WaitForEchoOff(master));   // switching echo off discards what was typed before
    ASSERT_EQ(write(master, "two\n", 4), 4);
    std::string shown = ReadUntil(master, "请重输。");
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1);
    EXPECT_NE(shown.find("两次输入的新密码不相同，请重输。"), std::string::npos) << shown;
    EXPECT_EQ(shown.find("one"), std::string::npos) << shown;
    EXPECT_TRUE(Echoing(master));
    close(master);
    EXPECT_FALSE(Exists(db));
}
