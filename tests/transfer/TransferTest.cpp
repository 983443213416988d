// Import and export walks: patterns, scan order, counts, kinds, the round trip
// through the store, stop and error rollback, export collisions and names,
// hostile folder trees, trees of any depth, interrupted exports.
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>

#include "../db/TestSupport.h"
#include "transfer/ExportFiles.h"
#include "kellib/Kelcodepage.h"
#include "kellib/Kelfilelib.h"
#include "transfer/ImportFiles.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kPassword = "pw";

void SetMtime(const std::string& path, time_t seconds) {
    struct timespec times[2] = {{0, UTIME_OMIT}, {seconds, 123456700}};
    utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

// Names as the tree shows them: folders end with "/", in scan order.
std::vector<std::string> ScannedNames(const ImportFileItem& root, const std::string& base) {
    std::vector<std::string> names;
    WalkItems(root, [&](const ImportFileItem& item) {
        names.push_back(item.Path.substr(base.size() + 1) + (item.IsFolder() ? "/" : ""));
    });
    return names;
}

std::vector<std::string> Sorted(std::vector<std::string> v) {
    std::sort(v.begin(), v.end());
    return v;
}

// path -> bytes, mtime and the owner's write and execute bits for everything below root.
struct DiskEntry {
    bool folder;
    std::string bytes;
    int64_t mtime;   // in the 100 ns steps the store keeps
    bool writable;
    bool executable;
    bool operator==(const DiskEntry&) const = default;
};
std::map<std::string, DiskEntry> Snapshot(const std::string& root) {
    std::map<std::string, DiskEntry> out;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        struct stat st;
        lstat(e.path().c_str(), &st);
        bool folder = S_ISDIR(st.st_mode);
        out[e.path().string().substr(root.size())] = {folder,
                                                      folder ? "" : ReadFile(e.path()),
                                                      int64_t(st.st_mtim.tv_sec) * 10000000 + st.st_mtim.tv_nsec / 100,
                                                      (st.st_mode & S_IWUSR) != 0,
                                                      (st.st_mode & S_IXUSR) != 0};
    }
    return out;
}

// Runs work on a thread with a small stack, so a walk that recurses per
// level of a deep tree overflows it.
void OnSmallStack(const std::function<void()>& work) {
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, 1 << 20);
    pthread_t thread;
    auto run = [](void* arg) -> void* {
        (*static_cast<const std::function<void()>*>(arg))();
        return nullptr;
    };
    ASSERT_EQ(pthread_create(&thread, &attr, run, const_cast<std::function<void()>*>(&work)), 0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attr);
}

// A chain of depth folders named "d" below root, made relative to each other
// (its paths are longer than the system takes), with a file "f" at the bottom.
void MakeChain(const std::string& root, int depth) {
    int fd = open(root.c_str(), O_RDONLY | O_DIRECTORY);
    for (int i = 0; i < depth; ++i) {
        ASSERT_EQ(mkdirat(fd, "d", 0755), 0);
        int next = openat(fd, "d", O_RDONLY | O_DIRECTORY);
        close(fd);
        fd = next;
    }
    close(openat(fd, "f", O_WRONLY | O_CREAT, 0644));
    close(fd);
}

// Removes such a chain from the top: each level's "d" is lifted beside root's
// before the emptied level above it goes.
void RemoveChain(const std::string& root) {
    int fd = open(root.c_str(), O_RDONLY | O_DIRECTORY);
    while (renameat(fd, "d/d", fd, "next") == 0) {
        unlinkat(fd, "d", AT_REMOVEDIR);
        renameat(fd, "next", fd, "d");
    }
    close(fd);
    fs::remove_all(root);
}

// What work returns, computed by a user who may not read what the owner
// closed (root reads everything, so it runs as nobody in a child then).
std::string AsUnprivileged(const std::function<std::string()>& work) {
    if (geteuid() != 0) return work();
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return "no pipe";
    pid_t pid = fork();
    if (pid == 0) {
        close(pipeFds[0]);
        std::string result = setgid(65534) == 0 && setuid(65534) == 0 ? work() : "cannot become nobody";
        (void)!write(pipeFds[1], result.data(), result.size());
        _exit(0);
    }
    close(pipeFds[1]);
    std::string result;
    char buf[4096];
    for (ssize_t n; (n = read(pipeFds[0], buf, sizeof buf)) > 0;) result.append(buf, size_t(n));
    close(pipeFds[0]);
    waitpid(pid, nullptr, 0);
    return result;
}

class TransferTest : public ::testing::Test {
protected:
    void SetUp() override {
        CreateTestDatabase(db, tmp.File("t.vldb"), kPassword);
        src = tmp.File("src");
        fs::create_directories(src);
    }
    std::unique_ptr<ImportFileItem> Collect(const std::string& path, const std::string& pattern = "*.*") {
        return CollectFiles({KELFileItem(path)}, pattern);
    }
    ImportOutcome Import(const ImportFileItem& root, int32_t target, bool ignoreErrors = false) {
        ImportRun run{db};
        auto outcome = ImportAll(run, root, target, [&](const std::string&) { return ignoreErrors; });
        lastError = run.lastError;
        return outcome;
    }
    // An import that skips entries it cannot take; their report lines in skipped.
    ImportOutcome ImportSkipping(const ImportFileItem& root, int32_t target) {
        ImportRun run{db};
        run.skipErrors = true;
        skipped.clear();
        run.OnSkip = [&](const std::string& line) { skipped.push_back(line); };
        auto outcome = ImportAll(run, root, target, [](const std::string&) { return false; });
        lastError = run.lastError;
        EXPECT_EQ(run.skippedCount, int(skipped.size()));
        return outcome;
    }
    std::vector<std::string> Captions(int32_t parent) {
        std::vector<std::string> captions;
        for (int32_t id : db.GetChildren(parent)) {
            CaseNode n;
            if (db.GetNode(id, n, false)) captions.push_back(n.Caption);
        }
        return captions;
    }
    std::vector<std::string> Report(int32_t id, const std::string& dir, ExportOptions options = {},
                                    bool* ok = nullptr) {
        ExportRun run{db, options};
        std::vector<std::string> lines;
        run.OnReport = [&](const std::string& line) { lines.push_back(line); };
        bool result = PrepareDestination(const_cast<std::string&>(dir)) && ExportNode(run, id, dir, options.includeSubNodes);
        if (ok) *ok = result;
        folders = run.folderCount;
        files = run.fileCount;
        return lines;
    }
    int32_t ChildNamed(int32_t parent, const std::string& caption) {
        for (int32_t id : db.GetChildren(parent)) {
            CaseNode n;
            if (db.GetNode(id, n, false) && n.Caption == caption) return id;
        }
        return -100;
    }

    TempFolder tmp;
    CaseDB db;
    std::string src;
    std::string lastError;
    std::vector<std::string> skipped;
    int folders = 0, files = 0;
};

}  // namespace

TEST(ImportRules, PatternsMatchAsTheFolderListingDoes) {
    struct Case {
        const char* name;
        const char* pattern;
        bool match;
    } cases[] = {
        {"a.txt", "*.*", true},    {"Makefile", "*.*", true},  {".hidden", "*.*", true},
        {"a.txt", "*.txt", true},  {"a.TXT", "*.txt", false},  {"a.txt.bak", "*.txt", false},
        {"abc", "abc", true},      {"abc.c", "abc", false},    {"abc", "abc.*", true},
        {"abc.c", "abc.*", true},  {"abcd", "abc.*", false},  
        {"x1.h", "x?.h", true},    {"x12.h", "x?.h", false},
    };
    for (const auto& c : cases) EXPECT_EQ(MatchPattern(c.name, c.pattern), c.match) << c.name << " ~ " << c.pattern;
    EXPECT_EQ(NormalizePattern("  "), "*.*");
    EXPECT_EQ(NormalizePattern(" *.h \t"), "*.h");
}

TEST(ImportRules, SizeTexts) {
    struct Case {
        int64_t size;
        const char* text;
    } cases[] = {{0, "0字节"},
                 {1024, "1024字节"},
                 {1025, "2KB(1025字节)"},
                 {1048576, "1024KB(1048576字节)"},
                 {1048577, "2MB(1048577字节)"},
                 {10737418240, "10240MB(10737418240字节)"}};
    for (const auto& c : cases) EXPECT_EQ(SizeText(c.size), c.text);
}

TEST(ImportRules, KindByExtension) {
    struct Case {
        const char* name;
        bool identify;
        int kind;
    } cases[] = {{"Note.VL_TXT", true, kNodeText},  {"Note.vl_txt", false, kNodeFile}, {"Note.txt", true, kNodeFile},
                 {"p.vl_htm", true, kNodeHtml},     {"u.vl_url", true, kNodeUrl},      {"c.vl_card", true, kNodeCard},
                 {"r.vl_rtf", true, kNodeRtf},      {"w.vl_bmp", true, kNodeWhiteboard},
                 {"s.vl_wave", true, kNodeSound},   {"vl_txt", true, kNodeFile},       {"a.vl_txt.gz", true, kNodeFile}};
    for (const auto& c : cases) EXPECT_EQ(KindByExtension(c.name, c.identify), c.kind) << c.name;
}

TEST(ImportRules, FolderInsideASelectedOneIsNotAdded) {
    std::vector<KELFileItem> selected{KELFileItem("/data/a/b", kAttrDirectory)};
    EXPECT_TRUE(ShouldAddFolder(selected, "/data/a"));
    selected.emplace_back("/data/a", kAttrDirectory);
    EXPECT_FALSE(ShouldAddFolder(selected, "/data/a/b/c"));
    EXPECT_TRUE(ShouldAddFolder(selected, "/data/A"));   // letter case counts
}

TEST_F(TransferTest, ScanListsSubfoldersFirstAndFiltersFilesAtEveryLevel) {
    fs::create_directories(src + "/sub/deep");
    fs::create_directories(src + "/empty");
    for (const char* f : {"a.txt", "b.cpp", "sub/c.txt", "sub/d.h", "sub/deep/e.txt", "abc", "sub/abc.x", "sub/abc"})
        WriteFile(src + "/" + f, "x");
    auto root = Collect(src, "*.txt");
    std::vector<std::string> names = ScannedNames(*root, src);
    EXPECT_EQ(Sorted(names), Sorted({"sub/", "sub/deep/", "sub/deep/e.txt", "sub/c.txt", "empty/", "a.txt"}));
    // Subfolders (each with its contents) come before the files of a folder.
    EXPECT_EQ(names.back(), "a.txt");
    auto sub = std::find(names.begin(), names.end(), "sub/");
    EXPECT_EQ(*(sub + 1), "sub/deep/");
    EXPECT_EQ(*(sub + 2), "sub/deep/e.txt");
    // A bare name matches itself here and name.* below.
    EXPECT_EQ(Sorted(ScannedNames(*Collect(src, "abc"), src)),
              Sorted({"sub/", "sub/deep/", "sub/abc", "sub/abc.x", "empty/", "abc"}));
    ImportTotals totals = CountItems(*root);
    EXPECT_EQ(totals.folderCount, 3);
    EXPECT_EQ(totals.fileCount, 3);
    EXPECT_EQ(totals.totalSize, 3);
}

TEST_F(TransferTest, ScanFollowsNoFolderLinkTwice) {
    fs::create_directories(src + "/a/b");
    WriteFile(src + "/a/b/f", "1");
    fs::create_directory_symlink(src, src + "/a/b/loop");   // back to the top
    fs::create_directory_symlink(src + "/a", src + "/again");
    fs::create_symlink(src + "/a/b/f", src + "/filelink");   // file links are followed
    // Which name reaches the folder first depends on the listing order; each
    // folder and its file appear once.
    auto names = ScannedNames(*Collect(src), src);
    EXPECT_EQ(names.size(), 4u);
    EXPECT_EQ(std::count(names.begin(), names.end(), "filelink"), 1);
    EXPECT_EQ(std::count_if(names.begin(), names.end(), [](const std::string& n) { return n.ends_with("b/f"); }), 1);
}

TEST_F(TransferTest, PickedFileIsFoundThroughItsOwnEntry) {
    WriteFile(src + "/a[1] x.bin", "abc");
    WriteFile(src + "/a1 x.bin", "zzz");
    auto root = CollectFiles({KELFileItem(src + "/a[1] x.bin")}, "*.*");
    ASSERT_EQ(root->Children.size(), 1u);
    EXPECT_EQ(root->Children[0]->Name, "a[1] x.bin");
    EXPECT_EQ(root->Children[0]->Size, 3);
}

// Several kinds of content: binary, empty, spaces, Chinese names, read-only,
// executable, old times of files and folders, empty folders; imported and
// exported again it is identical.
TEST_F(TransferTest, TreeRoundTripKeepsBytesNamesTimesAndPermissions) {
    fs::create_directories(src + "/文件夹 一/子 目录");
    fs::create_directories(src + "/空的");
    std::string binary;
    for (int i = 0; i < 70000; ++i) binary += char((i * 7919) >> 3);
    WriteFile(src + "/bin.dat", binary);
    WriteFile(src + "/empty.txt", "");
    WriteFile(src + "/文件夹 一/说明 文本.txt", "中文内容\r\n");
    WriteFile(src + "/文件夹 一/子 目录/ro.txt", "read only");
    WriteFile(src + "/.hidden", "h");
    SetMtime(src + "/bin.dat", 315532800);   // 1980
    SetMtime(src + "/文件夹 一/子 目录/ro.txt", 1000000000);
    chmod((src + "/文件夹 一/子 目录/ro.txt").c_str(), 0444);
    WriteFile(src + "/文件夹 一/run.sh", "#!/bin/sh\n");
    chmod((src + "/文件夹 一/run.sh").c_str(), 0755);
    for (const char* folder : {"文件夹 一/子 目录", "文件夹 一", "空的"}) SetMtime(src + "/" + folder, 946684800);
    auto before = Snapshot(src);

    int32_t target = AddTestNode(db, kParentTop, 0, "target", "", kNodeFolder);
    ASSERT_TRUE(db.Commit());
    ASSERT_EQ(Import(*Collect(src), target), ImportOutcome::kDone) << lastError;
    db.Close();
    ASSERT_EQ(db.Open(tmp.File("t.vldb"), false), CaseDB::kOpened);
    ASSERT_TRUE(db.Login(kPassword));

    ExportOptions options;
    options.ignoreEmptyDir = false;
    bool ok = false;
    std::string out = tmp.File("out");
    auto report = Report(target, out, options, &ok);
    ASSERT_TRUE(ok);
    EXPECT_TRUE(report.empty());
    auto after = Snapshot(out + "/target");
    EXPECT_EQ(after.size(), before.size());
    for (const auto& [name, entry] : before) {
        auto it = after.find(name);
        if (it == after.end()) ADD_FAILURE() << "missing " << name;
        else if (!(it->second == entry))
            ADD_FAILURE() << name << " mtime " << entry.mtime << " vs " << it->second.mtime << " writable "
                          << entry.writable << " vs " << it->second.writable << " executable "
                          << entry.executable << " vs " << it->second.executable << " size "
                          << entry.bytes.size() << " vs " << it->second.bytes.size();
    }
    EXPECT_EQ(files, 6);
}

TEST_F(TransferTest, EveryKindComesBackAsItselfThroughItsExtension) {
    int32_t folder = AddTestNode(db, kParentTop, 0, "kinds", "", kNodeFolder);
    const std::pair<uint8_t, std::string> kinds[] = {
        {kNodeText, std::string("text\0", 5)}, {kNodeHtml, std::string("<p>h</p>\0", 9)},
        {kNodeCard, "<card/>"},                {kNodeUrl, std::string("http://x\0", 9)},
        {kNodeRtf, "{\\rtf1 x}"},              {kNodeWhiteboard, "BM\x00\x01"},
        {kNodeSound, "RIFF....WAVE"},          {kNodeFile, std::string("\0\1\2", 3)}};
    for (const auto& [kind, bytes] : kinds) AddTestNode(db, folder, 0, "n" + std::to_string(kind), bytes, kind);
    ASSERT_TRUE(db.Commit());
    std::string out = tmp.File("out");
    Report(folder, out);
    EXPECT_EQ(files, 8);
    int32_t back = AddTestNode(db, kParentTop, 0, "back", "", kNodeFolder);
    ASSERT_EQ(Import(*Collect(out + "/kinds"), back), ImportOutcome::kDone) << lastError;
    for (const auto& [kind, bytes] : kinds) {
        std::string caption = "n" + std::to_string(kind);
        CaseNode node;
        ASSERT_TRUE(db.GetNode(ChildNamed(back, caption), node, true)) << caption;
        EXPECT_EQ(node.Type, kind);
        EXPECT_EQ(node.DataBytes(), bytes);
        EXPECT_EQ(node.GetAttr("FSize").empty(), kind != kNodeFile);
    }
}

TEST_F(TransferTest, StopAndRefusedErrorLeaveTheStoreAsBefore) {
    for (int i = 0; i < 5; ++i) WriteFile(src + "/f" + std::to_string(i), "data");
    fs::create_directories(src + "/d");
    AddTestNode(db, kParentTop, 0, "old");
    ASSERT_TRUE(db.Commit());
    auto root = Collect(src);
    const int nodes = db.NodeCount();

    ImportRun run{db};
    run.OnFile = [&](const ImportFileItem&, int position) { run.stopRequested = position == 3; };
    bool asked = false;
    EXPECT_EQ(ImportAll(run, *root, kParentTop, [&](const std::string&) { return asked = true; }),
              ImportOutcome::kStopped);
    EXPECT_FALSE(asked);   // a stop asks nothing
    EXPECT_EQ(db.NodeCount(), nodes);

    fs::remove(root->Children.back()->Path);   // vanished after collecting
    EXPECT_EQ(Import(*root, kParentTop), ImportOutcome::kFailed);
    EXPECT_NE(lastError.find(root->Children.back()->Path), std::string::npos) << lastError;
    EXPECT_EQ(db.NodeCount(), nodes);
    // The next id is the one it was before the imports.
    int32_t expected = AddTestNode(db, kParentTop, 0, "probe");
    EXPECT_TRUE(db.Rollback());
    EXPECT_EQ(db.TakeNextId(false), expected);
    EXPECT_TRUE(db.Rollback());

    EXPECT_EQ(Import(*root, kParentTop, true), ImportOutcome::kDone);   // the error ignored
    EXPECT_EQ(db.NodeCount(), nodes + 5);
}

TEST_F(TransferTest, FilesOfTwoGigabytesAreRefusedUnread) {
    std::string big = src + "/big";
    int fd = open(big.c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_EQ(ftruncate(fd, off_t(kMaxFileNodeSize)), 0);   // sparse
    close(fd);
    CaseNode node;
    errno = 0;
    EXPECT_FALSE(node.LoadFromFile(big, true));
    EXPECT_EQ(errno, EFBIG);
    EXPECT_EQ(Import(*Collect(src), kParentTop), ImportOutcome::kFailed);
    EXPECT_NE(lastError.find("2 GB"), std::string::npos);
}

TEST_F(TransferTest, ExportCollisionsOverwritesAndEmptyFolders) {
    int32_t top = AddTestNode(db, kParentTop, 0, "top", "", kNodeFolder);
    int32_t file = AddTestNode(db, top, 0, "a.ext", "parent", kNodeFile);
    AddTestNode(db, file, 0, "child.bin", "child", kNodeFile);
    AddTestNode(db, top, 1, "same", "first", kNodeFile);
    AddTestNode(db, top, 2, "same", "second", kNodeFile);
    int32_t notes = AddTestNode(db, top, 3, "Notes", std::string("n\0", 2), kNodeText);
    AddTestNode(db, notes, 0, "inside", "in", kNodeFile);
    AddTestNode(db, top, 4, "empty", "", kNodeFolder);
    ASSERT_TRUE(db.Commit());
    std::string out = tmp.File("out");

    auto report = Report(top, out);
    EXPECT_EQ(ReadFile(out + "/top/a.ext"), "parent");
    EXPECT_EQ(ReadFile(out + "/top/a.ext.1/child.bin"), "child");
    EXPECT_EQ(ReadFile(out + "/top/same"), "second");
    EXPECT_EQ(ReadFile(out + "/top/Notes.vl_txt"), std::string("n\0", 2));
    EXPECT_EQ(ReadFile(out + "/top/Notes.vl_txt.1/inside"), "in");
    EXPECT_FALSE(Exists(out + "/top/empty"));   // IgnoreEmptyDir on
    const std::vector<std::string> expected = {
        "与文件夹\"" + out + "/top/a.ext\"同名的文件已存在，文件夹改名为\"" + out + "/top/a.ext.1\"",
        "文件\"" + out + "/top/same\"被覆盖。",
        "与文件夹\"" + out + "/top/Notes.vl_txt\"同名的文件已存在，文件夹改名为\"" + out + "/top/Notes.vl_txt.1\""};
    EXPECT_EQ(report, expected);

    ExportOptions keep;
    keep.overwrite = false;
    keep.exportNonFileNodes = false;
    keep.ignoreEmptyDir = false;
    report = Report(top, out, keep);
    EXPECT_EQ(ReadFile(out + "/top/same"), "second");
    EXPECT_EQ(ReadFile(out + "/top/Notes/inside"), "in");
    EXPECT_TRUE(fs::is_directory(out + "/top/empty"));
    EXPECT_EQ(std::count(report.begin(), report.end(), "文件\"" + out + "/top/same\"已存在，忽略。"), 2);

    ExportOptions alone;
    alone.includeSubNodes = false;
    Report(top, tmp.File("alone"), alone);
    EXPECT_EQ(folders + files, 0);
    EXPECT_TRUE(fs::is_empty(tmp.File("alone")));
}

// A caption that cannot be a file name is written under a substitute, with a
// line in the report, and the export goes on; nothing lands outside.
TEST_F(TransferTest, CaptionsThatAreNoFileNameGetSubstitutesInside) {
    const std::pair<std::string, std::string> cases[] = {
        {"", "未命名"},          {".", "．"},   {"..", "．．"},   {"a/b", "a／b"},
        {"../escape", "..／escape"}, {"plain", "plain"}};
    EXPECT_EQ(ExportFileName(std::string("n\0l", 3)), "n\xEF\xBF\xBDl");
    int32_t top = AddTestNode(db, kParentTop, 0, "top", "", kNodeFolder);
    for (const auto& [caption, name] : cases) {
        EXPECT_EQ(ExportFileName(caption), name) << caption;
        int32_t id = AddTestNode(db, top, 0, caption, "x:" + name, kNodeFile);
        AddTestNode(db, id, 0, "child", "below " + name, kNodeFile);
    }
    ASSERT_TRUE(db.Commit());
    std::string out = tmp.File("out");
    bool ok = false;
    auto report = Report(top, out, {}, &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(std::count_if(report.begin(), report.end(),
                            [](const std::string& line) { return line.find("不能用作文件名") != std::string::npos; }),
              std::size(cases) - 1);   // "plain" is fine
    for (const auto& [caption, name] : cases) {
        EXPECT_EQ(ReadFile(out + "/top/" + name), "x:" + name) << caption;
        EXPECT_EQ(ReadFile(out + "/top/" + name + ".1/child"), "below " + name) << caption;
    }
    EXPECT_NE(std::find(report.begin(), report.end(),
                        "节点标题\"\"不能用作文件名，以\"" + out + "/top/未命名\"导出。"),
              report.end());
    EXPECT_FALSE(Exists(tmp.File("escape")));
    EXPECT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()), 1);   // only "top"

    // A link at the target is replaced, never written through.
    int32_t id = AddTestNode(db, kParentTop, 0, "link", "x", kNodeFile);
    fs::create_symlink(tmp.File("victim"), tmp.File("out/link"));
    ExportOptions keep;
    keep.overwrite = false;
    Report(id, out, keep, &ok);
    EXPECT_TRUE(fs::is_symlink(tmp.File("out/link")));
    Report(id, out, {}, &ok);
    EXPECT_TRUE(ok);
    EXPECT_FALSE(Exists(tmp.File("victim")));
    EXPECT_FALSE(fs::is_symlink(tmp.File("out/link")));
    EXPECT_EQ(ReadFile(tmp.File("out/link")), "x");
}

TEST_F(TransferTest, DestinationThatIsAFileIsRefused) {
    WriteFile(tmp.File("plain"), "x");
    std::string dest = tmp.File("plain") + "/";
    EXPECT_FALSE(PrepareDestination(dest));
    EXPECT_EQ(dest, tmp.File("plain"));
    std::string nested = tmp.File("new/deeper/");
    EXPECT_TRUE(PrepareDestination(nested));
    EXPECT_TRUE(fs::is_directory(nested));
}

// Entries that are no regular file: each is an error of its own with its
// cause, under the import's error rule; never a hang, never a read without end.
TEST_F(TransferTest, EntriesThatAreNoRegularFileAreErrorsOfTheirOwn) {
    alarm(60);   // a blocking open ends the test instead of hanging it
    WriteFile(src + "/good.txt", "good");
    ASSERT_EQ(mkfifo((src + "/fifo").c_str(), 0644), 0);
    fs::create_symlink("/dev/zero", src + "/zero");
    fs::create_symlink(tmp.File("gone"), src + "/dangling");
    fs::create_symlink(src + "/loop2", src + "/loop1");
    fs::create_symlink(src + "/loop1", src + "/loop2");
    const std::pair<std::string, std::string> causes[] = {{"dangling", "链接的目标不存在"},
                                                          {"fifo", "不是普通文件（命名管道）"},
                                                          {"loop1", std::strerror(ELOOP)},
                                                          {"loop2", std::strerror(ELOOP)},
                                                          {"zero", "不是普通文件（字符设备）"}};
    auto root = Collect(src);
    int32_t target = AddTestNode(db, kParentTop, 0, "target", "", kNodeFolder);
    ASSERT_TRUE(db.Commit());
    const int nodes = db.NodeCount();

    // Stop and roll back: the first of them ends the import.
    EXPECT_EQ(Import(*root, target), ImportOutcome::kFailed);
    EXPECT_EQ(lastError, "读文件\"" + src + "/dangling\"出错：链接的目标不存在");
    EXPECT_EQ(db.NodeCount(), nodes);

    // Skipping: every one reported with its cause, the rest imported.
    ASSERT_EQ(ImportSkipping(*root, target), ImportOutcome::kDone) << lastError;
    std::vector<std::string> expected;
    for (const auto& [name, cause] : causes) expected.push_back("读文件\"" + src + "/" + name + "\"出错：" + cause);
    EXPECT_EQ(skipped, expected);
    EXPECT_EQ(Captions(target), std::vector<std::string>{"good.txt"});

    // Reading a file node refuses them without blocking or reading.
    for (const char* name : {"fifo", "zero"}) {
        CaseNode node;
        errno = 0;
        EXPECT_FALSE(node.LoadFromFile(src + "/" + name, true)) << name;
        EXPECT_EQ(errno, EINVAL) << name;
    }
    alarm(0);
}

// An unreadable folder and an unreadable file: errors of their own, not an
// empty folder.
TEST_F(TransferTest, UnreadableFolderAndFileAreErrorsOfTheirOwn) {
    fs::create_directories(src + "/closed/inner");
    WriteFile(src + "/closed/inner/x", "x");
    WriteFile(src + "/open", "o");
    WriteFile(src + "/secret", "s");
    chmod((src + "/closed").c_str(), 0);
    chmod((src + "/secret").c_str(), 0);
    chmod(tmp.Path().c_str(), 0755);   // for nobody
    chmod(src.c_str(), 0755);
    int32_t target = AddTestNode(db, kParentTop, 0, "target", "", kNodeFolder);
    // No commit: a child running as nobody adds to this process's copy only.
    std::string result = AsUnprivileged([&] {
        ImportRun run{db};
        run.skipErrors = true;
        std::string lines;
        run.OnSkip = [&](const std::string& line) { lines += line + "\n"; };
        auto root = Collect(src);
        for (const auto& child : root->Children) ImportItem(run, *child, target);
        return lines + std::to_string(run.importedCount);
    });
    chmod((src + "/closed").c_str(), 0755);
    const std::string denied = std::strerror(EACCES);
    EXPECT_EQ(result, "读文件夹\"" + src + "/closed\"出错：" + denied + "\n读文件\"" + src + "/secret\"出错：" + denied + "\n1");
}

// Names that are not UTF-8: GB18030 bytes, the database's own code page, are
// taken as they are; other bytes are named as no text.
TEST_F(TransferTest, NamesInGb18030AreTakenOthersAreNamedAsNoText) {
    const std::string gb = "\xB2\xE2\xCA\xD4.txt";   // 测试.txt
    const std::string latin1 = "caf\xE9.txt";
    WriteFile(src + "/" + gb, "gb");
    WriteFile(src + "/" + latin1, "latin1");
    WriteFile(src + "/测试 utf8.txt", "utf8");
    ASSERT_EQ(ImportSkipping(*Collect(src), kParentTop), ImportOutcome::kDone) << lastError;
    EXPECT_EQ(skipped, std::vector<std::string>{"文件名\"" + src + "/" + latin1 +
                                                "\"不能作为节点标题：不是有效的文本（既不是UTF-8，也不是GB18030）。"});
    CaseNode node;
    ASSERT_TRUE(db.GetNode(ChildNamed(kParentTop, gb), node, true));
    EXPECT_EQ(node.DataBytes(), "gb");
    EXPECT_NE(ChildNamed(kParentTop, Utf8ToAnsi("测试 utf8.txt")), -100);
}

TEST_F(TransferTest, SiblingsComeSortedByNameFoldersFirst) {
    for (const char* folder : {"s2", "s1", "B", "a", "s10"}) fs::create_directories(src + "/" + folder);
    for (const char* file : {"abc.txt", "a.txt", "Z", "b", "s1.txt", "a0"}) WriteFile(src + "/" + file, "x");
    const std::vector<std::string> order = {"B", "a", "s1", "s10", "s2", "Z", "a.txt", "a0", "abc.txt", "b", "s1.txt"};
    auto root = Collect(src);
    std::vector<std::string> names;
    for (const auto& child : root->Children) names.push_back(child->Name);
    EXPECT_EQ(names, order);
    int32_t target = AddTestNode(db, kParentTop, 0, "target", "", kNodeFolder);
    ASSERT_EQ(Import(*root, target), ImportOutcome::kDone) << lastError;
    EXPECT_EQ(Captions(target), order);
}

// A folder reached through a link before its own entry is scanned keeps its
// own name; links to folders already taken (a second name, a loop) are left
// out; a link to a folder outside is followed.
TEST_F(TransferTest, RealFolderKeepsItsNameLinksToTakenFoldersAreLeftOut) {
    fs::create_directories(src + "/x");
    fs::create_directories(src + "/y/real");
    fs::create_directories(tmp.File("outside"));
    WriteFile(src + "/y/real/f", "1");
    WriteFile(tmp.File("outside/o"), "o");
    fs::create_directory_symlink(src + "/y/real", src + "/x/link");   // x is picked, and scanned, first
    fs::create_directory_symlink(tmp.File("outside"), src + "/x/out");
    fs::create_directory_symlink(src + "/x", src + "/x/self");
    auto root = CollectFiles({KELFileItem(src + "/x"), KELFileItem(src + "/y")}, "*.*");
    EXPECT_EQ(ScannedNames(*root, src), (std::vector<std::string>{"x/out/", "x/out/o", "y/real/", "y/real/f"}));
}

// Trees deeper than a stack of recursive calls would hold: imported and
// exported (up to the path the file system refuses) by walks with their own
// stack, on a thread with a small stack of its own.
TEST_F(TransferTest, ChainsOfAnyDepthInTheStore) {
    constexpr int kDepth = 22000;
    WriteFile(src + "/f.txt", "bottom");
    int32_t target = AddTestNode(db, kParentTop, 0, "deep", "", kNodeFolder);
    ASSERT_TRUE(db.Commit());
    OnSmallStack([&] {
        auto root = std::make_unique<ImportFileItem>();
        ImportFileItem* at = root.get();
        for (int i = 0; i < kDepth; ++i) {
            at->Children.push_back(std::make_unique<ImportFileItem>());
            at = at->Children.back().get();
            at->Name = "d";
            at->Path = tmp.File("gone");
            at->Attributes = kAttrDirectory;
        }
        at->Children.push_back(std::move(Collect(src)->Children.front()));   // f.txt at the bottom
        EXPECT_EQ(CountItems(*root).folderCount, kDepth);
        EXPECT_EQ(Import(*root, target), ImportOutcome::kDone) << lastError;
    });
    EXPECT_EQ(db.NodeCount(), kDepth + 2);

    // The whole chain: the export stops where the path grows too long, naming it.
    std::string out = tmp.File("out");
    std::vector<std::string> report;
    bool ok = true;
    OnSmallStack([&] { report = Report(target, out, {}, &ok); });
    EXPECT_FALSE(ok);
    ASSERT_EQ(report.size(), 1u);
    EXPECT_TRUE(report[0].starts_with("创建目录\"" + out + "/deep/d/d/d/d/")) << report[0].substr(0, 200);
    EXPECT_TRUE(report[0].ends_with(std::string("出错：") + std::strerror(ENAMETOOLONG)));

    // Its last 1,500 levels fit and come out whole (the chain took ids in order).
    const int32_t id = target + kDepth - 1499;
    CaseNode node;
    ASSERT_TRUE(db.GetNode(id, node, false));
    ASSERT_EQ(node.Caption, "d");
    OnSmallStack([&] { report = Report(id, out, {}, &ok); });
    EXPECT_TRUE(ok);
    std::string bottom = out;
    for (int i = 0; i < 1500; ++i) bottom += "/d";
    EXPECT_EQ(ReadFile(bottom + "/f.txt"), "bottom");
}

// A folder chain on disk deeper than a path can name: the scan stops at the
// folder it cannot open with that as its error, so it is reported.
TEST_F(TransferTest, FolderChainLongerThanAPathOnDisk) {
    constexpr int kDepth = 22000;
    MakeChain(src, kDepth);
    OnSmallStack([&] {
        auto root = Collect(src);
        const ImportFileItem* at = root.get();
        int depth = 0;
        while (!at->Children.empty()) {
            at = at->Children.front().get();
            ++depth;
        }
        EXPECT_EQ(at->Error, std::strerror(ENAMETOOLONG));
        EXPECT_GT(depth, 1000);
        EXPECT_EQ(ImportSkipping(*root, kParentTop), ImportOutcome::kDone) << lastError;
    });
    ASSERT_EQ(skipped.size(), 1u);
    EXPECT_TRUE(skipped[0].ends_with(std::string("\"出错：") + std::strerror(ENAMETOOLONG))) << skipped[0].substr(0, 200);
    RemoveChain(src);
}

// An export killed in the middle of a file leaves no part of it under its
// name, so a run that keeps existing files writes it whole.
TEST_F(TransferTest, KilledExportLeavesNoPartialFileUnderItsName) {
    std::string bytes;
    for (int i = 0; i < 300000; ++i) bytes += char(i * 31);
    int32_t top = AddTestNode(db, kParentTop, 0, "top", "", kNodeFolder);
    AddTestNode(db, top, 0, "big.bin", bytes, kNodeFile);
    ASSERT_TRUE(db.Commit());
    std::string out = tmp.File("out");
    pid_t pid = fork();
    if (pid == 0) {
        // Killed by SIGXFSZ once the file passes 64 KiB.
        struct rlimit size{65536, 65536}, core{0, 0};
        setrlimit(RLIMIT_FSIZE, &size);
        setrlimit(RLIMIT_CORE, &core);
        signal(SIGXFSZ, SIG_DFL);
        ExportRun run{db, {}};
        std::string dest = out;
        PrepareDestination(dest);
        ExportNode(run, top, dest, true);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ) << status;
    EXPECT_FALSE(Exists(out + "/top/big.bin"));
    ExportOptions keep;
    keep.overwrite = false;
    bool ok = false;
    Report(top, out, keep, &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(ReadFile(out + "/top/big.bin"), bytes);
}

// The sample database's notes, with a folder whose caption is empty, export whole.
TEST(ExportSample, FolderWithAnEmptyCaptionIsExportedUnderASubstitute) {
    TempFolder tmp;
    fs::copy_file(std::string(VAULTLEAF_FIXTURES) + "/vldb/sample.vldb", tmp.File("sample.vldb"));
    CaseDB db;
    ASSERT_EQ(db.Open(tmp.File("sample.vldb"), false), CaseDB::kOpened);
    ASSERT_TRUE(db.Login(Utf8ToAnsi("测试密码")));
    ExportRun run{db, {}};
    std::vector<std::string> report;
    run.OnReport = [&](const std::string& line) { report.push_back(line); };
    std::string out = tmp.File("out");
    ASSERT_TRUE(PrepareDestination(out));
    EXPECT_TRUE(ExportNode(run, 1, out, true)) << run.lastError;
    EXPECT_EQ(report, std::vector<std::string>{"节点标题\"\"不能用作文件名，以\"" + out + "/我的笔记/未命名\"导出。"});
    for (const char* file : {"第一页.vl_txt", "网页.vl_htm", "链接.vl_url", "未命名/空文本.vl_txt"})
        EXPECT_TRUE(fs::is_regular_file(out + "/我的笔记/" + file)) << file;
    EXPECT_EQ(ReadFile(out + "/我的笔记/未命名/空文本.vl_txt"), std::string(1, '\0'));
}

// A node the store does not take is an error of its own, never counted as
// imported nor committed as done.
TEST_F(TransferTest, NodeTheStoreRefusesIsNotReportedAsImported) {
    WriteFile(src + "/f.txt", "data");
    auto root = Collect(src);
    db.Close();
    ASSERT_EQ(db.Open(tmp.File("t.vldb"), false), CaseDB::kOpened);   // not logged in: no node can be sealed
    ImportRun run{db};
    EXPECT_EQ(ImportAll(run, *root, kParentTop, [](const std::string&) { return false; }), ImportOutcome::kFailed);
    EXPECT_EQ(run.importedCount, 0);
    EXPECT_EQ(run.lastError, "节点未能存入数据库");
    EXPECT_EQ(db.NodeCount(), 0);
}
