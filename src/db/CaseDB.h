// The case store: one database file holding the node tree ("Case"), the
// settings that travel with it ("Parameter") and the bookmarks ("Bookmarks").
// Captions and contents are sealed under the content key set by Login.
//
// Every operation of a closed store returns false, 0 or an empty result and
// changes nothing. Only TakeNextId (when asked), Login (first password),
// ChangePassword, AddBookmark, RemoveBookmark and Pack commit by themselves.
// The result of every call that changes the store must be looked at.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "db/CaseNode.h"
#include "public/DES.h"

namespace mk {
class Storage;
class View;
}

// Failures of the store are reported through this reporter (default: one
// line on stderr); the window program shows a box. Internal ones read
// "Assertion failed: <condition>, file db/CaseDB, line <n>"; a write the
// system refused names the file and the cause ("磁盘已满，…" for a full disk).
using InternalFailureReporter = std::function<void(const std::string& message)>;
void SetInternalFailureReporter(InternalFailureReporter reporter);   // empty: default
void ReportInternalFailure(const char* condition, const char* file, int line);
void ReportWriteFailure(const std::string& path, int err);

// Progress of ChangePassword, as plain callbacks; any may be empty.
struct PasswordProgress {
    std::function<void(int)> SetMaximum;
    std::function<void(int)> SetPosition;
    std::function<void()> ProcessEvents;   // let pending window events run once
};

// One row of Case as stored: captions and contents still sealed. Reading it
// is the only part of GetNode that touches the storage; opening it needs only
// the content key, so a search reads rows under one lock and opens them on
// other threads.
struct SealedNode {
    int32_t Id = 0;
    int32_t Parent = 0;
    int32_t Order = 0;
    uint8_t Type = 0;
    double Created = 0;
    double Modified = 0;
    std::string Attribute;
    std::string SealedCaption;
    std::string SealedData;   // empty when not read or empty content
};

class CaseDB {
public:
    // Nodes of a damaged tree: what neither the top level (0) nor the recycle
    // bin (-1) leads to, each id once, in row order.
    struct TreeDamage {
        std::vector<int32_t> circles;       // nodes whose parent links run round in a circle
        std::vector<int32_t> orphans;       // nodes whose parent is no node
        std::vector<int32_t> unreachable;   // every node no walk from 0 or -1 reaches (the above among them)
    };

    enum OpenResult {
        kOpened = 0,
        kFileMissing = 1,
        kLockFailed = 2,      // another process or CaseDB holds the database for writing
        kNotDatabase = 3,     // not a database of this system
        kOpenFailed = 4,      // the file could not be read (cause in OpenErrno)
    };

    CaseDB();
    ~CaseDB();
    CaseDB(const CaseDB&) = delete;
    CaseDB& operator=(const CaseDB&) = delete;

    int Open(const std::string& path, bool create);
    // Opens for reading only, also while a writer has the database open: it
    // reads the last commit as it was at open. No lock file, nothing is ever
    // written (works on read-only media). Every change is refused.
    int OpenReadOnly(const std::string& path);
    void Close();   // uncommitted changes are lost; releases and deletes the lock file
    bool IsOpen() const;
    bool IsReadOnly() const { return readOnly_; }
    const std::string& Path() const { return path_; }
    bool IsLoggedIn() const { return loggedIn_; }
    // errno of the system call that made the last Open fail; 0 when the
    // cause was no system error (lock held by another, not a database).
    int OpenErrno() const { return openErrno_; }
    // The last Open found a damaged end and opened at the last complete commit.
    bool Recovered() const { return recovered_; }
    // No password set yet: no password check and no nodes (the next Login of a
    // writable store makes its password the database's).
    bool NeedsFirstPassword();

    // A failed commit leaves the file at the last commit and as long as it
    // was; the changes stay for another commit or a rollback.
    [[nodiscard]] bool Commit();
    [[nodiscard]] bool Rollback();
    // The next node id: at least 1 and above every id in the file, whatever
    // the counter says. 0 when no id is left (the counter or an id at the top
    // of the range) or the store cannot be written.
    [[nodiscard]] int32_t TakeNextId(bool commit);

    [[nodiscard]] bool AddNode(const CaseNode& node);
    bool GetNode(int32_t id, CaseNode& node, bool withData);
    [[nodiscard]] bool SaveNode(const CaseNode& node);
    [[nodiscard]] bool DeleteNode(int32_t id);
    [[nodiscard]] bool MoveNode(int32_t id, int32_t newParent);
    bool IsDescendant(int32_t ancestor, int32_t candidate);
    int32_t MaxChildOrder(int32_t parent);
    // The Order for a new last child of parent. When a child already holds
    // the highest Order, the children are first numbered 1, 2, ... in their
    // order (uncommitted, like the add that follows). 0 when the store cannot
    // be written.
    [[nodiscard]] int32_t NextChildOrder(int32_t parent);
    std::vector<int32_t> GetChildren(int32_t parent);
    int CountDescendants(int32_t id);
    int NodeCount() const;   // rows of Case
    std::vector<int32_t> AllNodeIds() const;   // in row order

    // The walk from id up through its parents, the one every caller uses: id
    // first, then its parent, and so on, each id once. It ends with the top
    // level (0) or the recycle bin (-1) when id lies in the tree; otherwise
    // with the last node reached: one whose parent is no node, or whose parent
    // is already on the walk (parent links of a damaged file running in a
    // circle). {id} for 0 and -1; empty when id is no node.
    std::vector<int32_t> Ancestry(int32_t id);
    static bool ReachesRoot(const std::vector<int32_t>& ancestry);
    TreeDamage FindTreeDamage();
    // Moves every node no walk from 0 or -1 reaches under a new top-level
    // folder with caption (in the code page), breaking circles, so all of
    // them are in the tree again. Returns how many nodes were unreachable
    // (0: nothing changed, no folder); -1 on failure. Uncommitted.
    [[nodiscard]] int RecoverUnreachable(const std::string& caption);
    // The caption of node id opens cleanly: a whole sealed block ending in
    // its zero byte. GetNode still reads a caption whose length word is
    // damaged, up to its first zero byte.
    bool CaptionIntact(int32_t id);

    // Row row (0 to NodeCount() - 1) as stored, its content only when asked.
    // When only the bytes cannot be read (false), the id and kind are still set.
    bool ReadSealedRow(int row, SealedNode& sealed, bool withData);
    // The node of a sealed row under the content key; false when its caption
    // or content cannot be opened. Changes nothing, so any thread may call it
    // while the store stays open and logged in.
    bool OpenSealedNode(const SealedNode& sealed, CaseNode& node, bool withData) const;

    std::string GetParam(const std::string& key, const std::string& defaultValue);
    [[nodiscard]] bool SetParam(const std::string& key, const std::string& value);
    bool GetParamBool(const std::string& key, bool defaultValue);
    [[nodiscard]] bool SetParamBool(const std::string& key, bool value);
    int32_t GetParamInt(const std::string& key, int32_t defaultValue);
    [[nodiscard]] bool SetParamInt(const std::string& key, int32_t value);

    [[nodiscard]] bool AddBookmark(int32_t id);
    [[nodiscard]] bool RemoveBookmark(int32_t id);
    bool IsBookmark(int32_t id);
    std::vector<int32_t> GetBookmarks();

    // Checks the password against PassCheckSum (the first password of a new,
    // empty database becomes its password) and sets the content key. When
    // the check value is damaged (unreadable, or not the password's) but the
    // password's key opens the stored captions, the login succeeds and
    // PasswordCheckDamaged says so.
    [[nodiscard]] bool Login(const std::string& password);
    bool PasswordCheckDamaged() const { return checkDamaged_; }
    // What the window and the command line say after such a login.
    static std::string PasswordCheckDamagedMessage(const std::string& path);
    // Re-seals every node under the new password. cancel is read before every
    // record; nonzero rolls everything back. False leaves password and data as before.
    [[nodiscard]] bool ChangePassword(const std::string& oldPassword, const std::string& newPassword,
                        const unsigned char& cancel, const PasswordProgress& progress);
    // Rewrites the file compacted (swap file, backup, renames); stays open and logged in.
    [[nodiscard]] bool Pack();

    // Names of the files beside the database.
    static std::string LockPath(const std::string& dbPath);     // path + ".lock"
    static std::string SwapPath(const std::string& dbPath);     // extension -> ".$_swp"
    static std::string BackupPath(const std::string& dbPath);   // extension -> ".$_bak"

private:
    int OpenFile(const std::string& path, bool create, bool readOnly);
    bool Lock();
    void Unlock();
    bool CanWrite() const { return IsOpen() && !readOnly_; }
    bool BindViews();
    void ReleaseStorage();
    int FindNodeRow(int32_t id) const;
    int FindParamRow(const std::string& key) const;
    int FindBookmarkRow(int32_t id) const;
    int OpenStorage(bool isNew);
    bool RestoreBackup();
    bool WriteRow(int row, const CaseNode& node, const DesKey& key);
    bool ReadRow(int row, CaseNode& node, bool withData, const DesKey& key);
    static bool OpenSealed(const SealedNode& sealed, CaseNode& node, bool withData, const DesKey& key);
    bool RollbackChecked(int line);
    using ChildMap = std::unordered_map<int32_t, std::vector<int32_t>>;
    ChildMap Children() const;   // ids below each parent id, in row order
    static std::vector<int32_t> Below(const ChildMap& children, int32_t id);
    std::vector<int32_t> Subtree(int32_t id) const;
    int32_t ParentOfRow(int row) const;
    bool CaptionOpens(int row, const DesKey& key) const;
    bool KeyOpensCaptions(const DesKey& key) const;
    enum PasswordFit { kPasswordWrong, kPasswordFits, kPasswordFitsDamagedCheck };
    PasswordFit CheckPassword(const std::string& password, const DesKey& key);

    std::string path_;       // as the caller named it
    std::string filePath_;   // the file itself (links resolved): renames, swap, backup
    DesKey key_{};
    bool loggedIn_ = false;
    bool checkDamaged_ = false;
    bool readOnly_ = false;
    bool recovered_ = false;
    int openErrno_ = 0;
    std::unique_ptr<mk::Storage> storage_;
    int fileLockFd_ = -1;   // writer's lock on the database file itself
    int lockFd_ = -1;       // the ".lock" file beside it (writers; -1 when left alone)
    std::vector<int> supersededLockFds_;   // files a pack replaced
    std::string lockPath_;
    mk::View* case_ = nullptr;
    mk::View* parameter_ = nullptr;
    mk::View* bookmarks_ = nullptr;
    // Column indices of Case, Parameter and Bookmarks, found at binding.
    int cId_ = 0, cParent_ = 1, cOrder_ = 2, cType_ = 3, cCaption_ = 4, cCreated_ = 5,
        cModified_ = 6, cAttribute_ = 7, cData_ = 8;
    int pName_ = 0, pValue_ = 1, bId_ = 0;
    // Row of each node id (the first row when a damaged file repeats an id),
    // built on first use and dropped whenever rows move.
    mutable std::unordered_map<int32_t, int> rowOfId_;
    mutable bool rowIndexValid_ = false;
};
