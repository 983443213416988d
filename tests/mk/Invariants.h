// An independent walk over a storage file that checks the format rules our
// writer promises: marks, structure, column encodings and sizes, zero padding,
// memo placement, blobs inside the file and not overlapping.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "mk/Format.h"

namespace mktest {

class FileChecker {
public:
    // memoRule: every B/S item is a memo exactly when the threshold says so.
    // compact: no unused bytes between the blobs (a compacted copy).
    // padding: unused bits of packed columns are zero (not so in the original library's files).
    std::string Check(const std::string& file, bool memoRule, bool compact, bool padding) {
        f_ = file;
        padding_ = padding;
        memoRule_ = memoRule;
        blobs_.clear();
        err_.clear();
        size_t n = f_.size();
        if (n < 24) return "file too short";
        const auto* u = reinterpret_cast<const uint8_t*>(f_.data());
        if (!((u[0] == 'J' && u[1] == 'L') || (u[0] == 'L' && u[1] == 'J')) || u[2] != 0x1A || u[3] != 0) return "bad header";
        le_ = u[0] == 'J';
        if (mk::GetBE32(u + 4) != n) return "header size field";
        const uint8_t* skip = u + n - 16;
        const uint8_t* tail = u + n - 8;
        if (skip[0] != 0x80 || skip[1] || skip[2] || skip[3] || mk::GetBE32(skip + 4) != n - 16) return "bad skip tail";
        if (tail[0] != 0x80) return "bad commit tail";
        uint32_t walkLen = (uint32_t(tail[1]) << 16) | (uint32_t(tail[2]) << 8) | tail[3];
        uint32_t walkPos = mk::GetBE32(tail + 4);
        std::string walk;
        if (!Blob(walkLen, walkPos, walk)) return "walk outside file";
        mk::ByteReader r(walk.data(), walk.size());
        uint32_t prefix = r.Count();
        uint32_t len = r.Count();
        if (prefix != 0 || !r.ok || len > size_t(r.end - r.p)) return "bad walk";
        std::string desc(reinterpret_cast<const char*>(r.p), len);
        r.p += len;
        std::vector<mk::PropDef> props;
        if (!mk::ParseProps(desc, props) || mk::FormatProps(props) != desc) return "description not normalised: " + desc;
        if (r.Count() != 1) return "root row count";
        Sequence(r, props, 1);
        if (!r.AtEnd()) Fail("walk has trailing bytes");
        std::sort(blobs_.begin(), blobs_.end());
        uint64_t used = 0;
        for (size_t i = 0; i < blobs_.size(); ++i) {
            used += blobs_[i].second - blobs_[i].first;
            if (i && blobs_[i].first < blobs_[i - 1].second) Fail("blobs overlap");
        }
        if (compact && used + 24 != n) Fail("compacted copy has gaps");
        return err_;
    }

private:
    void Fail(const std::string& what) {
        if (err_.empty()) err_ = what;
    }

    bool Blob(uint32_t size, uint32_t pos, std::string& out) {
        out.clear();
        if (size == 0) return true;
        if (pos < 8 || uint64_t(pos) + size > f_.size() - 16) {
            Fail("blob outside data");
            return false;
        }
        blobs_.emplace_back(pos, pos + size);
        out = f_.substr(pos, size);
        return true;
    }

    bool Ref(mk::ByteReader& r, std::string& out) {
        uint32_t size = r.Count();
        uint32_t pos = size ? r.Count() : 0;
        if (!r.ok) Fail("bad column reference");
        return r.ok && Blob(size, pos, out);
    }

    std::vector<int64_t> Ints(const std::string& bytes, uint32_t rows) {
        std::vector<int64_t> v(rows, 0);
        if (bytes.empty()) return v;
        int w = mk::WidthFromSize(rows, uint32_t(bytes.size()));
        if (w <= 0 || w == 64 || mk::SizeForWidth(rows, w) != bytes.size()) {
            Fail("integer column size does not match a width");
            return v;
        }
        mk::DecodeInts(reinterpret_cast<const uint8_t*>(bytes.data()), rows, w, le_, v);
        if (padding_ && mk::EncodeInts(v, w, le_) != bytes) Fail("padding bits not zero");
        return v;
    }

    void Sequence(mk::ByteReader& r, const std::vector<mk::PropDef>& props, uint32_t rows) {
        if (rows == 0) return;
        for (const auto& p : props) {
            std::string data, sizes, memo;
            switch (p.type) {
            case 'I': case 'F': Ref(r, data); Ints(data, rows); break;
            case 'D': case 'L':
                Ref(r, data);
                if (data.size() != 8ull * rows) Fail("D/L column not 8 bytes a row");
                break;
            case 'S': case 'B': Items(r, p.type, rows); break;
            case 'V': {
                Ref(r, data);
                mk::ByteReader v(data.data(), data.size());
                for (uint32_t i = 0; i < rows; ++i) {
                    if (v.Count() != 0) Fail("sequence prefix");
                    uint32_t n = v.Count();
                    Sequence(v, p.sub, n);
                }
                if (!v.ok || !v.AtEnd()) Fail("subview column has trailing bytes");
                break;
            }
            }
        }
    }

    void Items(mk::ByteReader& r, char type, uint32_t rows) {
        std::string data, sizes, memo;
        Ref(r, data);
        if (!data.empty()) Ref(r, sizes);
        Ref(r, memo);
        std::vector<int64_t> lengths = data.empty() ? std::vector<int64_t>(rows, 0) : Ints(sizes, rows);
        uint64_t offset = 0;
        for (uint32_t i = 0; i < rows; ++i) {
            if (lengths[i] < 0 || offset + lengths[i] > data.size()) return Fail("item sizes exceed the data column");
            if (lengths[i] && type == 'S' && data[offset + lengths[i] - 1] != '\0') Fail("string without terminating zero");
            if (memoRule_ && lengths[i] && IsMemo(uint32_t(lengths[i]), rows)) Fail("item should be a memo");
            offset += lengths[i];
        }
        if (offset != data.size()) Fail("item sizes do not add up");
        mk::ByteReader m(memo.data(), memo.size());
        int64_t row = -1;
        while (m.ok && !m.AtEnd()) {
            row += m.Count() + 1;
            std::string item;
            Ref(m, item);
            if (row >= rows || item.empty() || lengths[row]) Fail("bad memo entry");
            else if (type == 'S' && item.back() != '\0') Fail("memo string without terminating zero");
            else if (memoRule_ && !IsMemo(uint32_t(item.size()), rows)) Fail("memo should be inline");
        }
    }

    static bool IsMemo(uint32_t len, uint32_t rows) { return len > 10000 || (len > 100 && len > 1000000 / (uint64_t(rows) + 1)); }

    std::string f_;
    bool memoRule_ = true;
    bool padding_ = true;
    bool le_ = true;
    std::vector<std::pair<uint64_t, uint64_t>> blobs_;
    std::string err_;
};

}  // namespace mktest
