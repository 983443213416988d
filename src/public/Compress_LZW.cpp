#include "public/Compress_LZW.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "public/Allocate.h"
#include "public/BIT_STREAM.h"

namespace {

constexpr char kMagic[8] = "LZWC01";   // six characters and the zero byte
constexpr int kEnd = 256;              // end of the code bits
constexpr int kFirstCode = 257;        // first dictionary entry

bool BitsInRange(int bits) { return bits >= 9 && bits <= 15; }

int MaxCode(int bits) { return (1 << bits) - 1; }

// Size of the writer's table and of the reader's work stack by BITS.
int TableSize(int bits)
{
    static constexpr int kSizes[] = {673, 1321, 3061, 5021, 13441, 26491, 40961};
    return kSizes[bits - 9];
}

void PutLE(uint8_t* p, uint64_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

uint64_t GetLE(const uint8_t* p, int bytes)
{
    uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = v << 8 | p[i];
    return v;
}

bool Cancelled(const volatile uint8_t* cancel) { return cancel && *cancel != 0; }

// Writes a code: a literal as 0 and its 8 bits, a dictionary code as 1 and
// code - 256 in width bits.
inline void PutCode(BIT_STREAM& out, int code, int width)
{
    if (code < kEnd)
        out.Put(static_cast<uint32_t>(code), 9);
    else
        out.Put(static_cast<uint32_t>((1 << width) | (code - kEnd)), width + 1);
}

// Reads a code; -1 when the data ends before the code is complete.
inline int GetCode(BIT_STREAM& in, int width)
{
    const int64_t flag = in.Get(1);
    if (flag < 0)
        return -1;
    const int64_t v = in.Get(flag ? width : 8);
    if (v < 0)
        return -1;
    return static_cast<int>(flag ? v + kEnd : v);
}

// The writer's dictionary: (prefix code, byte) -> code, open addressing with
// linear probing in a power-of-two table at most half full.
class WriterTable {
public:
    explicit WriterTable(int bits)
        : mask_((2u << bits) - 1), keys_(mask_ + 1), codes_(mask_ + 1) {}

    void Clear() { std::memset(keys_.data(), 0xFF, keys_.size() * sizeof(uint32_t)); }

    // The slot of key: the entry holding it, or the free slot where it goes.
    uint32_t Find(uint32_t key) const
    {
        uint32_t i = (key * 0x9E3779B1u) >> 15 & mask_;
        while (keys_[i] != key && keys_[i] != kFree)
            i = (i + 1) & mask_;
        return i;
    }
    bool Holds(uint32_t slot) const { return keys_[slot] != kFree; }
    int Code(uint32_t slot) const { return codes_[slot]; }
    void Store(uint32_t slot, uint32_t key, int code)
    {
        keys_[slot] = key;
        codes_[slot] = static_cast<uint16_t>(code);
    }

private:
    static constexpr uint32_t kFree = 0xFFFFFFFFu;
    uint32_t mask_;
    std::vector<uint32_t> keys_;
    std::vector<uint16_t> codes_;
};

// Next code and width of the writer; the width grows just before a code is
// assigned that needs it.
struct WriterCodes {
    int next = kFirstCode;
    int width = 2;
    void Reset()
    {
        next = kFirstCode;
        width = 2;
    }
    void Widen()
    {
        if (next - 255 >= (1 << width))
            ++width;
    }
};

// Expanded output with room to grow; strings of the dictionary are copied
// from where they were first written.
class Output {
public:
    bool Init(size_t reserve)
    {
        return Grow(reserve);
    }
    // Room for count more bytes; false when memory runs out.
    bool Ensure(size_t count)
    {
        return size_ + count <= buffer_.size() || Grow(std::max(buffer_.size() * 2, size_ + count));
    }
    void PutByte(uint8_t b) { buffer_[size_++] = static_cast<char>(b); }
    // Appends count bytes starting at from; the source may overlap the end,
    // so it is copied forward byte by byte when it does.
    void Copy(size_t from, size_t count)
    {
        char* p = buffer_.data();
        if (from + count <= size_)
            std::memcpy(p + size_, p + from, count);
        else
            for (size_t i = 0; i < count; ++i)
                p[size_ + i] = p[from + i];
        size_ += count;
    }
    uint8_t At(size_t i) const { return static_cast<uint8_t>(buffer_[i]); }
    size_t Size() const { return size_; }
    std::string Finish()
    {
        buffer_.resize(size_);
        return std::move(buffer_);
    }

private:
    bool Grow(size_t capacity)
    {
        return Allocate([&] { buffer_.resize(capacity); });
    }
    std::string buffer_;
    size_t size_ = 0;
};

} // namespace

Compress_LZW::Compress_LZW() = default;

int Compress_LZW::Compress(MemoryStream& source, MemoryStream& dest, int mode,
                           const volatile uint8_t* cancel)
{
    if (!BitsInRange(bits) || mode != 0)
        return BadStream;
    std::unique_ptr<WriterTable> table;
    if (!Allocate([&] { table = std::make_unique<WriterTable>(bits); }))
        return BadStream;
    const auto in = source.Bytes();
    const auto* src = reinterpret_cast<const uint8_t*>(in.data());
    const size_t size = in.size();
    length = static_cast<int64_t>(size);
    this->mode = mode;

    uint8_t header[kHeaderSize] = {};
    std::memcpy(header, kMagic, sizeof kMagic);
    header[8] = static_cast<uint8_t>(bits);
    PutLE(header + 16, static_cast<uint64_t>(length), 8);
    PutLE(header + 24, static_cast<uint64_t>(mode), 2);
    source.Rewind();
    dest.Clear();
    dest.Reserve(kHeaderSize + size / 2 + 16);
    if (!dest.Write(header, kHeaderSize))
        return Incomplete;

    BIT_STREAM out;
    out.Attach(dest, BIT_STREAM::Write);
    const int maxCode = MaxCode(bits);
    WriterCodes codes;
    table->Clear();
    size_t i = 0;
    int s = size > 0 ? src[i++] : kEnd;
    for (;;) {
        if (Cancelled(cancel))
            return Incomplete;
        if (codes.next > maxCode) {
            table->Clear();
            codes.Reset();
            PutCode(out, s, codes.width);
            s = i < size ? src[i++] : kEnd;
        }
        if (i >= size)
            break;
        const int c = src[i++];
        const uint32_t key = static_cast<uint32_t>(s) << 8 | static_cast<uint32_t>(c);
        const uint32_t slot = table->Find(key);
        if (table->Holds(slot)) {
            s = table->Code(slot);
            continue;
        }
        codes.Widen();
        table->Store(slot, key, codes.next++);
        PutCode(out, s, codes.width);
        s = c;
    }
    // The reader runs one entry behind: advance twice so that END gets the
    // width the reader expects.
    auto advance = [&] {
        if (codes.next > maxCode) {
            codes.Reset();
        } else {
            codes.Widen();
            ++codes.next;
        }
    };
    advance();
    if (s != kEnd)
        PutCode(out, s, codes.width);
    advance();
    PutCode(out, kEnd, codes.width);
    return out.Flush() ? Done : BadStream;
}

int Compress_LZW::Expand(MemoryStream& source, MemoryStream& dest, const volatile uint8_t* cancel)
{
    uint8_t header[kHeaderSize];
    source.Rewind();
    if (source.Read(header, kHeaderSize) != kHeaderSize)
        return BadStream;
    if (std::memcmp(header, kMagic, sizeof kMagic) != 0)
        return BadStream;
    bits = header[8];
    length = static_cast<int64_t>(GetLE(header + 16, 8));
    mode = static_cast<int>(GetLE(header + 24, 2));
    // Mode 1 (enciphered code bits) is never written here and not read.
    if (mode != 0 || !BitsInRange(bits) || length < 0)
        return BadStream;

    // Each dictionary code is where its string was first written and its
    // length; a string is the previous string plus the first byte of the next.
    const int maxCode = MaxCode(bits);
    std::vector<size_t> where;
    std::vector<uint32_t> size;
    Output out;
    if (!Allocate([&] {
            where.resize(static_cast<size_t>(maxCode) + 1);
            size.resize(static_cast<size_t>(maxCode) + 1);
        }))
        return BadStream;
    const size_t expected = static_cast<size_t>(std::min<int64_t>(length, int64_t(1) << 30));
    if (!out.Init(std::min(expected, source.Size() * 8 + 4096)))
        return BadStream;
    dest.Clear();

    BIT_STREAM in;
    in.Attach(source, BIT_STREAM::Read);
    int next = kFirstCode;
    int width = 2;
    int code = GetCode(in, width);
    if (code < 0 || code == kEnd)
        return Done;
    if (code > kEnd)
        return BadStream;
    if (!out.Ensure(1))
        return BadStream;
    out.PutByte(static_cast<uint8_t>(code));
    size_t prevAt = 0, prevSize = 1;   // the string of the previous code
    const int stackSize = TableSize(bits);
    for (;;) {
        if (Cancelled(cancel))
            return Incomplete;
        if (next > maxCode) {
            next = kFirstCode;
            width = 2;
            code = GetCode(in, width);
            if (code < 0)
                break;
            if (code > kEnd)
                return BadStream;
            if (!out.Ensure(1))
                return BadStream;
            prevAt = out.Size();
            prevSize = 1;
            // A writer that ended just after its dictionary filled leaves END
            // here; it becomes a spare byte that the length check cuts off.
            out.PutByte(static_cast<uint8_t>(code));
            if (code == kEnd)
                break;
        }
        code = GetCode(in, width);
        if (code < 0 || code == kEnd)
            break;
        const size_t at = out.Size();
        size_t count;
        if (code < kEnd) {
            count = 1;
            if (!out.Ensure(1))
                return BadStream;
            out.PutByte(static_cast<uint8_t>(code));
        } else {
            if (code > next)
                return BadStream;
            // code == next: the entry being defined, the previous string and
            // its own first byte.
            const size_t from = code < next ? where[code] : prevAt;
            count = code < next ? size[code] : prevSize + 1;
            if (count > static_cast<size_t>(stackSize))
                return BadStream;
            if (!out.Ensure(count))
                return BadStream;
            out.Copy(from, count);
        }
        if (next <= maxCode) {
            where[next] = prevAt;
            size[next] = static_cast<uint32_t>(prevSize + 1);
            if (next - 253 >= (1 << width))
                ++width;
            ++next;
        }
        prevAt = at;
        prevSize = count;
    }
    if (out.Size() < static_cast<uint64_t>(length))
        return Incomplete;
    std::string bytes = out.Finish();
    bytes.resize(static_cast<size_t>(length));
    dest.Assign(std::move(bytes));
    return Done;
}
