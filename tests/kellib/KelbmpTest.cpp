// BMP reading and writing: fixtures written by ImageMagick, hand-made
// top-down and RLE4 files, and damaged headers.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "kellib/Kelbmp.h"

namespace {

std::string Slurp(const std::string& path)
{
    std::stringstream s;
    s << std::ifstream(path, std::ios::binary).rdbuf();
    return s.str();
}

std::string Fixture(const std::string& name)
{
    return Slurp(std::string(VAULTLEAF_FIXTURES) + "/bmp/" + name);
}

// The pixels as 8-bit RGB triples, the form ImageMagick's "rgb:" writes.
std::string Rgb(const KELBitmap& bmp)
{
    std::string out;
    for (uint32_t p : bmp.pixels) {
        out.push_back(char(p >> 16));
        out.push_back(char(p >> 8));
        out.push_back(char(p));
    }
    return out;
}

void Put32(std::string& f, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        f[at + size_t(i)] = char(v >> (8 * i));
}

// A 13 x 7 picture with every pixel different.
std::vector<uint32_t> Pattern(int w, int h)
{
    std::vector<uint32_t> p(size_t(w * h));
    for (int i = 0; i < w * h; ++i)
        p[size_t(i)] = uint32_t(i * 0x030507 + 0x102030) & 0xFFFFFF;
    return p;
}

} // namespace

TEST(Kelbmp, ReadsEveryDepthAsImageMagickDoes)
{
    for (const char* name : {"depth1", "depth4", "depth8", "rle8", "depth16", "depth24", "depth32"}) {
        KELBitmap bmp;
        ASSERT_TRUE(ReadBmp(Fixture(std::string(name) + ".bmp"), bmp)) << name;
        EXPECT_EQ(bmp.width, 13) << name;
        EXPECT_EQ(bmp.height, 7) << name;
        // 5- and 6-bit channels are scaled to 8 bits; programs round differently by 1.
        const std::string got = Rgb(bmp), expected = Fixture(std::string(name) + ".rgb");
        ASSERT_EQ(got.size(), expected.size()) << name;
        for (size_t i = 0; i < got.size(); ++i)
            ASSERT_LE(std::abs(uint8_t(got[i]) - uint8_t(expected[i])), 1) << name << " byte " << i;
    }
}

TEST(Kelbmp, WritesA24BitBottomUpFileThatReadsBack)
{
    const std::vector<uint32_t> pixels = Pattern(13, 7);
    const std::string file = WriteBmp(13, 7, pixels.data(), 13);
    ASSERT_EQ(file.size(), 54u + 40 * 7) << "rows of 39 bytes padded to 40";
    EXPECT_EQ(file.substr(0, 2), "BM");
    EXPECT_EQ(uint8_t(file[2]) | uint8_t(file[3]) << 8, int(file.size()));
    EXPECT_EQ(file[28], 24);
    // The last row of the picture comes first.
    EXPECT_EQ(uint8_t(file[54]) | uint8_t(file[55]) << 8 | uint8_t(file[56]) << 16, int(pixels[6 * 13]));

    KELBitmap bmp;
    ASSERT_TRUE(ReadBmp(file, bmp));
    std::vector<uint32_t> opaque = pixels;
    for (uint32_t& p : opaque)
        p |= 0xFF000000;
    EXPECT_EQ(bmp.pixels, opaque);

    // A top-down file: negative height, rows in picture order.
    std::string topDown = file;
    Put32(topDown, 22, uint32_t(-7));
    for (int row = 0; row < 7; ++row)
        topDown.replace(54 + size_t(row) * 40, 40, file, 54 + size_t(6 - row) * 40, 40);
    KELBitmap flipped;
    ASSERT_TRUE(ReadBmp(topDown, flipped));
    EXPECT_EQ(flipped.pixels, opaque);
}

TEST(Kelbmp, WrittenFilesOpenInImageMagick)
{
    if (std::system("command -v convert >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "ImageMagick is not installed";
    const std::vector<uint32_t> pixels = Pattern(13, 7);
    const std::string path = ::testing::TempDir() + "written" + std::to_string(getpid()) + ".bmp";
    std::ofstream(path, std::ios::binary) << WriteBmp(13, 7, pixels.data(), 13);
    const std::string rgb = path + ".rgb";
    ASSERT_EQ(std::system(("convert " + path + " rgb:" + rgb).c_str()), 0);
    KELBitmap bmp;
    bmp.pixels = pixels;
    EXPECT_EQ(Slurp(rgb), Rgb(bmp));
    std::remove(path.c_str());
    std::remove(rgb.c_str());
}

TEST(Kelbmp, ReadsRle4RunsLiteralsDeltasAndLineEnds)
{
    // 6 x 3, palette 0 black, 1 red, 2 green, 3 blue.
    std::string f(54, '\0');
    f[0] = 'B', f[1] = 'M';
    Put32(f, 10, 54 + 16);
    Put32(f, 14, 40);
    Put32(f, 18, 6);
    Put32(f, 22, 3);
    f[26] = 1, f[28] = 4, f[30] = 2;   // planes, 4 bits, RLE4
    Put32(f, 46, 4);
    f += std::string("\0\0\0\0" "\0\0\xFF\0" "\0\xFF\0\0" "\xFF\0\0\0", 16);
    // Bottom row: a run of 4 alternating red/green, then line end.
    // Middle row: a literal of 3 pixels (blue, red, blue), delta (+1, +1).
    // Top row (after the delta, at x 4): a run of 2 blue, end of picture.
    f += std::string("\x04\x12" "\0\0" "\0\x03\x31\x30" "\0\x02\x01\x01" "\x02\x33" "\0\x01", 16);
    KELBitmap bmp;
    ASSERT_TRUE(ReadBmp(f, bmp));
    const uint32_t k = 0xFF000000, r = 0xFFFF0000, g = 0xFF00FF00, b = 0xFF0000FF;
    const std::vector<uint32_t> expected = {k, k, k, k, b, b,    // top
                                            b, r, b, k, k, k,    // middle
                                            r, g, r, g, k, k};   // bottom
    EXPECT_EQ(bmp.pixels, expected);
}

TEST(Kelbmp, DamagedAndHostileFilesAreRefused)
{
    const std::vector<uint32_t> pixels = Pattern(13, 7);
    const std::string good = WriteBmp(13, 7, pixels.data(), 13);
    auto with = [&](size_t at, uint32_t value, std::string base = {}) {
        std::string f = base.empty() ? good : base;
        Put32(f, at, value);
        return f;
    };
    const std::string rle8 = Fixture("rle8.bmp");
    struct Case { std::string file; const char* what; } cases[] = {
        {"", "empty"},
        {good.substr(0, 30), "header cut short"},
        {good.substr(0, good.size() - 1), "last row cut short"},
        {with(18, 60000, with(22, 60000)), "60000 x 60000 in a small file"},
        {with(18, 0), "zero width"},
        {with(22, 0), "zero height"},
        {with(18, 0x80000000u), "negative width"},
        {with(10, 100000), "pixels beyond the end"},
        {with(14, 100000), "header size beyond the end"},
        {with(28, 7), "7 bits per pixel"},
        {with(30, 9), "unknown compression"},
        {with(22, uint32_t(-7), rle8), "top-down RLE"},
        {with(18, 60000, with(22, 60000, rle8)), "RLE8 claiming 60000 x 60000"},
        {"BA" + good.substr(2), "not BM"},
    };
    for (const Case& c : cases) {
        KELBitmap bmp;
        EXPECT_FALSE(ReadBmp(c.file, bmp)) << c.what;
        EXPECT_TRUE(bmp.pixels.empty()) << c.what;
    }
    // Every prefix of every fixture reads or is refused, never more.
    for (const char* name : {"depth1", "depth4", "depth8", "rle8", "depth16", "depth32"}) {
        const std::string file = Fixture(std::string(name) + ".bmp");
        for (size_t n = 0; n < file.size(); ++n) {
            KELBitmap bmp;
            if (ReadBmp(file.substr(0, n), bmp)) {
                EXPECT_EQ(bmp.pixels.size(), 13u * 7) << name << " cut at " << n;
            }
        }
    }
}
