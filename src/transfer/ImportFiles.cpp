#include "transfer/ImportFiles.h"

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "kellib/Kelcodepage.h"
#include "kellib/Kelfilelib.h"

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

struct DirEntry {
    std::string name;
    struct stat st;
    bool statOk;
};

// The entries of a folder in the order the file system lists them, without
// "." and ".."; links followed for their kind and size.
std::vector<DirEntry> ListFolder(const std::string& folder) {
    std::vector<DirEntry> entries;
    DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
    if (!dir) return entries;
    while (struct dirent* e = readdir(dir)) {
        std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        DirEntry entry{name, {}, false};
        entry.statOk = stat((folder + name).c_str(), &entry.st) == 0;
        if (!entry.statOk) lstat((folder + name).c_str(), &entry.st);
        entries.push_back(std::move(entry));
    }
    closedir(dir);
    return entries;
}

bool IsFolderEntry(const DirEntry& e) { return e.statOk && S_ISDIR(e.st.st_mode); }

// Marks the folder visited; false when it was visited before.
bool FirstVisit(ScanState& state, const struct stat& st) {
    return state.visitedFolders.insert({uint64_t(st.st_dev), uint64_t(st.st_ino)}).second;
}

std::unique_ptr<ImportFileItem> MakeItem(const std::string& folder, const DirEntry& e) {
    auto item = std::make_unique<ImportFileItem>();
    item->Path = folder + e.name;
    item->Name = e.name;
    item->Attributes = FileAttributeWord(item->Path, e.st.st_mode);
    if (!IsFolderEntry(e)) item->Size = e.st.st_size;
    return item;
}

// The pattern of a subfolder: its path, "/", the pattern's name part (or "*")
// and its extension part (or ".*").
std::string SubfolderPattern(const std::string& folderPath, const std::string& pattern) {
    std::string name = ExtractNameNoExt(pattern);
    std::string ext = ExtractExt(pattern);
    return folderPath + "/" + (name.empty() ? "*" : name) + (ext.empty() ? ".*" : ext);
}

std::string LoadFailure(const std::string& path) {
    std::string cause;
    if (errno == EFBIG) cause = "文件大小达到或超过 2 GB，节点存不下";
    else if (errno == EAGAIN) cause = "读取时文件大小发生了变化";
    else cause = std::strerror(errno);
    return "读文件\"" + path + "\"出错：" + cause;
}

// The caption for an entry name; false with the reason when the store's code
// page cannot hold it exactly.
bool CaptionOf(ImportRun& run, const ImportFileItem& item, const std::string& name, std::string& caption) {
    UnencodableChar failure;
    if (Utf8ToAnsiChecked(name, caption, &failure)) return true;
    run.lastError = "文件名\"" + item.Path + "\"不能作为节点标题：" + UnencodableMessage(failure);
    return false;
}

bool AddRecord(ImportRun& run, CaseNode& node, int32_t parentId) {
    node.Id = run.db.TakeNextId(false);
    node.Parent = parentId;
    node.Order = 0;
    if (node.Id == 0) {
        run.lastError = "没有可用的节点编号";
        return false;
    }
    run.db.AddNode(node);
    return true;
}

bool ImportFolder(ImportRun& run, const ImportFileItem& item, int32_t parentId) {
    CaseNode node;
    if (!CaptionOf(run, item, item.Name, node.Caption)) return false;
    node.Type = kNodeFolder;
    node.SetDataFromText("");
    if (!AddRecord(run, node, parentId)) return false;
    for (const auto& child : item.Children)
        if (!ImportItem(run, *child, node.Id)) return false;
    return true;
}

bool ImportFile(ImportRun& run, const ImportFileItem& item, int32_t parentId) {
    if (run.OnFile) run.OnFile(item, run.importedCount + 1);
    if (run.stopRequested) return false;
    CaseNode node;
    node.Type = static_cast<uint8_t>(KindByExtension(item.Name, run.identifyExt));
    bool isFile = node.Type == kNodeFile;
    if (!CaptionOf(run, item, isFile ? item.Name : ExtractNameNoExt(item.Name), node.Caption)) return false;
    if (!(run.Load ? run.Load(node, item.Path, isFile) : node.LoadFromFile(item.Path, isFile))) {
        run.lastError = LoadFailure(item.Path);
        return false;
    }
    if (!AddRecord(run, node, parentId)) return false;
    ++run.importedCount;
    return true;
}

}  // namespace

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

void ScanFolder(ImportFileItem& parent, bool scanSubfolders, bool files, const std::string& patternPath,
                ScanState& state) {
    const std::string folder = ExtractDir(patternPath);
    const std::string pattern = ExtractFileNameExt(patternPath);
    const std::vector<DirEntry> entries = ListFolder(folder);
    if (scanSubfolders) {
        for (const DirEntry& e : entries) {
            if (!IsFolderEntry(e) || !FirstVisit(state, e.st)) continue;
            auto child = MakeItem(folder, e);
            ScanFolder(*child, true, files, SubfolderPattern(child->Path, pattern), state);
            parent.Children.push_back(std::move(child));
        }
    }
    if (files) {
        for (const DirEntry& e : entries)
            if (!IsFolderEntry(e) && MatchPattern(e.name, pattern)) parent.Children.push_back(MakeItem(folder, e));
    }
}

std::unique_ptr<ImportFileItem> CollectFiles(const std::vector<KELFileItem>& selected, const std::string& pattern) {
    auto root = std::make_unique<ImportFileItem>();
    ScanState state;
    for (const auto& item : selected) {
        struct stat st;
        if (item.IsFolder()) {
            std::string path = item.Path;
            while (path.size() > 1 && path.ends_with("/")) path.pop_back();
            if (stat(path.c_str(), &st) != 0 || !FirstVisit(state, st)) continue;
            ScanFolder(*root, true, true, path + "/" + pattern, state);
        } else if (stat(item.Path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) {
            // Taken by its own entry, so a name with wildcard characters means itself.
            DirEntry entry{ExtractFileNameExt(item.Path), st, true};
            root->Children.push_back(MakeItem(ExtractDir(item.Path), entry));
        }
    }
    return root;
}

void WalkItems(const ImportFileItem& root, const std::function<void(const ImportFileItem&)>& visit) {
    for (const auto& child : root.Children) {
        visit(*child);
        WalkItems(*child, visit);
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

bool ImportItem(ImportRun& run, const ImportFileItem& item, int32_t parentId) {
    return item.IsFolder() ? ImportFolder(run, item, parentId) : ImportFile(run, item, parentId);
}

ImportOutcome ImportAll(ImportRun& run, const ImportFileItem& root, int32_t target,
                        const std::function<bool(const std::string& name)>& askIgnore,
                        const std::function<void()>& beforeCommit) {
    run.stopRequested = false;
    run.importedCount = 0;
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
        run.db.Rollback();
        return run.stopRequested ? ImportOutcome::kStopped : ImportOutcome::kFailed;
    }
    if (beforeCommit) beforeCommit();
    if (!run.db.Commit()) {
        run.lastError = "数据库写入失败";
        run.db.Rollback();
        return ImportOutcome::kFailed;
    }
    return ImportOutcome::kDone;
}
