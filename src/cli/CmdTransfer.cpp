// import and export: files and folder trees into the store and back, on the
// same walks as the window's wizards. Report lines go to stderr, a progress
// line too when it is a terminal; a failed import commits nothing.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "cli/Commands.h"
#include "cli/StoreSession.h"
#include "transfer/ExportFiles.h"
#include "transfer/ImportFiles.h"

namespace cli {

namespace {

const char* const kImportUsage =
    "import DB PARENT PATH... [--pattern P] [--no-identify] [--skip-errors]\n"
    "      Imports files and folder trees below node PARENT (0: the top level) in one commit.\n"
    "      Folders take the files matching P (default *.*), subfolders all; files named\n"
    "      *.vl_txt, *.vl_htm, ... become nodes of their kind unless --no-identify.\n"
    "      An entry that cannot be imported ends the import with nothing written; with\n"
    "      --skip-errors it is left out, named on stderr with its cause, and the rest imported.";
const char* const kExportUsage =
    "export DB ID DIR [--no-subnodes] [--files-only] [--no-overwrite] [--keep-empty-dirs]\n"
    "      Writes node ID (and its subtree) into DIR: file nodes as their files with times\n"
    "      and permissions, other kinds with their .vl_* extension (not with --files-only).\n"
    "      A caption that cannot be a file name is written under a substitute, named on stderr.";

// Takes the options of this command out of args; the rest is left for the
// common parser. False with a message when a value is missing.
struct TransferOptions {
    std::string pattern = "*.*";
    bool noIdentify = false, noSubnodes = false, filesOnly = false, noOverwrite = false, keepEmptyDirs = false,
         skipErrors = false;
};
bool TakeTransferOptions(Args& args, TransferOptions& out) {
    const std::pair<const char*, bool*> flags[] = {{"--no-identify", &out.noIdentify},
                                                   {"--no-subnodes", &out.noSubnodes},
                                                   {"--files-only", &out.filesOnly},
                                                   {"--no-overwrite", &out.noOverwrite},
                                                   {"--keep-empty-dirs", &out.keepEmptyDirs},
                                                   {"--skip-errors", &out.skipErrors}};
    Args rest;
    for (size_t i = 0; i < args.size(); ++i) {
        bool taken = false;
        for (const auto& [name, flag] : flags)
            if (args[i] == name) taken = *flag = true;
        if (args[i] == "--pattern") {
            if (i + 1 == args.size()) {
                Fail(kExitUsage, "--pattern needs a value");
                return false;
            }
            out.pattern = NormalizePattern(args[++i]);
            taken = true;
        }
        if (!taken) rest.push_back(args[i]);
    }
    args = std::move(rest);
    return true;
}

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

int Import(const Args& original) {
    Args args = original;
    TransferOptions options;
    if (!TakeTransferOptions(args, options)) return kExitUsage;
    return WithDatabase(args, kWrites, 3, SIZE_MAX, kImportUsage, [&](CaseDB& db, const StoreArgs& a, const std::string&) {
        int32_t parent;
        if (int rc = ParentArg(db, a, 1, parent); rc) return rc;
        std::vector<KELFileItem> selected;
        for (size_t i = 2; i < a.positional.size(); ++i) {
            struct stat st;
            if (stat(a.positional[i].c_str(), &st) != 0)
                return Fail(kExitError, "读文件\"" + a.positional[i] + "\"出错：" + std::strerror(errno));
            selected.emplace_back(a.positional[i]);
        }
        auto root = CollectFiles(selected, options.pattern);
        const ImportTotals totals = CountItems(*root);
        ProgressLine progress;
        ImportRun run(db);
        run.identifyExt = !options.noIdentify;
        run.skipErrors = options.skipErrors;
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
        std::printf("%d个文件夹，%d个文件，文件大小总共%s。\n", totals.folderCount, totals.fileCount,
                    SizeText(totals.totalSize).c_str());
        if (run.skippedCount) std::printf("其中%d项不能导入，已跳过。\n", run.skippedCount);
        return kExitOk;
    });
}

int Export(const Args& original) {
    Args args = original;
    TransferOptions options;
    if (!TakeTransferOptions(args, options)) return kExitUsage;
    return WithDatabase(args, kReads, 3, 3, kExportUsage, [&](CaseDB& db, const StoreArgs& a, const std::string&) {
        CaseNode node;
        if (int rc = NodeArg(db, a, 1, node, false); rc) return rc;
        std::string destination = a.positional[2];
        if (!PrepareDestination(destination)) return Fail(kExitError, "创建目录\"" + destination + "\"出错！");
        ExportOptions chosen;
        chosen.overwrite = !options.noOverwrite;
        chosen.includeSubNodes = !options.noSubnodes;
        chosen.exportNonFileNodes = !options.filesOnly;
        chosen.ignoreEmptyDir = !options.keepEmptyDirs;
        ProgressLine progress;
        ExportRun run(db, chosen);
        run.OnFile = [&](const std::string& file) { progress.Show("正在导出: " + file); };
        run.OnReport = [&](const std::string& line) {
            progress.Clear();
            std::fprintf(stderr, "%s\n", line.c_str());
        };
        bool ok = ExportNode(run, node.Id, destination, chosen.includeSubNodes);
        progress.Clear();
        std::printf("文件夹总数: %d\n文件总数: %d\n", run.folderCount, run.fileCount);
        return ok ? kExitOk : Fail(kExitError, "导出文件时出错。");
    });
}

}  // namespace

const std::vector<Command>& TransferCommands() {
    static const std::vector<Command> commands = {
        {"import", kImportUsage, Import},
        {"export", kExportUsage, Export},
    };
    return commands;
}

}  // namespace cli
