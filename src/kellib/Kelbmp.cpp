#include "kellib/Kelbmp.h"

#include <algorithm>
#include <cstring>

#include <endian.h>

namespace {

enum Compression { kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3, kAlphaBitFields = 6 };

uint32_t Le(const uint8_t* p, int bytes)
{
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = v << 8 | p[i];
    return v;
}

void PutLe(std::string& s, uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        s.push_back(static_cast<char>(v >> (8 * i)));
}

// One channel of a bit-field pixel scaled to 8 bits.
struct Channel {
    int shift = 0;
    int bits = 0;
    explicit Channel(uint32_t mask = 0)
    {
        if (!mask)
            return;
        while (!(mask & 1)) {
            mask >>= 1;
            ++shift;
        }
        while (mask & 1) {
            mask >>= 1;
            ++bits;
        }
        bits = std::min(bits, 8);
    }
    uint32_t Of(uint32_t pixel) const
    {
        if (!bits)
            return 0;
        const uint32_t v = (pixel >> shift) & ((1u << bits) - 1);
        const uint32_t max = (1u << bits) - 1;
        return bits == 8 ? v : (v * 255 + max / 2) / max;
    }
};

struct Header {
    int64_t width = 0, height = 0;
    bool topDown = false;
    int bits = 0;
    uint32_t compression = kRgb;
    uint32_t pixelOffset = 0;
    Channel red, green, blue;
    std::vector<uint32_t> palette;
};

bool ReadHeader(const uint8_t* data, size_t size, Header& h)
{
    if (size < 26 || data[0] != 'B' || data[1] != 'M')
        return false;
    h.pixelOffset = Le(data + 10, 4);
    const uint32_t infoSize = Le(data + 14, 4);
    const uint8_t* info = data + 14;
    if (infoSize < 12 || infoSize > size - 14)
        return false;
    int64_t height;
    if (infoSize == 12) {   // OS/2 core header
        h.width = Le(info + 4, 2);
        height = Le(info + 6, 2);
        h.bits = int(Le(info + 10, 2));
    } else {
        if (infoSize < 40)
            return false;
        h.width = int32_t(Le(info + 4, 4));
        height = int32_t(Le(info + 8, 4));
        h.bits = int(Le(info + 14, 2));
        h.compression = Le(info + 16, 4);
    }
    h.topDown = height < 0;
    h.height = height < 0 ? -height : height;
    if (h.width <= 0 || h.height <= 0 || h.width * h.height > kMaxBmpPixels)
        return false;
    const bool rle = h.compression == kRle8 || h.compression == kRle4;
    if ((h.compression == kRle8 && h.bits != 8) || (h.compression == kRle4 && h.bits != 4) || (rle && h.topDown))
        return false;
    size_t tableAt = 14 + infoSize;
    if (h.compression == kBitFields || h.compression == kAlphaBitFields) {
        if (h.bits != 16 && h.bits != 32)
            return false;
        const bool masksInHeader = infoSize >= 52;
        if (!masksInHeader && size < tableAt + 12)
            return false;
        const uint8_t* masks = masksInHeader ? info + 40 : data + tableAt;
        h.red = Channel(Le(masks, 4));
        h.green = Channel(Le(masks + 4, 4));
        h.blue = Channel(Le(masks + 8, 4));
        if (!masksInHeader)
            tableAt += h.compression == kAlphaBitFields ? 16 : 12;
    } else if (h.compression == kRgb && h.bits == 16) {
        h.red = Channel(0x7C00), h.green = Channel(0x03E0), h.blue = Channel(0x001F);
    } else if (h.compression == kRgb && (h.bits == 24 || h.bits == 32)) {
        h.red = Channel(0xFF0000), h.green = Channel(0xFF00), h.blue = Channel(0xFF);
    } else if (!(h.compression == kRgb || rle) || !(h.bits == 1 || h.bits == 4 || h.bits == 8)) {
        return false;
    }
    if (h.bits <= 8) {
        const size_t entry = infoSize == 12 ? 3 : 4;
        size_t count = infoSize == 12 ? 0 : Le(info + 32, 4);
        if (count == 0 || count > (size_t(1) << h.bits))
            count = size_t(1) << h.bits;
        count = std::min(count, (size - std::min(size, tableAt)) / entry);
        if (count == 0)
            return false;
        h.palette.resize(size_t(1) << h.bits, 0xFF000000);
        for (size_t i = 0; i < count; ++i)
            h.palette[i] = 0xFF000000 | Le(data + tableAt + i * entry, 3);
    }
    return h.pixelOffset >= tableAt && h.pixelOffset < size;
}

// Pixels of 8-bit blue, green, red (and one more byte at 32 bits): each is
// read as one little-endian word, except the row's last, whose fourth byte may
// lie beyond the file.
void CopyBgrRow(const uint8_t* src, int bytesPerPixel, int64_t width, uint32_t* dst)
{
    int64_t x = 0;
    for (; x + 1 < width; ++x, src += bytesPerPixel) {
        uint32_t v;
        std::memcpy(&v, src, 4);
        dst[x] = 0xFF000000 | le32toh(v);
    }
    dst[x] = 0xFF000000 | uint32_t(src[2]) << 16 | uint32_t(src[1]) << 8 | src[0];
}

bool ReadUncompressed(const uint8_t* p, size_t available, const Header& h, KELBitmap& out)
{
    const uint64_t rowBytes = (uint64_t(h.width) * h.bits + 31) / 32 * 4;
    if (rowBytes * uint64_t(h.height) > available)
        return false;
    out.pixels.resize(size_t(h.width * h.height));
    const int bytesPerPixel = h.bits / 8;
    // 8 bits per channel in byte order blue, green, red: the bytes are the pixel.
    const bool plainBytes = h.red.shift == 16 && h.green.shift == 8 && h.blue.shift == 0 && h.red.bits == 8
                            && h.green.bits == 8 && h.blue.bits == 8 && bytesPerPixel >= 3;
    for (int64_t row = 0; row < h.height; ++row) {
        const uint8_t* src = p + row * rowBytes;
        uint32_t* dst = out.pixels.data() + (h.topDown ? row : h.height - 1 - row) * h.width;
        if (plainBytes) {
            CopyBgrRow(src, bytesPerPixel, h.width, dst);
            continue;
        }
        for (int64_t x = 0; x < h.width; ++x) {
            if (h.bits <= 8) {
                const int64_t bit = x * h.bits;
                const int index = (src[bit / 8] >> (8 - h.bits - bit % 8)) & ((1 << h.bits) - 1);
                dst[x] = h.palette[size_t(index)];
            } else {
                const uint32_t v = Le(src + x * bytesPerPixel, bytesPerPixel);
                dst[x] = 0xFF000000 | h.red.Of(v) << 16 | h.green.Of(v) << 8 | h.blue.Of(v);
            }
        }
    }
    return true;
}

// RLE8 and RLE4: runs and literal groups, escapes for end of line, end of
// picture and deltas. Pixels not described stay at colour index 0.
bool ReadRle(const uint8_t* p, size_t available, const Header& h, KELBitmap& out)
{
    // A 2-byte run describes at most 255 pixels, and line ends and deltas
    // more; a picture far beyond what its data can hold is refused.
    if (uint64_t(h.width * h.height) > uint64_t(available) * 512 + 65536)
        return false;
    out.pixels.assign(size_t(h.width * h.height), h.palette[0]);
    const bool four = h.bits == 4;
    int64_t x = 0, y = 0;   // y counts rows from the bottom
    auto put = [&](int index) {
        if (x < h.width && y < h.height)
            out.pixels[size_t((h.height - 1 - y) * h.width + x)] = h.palette[size_t(index)];
        ++x;
    };
    size_t at = 0;
    while (at + 2 <= available && y < h.height) {
        const int count = p[at], value = p[at + 1];
        at += 2;
        if (count > 0) {
            for (int i = 0; i < count; ++i)
                put(four ? (i % 2 ? value & 0xF : value >> 4) : value);
        } else if (value == 0) {
            x = 0;
            ++y;
        } else if (value == 1) {
            return true;
        } else if (value == 2) {
            if (at + 2 > available)
                return true;
            x += p[at];
            y += p[at + 1];
            at += 2;
        } else {
            const size_t bytes = four ? (size_t(value) + 1) / 2 : size_t(value);
            if (at + bytes > available)
                return true;   // a cut literal: what was read stays
            for (int i = 0; i < value; ++i)
                put(four ? (i % 2 ? p[at + size_t(i / 2)] & 0xF : p[at + size_t(i / 2)] >> 4) : p[at + size_t(i)]);
            at += (bytes + 1) & ~size_t(1);
        }
    }
    return true;
}

} // namespace

bool ReadBmp(const uint8_t* data, size_t size, KELBitmap& out)
{
    Header h;
    out = KELBitmap();
    if (!data || !ReadHeader(data, size, h))
        return false;
    const uint8_t* pixels = data + h.pixelOffset;
    const size_t available = size - h.pixelOffset;
    const bool read = h.compression == kRle8 || h.compression == kRle4 ? ReadRle(pixels, available, h, out)
                                                                      : ReadUncompressed(pixels, available, h, out);
    if (!read) {
        out = KELBitmap();
        return false;
    }
    out.width = int(h.width);
    out.height = int(h.height);
    return true;
}

std::string WriteBmp(int width, int height, const uint32_t* pixels, size_t stride)
{
    const size_t rowBytes = (size_t(width) * 3 + 3) & ~size_t(3);
    const size_t imageBytes = rowBytes * size_t(height);
    std::string f;
    f.reserve(54 + imageBytes);
    f += "BM";
    PutLe(f, uint32_t(54 + imageBytes), 4);
    PutLe(f, 0, 4);    // reserved
    PutLe(f, 54, 4);   // pixel data offset
    PutLe(f, 40, 4);   // BITMAPINFOHEADER
    PutLe(f, uint32_t(width), 4);
    PutLe(f, uint32_t(height), 4);   // positive: bottom-up
    PutLe(f, 1, 2);
    PutLe(f, 24, 2);
    PutLe(f, kRgb, 4);
    PutLe(f, uint32_t(imageBytes), 4);
    PutLe(f, 2835, 4);   // 72 dpi
    PutLe(f, 2835, 4);
    PutLe(f, 0, 4);
    PutLe(f, 0, 4);
    f.resize(54 + imageBytes, '\0');
    char* out = f.data() + 54;
    for (int row = height - 1; row >= 0 && width > 0; --row, out += rowBytes) {
        const uint32_t* src = pixels + size_t(row) * stride;
        // Each pixel as one word whose fourth byte the next pixel overwrites;
        // the row's last byte-wise, so nothing is written past the row.
        int x = 0;
        for (; x + 1 < width; ++x) {
            const uint32_t v = htole32(src[x]);
            std::memcpy(out + 3 * x, &v, 4);
        }
        out[3 * x] = char(src[x]);
        out[3 * x + 1] = char(src[x] >> 8);
        out[3 * x + 2] = char(src[x] >> 16);
    }
    return f;
}
