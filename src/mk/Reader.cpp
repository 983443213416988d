// Locating the last commit (from the end of the file, or by searching back
// past a damaged end) and loading its views.
#include <algorithm>
#include <cstring>

#include "mk/StorageImpl.h"

namespace mk {

namespace {

const int kMaxRecoveryAttempts = 64;

bool IsSkip(const uint8_t* m) {
    bool form = (m[0] == 0x80 && !m[1] && !m[2] && !m[3]) || (m[0] & 0xF0) == 0x90;
    return form && GetBE32(m + 4) > 0;
}

bool IsCommit(const uint8_t* m) {
    return m[0] == 0x80 && (m[1] || m[2] || m[3]) && GetBE32(m + 4) > 0;
}

bool IsHeader(const uint8_t* h) {
    bool letters = (h[0] == 'J' && h[1] == 'L') || (h[0] == 'L' && h[1] == 'J');
    return letters && h[2] == 0x1A && !(h[3] & 0x40);
}

// Loads one commit's root walk and everything it references.
class Loader {
public:
    Loader(StorageImpl& s, int64_t limit, int64_t fileSize)
        : s_(s), limit_(limit), cellBudget_((int64_t(1) << 22) + 8 * fileSize), byteBudget_(2 * fileSize + 4096),
          defBudget_((int64_t(1) << 20) + fileSize) {}

    bool Root(Ref walk, std::unique_ptr<Seq>& root, std::string& walkBytes) {
        if (!Blob(walk, walkBytes)) return false;
        ByteReader r(walkBytes.data(), walkBytes.size());
        r.Count();
        uint32_t n = r.Count();
        if (!r.ok || n > size_t(r.end - r.p)) return false;
        std::string desc(reinterpret_cast<const char*>(r.p), n);
        r.p += n;
        std::vector<PropDef> props;
        if (!ParseProps(desc, props)) return false;
        for (const auto& p : props)
            if (p.type != 'V') return false;
        if (r.Count() != 1 || !r.ok) return false;
        root = std::make_unique<Seq>(s_.src, "", props, 1);
        return Columns(r, *root, 1);
    }

private:
    bool ReadRef(ByteReader& r, Ref& ref) {
        ref.size = r.Count();
        ref.pos = ref.size ? r.Count() : 0;
        if (!r.ok) return false;
        return ref.size == 0 || (ref.pos >= 8 && int64_t(ref.pos) + ref.size <= limit_);
    }

    bool Blob(const Ref& ref, std::string& out) {
        out.clear();
        if (ref.size == 0) return true;
        if (int64_t(ref.size) > byteBudget_) return false;
        byteBudget_ -= ref.size;
        out.resize(ref.size);
        return s_.src->file.ReadAt(s_.src->base + ref.pos, out.data(), ref.size);
    }

    bool Columns(ByteReader& r, Seq& seq, uint32_t rows) {
        cellBudget_ -= int64_t(rows) * (int64_t(seq.Columns().size()) + 1);
        if (cellBudget_ < 0) return false;
        seq.SetRows(rows);
        for (auto& c : seq.Columns()) {
            c.Clear();
            c.dirty = false;
            bool ok;
            switch (c.def.type) {
            case 'I': case 'F': ok = Ints(r, c, rows); break;
            case 'D': case 'L': ok = Wide(r, c, rows); break;
            case 'S': case 'B': ok = Items(r, c, rows); break;
            default: ok = Subviews(r, seq, c, rows); break;
            }
            if (!ok) return false;
        }
        return true;
    }

    // The single blob of an I, F, D or L column.
    bool Single(ByteReader& r, Column& c, Ref& ref, std::string& bytes) {
        if (!ReadRef(r, ref) || !Blob(ref, bytes)) return false;
        c.refs = {ref};
        return true;
    }

    bool Ints(ByteReader& r, Column& c, uint32_t rows) {
        Ref ref;
        std::string bytes;
        if (rows == 0) return true;
        if (!Single(r, c, ref, bytes)) return false;
        int w = WidthFromSize(rows, ref.size);
        if (w < 0 || uint64_t(rows) * w > uint64_t(ref.size) * 8) return false;
        DecodeInts(reinterpret_cast<const uint8_t*>(bytes.data()), rows, w, s_.src->littleEndian, c.ints);
        if (w == 64)
            for (auto& v : c.ints) v = static_cast<int32_t>(v);
        c.width = std::min(w, 32);
        return true;
    }

    // D and L: 8 bytes a row, or no bytes at all (read as zeros).
    bool Wide(ByteReader& r, Column& c, uint32_t rows) {
        Ref ref;
        std::string bytes;
        if (rows == 0) return true;
        if (!Single(r, c, ref, bytes)) return false;
        if (ref.size && WidthFromSize(rows, ref.size) != 64) return false;
        DecodeInts(reinterpret_cast<const uint8_t*>(bytes.data()), rows, ref.size ? 64 : 0, s_.src->littleEndian, c.ints);
        return true;
    }

    bool Items(ByteReader& r, Column& c, uint32_t rows) {
        if (rows == 0) return true;
        Ref data, sizes, memo;
        if (!ReadRef(r, data) || (data.size && !ReadRef(r, sizes)) || !ReadRef(r, memo)) return false;
        c.refs = {data, sizes, memo};
        c.cells.resize(rows);
        std::string bytes, memoBytes;
        if (!Blob(memo, memoBytes)) return false;
        ByteReader m(memoBytes.data(), memoBytes.size());
        int64_t row = -1;
        while (!m.AtEnd()) {
            row += int64_t(m.Count()) + 1;
            Ref blob;
            if (!ReadRef(m, blob) || row >= rows) return false;
            Cell& cell = c.cells[row];
            cell.inFile = blob.size > 0;
            cell.pos = blob.pos;
            cell.len = blob.size;
        }
        if (data.size == 0) return true;
        std::vector<int64_t> lengths;
        std::string sizeBytes;
        int w = WidthFromSize(rows, sizes.size);
        if (w < 0 || uint64_t(rows) * w > uint64_t(sizes.size) * 8 || !Blob(sizes, sizeBytes) || !Blob(data, bytes)) return false;
        DecodeInts(reinterpret_cast<const uint8_t*>(sizeBytes.data()), rows, w, s_.src->littleEndian, lengths);
        uint64_t offset = 0;
        for (uint32_t i = 0; i < rows; ++i) {
            if (lengths[i] < 0 || offset + lengths[i] > bytes.size()) return false;
            if (!c.cells[i].inFile) c.cells[i] = Cell{uint32_t(offset), uint32_t(lengths[i]), false};
            offset += lengths[i];
        }
        c.pool = std::move(bytes);
        c.poolLive = c.pool.size();
        // Items that do not cover the data column are tolerated, as the original
        // library does (its own conversion of old files writes such columns).
        return true;
    }

    // Every row's sequence takes at least two bytes of the blob (an empty one
    // is 80 80), so a row count the blob cannot hold is refused before any
    // sequence is made; so are more columns than the file size can account for.
    bool Subviews(ByteReader& r, Seq& seq, Column& c, uint32_t rows) {
        if (rows == 0) return true;
        Ref ref;
        if (!ReadRef(r, ref) || !Blob(ref, c.blob) || rows > c.blob.size() / 2) return false;
        defBudget_ -= int64_t(rows) * DefCount(c.def.sub);
        if (defBudget_ < 0) return false;
        c.refs = {ref};
        for (uint32_t i = 0; i < rows; ++i) c.subs.push_back(std::make_unique<Seq>(s_.src, c.def.name, c.def.sub, 0));
        ByteReader v(c.blob.data(), c.blob.size());
        for (uint32_t i = 0; i < rows; ++i) {
            v.Count();
            uint32_t n = v.Count();
            if (!v.ok || !Columns(v, *c.subs[i], n)) return false;
        }
        (void)seq;
        return v.ok;
    }

    static int64_t DefCount(const std::vector<PropDef>& props) {
        int64_t n = 1;
        for (const auto& p : props) n += DefCount(p.sub);
        return n;
    }

    StorageImpl& s_;
    int64_t limit_;
    int64_t cellBudget_;   // rows times columns over all sequences
    int64_t byteBudget_;   // bytes read from the file
    int64_t defBudget_;    // columns and property definitions made for subview rows
};

bool ReadMark(const File& f, int64_t pos, uint8_t* m) { return pos >= 0 && f.ReadAt(pos, m, 8); }

// Tries the commit whose tail ends at absolute position end.
bool TryCommit(StorageImpl& s, int64_t end, int64_t fileSize) {
    uint8_t commit[8], skip[8], header[8];
    const File& f = s.src->file;
    if (end < 24 || !ReadMark(f, end - 8, commit) || !ReadMark(f, end - 16, skip)) return false;
    if (!IsCommit(commit) || !IsSkip(skip)) return false;
    int64_t base = end - 16 - int64_t(GetBE32(skip + 4));
    if (base < 0 || !ReadMark(f, base, header) || !IsHeader(header)) return false;
    Ref walk{(uint32_t(commit[1]) << 16) | (uint32_t(commit[2]) << 8) | commit[3], GetBE32(commit + 4)};
    int64_t limit = end - 16 - base;
    if (walk.pos < 8 || int64_t(walk.pos) + walk.size > limit) return false;
    s.src->base = base;
    s.src->littleEndian = header[0] == 'J';
    std::unique_ptr<Seq> root;
    std::string walkBytes;
    if (!Loader(s, limit, fileSize).Root(walk, root, walkBytes)) return false;
    s.root = std::move(root);
    s.walkRef = walk;
    s.walkBytes = std::move(walkBytes);
    s.hasData = true;
    s.tailEnd = end - base;
    s.dataEnd = fileSize - base;
    s.tailAtEnd = end == fileSize;
    return true;
}

// The way the original library looks: from the physical end, following skip tails.
bool FromEnd(StorageImpl& s, int64_t fileSize, int64_t& tried) {
    int64_t end = fileSize;
    uint8_t m[8];
    for (int hops = 0; hops < 64 && end >= 8; ++hops) {
        if (!ReadMark(s.src->file, end - 8, m)) return false;
        if (IsCommit(m)) {
            tried = end;
            return TryCommit(s, end, fileSize);
        }
        if (!IsSkip(m)) return false;
        end = end - 8 - int64_t(GetBE32(m + 4));
    }
    return false;
}

// Searches backwards for the last tail pair that leads to a loadable commit.
bool SearchBack(StorageImpl& s, int64_t fileSize, int64_t skipEnd) {
    const int64_t chunk = 1 << 20;
    std::vector<uint8_t> buf;
    int attempts = 0;
    int64_t hi = fileSize;   // candidate tails end at or below hi
    while (hi >= 24 && attempts < kMaxRecoveryAttempts) {
        int64_t lo = std::max<int64_t>(0, hi - chunk - 16);
        buf.resize(size_t(hi - lo));
        if (!s.src->file.ReadAt(lo, buf.data(), buf.size())) return false;
        for (int64_t end = hi; end - 16 >= lo && attempts < kMaxRecoveryAttempts; --end) {
            const uint8_t* pair = buf.data() + (end - 16 - lo);
            if (end == skipEnd || !IsCommit(pair + 8) || !IsSkip(pair)) continue;
            ++attempts;
            if (TryCommit(s, end, fileSize)) return true;
        }
        if (lo == 0) break;
        hi = lo + 15;
    }
    return false;
}

bool OldFormatHeader(const File& f, int64_t fileSize, bool& littleEndian) {
    uint8_t h[8];
    for (int64_t pos = 0; pos <= 4088 && pos + 8 <= fileSize; pos += 8) {
        if (!f.ReadAt(pos, h, 8)) return false;
        if (IsHeader(h) && h[3] == 0x80) {
            littleEndian = h[0] == 'J';
            return true;
        }
    }
    return false;
}

}  // namespace

Status LoadStorage(StorageImpl& s) {
    int64_t fileSize = s.src->file.IsOpen() ? s.src->file.Size() : 0;
    if (fileSize < 0) return Status::IoError;
    s.info.fileSize = fileSize;
    int64_t tried = -1;
    Status status = Status::Ok;
    if (!FromEnd(s, fileSize, tried)) {
        if (s.src->file.IsOpen() && SearchBack(s, fileSize, tried)) {
            status = Status::Recovered;
        } else {
            uint8_t h[8] = {};
            bool le = true;
            if (s.src->file.IsOpen() && OldFormatHeader(s.src->file, fileSize, le)) {
                s.info.oldFormat = true;
                s.info.metakitData = true;
                s.info.littleEndian = le;
                return Status::OldFormat;
            }
            if (fileSize >= 8 && ReadMark(s.src->file, 0, h) && IsHeader(h)) return Status::Corrupt;
            s.hasData = false;
            s.src->base = fileSize;
            s.src->littleEndian = true;
            s.dataEnd = 0;
            s.tailEnd = 0;
            s.NewEmptyRoot();
        }
    }
    s.info.metakitData = s.hasData;
    s.info.baseOffset = s.src->base;
    s.info.littleEndian = s.src->littleEndian;
    // Free space must be known before anything changes in memory: it is what
    // the commit on disk does not use. Read-only storages never need it.
    if (!s.readOnly) s.ComputeGaps();
    return status;
}

}  // namespace mk
