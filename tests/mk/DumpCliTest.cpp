// vaultleaf-cli dump prints every fixture as its .json and never changes the file.
#include <sys/wait.h>

#include <cstdio>

#include "TestUtil.h"

namespace {

using mktest::FixtureDir;
using mktest::ReadFile;

struct Result {
    int exit = -1;
    std::string out;
};

Result RunCli(const std::string& args) {
    std::string cli = std::string(VAULTLEAF_BINARY_DIR) + "/src/cli/vaultleaf-cli";
    Result r;
    FILE* p = ::popen((cli + " " + args + " 2>/dev/null").c_str(), "r");
    if (!p) return r;
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    int status = ::pclose(p);
    r.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

TEST(DumpCli, PrintsEveryFixtureAsItsJson) {
    for (const auto& e : std::filesystem::directory_iterator(FixtureDir())) {
        std::string name = e.path().filename().string();
        if (e.path().extension() != ".mk") continue;
        std::string path = e.path().string();
        std::string before = ReadFile(path);
        Result r = RunCli("dump '" + path + "'");
        EXPECT_EQ(ReadFile(path), before) << name;
        if (name == "old-format-bigendian.mk") {
            EXPECT_EQ(r.exit, 4);
            continue;
        }
        ASSERT_EQ(r.exit, 0) << name;
        std::string want = ReadFile(path.substr(0, path.size() - 3) + ".json");
        if (name == "interrupted-append.mk" || name == "trailing-garbage.mk") {
            // Recovered: the content of the last complete commit.
            std::string base = ReadFile(FixtureDir() + (name[0] == 'i' ? "/interrupted-base.json" : "/schema-basic.json"));
            EXPECT_EQ(r.out.substr(r.out.find("\"structure\"")), base.substr(base.find("\"structure\""))) << name;
        } else {
            EXPECT_EQ(r.out, want) << name;
        }
    }
}

TEST(DumpCli, UnreadableFilesFailWithAMessage) {
    for (const std::string& args : {std::string("dump /no/such/file.mk"), std::string("dump"), std::string("dump /")}) {
        Result r = RunCli(args);
        EXPECT_NE(r.exit, 0) << args;
        EXPECT_EQ(r.out, "") << args;
    }
}

}  // namespace
