#include "transfer/ExportFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "kellib/Kelcodepage.h"
#include "kellib/Kelfilelib.h"

namespace {

bool Exists(const std::string& path, bool wantFolder) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) return false;
    return wantFolder ? S_ISDIR(st.st_mode) : !S_ISDIR(st.st_mode);
}

void Report(ExportRun& run, const std::string& line) {
    if (run.OnReport) run.OnReport(line);
}

bool Fail(ExportRun& run, const std::string& why) {
    run.lastError = why;
    Report(run, why);
    return false;
}

// A new empty file of this user in folder under a name no export uses
// otherwise; "" with errno when none can be made.
std::string MakeTemporary(const std::string& folder) {
    static std::mt19937 random{std::random_device{}()};
    for (int attempt = 0; attempt < 100; ++attempt) {
        char name[40];
        std::snprintf(name, sizeof name, ".vl-export-%08x.part", static_cast<unsigned>(random()));
        std::string temporary = folder + name;
        int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd >= 0) {
            close(fd);
            return temporary;
        }
        if (errno != EEXIST) return "";
    }
    return "";
}

// Writes the content under a temporary name beside target, with its times
// and attributes, and renames it into place; its folder is made first when missing.
bool WriteTarget(ExportRun& run, int32_t id, const std::string& target) {
    if (run.OnFile) run.OnFile(target);
    CaseNode node;
    if (!run.db.GetNode(id, node, true)) return Fail(run, "读节点" + std::to_string(id) + "的内容出错。");
    std::string dir = ExtractDir(target);
    if (!Exists(dir, true)) {
        if (!ForceDirs(dir)) return Fail(run, "创建目录\"" + dir + "\"出错：" + std::strerror(errno));
        ++run.folderCount;
    }
    const std::string temporary = MakeTemporary(dir);
    bool written = !temporary.empty() && node.SaveToFile(temporary) && rename(temporary.c_str(), target.c_str()) == 0;
    if (!written) {
        int err = errno;
        if (!temporary.empty()) unlink(temporary.c_str());
        return Fail(run, "写文件\"" + target + "\"出错：" + std::strerror(err));
    }
    ++run.fileCount;
    return true;
}

// Writes the node when its kind and the options say so; target gets the
// extension of a non-file kind.
bool WriteNode(ExportRun& run, const CaseNode& node, std::string& target) {
    if (node.Type == kNodeFile) {
        if (Exists(target, false)) {
            if (!run.options.overwrite) {
                Report(run, "文件\"" + target + "\"已存在，忽略。");
                return true;
            }
            Report(run, "文件\"" + target + "\"被覆盖。");
        }
        return WriteTarget(run, node.Id, target);
    }
    std::string ext = ExportExtension(node.Type);
    if (!run.options.exportNonFileNodes || ext.empty()) return true;
    target += ext;
    return WriteTarget(run, node.Id, target);
}

// The children's folder: target, renamed .1, .2, ... while a file holds the name.
std::string ChildFolder(ExportRun& run, const std::string& target) {
    std::string folder = target;
    for (int n = 1; Exists(folder, false); ++n) folder = target + "." + std::to_string(n);
    if (folder != target)
        Report(run, "与文件夹\"" + target + "\"同名的文件已存在，文件夹改名为\"" + folder + "\"");
    return folder;
}

// A node whose children are being exported.
struct Level {
    int32_t id;
    size_t folderLength;   // the children's folder is the walk's path up to here
    std::vector<int32_t> children;
    size_t next;
    uint64_t folderTime;   // set on that folder once its contents are written; 0: none
};

// Lets a requested stop end the export (when confirmed); false then.
bool GoOn(ExportRun& run) {
    if (run.OnNode) run.OnNode();
    if (!run.stopRequested) return true;
    if (!run.ConfirmAbort || run.ConfirmAbort()) return false;
    run.stopRequested = false;
    return true;
}

// The node's file name in folder, reported when its caption cannot be one.
std::string FileNameOf(ExportRun& run, const CaseNode& node, const std::string& folder) {
    const std::string caption = AnsiToUtf8(node.Caption);
    std::string name = ExportFileName(caption);
    if (name != caption)
        Report(run, "节点标题\"" + caption + "\"不能用作文件名，以\"" + folder + "/" + name + "\"导出。");
    return name;
}

// Exports node id into the folder path names. When its children follow,
// path becomes their folder and a level for them is pushed.
bool Enter(ExportRun& run, int32_t id, std::string& path, bool withChildren, std::vector<Level>& levels) {
    CaseNode node;
    if (!run.db.GetNode(id, node, false)) return Fail(run, "读节点" + std::to_string(id) + "出错。");
    if (!GoOn(run)) return false;
    if (run.OnFolder) run.OnFolder(path);
    if (!run.branch.insert(id).second) return Fail(run, "节点" + std::to_string(id) + "在树中循环出现。");
    std::string target = path + "/" + FileNameOf(run, node, path);
    if (!WriteNode(run, node, target)) return false;
    std::vector<int32_t> children = withChildren ? run.db.GetChildren(id) : std::vector<int32_t>{};
    // An empty folder node still becomes a directory when empty ones are kept.
    bool makeEmptyDir = withChildren && node.Type == kNodeFolder && !run.options.ignoreEmptyDir;
    if (children.empty() && !makeEmptyDir) {
        run.branch.erase(id);
        return true;
    }
    path = ChildFolder(run, target);
    if (makeEmptyDir && !Exists(path, true)) {
        if (mkdir(path.c_str(), 0777) != 0) return Fail(run, "创建目录\"" + path + "\"出错：" + std::strerror(errno));
        ++run.folderCount;
    }
    uint64_t folderTime = node.Type == kNodeFolder ? node.GetFileTime("FModifyLow", "FModifyHigh") : 0;
    levels.push_back({id, path.size(), std::move(children), 0, folderTime});
    return true;
}

// Ends a level: its folder (path) gets the folder node's time back.
void Leave(ExportRun& run, const Level& level, const std::string& path) {
    run.branch.erase(level.id);
    if (level.folderTime == 0 || !Exists(path, true)) return;
    int64_t seconds;
    uint32_t nanoseconds;
    FileTimeToUnix(level.folderTime, seconds, nanoseconds);
    struct timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(seconds), static_cast<long>(nanoseconds)}};
    utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

}  // namespace

std::string ExportExtension(int kind) {
    switch (kind) {
    case kNodeText: return ".vl_txt";
    case kNodeHtml: return ".vl_htm";
    case kNodeCard: return ".vl_card";
    case kNodeUrl: return ".vl_url";
    case kNodeRtf: return ".vl_rtf";
    case kNodeWhiteboard: return ".vl_bmp";
    case kNodeSound: return ".vl_wave";
    default: return "";
    }
}

std::string ExportFileName(const std::string& caption) {
    if (caption.empty()) return "未命名";
    if (caption == ".") return "．";
    if (caption == "..") return "．．";
    std::string name;
    for (char c : caption) {
        if (c == '/') name += "／";
        else if (c == '\0') name += "\xEF\xBF\xBD";
        else name += c;
    }
    return name;
}

bool PrepareDestination(std::string& destination) {
    if (destination.size() > 1 && destination.ends_with("/")) destination.pop_back();
    if (destination.empty()) return false;
    return Exists(destination, true) || ForceDirs(destination);
}

bool ExportNode(ExportRun& run, int32_t id, const std::string& folder, bool includeSubNodes) {
    // Depth-first with an explicit stack; one path string serves every level,
    // each level's folder being its parent's with more appended.
    std::string path = folder;
    std::vector<Level> levels;
    bool ok = Enter(run, id, path, includeSubNodes, levels);
    while (ok && !levels.empty()) {
        Level& level = levels.back();
        path.resize(level.folderLength);
        if (level.next == level.children.size()) {
            Leave(run, level, path);
            levels.pop_back();
            continue;
        }
        ok = Enter(run, level.children[level.next++], path, true, levels);
    }
    return ok;
}
