// Import of files and folder trees into the store: collecting the tree with a
// file pattern, counting it, and writing it as nodes under one target with a
// single commit at the end (rollback on stop or an error not ignored).
// Texts are UTF-8; captions go to the store in its code page.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "db/CaseDB.h"
#include "kellib/KELFileItem.h"

// One node of the collected import tree.
struct ImportFileItem : KELFileItem {
    std::string Name;    // the entry's own name
    std::string Error;   // why the scan found the entry cannot be imported; "" when it can
    std::vector<std::unique_ptr<ImportFileItem>> Children;

    ImportFileItem() = default;
    ~ImportFileItem();   // frees a tree of any depth without recursing
};

// The pattern of the pattern box: trimmed, "*.*" when empty.
std::string NormalizePattern(const std::string& text);
// Matching as the folder listing does it: wildcards * and ?, a trailing ".*"
// also matches a name without extension, so "*.*" matches every name.
// Letter case counts, as it does on this file system.
bool MatchPattern(const std::string& name, const std::string& pattern);

// A chosen folder is added unless an already selected folder's path occurs in it.
bool ShouldAddFolder(const std::vector<KELFileItem>& selected, const std::string& path);

// The whole tree for the selected items; folders are scanned with pattern.
// A selected folder's entries become children of the root, a selected file
// an item of its own. In every folder the subfolders come first, then the
// files matching the pattern (subfolders themselves are all taken), each
// group sorted by name. Links to files are followed; a folder (by device and
// inode) is taken once: every real folder is scanned before any link to a
// folder is followed, so a folder reached through a link as well keeps its
// own name, and a link to a folder already taken (a loop, a second link) is
// left out. Entries that cannot be imported (an unreadable folder, a dangling
// link, a FIFO, socket or device) are kept with their Error, so the import
// reports them.
std::unique_ptr<ImportFileItem> CollectFiles(const std::vector<KELFileItem>& selected, const std::string& pattern);

struct ImportTotals {
    int folderCount = 0;
    int fileCount = 0;
    int64_t totalSize = 0;
};
// Depth-first over the tree below root (root itself not visited), in order.
void WalkItems(const ImportFileItem& root, const std::function<void(const ImportFileItem&)>& visit);
ImportTotals CountItems(const ImportFileItem& root);
// "1024字节", "2KB(1025字节)", "1024KB(1048576字节)", "3MB(...字节)".
std::string SizeText(int64_t totalSize);

// Node kind a file name gives: kind 3 unless identifyExt and its lower-cased
// extension is one that export writes for another kind.
int KindByExtension(const std::string& name, bool identifyExt);

// One run of the import. OnFile is called before each file (the wizard shows
// it and lets pending events run, which may set stopRequested). With
// skipErrors an entry that cannot be imported (and everything below it) is
// left out, reported through OnSkip with its cause, and the import goes on;
// without, the first such entry fails its top-level item.
struct ImportRun {
    explicit ImportRun(CaseDB& store) : db(store) {}
    CaseDB& db;
    bool identifyExt = true;
    bool skipErrors = false;
    int importedCount = 0;
    int skippedCount = 0;
    bool stopRequested = false;
    std::function<void(const ImportFileItem& file, int position)> OnFile;
    std::function<void(const std::string& line)> OnSkip;
    // Reads a file into node (CaseNode::LoadFromFile when empty); false with
    // errno set. The wizard reads on another thread through it.
    std::function<bool(CaseNode& node, const std::string& path, bool withFileInfo)> Load;
    std::string lastError;   // why the last item failed (UTF-8)
};

// Adds item (a folder with its contents, or a file) below parentId; nothing
// is committed. False when an entry failed (and was not skipped), the store
// refused a node, or a stop was requested.
bool ImportItem(ImportRun& run, const ImportFileItem& item, int32_t parentId);

enum class ImportOutcome { kDone, kStopped, kFailed };
// Imports every child of root below target. askIgnore(name) decides whether a
// failed top-level item is skipped (true) or ends the import. beforeCommit
// runs just before the commit. Done commits; stopped and failed roll back.
ImportOutcome ImportAll(ImportRun& run, const ImportFileItem& root, int32_t target,
                        const std::function<bool(const std::string& name)>& askIgnore,
                        const std::function<void()>& beforeCommit = {});
