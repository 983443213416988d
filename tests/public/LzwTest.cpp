// BIT_STREAM and the LZWC01 stream of Compress_LZW.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "TestData.h"

#include "public/BIT_STREAM.h"
#include "public/Compress_LZW.h"

namespace {

std::string Bytes(std::initializer_list<int> values)
{
    std::string s;
    for (int v : values)
        s += static_cast<char>(v);
    return s;
}

std::string Header(int64_t length)
{
    std::string h = Bytes({'L', 'Z', 'W', 'C', '0', '1', 0, 0, 13, 0, 0, 0, 0, 0, 0, 0});
    for (int i = 0; i < 8; ++i)
        h += static_cast<char>(static_cast<uint64_t>(length) >> (8 * i));
    return h + std::string(8, '\0');
}

std::string Text(size_t n)
{
    static const char* words[] = {"notes ", "tree ", "caption ", "the ", "of ", "vault ", "leaf ",
                                  "\r\n", "database ", "content ", "key ", "record "};
    std::mt19937 gen(7);
    std::string s;
    while (s.size() < n)
        s += words[gen() % 12];
    s.resize(n);
    return s;
}

struct Outcome {
    int result;
    std::string bytes;
};

Outcome Compress(const std::string& data, int bits = 13, int mode = 0)
{
    MemoryStream in(data), out;
    Compress_LZW lzw;
    lzw.bits = bits;
    const int result = lzw.Compress(in, out, mode);
    return {result, std::string(out.Bytes())};
}

Outcome Expand(const std::string& stream)
{
    MemoryStream in(stream), out;
    const int result = Compress_LZW().Expand(in, out);
    return {result, std::string(out.Bytes())};
}

TEST(BIT_STREAM, PutsMostSignificantFirstAndGetsBack)
{
    MemoryStream memory;
    BIT_STREAM out;
    out.Attach(memory, BIT_STREAM::Write);
    const std::pair<uint32_t, int> codes[] = {{1, 1}, {0x61, 9}, {5, 3}, {0xFFFFFFFFu, 32},
                                              {0, 7}, {0x1ABC, 13}, {0x12345678, 31}, {6, 3}};
    for (auto [v, k] : codes)
        EXPECT_TRUE(out.Put(v, k));
    EXPECT_TRUE(out.Flush());
    EXPECT_EQ(memory.Size(), 13u);   // 99 bits and five fill bits
    EXPECT_EQ(static_cast<uint8_t>(memory.Bytes()[0]), 0x98);   // 1 001100001 ...

    BIT_STREAM in;
    memory.Rewind();
    in.Attach(memory, BIT_STREAM::Read);
    for (auto [v, k] : codes)
        EXPECT_EQ(in.Get(k), int64_t(v & (0xFFFFFFFFu >> (32 - k)))) << k;
    EXPECT_EQ(in.Get(1), 0);   // fill bit
    EXPECT_EQ(in.Get(8), -1);
}

TEST(Compress_LZW, WorkedExamples)
{
    const std::pair<std::string, std::string> cases[] = {
        {"abc", Header(3) + Bytes({0x30, 0x98, 0x8C, 0x70})},
        {"", Header(0) + Bytes({0x80})},
        {"aaaaaaaa", Header(8) + Bytes({0x30, 0xDA, 0x98})},
    };
    for (const auto& [data, stream] : cases) {
        const Outcome c = Compress(data);
        EXPECT_EQ(c.result, Compress_LZW::Done);
        EXPECT_EQ(c.bytes, stream) << data;
        const Outcome e = Expand(stream);
        EXPECT_EQ(e.result, Compress_LZW::Done);
        EXPECT_EQ(e.bytes, data);
    }
}

TEST(Compress_LZW, RoundTrips)
{
    const struct {
        const char* what;
        std::string data;
        int bits;
    } cases[] = {
        {"one byte", "x", 13},
        {"long run", std::string(1 << 20, 'z'), 13},
        {"random", RandomBytes(70000, 1), 13},
        {"text", Text(300000), 13},
        {"random, BITS 9", RandomBytes(20000, 2), 9},
        {"text, BITS 12", Text(100000), 12},
        {"random, BITS 15", RandomBytes(200000, 3), 15},
        {"text and random", Text(50000) + RandomBytes(50000, 4) + Text(50000), 13},
    };
    for (const auto& c : cases) {
        const Outcome compressed = Compress(c.data, c.bits);
        ASSERT_EQ(compressed.result, Compress_LZW::Done) << c.what;
        const Outcome expanded = Expand(compressed.bytes);
        EXPECT_EQ(expanded.result, Compress_LZW::Done) << c.what;
        EXPECT_TRUE(expanded.bytes == c.data) << c.what;
    }
}

// Every length across the first filling of the dictionary, so one source ends
// just after the dictionary fills and the reader writes its spare byte.
TEST(Compress_LZW, EveryLengthAroundAFullDictionary)
{
    const std::string random = RandomBytes(9400, 5);
    for (size_t n = 8000; n <= random.size(); ++n) {
        const std::string data = random.substr(0, n);
        const Outcome expanded = Expand(Compress(data).bytes);
        ASSERT_EQ(expanded.result, Compress_LZW::Done) << n;
        ASSERT_TRUE(expanded.bytes == data) << n;
    }
}

TEST(Compress_LZW, RefusesBadStreams)
{
    const std::string good = Compress("abcabcabcabc").bytes;
    auto with = [&](size_t offset, int value) {
        std::string s = good;
        s[offset] = static_cast<char>(value);
        return s;
    };
    const struct {
        const char* what;
        std::string stream;
        int result;
    } cases[] = {
        {"magic without its zero byte", with(6, 'X'), Compress_LZW::BadStream},
        {"BITS 8", with(8, 8), Compress_LZW::BadStream},
        {"BITS 16", with(8, 16), Compress_LZW::BadStream},
        {"mode 1", with(24, 1), Compress_LZW::BadStream},
        {"negative length", with(23, 0x80), Compress_LZW::BadStream},
        {"short header", good.substr(0, 31), Compress_LZW::BadStream},
        {"code bits stop before END", good.substr(0, good.size() - 2), Compress_LZW::Incomplete},
        {"length larger than the data", with(16, 13), Compress_LZW::Incomplete},
        {"code beyond the dictionary", Header(3) + Bytes({0x30, 0xF0}), Compress_LZW::BadStream},
        {"first code not a literal", Header(3) + Bytes({0xA0}), Compress_LZW::BadStream},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Expand(c.stream).result, c.result) << c.what;
    // A length smaller than the data: the output is cut to it.
    const Outcome cut = Expand(with(16, 5));
    EXPECT_EQ(cut.result, Compress_LZW::Done);
    EXPECT_EQ(cut.bytes, "abcab");
    // END at once: empty output, the length is not checked.
    const Outcome endOnly = Expand(Header(5) + Bytes({0x80}));
    EXPECT_EQ(endOnly.result, Compress_LZW::Done);
    EXPECT_EQ(endOnly.bytes, "");
}

TEST(Compress_LZW, RefusesWhatItDoesNotWrite)
{
    EXPECT_EQ(Compress("abc", 13, 1).result, Compress_LZW::BadStream);
    EXPECT_EQ(Compress("abc", 8).result, Compress_LZW::BadStream);
    EXPECT_EQ(Compress("abc", 16).result, Compress_LZW::BadStream);
}

TEST(Compress_LZW, CancelFlagStopsBothWays)
{
    const uint8_t cancel = 1;
    MemoryStream in(Text(1000)), packed, out;
    EXPECT_EQ(Compress_LZW().Compress(in, packed, 0, &cancel), Compress_LZW::Incomplete);
    MemoryStream stream(Compress(Text(1000)).bytes);
    EXPECT_EQ(Compress_LZW().Expand(stream, out, &cancel), Compress_LZW::Incomplete);
}

} // namespace
