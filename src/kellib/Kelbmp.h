// Windows BMP files: read every uncompressed depth (1, 4, 8 with colour
// tables; 16, 24, 32 with or without bit fields), top-down and bottom-up,
// RLE4 and RLE8; write 24-bit bottom-up files with rows padded to 4 bytes.
// A damaged file is refused; nothing larger than the file can describe is
// allocated.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Pixels top-down, 0xFFRRGGBB each.
struct KELBitmap {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
};

// Largest picture read: 2^28 pixels (1 GiB of pixels in memory).
constexpr int64_t kMaxBmpPixels = int64_t(1) << 28;

bool ReadBmp(const uint8_t* data, size_t size, KELBitmap& out);
inline bool ReadBmp(const std::string& file, KELBitmap& out)
{
    return ReadBmp(reinterpret_cast<const uint8_t*>(file.data()), file.size(), out);
}

// A complete 24-bit BMP file of width x height pixels (0x..RRGGBB), rows
// top-down, stride pixels apart.
std::string WriteBmp(int width, int height, const uint32_t* pixels, size_t stride);
