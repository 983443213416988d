// Import and export walks: patterns, scan order, counts, kinds, the round trip
// through the store, stop and error rollback, export collisions and names.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <map>

#include "../db/TestSupport.h"
#include "transfer/ExportFiles.h"
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

// path -> bytes, mtime and the owner's write bit for everything below root.
struct DiskEntry {
    bool folder;
    std::string bytes;
    int64_t mtime;   // in the 100 ns steps the store keeps
    bool writable;
    bool operator==(const DiskEntry&) const = default;
};
std::map<std::string, DiskEntry> Snapshot(const std::string& root) {
    std::map<std::string, DiskEntry> out;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        struct stat st;
        lstat(e.path().c_str(), &st);
        bool folder = S_ISDIR(st.st_mode);
        out[e.path().string().substr(root.size())] = {
            folder, folder ? "" : ReadFile(e.path()),
            folder ? 0 : int64_t(st.st_mtim.tv_sec) * 10000000 + st.st_mtim.tv_nsec / 100, (st.st_mode & S_IWUSR) != 0};
    }
    return out;
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
// old times, empty folders; imported and exported again it is identical.
TEST_F(TransferTest, TreeRoundTripKeepsBytesNamesTimesAndReadOnly) {
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
                          << entry.writable << " vs " << it->second.writable << " size " << entry.bytes.size()
                          << " vs " << it->second.bytes.size();
    }
    EXPECT_EQ(files, 5);
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

TEST_F(TransferTest, CaptionsThatAreNoFileNameFailWithoutWritingOutside) {
    for (const std::string& caption : std::vector<std::string>{"../escape", "..", "a/b", ""}) {
        int32_t id = AddTestNode(db, kParentTop, 0, caption, "x", kNodeFile);
        std::string out = tmp.File("out");
        bool ok = true;
        auto report = Report(id, out, {}, &ok);
        EXPECT_FALSE(ok) << caption;
        ASSERT_EQ(report.size(), 1u);
        EXPECT_NE(report[0].find("不能用作文件名"), std::string::npos);
        EXPECT_FALSE(Exists(tmp.File("escape")));
        EXPECT_TRUE(fs::is_empty(out));
    }
    // A link at the target is not written through.
    int32_t id = AddTestNode(db, kParentTop, 0, "link", "x", kNodeFile);
    fs::create_symlink(tmp.File("victim"), tmp.File("out/link"));
    bool ok = true;
    Report(id, tmp.File("out"), {}, &ok);
    EXPECT_FALSE(ok);
    EXPECT_FALSE(Exists(tmp.File("victim")));
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
