// import and export: files and folder trees into the store and back, on the
// same walks as the window's wizards. Report lines go to stderr, a progress
// line too when it is a terminal; a failed import commits nothing.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "cli/Commands.h"
#include "cli/Output.h"
#include "cli/StoreSession.h"
#include "transfer/ExportFiles.h"
#include "transfer/ImportFiles.h"

namespace cli {

namespace {

// One line that overwrites itself on a terminal; nothing otherwise.
class ProgressLine {
public:
    ProgressLine() : shown_(isatty(STDERR_FILENO)) {}
    ~ProgressLine() { Clear(); }
    void Show(const std::string& text) {
        if (!shown_) return;
        std::fprintf(stderr, "\r\033[K%s", text.c_str());
        std::fflush(stderr);
        dirty_ = true;
    }
    void Clear() {
        if (!dirty_) return;
        std::fprintf(stderr, "\r\033[K");
        dirty_ = false;
    }

private:
    bool shown_;
    bool dirty_ = false;
};

int Import(const Options& options) {
    return WithDatabase(options, kWrites, [](CaseDB& db, const Options& a, const std::string&) {
        int32_t parent;
        if (int rc = ParentArg(db, a, 1, parent); rc) return rc;
        std::vector<KELFileItem> selected;
        for (size_t i = 2; i < a.positional.size(); ++i) {
            struct stat st;
            if (stat(a.positional[i].c_str(), &st) != 0)
                return Fail(kExitError, "读文件\"" + a.positional[i] + "\"出错：" + std::strerror(errno));
            selected.emplace_back(a.positional[i]);
        }
        auto root = CollectFiles(selected, NormalizePattern(a.pattern));
        const ImportTotals totals = CountItems(*root);
        ProgressLine progress;
        ImportRun run(db);
        run.identifyExt = !a.noIdentify;
        run.skipErrors = a.skipErrors;
        run.OnSkip = [&](const std::string& line) {
            progress.Clear();
            std::fprintf(stderr, "%s\n", line.c_str());
        };
        run.OnFile = [&](const ImportFileItem& file, int position) {
            progress.Show("正在导入: " + std::to_string(position) + "/" + std::to_string(totals.fileCount) + " " + file.Path);
        };
        auto reportError = [&](const std::string&) {
            progress.Clear();
            Fail(kExitError, run.lastError);
            return false;
        };
        ImportOutcome outcome = ImportAll(run, *root, parent, reportError);
        progress.Clear();
        if (outcome != ImportOutcome::kDone) return Fail(kExitError, "数据导入出错，数据已恢复。");
        Print("%d个文件夹，%d个文件，文件大小总共%s。\n", totals.folderCount, totals.fileCount,
              SizeText(totals.totalSize).c_str());
        if (run.skippedCount) Print("其中%d项不能导入，已跳过。\n", run.skippedCount);
        return kExitOk;
    });
}

int Export(const Options& options) {
    return WithDatabase(options, kReads, [](CaseDB& db, const Options& a, const std::string&) {
        CaseNode node;
        if (int rc = NodeArg(db, a, 1, node, false); rc) return rc;
        std::string destination = a.positional[2];
        if (!PrepareDestination(destination)) return Fail(kExitError, "创建目录\"" + destination + "\"出错！");
        ExportOptions chosen;
        chosen.overwrite = !a.noOverwrite;
        chosen.includeSubNodes = !a.noSubnodes;
        chosen.exportNonFileNodes = !a.filesOnly;
        chosen.ignoreEmptyDir = !a.keepEmptyDirs;
        ProgressLine progress;
        ExportRun run(db, chosen);
        run.OnFile = [&](const std::string& file) { progress.Show("正在导出: " + file); };
        run.OnReport = [&](const std::string& line) {
            progress.Clear();
            std::fprintf(stderr, "%s\n", line.c_str());
        };
        bool ok = ExportNode(run, node.Id, destination, chosen.includeSubNodes);
        progress.Clear();
        Print("文件夹总数: %d\n文件总数: %d\n", run.folderCount, run.fileCount);
        return ok ? kExitOk : Fail(kExitError, "导出文件时出错。");
    });
}

}  // namespace

const std::vector<Command>& TransferCommands() {
    static const std::vector<Command> commands = {
        {"import", "DB PARENT PATH...", 3, kAnyCount, kOptPattern | kOptNoIdentify | kOptSkipErrors | kOptPasswordFile,
         "Imports files and folder trees below node PARENT (0: the top level) in one commit.\n"
         "Folders take the files matching P (default *.*), subfolders all; files named\n"
         "*.vl_txt, *.vl_htm, ... become nodes of their kind unless --no-identify.\n"
         "An entry that cannot be imported ends the import with nothing written; with\n"
         "--skip-errors it is left out, named on stderr with its cause, and the rest imported.",
         Import},
        {"export", "DB ID DIR", 3, 3,
         kOptNoSubnodes | kOptFilesOnly | kOptNoOverwrite | kOptKeepEmptyDirs | kOptPasswordFile,
         "Writes node ID (and its subtree) into DIR: file nodes as their files with times\n"
         "and permissions, other kinds with their .vl_* extension (not with --files-only).\n"
         "A caption that cannot be a file name is written under a substitute, named on stderr.",
         Export},
    };
    return commands;
}

}  // namespace cli
