#include "transfer/ExportFiles.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "kellib/Kelcodepage.h"
#include "kellib/Kelfilelib.h"

namespace {

bool Exists(const std::string& path, bool wantFolder) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) return false;
    return wantFolder ? S_ISDIR(st.st_mode) : !S_ISDIR(st.st_mode);
}

bool IsFileNameSafe(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

void Report(ExportRun& run, const std::string& line) {
    if (run.OnReport) run.OnReport(line);
}

bool Fail(ExportRun& run, const std::string& why) {
    run.lastError = why;
    Report(run, why);
    return false;
}

// Writes the node's content to target, making its folder first when missing.
bool WriteTarget(ExportRun& run, int32_t id, const std::string& target) {
    if (run.OnFile) run.OnFile(target);
    CaseNode node;
    if (!run.db.GetNode(id, node, true)) return Fail(run, "读节点" + std::to_string(id) + "的内容出错。");
    std::string dir = ExtractDir(target);
    if (!Exists(dir, true)) {
        if (!ForceDirs(dir)) return Fail(run, "创建目录\"" + dir + "\"出错：" + std::strerror(errno));
        ++run.folderCount;
    }
    if (!node.SaveToFile(target)) return Fail(run, "写文件\"" + target + "\"出错：" + std::strerror(errno));
    ++run.fileCount;
    return true;
}

// Step 4 of a node: writes it when its kind and the options say so; target
// gets the extension of a non-file kind.
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

bool ExportChildren(ExportRun& run, const CaseNode& node, const std::string& target) {
    std::vector<int32_t> children = run.db.GetChildren(node.Id);
    // An empty folder node still becomes a directory when empty ones are kept.
    bool makeEmptyDir = node.Type == kNodeFolder && !run.options.ignoreEmptyDir;
    if (children.empty() && !makeEmptyDir) return true;
    std::string folder = ChildFolder(run, target);
    if (!Exists(folder, true) && makeEmptyDir) {
        if (mkdir(folder.c_str(), 0777) != 0) return Fail(run, "创建目录\"" + folder + "\"出错：" + std::strerror(errno));
        ++run.folderCount;
    }
    for (int32_t child : children)
        if (!ExportNode(run, child, folder, true)) return false;
    return true;
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

bool PrepareDestination(std::string& destination) {
    if (destination.size() > 1 && destination.ends_with("/")) destination.pop_back();
    if (destination.empty()) return false;
    return Exists(destination, true) || ForceDirs(destination);
}

bool ExportNode(ExportRun& run, int32_t id, const std::string& folder, bool includeSubNodes) {
    CaseNode node;
    if (!run.db.GetNode(id, node, false)) return Fail(run, "读节点" + std::to_string(id) + "出错。");
    if (run.OnNode) run.OnNode();
    if (run.stopRequested) {
        if (!run.ConfirmAbort || run.ConfirmAbort()) return false;
        run.stopRequested = false;
    }
    if (run.OnFolder) run.OnFolder(folder);
    const std::string name = AnsiToUtf8(node.Caption);
    if (!IsFileNameSafe(name)) return Fail(run, "节点标题\"" + name + "\"不能用作文件名。");
    if (!run.branch.insert(id).second) return Fail(run, "节点" + std::to_string(id) + "在树中循环出现。");
    std::string target = folder + "/" + name;
    bool ok = WriteNode(run, node, target) && (!includeSubNodes || ExportChildren(run, node, target));
    run.branch.erase(id);
    return ok;
}
