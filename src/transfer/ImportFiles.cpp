#include "transfer/ImportFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <set>

#include "kellib/Kelcodepage.h"
#include "kellib/Kelfilelib.h"

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

struct DirEntry {
    std::string name;
    struct stat st;   // links followed; the link itself when statError is set
    int statError;    // errno of the followed stat, 0 when it worked
    bool isLink;
};

bool IsFolderEntry(const DirEntry& e) { return e.statError == 0 && S_ISDIR(e.st.st_mode); }

// The entry name in the open folder, its kind found through links.
DirEntry StatEntry(int dirFd, const std::string& name) {
    DirEntry entry{name, {}, 0, false};
    struct stat own;
    if (fstatat(dirFd, name.c_str(), &own, AT_SYMLINK_NOFOLLOW) == 0) entry.isLink = S_ISLNK(own.st_mode);
    if (fstatat(dirFd, name.c_str(), &entry.st, 0) != 0) {
        entry.statError = errno;
        entry.st = own;
    }
    return entry;
}

// The entries of a folder sorted by name, without "." and ".."; false with
// errno when the folder cannot be listed.
bool ListFolder(const std::string& folder, std::vector<DirEntry>& entries) {
    entries.clear();
    int fd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* dir = fd < 0 ? nullptr : fdopendir(fd);
    if (!dir) {
        int err = errno;
        if (fd >= 0) close(fd);
        errno = err;
        return false;
    }
    errno = 0;
    while (struct dirent* e = readdir(dir)) {
        std::string name = e->d_name;
        if (name != "." && name != "..") entries.push_back(StatEntry(fd, name));
        errno = 0;
    }
    int err = errno;
    closedir(dir);
    if (err) {
        errno = err;
        return false;
    }
    std::sort(entries.begin(), entries.end(), [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
    return true;
}

const char* KindName(mode_t mode) {
    if (S_ISFIFO(mode)) return "命名管道";
    if (S_ISSOCK(mode)) return "套接字";
    if (S_ISCHR(mode)) return "字符设备";
    if (S_ISBLK(mode)) return "块设备";
    return "特殊文件";
}

std::string NotRegularCause(mode_t mode) { return std::string("不是普通文件（") + KindName(mode) + "）"; }

// Why an entry that is not a folder cannot be imported; "" when it can.
std::string EntryError(const DirEntry& e) {
    if (e.statError == ENOENT && e.isLink) return "链接的目标不存在";
    if (e.statError) return std::strerror(e.statError);
    if (!S_ISDIR(e.st.st_mode) && !S_ISREG(e.st.st_mode)) return NotRegularCause(e.st.st_mode);
    return "";
}

std::unique_ptr<ImportFileItem> MakeItem(const std::string& folder, const DirEntry& e) {
    auto item = std::make_unique<ImportFileItem>();
    item->Path = folder + e.name;
    item->Name = e.name;
    item->Attributes = FileAttributeWord(item->Path, e.st.st_mode);
    item->Error = EntryError(e);
    if (!IsFolderEntry(e)) item->Size = e.statError ? 0 : e.st.st_size;
    return item;
}

// The pattern of a subfolder: its path, "/", the pattern's name part (or "*")
// and its extension part (or ".*").
std::string SubfolderPattern(const std::string& folderPath, const std::string& pattern) {
    std::string name = ExtractNameNoExt(pattern);
    std::string ext = ExtractExt(pattern);
    return folderPath + "/" + (name.empty() ? "*" : name) + (ext.empty() ? ".*" : ext);
}

// The collection in progress: folders still to be listed (real ones first,
// links to folders once no real one is left) and the folders taken.
class Scan {
public:
    // Lists the folder of patternPath into parent: subfolders when
    // scanSubfolders (queued to be listed in turn), then the matching files.
    // False with errno when the folder cannot be listed.
    bool List(ImportFileItem& parent, bool scanSubfolders, const std::string& patternPath) {
        const std::string folder = ExtractDir(patternPath);
        const std::string pattern = ExtractFileNameExt(patternPath);
        std::vector<DirEntry> entries;
        if (!ListFolder(folder, entries)) return false;
        if (scanSubfolders) {
            for (const DirEntry& e : entries) {
                if (!IsFolderEntry(e)) continue;
                auto child = MakeItem(folder, e);
                std::string childPattern = SubfolderPattern(child->Path, pattern);
                if (e.isLink) links_.push_back({&parent, child.get(), std::move(childPattern), e.st});
                else if (FirstVisit(e.st)) folders_.push_back({child.get(), std::move(childPattern)});
                else continue;   // the same folder mounted twice
                parent.Children.push_back(std::move(child));
            }
        }
        for (const DirEntry& e : entries)
            if (!IsFolderEntry(e) && MatchPattern(e.name, pattern)) parent.Children.push_back(MakeItem(folder, e));
        return true;
    }

    // Marks the folder taken; false when it was taken before.
    bool FirstVisit(const struct stat& st) {
        return visited_.insert({uint64_t(st.st_dev), uint64_t(st.st_ino)}).second;
    }

    // Lists every queued folder and the folders below it; an unreadable one
    // gets its error.
    void Finish() {
        while (true) {
            while (!folders_.empty()) {
                Pending next = std::move(folders_.back());
                folders_.pop_back();
                if (!List(*next.item, true, next.patternPath)) next.item->Error = std::strerror(errno);
            }
            if (links_.empty()) return;
            Link link = std::move(links_.front());
            links_.pop_front();
            if (FirstVisit(link.st)) {
                folders_.push_back({link.item, std::move(link.patternPath)});
                continue;
            }
            auto& siblings = link.parent->Children;
            siblings.erase(std::find_if(siblings.begin(), siblings.end(),
                                        [&](const auto& c) { return c.get() == link.item; }));
        }
    }

private:
    struct Pending {
        ImportFileItem* item;
        std::string patternPath;
    };
    struct Link {
        ImportFileItem* parent;
        ImportFileItem* item;
        std::string patternPath;
        struct stat st;
    };
    std::set<std::pair<uint64_t, uint64_t>> visited_;   // device, inode
    std::vector<Pending> folders_;
    std::deque<Link> links_;
};

// "读文件"/"读文件夹" with the item's path and the cause.
std::string ReadFailure(const ImportFileItem& item, const std::string& cause) {
    return (item.IsFolder() ? "读文件夹\"" : "读文件\"") + item.Path + "\"出错：" + cause;
}

std::string LoadFailureCause(const std::string& path) {
    if (errno == EFBIG) return "文件大小达到或超过 2 GB，节点存不下";
    if (errno == EAGAIN) return "读取时文件大小发生了变化";
    if (errno == EINVAL) {
        struct stat st;
        return stat(path.c_str(), &st) == 0 ? NotRegularCause(st.st_mode) : "不是普通文件";
    }
    return std::strerror(errno);
}

// The caption for an entry name; false with the reason when it is no text
// the store's code page can hold exactly.
bool CaptionOf(ImportRun& run, const ImportFileItem& item, const std::string& name, std::string& caption) {
    std::string why;
    if (ExternalTextToAnsi(name, caption, why)) return true;
    run.lastError = "文件名\"" + item.Path + "\"不能作为节点标题：" + why;
    return false;
}

// What adding one item's own node came to: an entry error is the item's own
// and may be skipped; a refused node or a stop ends the import.
enum class Added { kYes, kEntryError, kEnd };

Added AddRecord(ImportRun& run, CaseNode& node, int32_t parentId) {
    node.Id = run.db.TakeNextId(false);
    node.Parent = parentId;
    node.Order = 0;
    if (node.Id == 0) {
        run.lastError = "没有可用的节点编号";
        return Added::kEnd;
    }
    if (!run.db.AddNode(node)) {
        run.lastError = "节点未能存入数据库";
        return Added::kEnd;
    }
    return Added::kYes;
}

Added AddFolder(ImportRun& run, const ImportFileItem& item, int32_t parentId, CaseNode& node) {
    if (!CaptionOf(run, item, item.Name, node.Caption)) return Added::kEntryError;
    node.Type = kNodeFolder;
    node.SetDataFromText("");
    struct stat st;
    if (stat(item.Path.c_str(), &st) == 0)
        node.SetFileTime("FModifyLow", "FModifyHigh", UnixToFileTime(st.st_mtim.tv_sec, st.st_mtim.tv_nsec));
    return AddRecord(run, node, parentId);
}

Added AddFile(ImportRun& run, const ImportFileItem& item, int32_t parentId, CaseNode& node) {
    if (run.OnFile) run.OnFile(item, run.importedCount + 1);
    if (run.stopRequested) return Added::kEnd;
    node.Type = static_cast<uint8_t>(KindByExtension(item.Name, run.identifyExt));
    bool isFile = node.Type == kNodeFile;
    if (!CaptionOf(run, item, isFile ? item.Name : ExtractNameNoExt(item.Name), node.Caption))
        return Added::kEntryError;
    if (!(run.Load ? run.Load(node, item.Path, isFile) : node.LoadFromFile(item.Path, isFile))) {
        if (run.stopRequested) return Added::kEnd;   // a read left by the stop
        run.lastError = ReadFailure(item, LoadFailureCause(item.Path));
        return Added::kEntryError;
    }
    Added added = AddRecord(run, node, parentId);
    if (added == Added::kYes) ++run.importedCount;
    return added;
}

// The item's own node (a folder without its contents, or a file), its id in node.
Added AddItemNode(ImportRun& run, const ImportFileItem& item, int32_t parentId, CaseNode& node) {
    if (!item.Error.empty()) {
        run.lastError = ReadFailure(item, item.Error);
        return Added::kEntryError;
    }
    return item.IsFolder() ? AddFolder(run, item, parentId, node) : AddFile(run, item, parentId, node);
}

}  // namespace

ImportFileItem::~ImportFileItem() {
    std::vector<std::unique_ptr<ImportFileItem>> pending = std::move(Children);
    while (!pending.empty()) {
        std::unique_ptr<ImportFileItem> item = std::move(pending.back());
        pending.pop_back();
        if (!item) continue;   // moved out
        for (auto& child : item->Children) pending.push_back(std::move(child));
        item->Children.clear();
    }
}

std::string NormalizePattern(const std::string& text) {
    size_t begin = 0, end = text.size();
    while (begin < end && IsSpace(text[begin])) ++begin;
    while (end > begin && IsSpace(text[end - 1])) --end;
    return begin == end ? std::string("*.*") : text.substr(begin, end - begin);
}

bool MatchPattern(const std::string& name, const std::string& pattern) {
    if (fnmatch(pattern.c_str(), name.c_str(), FNM_NOESCAPE) == 0) return true;
    if (pattern.size() >= 2 && pattern.ends_with(".*")) {
        std::string stem = pattern.substr(0, pattern.size() - 2);
        return fnmatch(stem.c_str(), name.c_str(), FNM_NOESCAPE) == 0;
    }
    return false;
}

bool ShouldAddFolder(const std::vector<KELFileItem>& selected, const std::string& path) {
    for (const auto& item : selected)
        if (item.IsFolder() && path.find(item.Path) != std::string::npos) return false;
    return true;
}

std::unique_ptr<ImportFileItem> CollectFiles(const std::vector<KELFileItem>& selected, const std::string& pattern) {
    auto root = std::make_unique<ImportFileItem>();
    Scan scan;
    for (const auto& item : selected) {
        std::string path = item.Path;
        while (path.size() > 1 && path.ends_with("/")) path.pop_back();
        struct stat st;
        if (stat(path.c_str(), &st) != 0) continue;   // vanished since it was picked
        // Taken by its own entry, so a name with wildcard characters means itself.
        DirEntry entry{ExtractFileNameExt(path), st, 0, false};
        if (!S_ISDIR(st.st_mode)) {
            root->Children.push_back(MakeItem(ExtractDir(path), entry));
        } else if (scan.FirstVisit(st) && !scan.List(*root, true, path + "/" + pattern)) {
            auto unreadable = MakeItem(ExtractDir(path), entry);
            unreadable->Error = std::strerror(errno);
            root->Children.push_back(std::move(unreadable));
        }
    }
    scan.Finish();
    return root;
}

void WalkItems(const ImportFileItem& root, const std::function<void(const ImportFileItem&)>& visit) {
    std::vector<const ImportFileItem*> pending;
    for (auto it = root.Children.rbegin(); it != root.Children.rend(); ++it) pending.push_back(it->get());
    while (!pending.empty()) {
        const ImportFileItem* item = pending.back();
        pending.pop_back();
        visit(*item);
        for (auto it = item->Children.rbegin(); it != item->Children.rend(); ++it) pending.push_back(it->get());
    }
}

ImportTotals CountItems(const ImportFileItem& root) {
    ImportTotals totals;
    WalkItems(root, [&](const ImportFileItem& item) {
        if (item.IsFolder()) {
            ++totals.folderCount;
        } else {
            ++totals.fileCount;
            totals.totalSize += item.Size;
        }
    });
    return totals;
}

std::string SizeText(int64_t totalSize) {
    const std::string bytes = std::to_string(totalSize);
    if (totalSize <= 1024) return bytes + "字节";
    if (totalSize <= 1048576) return std::to_string((totalSize + 1023) / 1024) + "KB(" + bytes + "字节)";
    return std::to_string((totalSize + 1048575) / 1048576) + "MB(" + bytes + "字节)";
}

int KindByExtension(const std::string& name, bool identifyExt) {
    if (!identifyExt) return kNodeFile;
    std::string ext = ExtractExt(name);
    for (char& c : ext)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    static const std::pair<const char*, int> kinds[] = {
        {".vl_txt", kNodeText}, {".vl_htm", kNodeHtml},        {".vl_url", kNodeUrl},    {".vl_card", kNodeCard},
        {".vl_rtf", kNodeRtf},  {".vl_bmp", kNodeWhiteboard}, {".vl_wave", kNodeSound},
    };
    for (const auto& [extension, kind] : kinds)
        if (ext == extension) return kind;
    return kNodeFile;
}

bool ImportItem(ImportRun& run, const ImportFileItem& top, int32_t parentId) {
    // Depth-first with an explicit stack, in order: each folder's node before
    // its contents, so a tree of any depth is added without recursion.
    std::vector<std::pair<const ImportFileItem*, int32_t>> pending{{&top, parentId}};
    while (!pending.empty()) {
        auto [item, parent] = pending.back();
        pending.pop_back();
        CaseNode node;
        Added added = AddItemNode(run, *item, parent, node);
        if (added == Added::kYes) {
            for (auto it = item->Children.rbegin(); it != item->Children.rend(); ++it)
                pending.emplace_back(it->get(), node.Id);
            continue;
        }
        if (added == Added::kEnd || !run.skipErrors) return false;
        ++run.skippedCount;
        if (run.OnSkip) run.OnSkip(run.lastError);
    }
    return true;
}

ImportOutcome ImportAll(ImportRun& run, const ImportFileItem& root, int32_t target,
                        const std::function<bool(const std::string& name)>& askIgnore,
                        const std::function<void()>& beforeCommit) {
    run.stopRequested = false;
    run.importedCount = 0;
    run.skippedCount = 0;
    bool failed = false;
    for (const auto& child : root.Children) {
        if (ImportItem(run, *child, target)) continue;
        if (run.stopRequested) break;
        if (!askIgnore(child->Name)) {
            failed = true;
            break;
        }
        ++run.importedCount;
    }
    if (run.stopRequested || failed) {
        if (!run.db.Rollback()) run.lastError += "（撤销导入时出错）";
        return run.stopRequested ? ImportOutcome::kStopped : ImportOutcome::kFailed;
    }
    if (beforeCommit) beforeCommit();
    if (!run.db.Commit()) {
        run.lastError = "数据库写入失败";
        if (!run.db.Rollback()) run.lastError += "（撤销导入时出错）";
        return ImportOutcome::kFailed;
    }
    return ImportOutcome::kDone;
}
