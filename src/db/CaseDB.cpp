#include "db/CaseDB.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <unordered_map>
#include <unordered_set>

#include "db/ContentEnvelope.h"
#include "db/KELMKPackStream.h"
#include "kellib/Kelfilelib.h"
#include "mk/FileIo.h"
#include "mk/Storage.h"
#include "public/CRC32NF.h"
#include "public/ContentKey.h"
#include "public/Wipe.h"

namespace {

const char* const kCaseDescription =
    "Case[Id:I,Parent:I,Order:I,Type:I,Caption:B,Created:D,Modified:D,Attribute:S,Data:B]";
const char* const kParameterDescription = "Parameter[Name:S,Value:S]";
const char* const kBookmarksDescription = "Bookmarks[Id:I]";
const char* const kSourcePath = "db/CaseDB";

InternalFailureReporter& ReporterSlot() {
    static InternalFailureReporter reporter;
    return reporter;
}

bool FileExists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

// Makes renames and deletions in the database's folder durable.
void SyncFolder(const std::string& path) {
    std::string dir = ExtractDir(path);
    int fd = open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);
    close(fd);
}

// Extension of the file name replaced by ext.
std::string WithExtension(const std::string& path, const char* ext) {
    return ExtractPathNoExt(path) + ext;
}

}  // namespace

#define STORE_FAILURE(condition) ReportInternalFailure(condition, kSourcePath, __LINE__)

void SetInternalFailureReporter(InternalFailureReporter reporter) {
    ReporterSlot() = std::move(reporter);
}

namespace {

void Report(const std::string& message) {
    if (ReporterSlot())
        ReporterSlot()(message);
    else
        std::fprintf(stderr, "%s\n", message.c_str());
}

}  // namespace

void ReportInternalFailure(const char* condition, const char* file, int line) {
    Report(std::string("Assertion failed: ") + condition + ", file " + file + ", line " + std::to_string(line));
}

void ReportWriteFailure(const std::string& path, int err) {
    if (err == ENOSPC || err == EDQUOT)
        Report("磁盘已满，不能写入文件\"" + path + "\"。");
    else
        Report("不能写入文件\"" + path + "\"：" + std::strerror(err));
}

CaseDB::CaseDB() = default;

CaseDB::~CaseDB() { Close(); }

std::string CaseDB::LockPath(const std::string& dbPath) { return dbPath + ".lock"; }
std::string CaseDB::SwapPath(const std::string& dbPath) { return WithExtension(dbPath, ".$_swp"); }
std::string CaseDB::BackupPath(const std::string& dbPath) { return WithExtension(dbPath, ".$_bak"); }

// ---- open and close --------------------------------------------------------

namespace {

bool IsRegularOrMissing(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode);
}

// The file a name stands for, links and "./", "../" resolved; the name itself
// when it names nothing yet.
std::string ResolvedPath(const std::string& path) {
    char* real = realpath(path.c_str(), nullptr);
    if (!real) return path;
    std::string resolved(real);
    std::free(real);
    return resolved;
}

// The writer's lock on a database file (or its compacted copy), and on the
// ".lock" file beside it. Neither waits.
bool LockWriterRange(int fd) { return mk::SetRangeLock(fd, mk::LockRange::Writer, true, false); }
bool LockWholeFile(int fd) { return flock(fd, LOCK_EX | LOCK_NB) == 0; }

// A regular file, and with soleName one that no other name shares.
bool IsPlainFile(const struct stat& st, bool soleName) { return S_ISREG(st.st_mode) && (!soleName || st.st_nlink == 1); }

// Opens path and takes lock on it. After locking, the name must still lead
// to the locked file: a holder that just renamed or deleted it leaves a lock
// that guards nothing. Returns the descriptor, or -1 with err set (0: another
// holder has the lock; EINVAL: not a plain file; with soleName, one the name
// shows at once is never opened).
int LockByName(const std::string& path, int openFlags, bool (*lock)(int), bool soleName, int& err) {
    struct stat held, named;
    for (int attempt = 0; attempt < 8; ++attempt) {
        if (soleName && lstat(path.c_str(), &named) == 0 && !IsPlainFile(named, true)) {
            err = EINVAL;
            return -1;
        }
        int fd = open(path.c_str(), openFlags | O_NONBLOCK | O_CLOEXEC, 0600);
        if (fd < 0) {
            err = errno;
            return -1;
        }
        if (fstat(fd, &held) != 0 || !IsPlainFile(held, soleName)) {
            err = EINVAL;
            close(fd);
            return -1;
        }
        if (!lock(fd)) {
            err = errno == EAGAIN || errno == EWOULDBLOCK ? 0 : errno;
            close(fd);
            return -1;
        }
        if (stat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev && held.st_ino == named.st_ino)
            return fd;
        close(fd);
    }
    err = 0;
    return -1;
}

// Whether path still names the file open as fd, under that one name.
bool NamesOnly(const std::string& path, int fd) {
    struct stat held, named;
    return fstat(fd, &held) == 0 && lstat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
           held.st_ino == named.st_ino && IsPlainFile(named, true);
}

}  // namespace

int CaseDB::Open(const std::string& path, bool create) { return OpenFile(path, create, false); }

int CaseDB::OpenReadOnly(const std::string& path) { return OpenFile(path, false, true); }

int CaseDB::OpenFile(const std::string& path, bool create, bool readOnly) {
    Close();
    openErrno_ = 0;
    recovered_ = false;
    path_ = path;
    filePath_ = ResolvedPath(path);
    readOnly_ = readOnly;
    if (!create && !FileExists(filePath_) && !FileExists(BackupPath(filePath_))) return kFileMissing;
    if (!IsRegularOrMissing(filePath_)) return kNotDatabase;
    bool isNew = !FileExists(filePath_) && !FileExists(BackupPath(filePath_));
    if (isNew) {
        int fd = open(filePath_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            openErrno_ = errno;
            return kOpenFailed;
        }
        close(fd);
    }
    if (!Lock()) {
        if (isNew) unlink(filePath_.c_str());
        return openErrno_ == EINVAL ? kNotDatabase : kLockFailed;
    }
    if (!FileExists(filePath_) && !RestoreBackup()) {
        Unlock();
        return kOpenFailed;
    }
    int result = OpenStorage(isNew);
    if (result != kOpened) Unlock();
    return result;
}

// An interrupted pack can leave the database only under its backup name:
// that file holds every committed change, so it becomes the database again.
// A read-only store reads it where it is.
bool CaseDB::RestoreBackup() {
    if (readOnly_) return true;
    if (rename(BackupPath(filePath_).c_str(), filePath_.c_str()) != 0) {
        openErrno_ = errno;
        return false;
    }
    SyncFolder(filePath_);
    return true;
}

int CaseDB::OpenStorage(bool isNew) {
    storage_ = std::make_unique<mk::Storage>();
    mk::Status status;
    // A reader may meet another process's pack between its renames, when
    // neither name leads to a file for a moment: it looks again.
    for (int attempt = 0;; ++attempt) {
        const std::string& file = FileExists(filePath_) ? filePath_ : BackupPath(filePath_);
        status = storage_->Open(file, readOnly_);
        if (status != mk::Status::IoError || errno != ENOENT || !readOnly_ || attempt == 8) break;
    }
    if (status == mk::Status::IoError) {
        openErrno_ = errno;
        ReleaseStorage();
        return kOpenFailed;
    }
    if ((status != mk::Status::Ok && status != mk::Status::Recovered) || !BindViews()) {
        ReleaseStorage();
        return kNotDatabase;
    }
    recovered_ = status == mk::Status::Recovered;
    if (isNew) {
        if (SetParamInt("Version", 10)) return kOpened;
        ReleaseStorage();
        return kOpenFailed;
    }
    if (parameter_->RowCount() == 0) {
        ReleaseStorage();
        return kNotDatabase;
    }
    return kOpened;
}

bool CaseDB::BindViews() {
    rowIndexValid_ = false;
    case_ = storage_->GetAs(kCaseDescription);
    parameter_ = storage_->GetAs(kParameterDescription);
    bookmarks_ = storage_->GetAs(kBookmarksDescription);
    if (!case_ || !parameter_ || !bookmarks_) return false;
    cId_ = case_->Column("Id");
    cParent_ = case_->Column("Parent");
    cOrder_ = case_->Column("Order");
    cType_ = case_->Column("Type");
    cCaption_ = case_->Column("Caption");
    cCreated_ = case_->Column("Created");
    cModified_ = case_->Column("Modified");
    cAttribute_ = case_->Column("Attribute");
    cData_ = case_->Column("Data");
    pName_ = parameter_->Column("Name");
    pValue_ = parameter_->Column("Value");
    bId_ = bookmarks_->Column("Id");
    return true;
}

void CaseDB::ReleaseStorage() {
    if (storage_) storage_->Close();
    storage_.reset();
    case_ = parameter_ = bookmarks_ = nullptr;
}

void CaseDB::Close() {
    ReleaseStorage();
    Unlock();
    loggedIn_ = false;
    checkDamaged_ = false;
    // The key goes with the login, and the cipher's copy of it with it.
    WipeKey(key_);
    DESForgetKey();
}

bool CaseDB::IsOpen() const { return storage_ != nullptr; }

// A writer holds the Writer range of the database file itself (a byte-range
// lock on its open file description, mk/FileIo.h), so every name of the file
// (links, "./" and "../" spellings) meets the same lock; readers take no lock
// here (the storage announces them to the writer). A writer also holds the
// ".lock" file beside the database, the lock earlier programs of this format
// take; one that is no regular file of one name is somebody else's and is left
// alone. A lock file left by a crashed process holds no lock, so it does not
// block.
bool CaseDB::Lock() {
    if (fileLockFd_ >= 0 || readOnly_) return true;
    const std::string& file = FileExists(filePath_) ? filePath_ : BackupPath(filePath_);
    fileLockFd_ = LockByName(file, O_RDWR, LockWriterRange, false, openErrno_);
    if (fileLockFd_ < 0) return false;
    lockPath_ = LockPath(filePath_);
    lockFd_ = LockByName(lockPath_, O_RDWR | O_CREAT | O_NOFOLLOW, LockWholeFile, true, openErrno_);
    if (lockFd_ < 0 && (openErrno_ == EINVAL || openErrno_ == ELOOP)) {
        static bool told = false;
        if (!told)
            std::fprintf(stderr, "锁文件\"%s\"不是只有一个名字的普通文件，不使用也不改动它；数据库文件本身的锁已经足够。\n",
                         lockPath_.c_str());
        told = true;
        openErrno_ = 0;
        return true;
    }
    if (lockFd_ < 0) {
        close(fileLockFd_);
        fileLockFd_ = -1;
        return false;
    }
    return true;
}

void CaseDB::Unlock() {
    if (lockFd_ >= 0) {
        // Only the lock file this store made or took over goes, never a file
        // that took its name meanwhile.
        if (NamesOnly(lockPath_, lockFd_)) unlink(lockPath_.c_str());
        close(lockFd_);
        lockFd_ = -1;
    }
    if (fileLockFd_ >= 0) close(fileLockFd_);
    fileLockFd_ = -1;
    for (int fd : supersededLockFds_) close(fd);
    supersededLockFds_.clear();
}

// ---- commit, rollback, ids ---------------------------------------------------

bool CaseDB::Commit() {
    if (!CanWrite()) return false;
    if (storage_->Commit()) return true;
    if (int err = storage_->LastError())
        ReportWriteFailure(path_, err);
    else
        STORE_FAILURE("_storage->Commit()");
    return false;
}

bool CaseDB::Rollback() {
    if (!IsOpen()) return false;
    bool rolledBack = storage_->Rollback();
    // The old view objects are stale either way; without views the store closes.
    if (!BindViews()) {
        Close();
        return false;
    }
    return rolledBack;
}

bool CaseDB::RollbackChecked(int line) {
    if (Rollback()) return true;
    ReportInternalFailure("_rollback()", kSourcePath, line);
    return false;
}

int32_t CaseDB::TakeNextId(bool commit) {
    if (!CanWrite()) return 0;
    // A damaged or missing counter must not hand out an id a node already
    // has, nor one below 1 (0 and -1 name the top level and the recycle bin).
    int64_t id = 1;
    if (FindParamRow("NextId") >= 0) id = std::max<int64_t>(id, std::strtoll(GetParam("NextId", "").c_str(), nullptr, 10));
    for (int row = 0, n = case_->RowCount(); row < n; ++row) id = std::max(id, case_->GetInt(row, cId_) + 1);
    if (id >= INT32_MAX) {
        STORE_FAILURE("NextId < INT32_MAX");
        return 0;
    }
    if (!SetParamInt("NextId", static_cast<int32_t>(id + 1)) || (commit && !Commit())) return 0;
    return static_cast<int32_t>(id);
}

// ---- rows and nodes ------------------------------------------------------------

int CaseDB::NodeCount() const { return IsOpen() ? case_->RowCount() : 0; }

std::vector<int32_t> CaseDB::AllNodeIds() const {
    std::vector<int32_t> ids;
    for (int row = 0, n = NodeCount(); row < n; ++row)
        ids.push_back(static_cast<int32_t>(case_->GetInt(row, cId_)));
    return ids;
}

int CaseDB::FindNodeRow(int32_t id) const {
    if (!rowIndexValid_) {
        rowOfId_.clear();
        for (int row = 0, n = case_->RowCount(); row < n; ++row)
            rowOfId_.emplace(static_cast<int32_t>(case_->GetInt(row, cId_)), row);
        rowIndexValid_ = true;
    }
    auto it = rowOfId_.find(id);
    return it == rowOfId_.end() ? -1 : it->second;
}

bool CaseDB::WriteRow(int row, const CaseNode& node, const DesKey& key) {
    std::string caption, data;
    try {
        if (!SealCaption(key, node.Caption, caption) ||
            (node.DataSize() > 0 && !SealContent(key, node.DataBytes(), data))) {
            STORE_FAILURE("false");
            return false;
        }
    } catch (const std::bad_alloc&) {
        STORE_FAILURE("false");
        return false;
    }
    if (row < 0) {
        row = case_->AddRow();
        rowOfId_.emplace(node.Id, row);
    }
    case_->SetInt(row, cId_, node.Id);
    case_->SetInt(row, cParent_, node.Parent);
    case_->SetInt(row, cOrder_, node.Order);
    case_->SetInt(row, cType_, node.Type);
    case_->SetBytes(row, cCaption_, caption);
    case_->SetDouble(row, cCreated_, node.Created);
    case_->SetDouble(row, cModified_, node.Modified == 0 ? node.Created : node.Modified);
    case_->SetBytes(row, cAttribute_, node.Attribute);
    case_->SetBytes(row, cData_, data);
    return true;
}

bool CaseDB::ReadSealedRow(int row, SealedNode& sealed, bool withData) {
    if (!IsOpen() || row < 0 || row >= case_->RowCount()) return false;
    sealed.Id = static_cast<int32_t>(case_->GetInt(row, cId_));
    sealed.Parent = static_cast<int32_t>(case_->GetInt(row, cParent_));
    sealed.Order = static_cast<int32_t>(case_->GetInt(row, cOrder_));
    sealed.Type = static_cast<uint8_t>(case_->GetInt(row, cType_));
    sealed.Created = case_->GetDouble(row, cCreated_);
    sealed.Modified = case_->GetDouble(row, cModified_);
    sealed.SealedData.clear();
    try {
        if (!case_->GetBytes(row, cCaption_, sealed.SealedCaption)) return false;
        if (withData && !case_->GetBytes(row, cData_, sealed.SealedData)) return false;
        sealed.Attribute = case_->GetString(row, cAttribute_);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

bool CaseDB::OpenSealedNode(const SealedNode& sealed, CaseNode& node, bool withData) const {
    return IsOpen() && loggedIn_ && OpenSealed(sealed, node, withData, key_);
}

bool CaseDB::OpenSealed(const SealedNode& sealed, CaseNode& node, bool withData, const DesKey& key) {
    std::string caption, content;
    try {
        // A wrong length word still gives the text up to its zero byte; bytes
        // that are no sealed block at all make the node unreadable.
        if (!OpenCaption(key, sealed.SealedCaption, caption) && caption.empty()) return false;
        if (withData && !sealed.SealedData.empty() && !OpenContent(key, sealed.SealedData, content)) return false;
    } catch (const std::bad_alloc&) {
        return false;
    }
    node.Id = sealed.Id;
    node.Parent = sealed.Parent;
    node.Order = sealed.Order;
    node.Type = sealed.Type;
    node.Attribute = sealed.Attribute;
    node.Created = sealed.Created;
    node.Modified = sealed.Modified;
    node.Caption = std::move(caption);
    if (withData) node.SetData(std::move(content));
    return true;
}

bool CaseDB::ReadRow(int row, CaseNode& node, bool withData, const DesKey& key) {
    SealedNode sealed;
    return ReadSealedRow(row, sealed, withData) && OpenSealed(sealed, node, withData, key);
}

bool CaseDB::AddNode(const CaseNode& node) {
    if (!CanWrite() || !loggedIn_) return false;
    return WriteRow(-1, node, key_);
}

bool CaseDB::GetNode(int32_t id, CaseNode& node, bool withData) {
    if (!IsOpen() || !loggedIn_) return false;
    int row = FindNodeRow(id);
    if (row < 0) return false;
    if (ReadRow(row, node, withData, key_)) return true;
    STORE_FAILURE("false");
    return false;
}

bool CaseDB::SaveNode(const CaseNode& node) {
    if (!CanWrite() || !loggedIn_) return false;
    return WriteRow(FindNodeRow(node.Id), node, key_);
}

CaseDB::ChildMap CaseDB::Children() const {
    ChildMap children;
    for (int row = 0, n = case_->RowCount(); row < n; ++row)
        children[ParentOfRow(row)].push_back(static_cast<int32_t>(case_->GetInt(row, cId_)));
    return children;
}

// Every id below id, each once, even when a damaged file makes parents circular.
std::vector<int32_t> CaseDB::Below(const ChildMap& children, int32_t id) {
    std::vector<int32_t> found;
    std::unordered_set<int32_t> seen{id};
    std::vector<int32_t> pending{id};
    while (!pending.empty()) {
        int32_t parent = pending.back();
        pending.pop_back();
        auto it = children.find(parent);
        if (it == children.end()) continue;
        for (int32_t child : it->second) {
            if (!seen.insert(child).second) continue;
            found.push_back(child);
            pending.push_back(child);
        }
    }
    return found;
}

std::vector<int32_t> CaseDB::Subtree(int32_t id) const { return Below(Children(), id); }

int32_t CaseDB::ParentOfRow(int row) const { return static_cast<int32_t>(case_->GetInt(row, cParent_)); }

bool CaseDB::DeleteNode(int32_t id) {
    if (!CanWrite() || FindNodeRow(id) < 0) return false;
    std::vector<int32_t> doomed = Subtree(id);
    std::unordered_set<int32_t> ids(doomed.begin(), doomed.end());
    ids.insert(id);
    for (int row = case_->RowCount() - 1; row >= 0; --row)
        if (ids.count(static_cast<int32_t>(case_->GetInt(row, cId_)))) case_->RemoveRow(row);
    rowIndexValid_ = false;
    return true;
}

bool CaseDB::MoveNode(int32_t id, int32_t newParent) {
    if (!CanWrite()) return false;
    int row = FindNodeRow(id);
    if (row < 0 || newParent == id || IsDescendant(id, newParent)) return false;
    case_->SetInt(row, cParent_, newParent);
    return true;
}

bool CaseDB::IsDescendant(int32_t ancestor, int32_t candidate) {
    if (!IsOpen() || ancestor == candidate) return false;
    std::vector<int32_t> walk = Ancestry(candidate);
    return std::find(walk.begin(), walk.end(), ancestor) != walk.end();
}

int32_t CaseDB::MaxChildOrder(int32_t parent) {
    if (!IsOpen()) return 0;
    std::vector<int> rows = case_->Select({{cParent_, mk::Value{int64_t{parent}}}});
    if (rows.empty()) return 0;
    rows = case_->Sort(rows, {cOrder_});
    return static_cast<int32_t>(case_->GetInt(rows.back(), cOrder_));
}

int32_t CaseDB::NextChildOrder(int32_t parent) {
    if (!CanWrite()) return 0;
    int32_t highest = MaxChildOrder(parent);
    if (highest < INT32_MAX) return highest + 1;
    // One above the highest would wrap round: number the children anew,
    // keeping their order (Order, then Id, as the tree shows them).
    std::vector<int> rows = case_->Select({{cParent_, mk::Value{int64_t{parent}}}});
    int32_t order = 0;
    for (int row : case_->Sort(rows, {cOrder_, cId_})) case_->SetInt(row, cOrder_, ++order);
    return order + 1;
}

std::vector<int32_t> CaseDB::GetChildren(int32_t parent) {
    std::vector<int32_t> ids;
    if (!IsOpen()) return ids;
    std::vector<int> rows = case_->Select({{cParent_, mk::Value{int64_t{parent}}}});
    for (int row : case_->Sort(rows, {cOrder_, cId_}))
        ids.push_back(static_cast<int32_t>(case_->GetInt(row, cId_)));
    return ids;
}

int CaseDB::CountDescendants(int32_t id) {
    if (!IsOpen()) return 0;
    return static_cast<int>(Subtree(id).size());
}

// ---- the shape of the tree ---------------------------------------------------------

std::vector<int32_t> CaseDB::Ancestry(int32_t id) {
    std::vector<int32_t> walk;
    if (!IsOpen()) return walk;
    if (id == kParentTop || id == kParentRecycleBin) return {id};
    std::unordered_set<int32_t> seen;
    for (int row = FindNodeRow(id); row >= 0 && seen.insert(id).second; row = FindNodeRow(id)) {
        walk.push_back(id);
        id = ParentOfRow(row);
        if (id == kParentTop || id == kParentRecycleBin) {
            walk.push_back(id);
            break;
        }
    }
    return walk;
}

bool CaseDB::ReachesRoot(const std::vector<int32_t>& ancestry) {
    return !ancestry.empty() && (ancestry.back() == kParentTop || ancestry.back() == kParentRecycleBin);
}

CaseDB::TreeDamage CaseDB::FindTreeDamage() {
    TreeDamage damage;
    if (!IsOpen()) return damage;
    ChildMap children = Children();
    std::unordered_set<int32_t> reached;
    for (int32_t root : {kParentTop, kParentRecycleBin})
        for (int32_t id : Below(children, root)) reached.insert(id);
    // Rows holding id 0 or -1 name the top level or the bin, never a node of the tree.
    std::unordered_map<int32_t, int32_t> parentOf;   // of each unreachable node
    for (int32_t id : AllNodeIds()) {
        if (id == kParentTop || id == kParentRecycleBin || reached.count(id) || parentOf.count(id)) continue;
        parentOf.emplace(id, ParentOfRow(FindNodeRow(id)));
        damage.unreachable.push_back(id);
    }
    // Take away, again and again, every unreachable node that no other hangs
    // below: what stays lies on a circle.
    std::unordered_map<int32_t, int> hanging;
    for (const auto& [id, parent] : parentOf)
        if (parentOf.count(parent)) ++hanging[parent];
    std::vector<int32_t> loose;
    for (int32_t id : damage.unreachable)
        if (hanging[id] == 0) loose.push_back(id);
    std::unordered_set<int32_t> taken;
    while (!loose.empty()) {
        int32_t id = loose.back();
        loose.pop_back();
        taken.insert(id);
        int32_t parent = parentOf[id];
        if (parentOf.count(parent) && --hanging[parent] == 0) loose.push_back(parent);
    }
    for (int32_t id : damage.unreachable) {
        if (!taken.count(id))
            damage.circles.push_back(id);
        else if (FindNodeRow(parentOf[id]) < 0)
            damage.orphans.push_back(id);
    }
    return damage;
}

int CaseDB::RecoverUnreachable(const std::string& caption) {
    if (!CanWrite() || !loggedIn_) return -1;
    TreeDamage damage = FindTreeDamage();
    if (damage.unreachable.empty()) return 0;
    CaseNode folder;
    folder.Type = kNodeFolder;
    folder.Caption = caption;
    folder.SetDataFromText("");
    folder.Id = TakeNextId(false);
    folder.Order = NextChildOrder(kParentTop);
    if (folder.Id == 0 || folder.Order == 0 || !AddNode(folder)) return -1;
    // The top of each unreachable part (a node whose parent is missing, or
    // one node of a circle) moves under the folder, and with it all below it.
    ChildMap children = Children();
    std::unordered_set<int32_t> recovered;
    for (int32_t id : damage.unreachable) {
        if (recovered.count(id)) continue;
        std::vector<int32_t> walk = Ancestry(id);
        if (walk.empty() || ReachesRoot(walk)) return -1;
        int32_t top = walk.back();
        case_->SetInt(FindNodeRow(top), cParent_, folder.Id);
        recovered.insert(top);
        for (int32_t below : Below(children, top)) recovered.insert(below);
    }
    if (!FindTreeDamage().unreachable.empty()) return -1;
    return static_cast<int>(damage.unreachable.size());
}

bool CaseDB::CaptionOpens(int row, const DesKey& key) const {
    std::string sealed, caption;
    try {
        return case_->GetBytes(row, cCaption_, sealed) && OpenCaption(key, sealed, caption);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool CaseDB::CaptionIntact(int32_t id) {
    if (!IsOpen() || !loggedIn_) return false;
    int row = FindNodeRow(id);
    return row >= 0 && CaptionOpens(row, key_);
}

// A wrong key opens a sealed caption by chance about once in 2^32 tries: one
// caption among the first rows that opens shows the key is the database's.
bool CaseDB::KeyOpensCaptions(const DesKey& key) const {
    for (int row = 0, n = std::min(case_->RowCount(), 16); row < n; ++row)
        if (CaptionOpens(row, key)) return true;
    return false;
}

// ---- parameters ------------------------------------------------------------------

int CaseDB::FindParamRow(const std::string& key) const {
    return parameter_->Find({{pName_, mk::Value{key}}});
}

std::string CaseDB::GetParam(const std::string& key, const std::string& defaultValue) {
    if (!IsOpen()) return defaultValue;
    int row = FindParamRow(key);
    return row < 0 ? defaultValue : parameter_->GetString(row, pValue_);
}

bool CaseDB::SetParam(const std::string& key, const std::string& value) {
    if (!CanWrite()) return false;
    int row = FindParamRow(key);
    if (row < 0) {
        row = parameter_->AddRow();
        parameter_->SetBytes(row, pName_, key);
    }
    parameter_->SetBytes(row, pValue_, value);
    return true;
}

bool CaseDB::GetParamBool(const std::string& key, bool defaultValue) {
    std::string value = GetParam(key, "");
    if (value == "True") return true;
    if (value == "False") return false;
    return defaultValue;
}

bool CaseDB::SetParamBool(const std::string& key, bool value) {
    return SetParam(key, value ? "True" : "False");
}

int32_t CaseDB::GetParamInt(const std::string& key, int32_t defaultValue) {
    if (!IsOpen() || FindParamRow(key) < 0) return defaultValue;
    return static_cast<int32_t>(std::strtol(GetParam(key, "").c_str(), nullptr, 10));
}

bool CaseDB::SetParamInt(const std::string& key, int32_t value) {
    return SetParam(key, std::to_string(value));
}

// ---- bookmarks -------------------------------------------------------------------

int CaseDB::FindBookmarkRow(int32_t id) const {
    return bookmarks_->Find({{bId_, mk::Value{int64_t{id}}}});
}

bool CaseDB::AddBookmark(int32_t id) {
    if (!CanWrite()) return false;
    if (FindBookmarkRow(id) >= 0) return true;
    bookmarks_->SetInt(bookmarks_->AddRow(), bId_, id);
    return Commit();
}

bool CaseDB::RemoveBookmark(int32_t id) {
    if (!CanWrite()) return false;
    int row = FindBookmarkRow(id);
    if (row < 0) return true;
    bookmarks_->RemoveRow(row);
    return Commit();
}

bool CaseDB::IsBookmark(int32_t id) { return IsOpen() && FindBookmarkRow(id) >= 0; }

std::vector<int32_t> CaseDB::GetBookmarks() {
    std::vector<int32_t> ids;
    if (!IsOpen()) return ids;
    for (int row = 0, n = bookmarks_->RowCount(); row < n; ++row)
        ids.push_back(static_cast<int32_t>(bookmarks_->GetInt(row, bId_)));
    return ids;
}

// ---- password --------------------------------------------------------------------

bool CaseDB::NeedsFirstPassword() {
    return IsOpen() && GetParamInt("PassCheckSum", 0) == 0 && case_->RowCount() == 0;
}

std::string CaseDB::PasswordCheckDamagedMessage(const std::string& path) {
    return "数据库\"" + path + "\"中用来核对密码的校验值已损坏，但这个密码能解开节点的标题，数据库照常打开。"
           "修改一次密码即可重写校验值。";
}

CaseDB::PasswordFit CaseDB::CheckPassword(const std::string& password, const DesKey& key) {
    if (static_cast<int32_t>(CRC32NF(password)) == GetParamInt("PassCheckSum", 0)) return kPasswordFits;
    return KeyOpensCaptions(key) ? kPasswordFitsDamagedCheck : kPasswordWrong;
}

bool CaseDB::Login(const std::string& password) {
    if (!IsOpen()) return false;
    if (NeedsFirstPassword()) {
        checkDamaged_ = false;
        key_ = DeriveKey(password);
        // A reader has nothing to read and writes no password.
        if (readOnly_) {
            loggedIn_ = true;
            return true;
        }
        if (!SetParamInt("PassCheckSum", static_cast<int32_t>(CRC32NF(password))) || !Commit()) return false;
        loggedIn_ = true;
        return true;
    }
    DesKey key = DeriveKey(password);
    PasswordFit fit = CheckPassword(password, key);
    if (fit != kPasswordWrong) {
        key_ = key;
        loggedIn_ = true;
        checkDamaged_ = fit == kPasswordFitsDamagedCheck;
    }
    WipeKey(key);
    return fit != kPasswordWrong;
}

bool CaseDB::ChangePassword(const std::string& oldPassword, const std::string& newPassword,
                            const unsigned char& cancel, const PasswordProgress& progress) {
    if (!CanWrite()) return false;
    DesKey oldKey = DeriveKey(oldPassword), newKey = DeriveKey(newPassword);
    struct KeysWiped {
        DesKey& a;
        DesKey& b;
        ~KeysWiped() { WipeKey(a); WipeKey(b); }
    } wiped{oldKey, newKey};
    int32_t stored = GetParamInt("PassCheckSum", 0);
    // A damaged check value is written anew under the new password.
    if (CheckPassword(oldPassword, oldKey) == kPasswordWrong) return false;
    int32_t newCheck = static_cast<int32_t>(CRC32NF(newPassword));
    if (stored == 0 && case_->RowCount() == 0) {
        key_ = newKey;
        loggedIn_ = SetParamInt("PassCheckSum", newCheck) && Commit();
        return loggedIn_;
    }
    if (oldPassword == newPassword) return true;
    if (!Commit()) return false;
    int rows = case_->RowCount();
    if (progress.SetMaximum) progress.SetMaximum(rows);
    for (int row = 0; row < rows; ++row) {
        if (progress.SetPosition) progress.SetPosition(row + 1);
        if (cancel) {
            RollbackChecked(__LINE__);
            return false;
        }
        if (progress.ProcessEvents) progress.ProcessEvents();
        CaseNode node;
        if (!ReadRow(row, node, true, oldKey) || !WriteRow(row, node, newKey)) {
            STORE_FAILURE("false");
            RollbackChecked(__LINE__);
            return false;
        }
    }
    if (!SetParamInt("PassCheckSum", newCheck) || !Commit()) {
        RollbackChecked(__LINE__);
        return false;
    }
    key_ = newKey;
    loggedIn_ = true;
    checkDamaged_ = false;
    return true;
}

// ---- pack --------------------------------------------------------------------------

// The compacted copy is written to the swap file and flushed to the disk
// before any rename. The database then moves to the backup name, the copy
// takes its place, and the folder is flushed before the backup is deleted. At
// every step one of the two names holds a complete database with every
// committed change: the database name, or the backup name, which the next
// Open moves back. The copy is locked before it takes the database's name and
// the old file's lock is dropped only after, so a process that finds either
// file under the name meets a held lock.
bool CaseDB::Pack() {
    if (!CanWrite()) return false;
    const std::string swap = SwapPath(filePath_), backup = BackupPath(filePath_);
    if (FileExists(swap) && unlink(swap.c_str()) != 0) return false;
    if (FileExists(backup) && unlink(backup.c_str()) != 0) return false;
    int swapLockFd = -1;
    {
        KELMKPackStream stream(swap);
        bool written = stream.IsOpen() && storage_->SaveTo(stream) && stream.Sync();
        int err = errno;
        if (!written && stream.Failed()) ReportWriteFailure(swap, err);
        if (written) swapLockFd = LockByName(swap, O_RDWR, LockWriterRange, false, err);
        if (!stream.Close() || swapLockFd < 0) {
            if (swapLockFd >= 0) close(swapLockFd);
            unlink(swap.c_str());
            return false;
        }
    }
    ReleaseStorage();
    bool packed = false;
    if (rename(filePath_.c_str(), backup.c_str()) == 0) {
        if (FileExists(filePath_)) {
            // Something appeared under the database name; keep both files.
        } else if (rename(swap.c_str(), filePath_.c_str()) == 0) {
            SyncFolder(filePath_);
            unlink(backup.c_str());
            packed = true;
        } else {
            RestoreBackup();
        }
        SyncFolder(filePath_);
    }
    // The old file stays locked while this store is open: a hard link may
    // still name it, and no writer may take that stale copy meanwhile.
    if (packed) {
        supersededLockFds_.push_back(fileLockFd_);
        fileLockFd_ = swapLockFd;
    } else {
        close(swapLockFd);
    }
    bool wasLoggedIn = loggedIn_;
    if (OpenStorage(false) != kOpened) {
        Close();
        return false;
    }
    loggedIn_ = wasLoggedIn;
    return packed;
}
