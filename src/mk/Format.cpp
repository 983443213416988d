#include "mk/Format.h"

#include <bit>
#include <cstring>

namespace mk {

int64_t ByteReader::Varint() {
    if (p >= end) {
        ok = false;
        return 0;
    }
    bool negative = *p == 0;
    uint64_t acc = 0;
    for (int n = 0; n < 11; ++n) {
        if (p >= end) break;
        uint8_t b = *p++;
        acc = (acc << 7) | (b & 0x7F);
        if (b & 0x80) return negative ? static_cast<int64_t>(~acc) : static_cast<int64_t>(acc);
        if (acc > (uint64_t(1) << 40)) break;
    }
    ok = false;
    return 0;
}

uint32_t ByteReader::Count() {
    int64_t v = Varint();
    if (v < 0 || v > 0x7FFFFFFF) {
        ok = false;
        return 0;
    }
    return ok ? static_cast<uint32_t>(v) : 0;
}

void PutVarint(std::string& out, int64_t value) {
    uint64_t v = static_cast<uint64_t>(value);
    if (value < 0) {
        out.push_back('\0');
        v = ~v;
    }
    uint8_t buf[10];
    int n = 0;
    do {
        buf[n++] = v & 0x7F;
        v >>= 7;
    } while (v);
    buf[0] |= 0x80;
    while (n) out.push_back(static_cast<char>(buf[--n]));
}

uint32_t GetBE32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

void PutBE32(uint8_t* p, uint32_t v) {
    p[0] = v >> 24;
    p[1] = v >> 16;
    p[2] = v >> 8;
    p[3] = v;
}

int64_t GetEntry(const uint8_t* p, int bytes, bool littleEndian) {
    uint64_t v = 0;
    for (int i = 0; i < bytes; ++i) v |= uint64_t(p[littleEndian ? i : bytes - 1 - i]) << (8 * i);
    if (bytes < 8) {
        int shift = 64 - 8 * bytes;
        return static_cast<int64_t>(v << shift) >> shift;
    }
    return static_cast<int64_t>(v);
}

void PutEntry(uint8_t* p, int bytes, uint64_t v, bool littleEndian) {
    for (int i = 0; i < bytes; ++i) p[littleEndian ? i : bytes - 1 - i] = static_cast<uint8_t>(v >> (8 * i));
}

int WidthFor(int64_t v) {
    if (v == 0) return 0;
    if (v == 1) return 1;
    if (v >= 2 && v <= 3) return 2;
    if (v >= 4 && v <= 15) return 4;
    if (v >= -128 && v <= 127) return 8;
    if (v >= -32768 && v <= 32767) return 16;
    return 32;
}

namespace {

// Widths for up to 7 rows and 6 bytes, as the format's size table gives them.
const int8_t kSmallWidths[7][6] = {
    {8, 16, 1, 32, 2, 4}, {4, 8, 1, 16, 2, -1}, {2, 4, 8, 1, -1, 16}, {2, 4, -1, 8, 1, -1},
    {1, 2, 4, -1, 8, -1}, {1, 2, 4, -1, -1, 8}, {1, 2, -1, 4, -1, -1},
};

// Special sizes for 1 to 4 rows at 4, 2 and 1 bits.
const uint8_t kSpecialSizes[3][4] = {{6, 1, 2, 2}, {5, 5, 1, 1}, {3, 3, 4, 5}};

}  // namespace

int WidthFromSize(uint32_t rows, uint32_t size) {
    if (size == 0) return 0;
    if (rows == 0) return -1;
    int w;
    if (rows <= 7 && size <= 6) {
        w = kSmallWidths[rows - 1][size - 1];
    } else {
        uint64_t f = uint64_t(size) * 8 / rows;
        w = f > 64 ? -1 : static_cast<int>(f);
    }
    switch (w) {
    case 1: case 2: case 4: case 8: case 16: case 32: case 64: return w;
    default: return -1;
    }
}

uint32_t SizeForWidth(uint32_t rows, int width) {
    if (rows == 0 || width == 0) return 0;
    if (rows <= 4 && width <= 4) {
        int line = width == 4 ? 0 : width == 2 ? 1 : 2;
        return kSpecialSizes[line][rows - 1];
    }
    return static_cast<uint32_t>((uint64_t(rows) * width + 7) / 8);
}

std::string EncodeInts(const std::vector<int64_t>& values, int width, bool littleEndian) {
    uint32_t rows = static_cast<uint32_t>(values.size());
    std::string out(SizeForWidth(rows, width), '\0');
    auto* p = reinterpret_cast<uint8_t*>(out.data());
    if (width == 0) return out;
    if (width < 8) {
        int perByte = 8 / width;
        uint8_t mask = static_cast<uint8_t>((1 << width) - 1);
        for (uint32_t i = 0; i < rows; ++i)
            p[i / perByte] |= static_cast<uint8_t>((values[i] & mask) << (width * (i % perByte)));
        return out;
    }
    int bytes = width / 8;
    for (uint32_t i = 0; i < rows; ++i) PutEntry(p + size_t(i) * bytes, bytes, static_cast<uint64_t>(values[i]), littleEndian);
    return out;
}

template <typename T>
void DecodeNative(const uint8_t* data, uint32_t rows, std::vector<int64_t>& out) {
    for (uint32_t i = 0; i < rows; ++i) {
        T v;
        std::memcpy(&v, data + size_t(i) * sizeof(T), sizeof(T));
        out[i] = v;
    }
}

void DecodeInts(const uint8_t* data, uint32_t rows, int width, bool littleEndian, std::vector<int64_t>& out) {
    out.assign(rows, 0);
    if (width == 0) return;
    if (width < 8) {
        int perByte = 8 / width;
        int mask = (1 << width) - 1;
        for (uint32_t i = 0; i < rows; ++i) out[i] = (data[i / perByte] >> (width * (i % perByte))) & mask;
        return;
    }
    int bytes = width / 8;
    if (littleEndian && std::endian::native == std::endian::little) {
        switch (bytes) {
        case 1: for (uint32_t i = 0; i < rows; ++i) out[i] = int8_t(data[i]); return;
        case 2: DecodeNative<int16_t>(data, rows, out); return;
        case 4: DecodeNative<int32_t>(data, rows, out); return;
        default: DecodeNative<int64_t>(data, rows, out); return;
        }
    }
    for (uint32_t i = 0; i < rows; ++i) out[i] = GetEntry(data + size_t(i) * bytes, bytes, littleEndian);
}

namespace {

bool IsNameEnd(char c) { return c == ',' || c == '[' || c == ']' || c == ':'; }

bool ParseList(const std::string& s, size_t& i, std::vector<PropDef>& out, int depth) {
    if (depth > 20) return false;
    if (i >= s.size() || s[i] == ']') return true;
    for (;;) {
        PropDef f;
        size_t start = i;
        while (i < s.size() && !IsNameEnd(s[i])) ++i;
        f.name = s.substr(start, i - start);
        if (f.name.empty()) return false;
        if (i < s.size() && s[i] == ':') {
            if (++i >= s.size()) return false;
            char t = static_cast<char>(s[i] >= 'a' && s[i] <= 'z' ? s[i] - 32 : s[i]);
            if (t == 'M') t = 'B';
            if (!std::strchr("ILFDSB", t) || t == '\0') return false;
            f.type = t;
            while (i < s.size() && s[i] != ',' && s[i] != '[' && s[i] != ']') ++i;
        } else if (i < s.size() && s[i] == '[') {
            ++i;
            f.type = 'V';
            if (!ParseList(s, i, f.sub, depth + 1)) return false;
            if (i >= s.size() || s[i] != ']') return false;
            ++i;
        }
        bool duplicate = false;
        for (const auto& e : out) duplicate = duplicate || EqualNoCase(e.name, f.name);
        if (!duplicate) out.push_back(std::move(f));
        if (i < s.size() && s[i] == ',') {
            ++i;
            continue;
        }
        return true;
    }
}

}  // namespace

bool ParseProps(const std::string& text, std::vector<PropDef>& out) {
    out.clear();
    size_t i = 0;
    return ParseList(text, i, out, 0) && i == text.size();
}

bool ParseViewDescription(const std::string& text, PropDef& out) {
    std::vector<PropDef> list;
    if (!ParseProps(text, list) || list.size() != 1 || list[0].type != 'V') return false;
    out = std::move(list[0]);
    return true;
}

std::string FormatProp(const PropDef& prop) {
    if (prop.type == 'V') return prop.name + "[" + FormatProps(prop.sub) + "]";
    return prop.name + ":" + prop.type;
}

std::string FormatProps(const std::vector<PropDef>& props) {
    std::string out;
    for (size_t i = 0; i < props.size(); ++i) {
        if (i) out += ',';
        out += FormatProp(props[i]);
    }
    return out;
}

int CompareNoCase(const std::string& a, const std::string& b) {
    size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        int x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z') x += 32;
        if (y >= 'A' && y <= 'Z') y += 32;
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
}

bool EqualNoCase(const std::string& a, const std::string& b) { return a.size() == b.size() && CompareNoCase(a, b) == 0; }

}  // namespace mk
