// The case store: one database file holding the node tree ("Case"), the
// settings that travel with it ("Parameter") and the bookmarks ("Bookmarks").
// Captions and contents are sealed under the content key set by Login.
//
// Every operation of a closed store returns false, 0 or an empty result and
// changes nothing. Only TakeNextId (when asked), Login (first password),
// ChangePassword, AddBookmark, RemoveBookmark and Pack commit by themselves.
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
    bool Commit();
    bool Rollback();
    // The next node id: at least 1 and above every id in the file, whatever
    // the counter says. 0 when no id is left (the counter or an id at the top
    // of the range) or the store cannot be written.
    int32_t TakeNextId(bool commit);

    bool AddNode(const CaseNode& node);
    bool GetNode(int32_t id, CaseNode& node, bool withData);
    bool SaveNode(const CaseNode& node);
    bool DeleteNode(int32_t id);
    bool MoveNode(int32_t id, int32_t newParent);
    bool IsDescendant(int32_t ancestor, int32_t candidate);
    int32_t MaxChildOrder(int32_t parent);
    std::vector<int32_t> GetChildren(int32_t parent);
    int CountDescendants(int32_t id);
    int NodeCount() const;   // rows of Case
    std::vector<int32_t> AllNodeIds() const;   // in row order

    // Row row (0 to NodeCount() - 1) as stored, its content only when asked.
    // When only the bytes cannot be read (false), the id and kind are still set.
    bool ReadSealedRow(int row, SealedNode& sealed, bool withData);
    // The node of a sealed row under the content key; false when its caption
    // or content cannot be opened. Changes nothing, so any thread may call it
    // while the store stays open and logged in.
    bool OpenSealedNode(const SealedNode& sealed, CaseNode& node, bool withData) const;

    std::string GetParam(const std::string& key, const std::string& defaultValue);
    bool SetParam(const std::string& key, const std::string& value);
    bool GetParamBool(const std::string& key, bool defaultValue);
    bool SetParamBool(const std::string& key, bool value);
    int32_t GetParamInt(const std::string& key, int32_t defaultValue);
    bool SetParamInt(const std::string& key, int32_t value);

    bool AddBookmark(int32_t id);
    bool RemoveBookmark(int32_t id);
    bool IsBookmark(int32_t id);
    std::vector<int32_t> GetBookmarks();

    // Checks the password against PassCheckSum (the first password of a new,
    // empty database becomes its password) and sets the content key.
    bool Login(const std::string& password);
    // Re-seals every node under the new password. cancel is read before every
    // record; nonzero rolls everything back. False leaves password and data as before.
    bool ChangePassword(const std::string& oldPassword, const std::string& newPassword,
                        const unsigned char& cancel, const PasswordProgress& progress);
    // Rewrites the file compacted (swap file, backup, renames); stays open and logged in.
    bool Pack();

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
    std::vector<int32_t> Subtree(int32_t id) const;

    std::string path_;       // as the caller named it
    std::string filePath_;   // the file itself (links resolved): renames, swap, backup
    DesKey key_{};
    bool loggedIn_ = false;
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
