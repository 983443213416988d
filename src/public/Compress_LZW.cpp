#include "public/Compress_LZW.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "public/Allocate.h"
#include "public/BIT_STREAM.h"
#include "public/LittleEndian.h"

namespace {

constexpr char kMagic[8] = "LZWC01";   // six characters and the zero byte
constexpr int kEnd = 256;              // end of the code bits
constexpr int kFirstCode = 257;        // first dictionary entry

bool BitsInRange(int bits) { return bits >= 9 && bits <= 15; }

int MaxCode(int bits) { return (1 << bits) - 1; }

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

// The writer's dictionary: (string, byte) -> code, open addressing with
// linear probing in a power-of-two table at most half full. A string is known
// by its slot (one-byte strings by table size + byte), so extending the
// current string needs one lookup and no read of its code.
class WriterTable {
public:
    static constexpr uint32_t kNone = 0xFFFFFFFFu;   // no string (source ended)

    explicit WriterTable(int bits)
        : mask_((2u << bits) - 1), keys_(mask_ + 1), codes_(mask_ + 1) {}

    void Clear() { std::memset(keys_.data(), 0xFF, keys_.size() * sizeof(uint32_t)); }

    uint32_t Literal(int byte) const { return mask_ + 1 + static_cast<uint32_t>(byte); }
    int Code(uint32_t string) const
    {
        return string > mask_ ? static_cast<int>(string - mask_ - 1) : codes_[string];
    }

    // The slot of string + byte: the entry holding it, or the free slot
    // where it goes.
    uint32_t Find(uint32_t key) const
    {
        uint32_t i = (key * 0x9E3779B1u) >> 15 & mask_;
        while (keys_[i] != key && keys_[i] != kFree)
            i = (i + 1) & mask_;
        return i;
    }
    static uint32_t Key(uint32_t string, int byte) { return string << 8 | static_cast<uint32_t>(byte); }
    bool Holds(uint32_t slot) const { return keys_[slot] != kFree; }
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
// from where they were first written. The buffer keeps kSlack bytes beyond
// what is asked for, so short strings are copied in whole 16-byte pieces.
class Output {
public:
    // Room for count more bytes; false when memory runs out.
    bool Ensure(size_t count)
    {
        const size_t needed = size_ + count + kSlack;
        return needed <= buffer_.size() || Grow(std::max(buffer_.size() * 2, needed));
    }
    void PutByte(uint8_t b) { buffer_[size_++] = static_cast<char>(b); }
    // Appends the count bytes that start at from, which end at or before the
    // current end.
    void Copy(size_t from, size_t count)
    {
        char* p = buffer_.data();
        for (size_t i = 0; i < count; i += 16) {
            // Both halves are loaded before either is stored: the piece may
            // reach into the bytes being written, whose old values are
            // overwritten afterwards anyway.
            uint64_t a, b;
            std::memcpy(&a, p + from + i, 8);
            std::memcpy(&b, p + from + i + 8, 8);
            std::memcpy(p + size_ + i, &a, 8);
            std::memcpy(p + size_ + i + 8, &b, 8);
        }
        size_ += count;
    }
    uint8_t At(size_t i) const { return static_cast<uint8_t>(buffer_[i]); }
    size_t Size() const { return size_; }
    // The output, cut to length bytes.
    std::string Finish(size_t length)
    {
        buffer_.resize(length);
        return std::move(buffer_);
    }

private:
    static constexpr size_t kSlack = 16;

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
    source.Rewind();
    return Compress(source.Bytes(), dest, mode, cancel);
}

int Compress_LZW::Compress(std::string_view in, MemoryStream& dest, int mode, const volatile uint8_t* cancel)
{
    if (!BitsInRange(bits) || mode != 0)
        return BadStream;
    std::unique_ptr<WriterTable> table;
    if (!Allocate([&] { table = std::make_unique<WriterTable>(bits); }))
        return BadStream;
    const auto* src = reinterpret_cast<const uint8_t*>(in.data());
    const size_t size = in.size();
    length = static_cast<int64_t>(size);
    this->mode = mode;

    uint8_t header[kHeaderSize] = {};
    std::memcpy(header, kMagic, sizeof kMagic);
    header[8] = static_cast<uint8_t>(bits);
    PutLE(header + 16, static_cast<uint64_t>(length), 8);
    PutLE(header + 24, static_cast<uint64_t>(mode), 2);
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
    auto nextString = [&] { return i < size ? table->Literal(src[i++]) : WriterTable::kNone; };
    uint32_t s = nextString();
    for (;;) {
        if (Cancelled(cancel))
            return Incomplete;
        if (codes.next > maxCode) {
            // s is a one-byte string here, so its code survives the clearing.
            const int literal = table->Code(s);
            table->Clear();
            codes.Reset();
            PutCode(out, literal, codes.width);
            s = nextString();
        }
        if (i >= size)
            break;
        const int c = src[i++];
        const uint32_t key = WriterTable::Key(s, c);
        const uint32_t slot = table->Find(key);
        if (table->Holds(slot)) {
            s = slot;
            continue;
        }
        codes.Widen();
        table->Store(slot, key, codes.next++);
        PutCode(out, table->Code(s), codes.width);
        s = table->Literal(c);
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
    if (s != WriterTable::kNone)
        PutCode(out, table->Code(s), codes.width);
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
    struct Entry {
        size_t at;
        size_t size;
    };
    const int maxCode = MaxCode(bits);
    std::vector<Entry> entries;
    Output out;
    const size_t expected = static_cast<size_t>(std::min<int64_t>(length, int64_t(1) << 30));
    if (!Allocate([&] { entries.resize(static_cast<size_t>(maxCode) + 1); }) ||
        !out.Ensure(std::min(expected, source.Size() * 8 + 4096)))
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
    out.PutByte(static_cast<uint8_t>(code));
    Entry previous = {0, 1};   // the string of the previous code
    for (;;) {
        if (Cancelled(cancel))
            return Incomplete;
        if (next > maxCode) {
            next = kFirstCode;
            width = 2;
            code = GetCode(in, width);
            if (code < 0)
                break;
            if (code > kEnd || !out.Ensure(1))
                return BadStream;
            previous = {out.Size(), 1};
            // A writer that ended just after its dictionary filled leaves END
            // here; it becomes a spare byte that the length check cuts off.
            out.PutByte(static_cast<uint8_t>(code));
            if (code == kEnd)
                break;
        }
        code = GetCode(in, width);
        if (code < 0 || code == kEnd)
            break;
        if (code > next)
            return BadStream;
        const Entry current = {out.Size(), code < kEnd ? 1 : code < next ? entries[code].size : previous.size + 1};
        if (!out.Ensure(current.size))
            return BadStream;
        if (code < kEnd) {
            out.PutByte(static_cast<uint8_t>(code));
        } else if (code < next) {
            out.Copy(entries[code].at, current.size);
        } else {
            // The entry being defined: the previous string and its own first
            // byte.
            out.Copy(previous.at, previous.size);
            out.PutByte(out.At(previous.at));
        }
        entries[next] = {previous.at, previous.size + 1};
        if (next - 253 >= (1 << width))
            ++width;
        ++next;
        previous = current;
        // What goes beyond the header's length is cut off anyway; stopping
        // here bounds the memory a damaged stream can claim.
        if (out.Size() > static_cast<uint64_t>(length))
            break;
    }
    if (out.Size() < static_cast<uint64_t>(length))
        return Incomplete;
    dest.Assign(out.Finish(static_cast<size_t>(length)));
    return Done;
}
