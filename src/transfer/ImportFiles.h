// Import of files and folder trees into the store: collecting the tree with a
// file pattern, counting it, and writing it as nodes under one target with a
// single commit at the end (rollback on stop or an error not ignored).
// Texts are UTF-8; captions go to the store in its code page.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "db/CaseDB.h"
#include "kellib/KELFileItem.h"

// One node of the collected import tree.
struct ImportFileItem : KELFileItem {
    std::string Name;   // the entry's own name
    std::vector<std::unique_ptr<ImportFileItem>> Children;
};

// The pattern of the pattern box: trimmed, "*.*" when empty.
std::string NormalizePattern(const std::string& text);
// Matching as the folder listing does it: wildcards * and ?, a trailing ".*"
// also matches a name without extension, so "*.*" matches every name.
// Letter case counts, as it does on this file system.
bool MatchPattern(const std::string& name, const std::string& pattern);

// A chosen folder is added unless an already selected folder's path occurs in it.
bool ShouldAddFolder(const std::vector<KELFileItem>& selected, const std::string& path);

// Scans what patternPath names into parent: with scanSubfolders every
// subfolder first (recursively, each followed by its contents), then with
// files the entries matching the pattern. Links to files are followed; a
// folder reached a second time (a link loop or a second link to it) is left out.
struct ScanState {
    std::set<std::pair<uint64_t, uint64_t>> visitedFolders;   // device, inode
};
void ScanFolder(ImportFileItem& parent, bool scanSubfolders, bool files, const std::string& patternPath,
                ScanState& state);
// The whole tree for the selected items; folders are scanned with pattern.
std::unique_ptr<ImportFileItem> CollectFiles(const std::vector<KELFileItem>& selected, const std::string& pattern);

struct ImportTotals {
    int folderCount = 0;
    int fileCount = 0;
    int64_t totalSize = 0;
};
// Depth-first over the tree below root (root itself not visited).
void WalkItems(const ImportFileItem& root, const std::function<void(const ImportFileItem&)>& visit);
ImportTotals CountItems(const ImportFileItem& root);
// "1024字节", "2KB(1025字节)", "1024KB(1048576字节)", "3MB(...字节)".
std::string SizeText(int64_t totalSize);

// Node kind a file name gives: kind 3 unless identifyExt and its lower-cased
// extension is one that export writes for another kind.
int KindByExtension(const std::string& name, bool identifyExt);

// One run of the import. OnFile is called before each file (the wizard shows
// it and lets pending events run, which may set stopRequested).
struct ImportRun {
    explicit ImportRun(CaseDB& store) : db(store) {}
    CaseDB& db;
    bool identifyExt = true;
    int importedCount = 0;
    bool stopRequested = false;
    std::function<void(const ImportFileItem& file, int position)> OnFile;
    // Reads a file into node (CaseNode::LoadFromFile when empty); false with
    // errno set. The wizard reads on another thread through it.
    std::function<bool(CaseNode& node, const std::string& path, bool withFileInfo)> Load;
    std::string lastError;   // why the last item failed (UTF-8)
};

// Adds item (a folder with its contents, or a file) below parentId; nothing is committed.
bool ImportItem(ImportRun& run, const ImportFileItem& item, int32_t parentId);

enum class ImportOutcome { kDone, kStopped, kFailed };
// Imports every child of root below target. askIgnore(name) decides whether a
// failed top-level item is skipped (true) or ends the import. beforeCommit
// runs just before the commit. Done commits; stopped and failed roll back.
ImportOutcome ImportAll(ImportRun& run, const ImportFileItem& root, int32_t target,
                        const std::function<bool(const std::string& name)>& askIgnore,
                        const std::function<void()>& beforeCommit = {});
