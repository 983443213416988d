// vaultleaf-cli's store commands, run as a script would run them.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>

#include "TestSupport.h"
#include "db/CaseDB.h"
#include "kellib/Kelcodepage.h"
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

    // Runs the tool with args (and stdin from input), capturing both outputs.
    CliRun Cli(const std::vector<std::string>& args, const std::string& input = "") {
        std::string command = Quote(std::string(VAULTLEAF_BINARY_DIR) + "/src/cli/vaultleaf-cli");
        for (const auto& a : args) command += " " + Quote(a);
        WriteFile(dir.File("stdin"), input);
        command += " <" + Quote(dir.File("stdin")) + " >" + Quote(dir.File("stdout")) + " 2>" +
                   Quote(dir.File("stderr"));
        command = "setsid -w sh -c " + Quote(command);   // no terminal: passwords only from files
        CliRun r;
        int status = std::system(command.c_str());
        r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.out = ReadFile(dir.File("stdout"));
        r.err = ReadFile(dir.File("stderr"));
        return r;
    }

    // A command on db with the password file.
    CliRun On(const std::string& command, std::vector<std::string> args = {}, const std::string& input = "") {
        args.insert(args.begin(), {command, db});
        args.push_back("--password-file");
        args.push_back(passwordFile);
        return Cli(args, input);
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
        open.SetParamBool("RememberPassword", true);
        open.SetParam("RememberedPassword", "sealed-old-password");
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

    // A database held open elsewhere (this test process) is refused.
    CaseDB holder;
    ASSERT_EQ(holder.Open(db, false), CaseDB::kOpened);
    CliRun locked = On("ls");
    EXPECT_EQ(locked.code, 4);
    EXPECT_NE(locked.err.find("已经被打开，不能重复打开。"), std::string::npos);
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
