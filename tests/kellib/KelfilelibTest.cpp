#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "kellib/Kelapputil.h"
#include "kellib/Kelfilelib.h"

TEST(Kelfilelib, PathSplitting) {
    struct Case {
        const char* path;
        const char* dir;
        const char* noExt;
        const char* nameExt;
        const char* ext;
        const char* nameNoExt;
    };
    const Case cases[] = {
        {"/home/u/notes.vldb", "/home/u/", "/home/u/notes", "notes.vldb", ".vldb", "notes"},
        {"a.b/c", "a.b/", "a.b/c", "c", "", "c"},
        {"c.tar.gz", "", "c.tar", "c.tar.gz", ".gz", "c.tar"},
        {"/x/.hidden", "/x/", "/x/", ".hidden", ".hidden", ""},
        {"/x/dir/", "/x/dir/", "/x/dir/", "", "", ""},
        {"", "", "", "", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(ExtractDir(c.path), c.dir);
        EXPECT_EQ(ExtractPathNoExt(c.path), c.noExt);
        EXPECT_EQ(ExtractFileNameExt(c.path), c.nameExt);
        EXPECT_EQ(ExtractExt(c.path), c.ext);
        EXPECT_EQ(ExtractNameNoExt(c.path), c.nameNoExt);
    }
}

TEST(Kelfilelib, ValidateNameShowsTheErrorOnce) {
    std::vector<std::string> shown;
    SetNameErrorHandler([&](const std::string& title, const std::string& text) {
        shown.push_back(title + "|" + text);
    });
    EXPECT_TRUE(ValidateName("笔记 2024 第1页"));
    EXPECT_FALSE(ValidateName("a|b"));
    EXPECT_FALSE(ValidateName("a>b"));
    for (char c : std::string("\\/:*?\"<>|")) EXPECT_TRUE(HasForbiddenNameChar(std::string("x") + c));
    SetNameErrorHandler(nullptr);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0], "错误|名称中不能包扩以下字符:\n\\ / : * ? \" < > |");
}

TEST(Kelfilelib, ForceDirsAndFileSize) {
    auto base = std::filesystem::temp_directory_path() / ("vl-kellib-" + std::to_string(getpid()));
    std::string deep = (base / "a" / "b" / "c").string();
    EXPECT_TRUE(ForceDirs(deep));
    EXPECT_TRUE(std::filesystem::is_directory(deep));
    EXPECT_TRUE(ForceDirs(deep + "/"));
    std::string file = (base / "f").string();
    std::ofstream(file) << "12345";
    EXPECT_EQ(GetFileSize64(file), 5);
    EXPECT_FALSE(ForceDirs(file + "/sub"));
    EXPECT_EQ(GetFileSize64((base / "missing").string()), 0);
    // Sizes beyond 4 GB: a sparse file.
    std::filesystem::resize_file(file, (int64_t{5} << 30) + 3);
    EXPECT_EQ(GetFileSize64(file), (int64_t{5} << 30) + 3);
    std::filesystem::remove_all(base);
}

// A named input is read within bounds: a regular file to the size it had, a
// device or a folder not at all, a pipe to its end.
TEST(Kelfilelib, ReadAllBytesNeverReadsADeviceWithoutEnd) {
    std::string out;
    errno = 0;
    EXPECT_FALSE(ReadAllBytes("/dev/zero", out));
    EXPECT_EQ(errno, EINVAL);
    EXPECT_FALSE(ReadAllBytes("/", out));
    EXPECT_EQ(errno, EISDIR);
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    ASSERT_EQ(write(fds[1], "piped", 5), 5);
    close(fds[1]);
    EXPECT_TRUE(ReadAllBytes("/proc/self/fd/" + std::to_string(fds[0]), out));
    EXPECT_EQ(out, "piped");
    close(fds[0]);
}

// The bytes are zeros before the name goes (a second name of the file shows
// them); a link goes without its target being touched.
TEST(Kelfilelib, WipeAndRemoveFile) {
    auto base = std::filesystem::temp_directory_path() / ("vl-wipe-" + std::to_string(getpid()));
    std::filesystem::create_directories(base);
    const std::string file = (base / "copy").string(), second = (base / "second").string();
    const std::string secret(200000, 's');
    std::ofstream(file) << secret;
    std::filesystem::create_hard_link(file, second);
    EXPECT_TRUE(WipeAndRemoveFile(file));
    EXPECT_FALSE(std::filesystem::exists(file));
    std::string left;
    ASSERT_TRUE(ReadAllBytes(second, left));
    EXPECT_EQ(left, std::string(secret.size(), '\0'));

    const std::string target = (base / "target").string(), link = (base / "link").string();
    std::ofstream(target) << "keep";
    std::filesystem::create_symlink(target, link);
    EXPECT_TRUE(WipeAndRemoveFile(link));
    EXPECT_FALSE(std::filesystem::is_symlink(link));
    ASSERT_TRUE(ReadAllBytes(target, left));
    EXPECT_EQ(left, "keep");
    EXPECT_TRUE(WipeAndRemoveFile((base / "missing").string()));
    std::filesystem::remove_all(base);
}

TEST(Kelfilelib, FormatMB) {
    EXPECT_EQ(FormatMB(1, 1572864), "1.5");
    EXPECT_EQ(FormatMB(1, 0), "0.0");
    EXPECT_EQ(FormatMB(2, 1048576), "1.00");
}

TEST(Kelapputil, MachineFacts) {
    int32_t memory = TotalPhysicalMemory();
    EXPECT_NE(memory, 0);
    std::string temp = GetTempDir();
    ASSERT_FALSE(temp.empty());
    EXPECT_EQ(temp.back(), '/');
    EXPECT_TRUE(std::filesystem::is_directory(temp));
    setenv("TMPDIR", "/no/such/folder", 1);
    EXPECT_EQ(GetTempDir(), "/tmp/");
    unsetenv("TMPDIR");
}
