// Commit and compacted copy. Both encode the views into blobs placed by an
// allocator; a commit keeps every unchanged blob where it is and places new
// ones first-fit in free space or past the end, then switches with the tail.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>

#include "mk/StorageImpl.h"

namespace mk {

namespace {

const int64_t kMaxData = 0x7FFFFFFF;
const size_t kWriteChunk = 8 << 20;

// A blob to write: bytes in memory, or a copy of a blob of the current file.
struct Pending {
    uint32_t pos = 0;
    std::string bytes;
    const char* held = nullptr;   // large value still in its column's pool (len bytes)
    std::string_view Bytes() const { return held ? std::string_view(held, len) : std::string_view(bytes); }
    bool fromFile = false;
    uint32_t srcPos = 0;
    uint32_t len = 0;
};

bool IsMemo(uint32_t length, uint32_t rows) {
    return length > kMemoLength || (length > 100 && length > 1000000 / (uint64_t(rows) + 1));
}

class Encoder {
public:
    Encoder(StorageImpl& s, bool compact, std::vector<Gap> gaps, int64_t appendAt)
        : s_(s), compact_(compact), le_(s.src->littleEndian), gaps_(std::move(gaps)), appendAt_(appendAt) {}

    bool ok = true;
    std::vector<Pending> writes;

    // The root walk, after placing every blob it references.
    std::string Walk() {
        std::string walk;
        std::string desc = s_.root->Description();
        PutVarint(walk, 0);
        PutVarint(walk, int64_t(desc.size()));
        walk += desc;
        EncodeSeq(*s_.root, walk);
        return walk;
    }

    uint32_t Take(uint32_t size) {
        for (auto& g : gaps_) {
            if (g.second - g.first >= size) {
                uint32_t pos = g.first;
                g.first += size;
                return pos;
            }
        }
        int64_t pos = appendAt_;
        appendAt_ += size;
        if (appendAt_ + 32 > kMaxData) ok = false;
        return static_cast<uint32_t>(pos);
    }

    Ref Place(std::string bytes, const Ref* old) {
        if (bytes.empty()) return {};
        if (!compact_ && old && old->size == bytes.size() && Same(*old, bytes)) return *old;
        Ref ref{static_cast<uint32_t>(bytes.size()), Take(static_cast<uint32_t>(bytes.size()))};
        Pending p;
        p.pos = ref.pos;
        p.len = ref.size;
        p.bytes = std::move(bytes);
        writes.push_back(std::move(p));
        return ref;
    }

private:
    bool Same(const Ref& old, const std::string& bytes) {
        std::string stored(old.size, '\0');
        return s_.src->file.ReadAt(s_.src->base + old.pos, stored.data(), old.size) && stored == bytes;
    }

    static void PutRef(std::string& out, const Ref& ref) {
        PutVarint(out, ref.size);
        if (ref.size) PutVarint(out, ref.pos);
    }

    void EncodeSeq(Seq& seq, std::string& out) {
        PutVarint(out, seq.Rows());
        for (auto& c : seq.Columns()) {
            c.staged = {};
            c.staged.width = c.width;
            if (seq.Rows() == 0) continue;
            if (c.def.type == 'V') {
                Subviews(c);
            } else if (!compact_ && !c.dirty) {
                c.staged.refs = c.refs;
            } else if (c.def.type == 'S' || c.def.type == 'B') {
                Items(c, seq);
            } else {
                Numbers(c, seq.Rows());
            }
            const auto& r = c.staged.refs;
            if (c.def.type == 'S' || c.def.type == 'B') {
                PutRef(out, r[0]);
                if (r[0].size) PutRef(out, r[1]);
                PutRef(out, r[2]);
            } else {
                PutRef(out, r[0]);
            }
        }
    }

    const Ref* OldRef(const Column& c, size_t i) const { return i < c.refs.size() ? &c.refs[i] : nullptr; }

    void Numbers(Column& c, uint32_t rows) {
        int width = 64;
        if (c.def.type == 'I' || c.def.type == 'F') {
            width = c.width;
            for (int64_t v : c.ints) width = std::max(width, WidthFor(v));
        }
        c.staged.width = width;
        c.staged.refs = {Place(EncodeInts(c.ints, width, le_), OldRef(c, 0))};
        (void)rows;
    }

    // Full rewrite of a B/S property: memo decisions afresh, memos first, then
    // the inline data, sizes and memo columns. The new cells and pool are staged.
    void Items(Column& c, Seq& seq) {
        uint32_t rows = seq.Rows();
        std::vector<Cell> next(c.cells);
        std::vector<bool> memo(rows);
        std::string memoColumn;
        uint32_t lastMemo = 0;
        bool anyMemo = false;
        for (uint32_t i = 0; i < rows; ++i) {
            const Cell& cell = c.cells[i];
            memo[i] = IsMemo(cell.len, rows);
            if (!memo[i]) continue;
            Ref ref{cell.len, cell.pos};
            if (!cell.inFile || compact_) {
                ref.pos = Take(ref.size);
                Pending p;
                p.pos = ref.pos;
                p.len = ref.size;
                p.fromFile = cell.inFile;
                p.srcPos = cell.pos;
                if (!cell.inFile) p.held = c.pool.data() + cell.pos;
                writes.push_back(std::move(p));
            }
            next[i] = Cell{ref.pos, ref.size, true};
            PutVarint(memoColumn, anyMemo ? i - lastMemo - 1 : i);
            PutRef(memoColumn, ref);
            lastMemo = i;
            anyMemo = true;
        }
        std::string data;
        std::vector<int64_t> lengths(rows, 0);
        int width = 0;
        std::string bytes;
        for (uint32_t i = 0; i < rows; ++i) {
            if (memo[i]) continue;
            if (!seq.ItemBytes(c, i, bytes)) ok = false;
            next[i] = Cell{uint32_t(data.size()), uint32_t(bytes.size()), false};
            data += bytes;
            lengths[i] = int64_t(bytes.size());
            width = std::max(width, WidthFor(lengths[i]));
        }
        if (int64_t(data.size()) > kMaxData) ok = false;
        c.staged.rewritten = true;
        c.staged.cells = std::move(next);
        c.staged.pool = data;
        Ref dataRef = Place(std::move(data), OldRef(c, 0));
        Ref sizesRef = dataRef.size ? Place(EncodeInts(lengths, width, le_), OldRef(c, 1)) : Ref{};
        Ref memoRef = Place(std::move(memoColumn), OldRef(c, 2));
        c.staged.refs = {dataRef, sizesRef, memoRef};
    }

    void Subviews(Column& c) {
        std::string blob;
        for (auto& sub : c.subs) {
            PutVarint(blob, 0);
            EncodeSeq(*sub, blob);
        }
        if (!compact_ && c.refs.size() == 1 && blob == c.blob) {
            c.staged.refs = c.refs;
        } else {
            c.staged.refs = {Place(blob, nullptr)};
        }
        c.staged.blob = std::move(blob);
    }

    StorageImpl& s_;
    bool compact_;
    bool le_;
    std::vector<Gap> gaps_;
    int64_t appendAt_;
};

void ApplyStaged(Seq& seq) {
    for (auto& c : seq.Columns()) {
        c.dirty = false;
        c.refs = std::move(c.staged.refs);
        c.width = c.staged.width;
        if (c.def.type == 'V') c.blob = std::move(c.staged.blob);
        if (c.staged.rewritten) {
            c.cells = std::move(c.staged.cells);
            c.pool = std::move(c.staged.pool);
            c.poolLive = c.pool.size();
        }
        c.staged = {};
        for (auto& sub : c.subs) ApplyStaged(*sub);
    }
}

void PutMark(std::string& out, uint8_t first, uint32_t mid24, uint32_t last) {
    uint8_t m[8] = {first, uint8_t(mid24 >> 16), uint8_t(mid24 >> 8), uint8_t(mid24)};
    PutBE32(m + 4, last);
    out.append(reinterpret_cast<char*>(m), 8);
}

std::string TailPair(uint32_t skipPos, const Ref& walk) {
    std::string out;
    PutMark(out, 0x80, 0, skipPos);
    PutMark(out, 0x80, walk.size, walk.pos);
    return out;
}

std::string Header(bool littleEndian, uint8_t kind, uint32_t size) {
    std::string out;
    out += littleEndian ? "JL" : "LJ";
    out += char(kind);
    out += '\0';
    out.resize(8);
    PutBE32(reinterpret_cast<uint8_t*>(out.data()) + 4, size);
    return out;
}

// Emits pending blobs in position order, joining adjacent ones into large writes.
template <typename Sink>
bool Emit(StorageImpl& s, std::vector<Pending>& writes, Sink&& sink) {
    std::sort(writes.begin(), writes.end(), [](const Pending& a, const Pending& b) { return a.pos < b.pos; });
    std::string buf;
    int64_t bufPos = -1;
    auto flush = [&]() {
        bool ok = buf.empty() || sink(bufPos, std::string_view(buf));
        buf.clear();
        return ok;
    };
    for (auto& p : writes) {
        if (bufPos + int64_t(buf.size()) != p.pos || buf.size() >= kWriteChunk) {
            if (!flush()) return false;
            bufPos = p.pos;
        }
        if (!p.fromFile) {
            if (buf.empty() && p.Bytes().size() >= kWriteChunk) {
                if (!sink(bufPos, p.Bytes())) return false;
                bufPos += int64_t(p.Bytes().size());
                continue;
            }
            buf += p.Bytes();
            continue;
        }
        for (uint32_t done = 0; done < p.len;) {
            uint32_t n = std::min<uint32_t>(p.len - done, kWriteChunk);
            size_t at = buf.size();
            buf.resize(at + n);
            if (!s.src->file.ReadAt(s.src->base + p.srcPos + done, buf.data() + at, n)) return false;
            done += n;
            if (buf.size() >= kWriteChunk) {
                if (!flush()) return false;
                bufPos = p.pos + done;
            }
        }
    }
    return flush();
}

bool WriteAt(StorageImpl& s, int64_t pos, std::string_view bytes) {
    return s.src->file.WriteAt(s.src->base + pos, bytes.data(), bytes.size());
}

// The tail and the length change under the Commit lock, so a reader never
// meets a half-written tail; blobs go to free space or past the end before.
bool WriteCommit(StorageImpl& s, Encoder& enc, const Ref& walk) {
    uint32_t maxEnd = 0;
    for (const auto& p : enc.writes) maxEnd = std::max(maxEnd, p.pos + p.len);
    auto sink = [&](int64_t pos, std::string_view bytes) { return WriteAt(s, pos, bytes); };
    File& f = s.src->file;
    if (!s.hasData) {
        // Into a file without data: everything but the header, then the header.
        uint32_t p = std::max<uint32_t>(maxEnd, uint32_t(std::max<int64_t>(s.dataEnd, 8)));
        Pending tails;
        tails.pos = p;
        tails.bytes = TailPair(p, walk);
        tails.len = 16;
        enc.writes.push_back(std::move(tails));
        if (!Emit(s, enc.writes, sink) || !f.Sync()) return false;
        RangeLock lock(f, LockRange::Commit, true);
        if (!WriteAt(s, 0, Header(s.src->littleEndian, 0x1A, p + 16)) || !f.Sync()) return false;
        s.tailEnd = p + 16;
        return true;
    }
    if (s.tailAtEnd && int64_t(maxEnd) <= s.tailEnd - 16) {
        // In place: the new commit tail replaces the old one.
        std::string tail = TailPair(uint32_t(s.tailEnd - 16), walk).substr(8);
        if (!Emit(s, enc.writes, sink) || !f.Sync()) return false;
        RangeLock lock(f, LockRange::Commit, true);
        if (WriteAt(s, s.tailEnd - 8, tail) && f.Sync()) return true;
        // The last commit's tail comes back, so the file keeps opening there.
        int err = errno;
        WriteAt(s, s.tailEnd - 8, TailPair(uint32_t(s.tailEnd - 16), s.walkRef).substr(8));
        errno = err;
        return false;
    }
    // Growing: first a tail pair at the new end that still names the old commit.
    int64_t oldEnd = s.dataEnd;
    uint32_t p = std::max<uint32_t>(maxEnd, uint32_t(oldEnd + 8));
    std::string pair = TailPair(p, s.walkRef);
    {
        RangeLock lock(f, LockRange::Commit, true);
        if (!WriteAt(s, p, pair) || !f.Sync()) return false;
    }
    s.tailAtEnd = false;
    s.dataEnd = p + 16;
    std::string marker = Header(s.src->littleEndian, 0x0A, 0);
    PutBE32(reinterpret_cast<uint8_t*>(marker.data()) + 4, uint32_t(p + 16 - oldEnd));
    Pending m;
    m.pos = uint32_t(oldEnd);
    m.bytes = marker;
    m.len = 8;
    enc.writes.push_back(std::move(m));
    if (!Emit(s, enc.writes, sink) || !f.Sync()) return false;
    RangeLock lock(f, LockRange::Commit, true);
    if (!WriteAt(s, p + 8, TailPair(p, walk).substr(8)) || !f.Sync()) return false;
    s.tailEnd = p + 16;
    std::string size(4, '\0');
    PutBE32(reinterpret_cast<uint8_t*>(size.data()), p + 16);
    WriteAt(s, 4, size);   // informational only; readers ignore it
    return true;
}

}  // namespace

bool SpillValue(StorageImpl& s, std::string_view value, uint32_t& pos) {
    if (!s.open || s.readOnly || !s.hasData || !s.src->file.IsOpen()) return false;
    if (s.heldBytes + int64_t(value.size()) <= s.holdLimit) {
        s.heldBytes += int64_t(value.size());
        return false;
    }
    // Free space of the last commit first, as the commit would place it.
    if (s.MayReuseFreeSpace()) {
        for (auto& g : s.gaps) {
            if (g.second - g.first < value.size()) continue;
            if (!WriteAt(s, g.first, value)) return false;
            pos = g.first;
            g.first += uint32_t(value.size());
            return true;
        }
    }
    int64_t at = s.dataEnd;
    int64_t end = at + int64_t(value.size()) + 8;
    if (end + 32 > kMaxData) return false;
    // The skip mark goes first: whatever happens to the value's bytes, the
    // file ends with a mark that leads readers back to the last commit.
    std::string skip;
    PutMark(skip, 0x80, 0, uint32_t(end - 8 - s.tailEnd));
    bool first = s.spillStart < 0, tailAtEnd = s.tailAtEnd;
    if (first) s.spillStart = at;
    s.tailAtEnd = false;
    bool ok;
    {
        RangeLock lock(s.src->file, LockRange::Commit, true);
        ok = WriteAt(s, end - 8, skip);
    }
    if (!ok || !WriteAt(s, at, value)) {
        s.CutBack(at, tailAtEnd);
        if (first && s.dataEnd == at) s.spillStart = -1;
        return false;
    }
    s.dataEnd = end;
    pos = uint32_t(at);
    return true;
}

bool CommitStorage(StorageImpl& s) {
    s.lastError = 0;
    if (!s.open || s.readOnly) return false;
    if (!s.hasData && s.root->Columns().empty()) return true;
    if (!s.src->file.IsOpen() && !s.src->file.Create(s.path)) return false;
    bool reuse = s.hasData && s.MayReuseFreeSpace();
    Encoder enc(s, false, reuse ? s.gaps : std::vector<Gap>{}, s.hasData ? s.dataEnd + 8 : 8);
    std::string walkBytes = enc.Walk();
    if (!enc.ok) return false;
    if (s.hasData && walkBytes == s.walkBytes) {
        ApplyStaged(*s.root);
        s.heldBytes = 0;
        return true;
    }
    Ref walk = enc.Place(walkBytes, nullptr);
    if (!enc.ok || walkBytes.size() >= (1u << 24)) return false;
    const int64_t endBefore = s.dataEnd;
    const bool tailAtEndBefore = s.tailAtEnd;
    errno = 0;
    if (!WriteCommit(s, enc, walk)) {
        s.lastError = errno;
        s.CutBack(endBefore, tailAtEndBefore);
        return false;
    }
    ApplyStaged(*s.root);
    s.spillStart = -1;
    s.heldBytes = 0;
    s.hasData = true;
    s.walkRef = walk;
    s.walkBytes = std::move(walkBytes);
    s.dataEnd = std::max(s.dataEnd, s.tailEnd);
    s.tailAtEnd = true;
    s.info.fileSize = s.src->base + s.dataEnd;
    s.info.metakitData = true;
    s.info.baseOffset = s.src->base;
    s.ComputeGaps();
    return true;
}

bool SaveStorage(StorageImpl& s, Stream& out) {
    if (!s.open) return false;
    Encoder enc(s, true, {}, 8);
    std::string walkBytes = enc.Walk();
    Ref walk = enc.Place(walkBytes, nullptr);
    if (!enc.ok) return false;
    uint32_t p = walk.pos + walk.size;
    if (!out.Write(Header(s.src->littleEndian, 0x1A, p + 16).data(), 8)) return false;
    auto sink = [&](int64_t, std::string_view bytes) { return out.Write(bytes.data(), long(bytes.size())); };
    if (!Emit(s, enc.writes, sink)) return false;
    return out.Write(TailPair(p, walk).data(), 16);
}

}  // namespace mk
