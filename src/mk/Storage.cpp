#include "mk/Storage.h"

#include <algorithm>
#include <cerrno>

#include "mk/StorageImpl.h"

namespace mk {

void StorageImpl::Reset() {
    if (src) src->owner = nullptr;
    if (spillStart >= 0 && src && src->file.IsOpen()) {
        RangeLock lock(src->file, LockRange::Commit, true);
        src->file.Truncate(src->base + spillStart);
    }
    spillStart = -1;
    heldBytes = 0;
    open = false;
    root.reset();
    retired.clear();
    src.reset();
    info = FileInfo{};
    hasData = false;
    walkRef = {};
    walkBytes.clear();
    tailEnd = dataEnd = 0;
    tailAtEnd = true;
    gaps.clear();
}

bool StorageImpl::MayReuseFreeSpace() const { return !RangeHeldByOthers(src->file.Descriptor(), LockRange::Readers); }

void StorageImpl::CutBack(int64_t end, bool endsAtTail) {
    RangeLock lock(src->file, LockRange::Commit, true);
    if (src->file.Truncate(src->base + end)) {
        dataEnd = end;
        tailAtEnd = endsAtTail;
        return;
    }
    // Whatever stayed past the end lies behind a skip mark or a tail that
    // still names the last commit; later writes go past it.
    int64_t size = src->file.Size();
    if (size >= 0) dataEnd = std::max(dataEnd, size - src->base);
    tailAtEnd = hasData && dataEnd == tailEnd;
}

void StorageImpl::NewEmptyRoot() { root = std::make_unique<Seq>(src, "", std::vector<PropDef>{}, 1); }

namespace {

void CollectUsed(const Seq& seq, std::vector<Gap>& used) {
    auto add = [&](uint32_t pos, uint32_t size) {
        if (size) used.emplace_back(pos, pos + size);
    };
    // In the order the writer places blobs, so a file we wrote comes out sorted.
    for (const auto& c : seq.Columns()) {
        for (const auto& cell : c.cells)
            if (cell.inFile) add(cell.pos, cell.len);
        for (const auto& sub : c.subs) CollectUsed(*sub, used);
        for (const auto& r : c.refs) add(r.pos, r.size);
    }
}

}  // namespace

// Free space is everything below the tail pair that the current commit does not use.
void StorageImpl::ComputeGaps() {
    gaps.clear();
    if (!hasData) return;
    std::vector<Gap> used{{0, 8}};
    CollectUsed(*root, used);
    used.emplace_back(walkRef.pos, walkRef.pos + walkRef.size);
    if (!std::is_sorted(used.begin(), used.end())) std::sort(used.begin(), used.end());
    uint32_t limit = uint32_t(tailEnd - 16);
    uint32_t at = 8;
    for (const auto& u : used) {
        if (u.first > at && at < limit) gaps.emplace_back(at, std::min(u.first, limit));
        at = std::max(at, u.second);
    }
    if (at < limit) gaps.emplace_back(at, limit);
}

Status StorageImpl::Open(const std::string& p, bool ro) {
    Reset();
    path = p;
    readOnly = ro;
    src = std::make_shared<Source>();
    // Read-write creates a missing file at once, empty, as the original library does.
    if (!src->file.Open(path, readOnly) &&
        (readOnly || errno != ENOENT || !src->file.Create(path))) {
        Reset();
        return status = Status::IoError;
    }
    // A reader says it is there for as long as it has the file open, and finds
    // and loads the last commit while no writer changes the file's tail.
    if (readOnly && !SetRangeLock(src->file.Descriptor(), LockRange::Readers, false, false)) {
        Reset();
        return status = Status::IoError;
    }
    {
        RangeLock loading(src->file, LockRange::Commit, false);
        status = LoadStorage(*this);
    }
    if (status != Status::Ok && status != Status::Recovered) {
        FileInfo keep = info;
        Reset();
        info = keep;
        return status;
    }
    open = true;
    if (!readOnly) src->owner = this;
    return status;
}

Storage::Storage() : impl_(std::make_unique<StorageImpl>()) {}
Storage::~Storage() = default;

Status Storage::Open(const std::string& path, bool readOnly) { return impl_->Open(path, readOnly); }

void Storage::Close() { impl_->Reset(); }

bool Storage::IsOpen() const { return impl_->open; }

bool Storage::Recovered() const { return impl_->open && impl_->status == Status::Recovered; }

const FileInfo& Storage::Info() const { return impl_->info; }

View* Storage::GetAs(const std::string& description) {
    PropDef def;
    if (!impl_->open || !ParseViewDescription(description, def)) return nullptr;
    Seq& root = *impl_->root;
    std::vector<PropDef> props = root.Props();
    int at = root.Column(def.name);
    if (at < 0) {
        props.push_back(def);
        at = int(props.size()) - 1;
    } else {
        props[at] = def;
    }
    root.Restructure(props);
    return root.Columns()[at].subs[0].get();
}

int Storage::ViewCount() const { return impl_->open ? impl_->root->ColumnCount() : 0; }

View* Storage::ViewAt(int index) {
    if (index < 0 || index >= ViewCount()) return nullptr;
    return impl_->root->Columns()[index].subs[0].get();
}

View* Storage::ViewNamed(const std::string& name) { return impl_->open ? ViewAt(impl_->root->Column(name)) : nullptr; }

std::string Storage::Description() const { return impl_->open ? impl_->root->Description() : std::string(); }

bool Storage::Commit() { return CommitStorage(*impl_); }

int Storage::LastError() const { return impl_->lastError; }

void Storage::SetMemoryLimit(int64_t bytes) { impl_->holdLimit = bytes; }

bool Storage::Rollback() {
    if (!impl_->open) return false;
    std::vector<std::unique_ptr<Seq>> keep = std::move(impl_->retired);
    keep.push_back(std::move(impl_->root));
    std::string path = impl_->path;
    Status st = impl_->Open(path, impl_->readOnly);
    impl_->retired = std::move(keep);
    return st == Status::Ok || st == Status::Recovered;
}

bool Storage::SaveTo(Stream& out) { return SaveStorage(*impl_, out); }

}  // namespace mk
