// Export of a node, and optionally its subtree, to a folder on disk: file
// nodes become their files again (times, attribute word and executable bits
// restored), other kinds files whose extension names the kind, folders
// directories (with their times). Each file is written under a temporary
// name beside its target and renamed into place once whole, so an
// interrupted export never leaves a partial file under a real name. A
// caption that cannot be a file name is written under a substitute (see
// ExportFileName) with a report line, so nothing is ever written outside the
// chosen folder. The walk keeps its own stack: a tree of any depth is
// exported or stops with a message naming the path the file system refused.
// Texts are UTF-8.
#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <string>

#include "db/CaseDB.h"

struct ExportOptions {
    bool overwrite = true;
    bool includeSubNodes = true;
    bool exportNonFileNodes = true;
    bool ignoreEmptyDir = true;
};

// ".vl_txt" ... for the kinds export writes besides files; "" for the others.
std::string ExportExtension(int kind);
// The file name for a caption: itself when it can be one, else "未命名" for
// an empty one, "．" and "．．" for "." and "..", "／" for each "/" and U+FFFD
// for each NUL.
std::string ExportFileName(const std::string& caption);

// One run of the export. OnNode runs before each node (the wizard lets
// pending events run there, which may set stopRequested); confirmAbort then
// decides whether a requested stop ends the export.
struct ExportRun {
    ExportRun(CaseDB& store, const ExportOptions& chosen) : db(store), options(chosen) {}
    CaseDB& db;
    ExportOptions options;
    int folderCount = 0;
    int fileCount = 0;
    bool stopRequested = false;
    std::function<void()> OnNode;
    std::function<bool()> ConfirmAbort;
    std::function<void(const std::string& folder)> OnFolder;
    std::function<void(const std::string& file)> OnFile;
    std::function<void(const std::string& line)> OnReport;
    std::string lastError;   // why the export failed, when it did not stop
    std::set<int32_t> branch;   // nodes on the current branch (a damaged tree may loop)
};

// The destination without its trailing "/", created with its parents when
// missing; false when it cannot be had (a file there, no permission).
bool PrepareDestination(std::string& destination);

bool ExportNode(ExportRun& run, int32_t id, const std::string& folder, bool includeSubNodes);
