// CRC32NF, DES, sealed blocks, keys, Base64 and text encryption.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "TestData.h"

#include "public/Base64.h"
#include "public/CRC32NF.h"
#include "public/ContentKey.h"
#include "public/DES.h"
#include "public/SealedBlock.h"
#include "public/TextCrypt.h"

namespace {

std::string Hex(const uint8_t* p, size_t n)
{
    static const char* digits = "0123456789abcdef";
    std::string s;
    for (size_t i = 0; i < n; ++i) {
        s += digits[p[i] >> 4];
        s += digits[p[i] & 15];
    }
    return s;
}

std::string Hex(const DesKey& k) { return Hex(k.data(), k.size()); }
std::string Hex(std::string_view s) { return Hex(reinterpret_cast<const uint8_t*>(s.data()), s.size()); }

const DesKey kFipsKey = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};

TEST(CRC32NF, CheckValues)
{
    struct Case {
        std::string_view text;
        uint32_t crc;
        const char* stored;
    } cases[] = {
        {"", 0xFFFFFFFFu, "-1"},
        {"abc", 0xCADBBE3Du, "-891568579"},
        {"123456789", 0x340BC6D9u, "873187033"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CRC32NF(c.text), c.crc) << c.text;
        EXPECT_EQ(std::to_string(static_cast<int32_t>(CRC32NF(c.text))), c.stored) << c.text;
    }
}

TEST(DES, Fips81EcbExample)
{
    std::string block = "Now is the time for all ";
    auto* p = reinterpret_cast<uint8_t*>(block.data());
    DESEncrypt(kFipsKey, p, block.size());
    EXPECT_EQ(Hex(block), "3fa40e8a984d48156a271787ab8883f9893d51ec4b563b53");
    DESDecrypt(kFipsKey, p, block.size());
    EXPECT_EQ(block, "Now is the time for all ");
}

TEST(DES, ParityBitsIgnoredAndPartialBlockUntouched)
{
    DesKey flipped = kFipsKey;
    for (auto& b : flipped)
        b ^= 1;
    uint8_t a[11] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
    uint8_t b[11] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
    DESEncrypt(kFipsKey, a, sizeof a);
    DESEncrypt(flipped, b, sizeof b);
    EXPECT_EQ(Hex(a, 11), Hex(b, 11));
    EXPECT_EQ(Hex(a + 8, 3), "090a0b");
    // FIPS 46 worked example of one block.
    const DesKey key = {0x13, 0x34, 0x57, 0x79, 0x9B, 0xBC, 0xDF, 0xF1};
    uint8_t one[8] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
    DESEncrypt(key, one, 8);
    EXPECT_EQ(Hex(one, 8), "85e813540f0ab405");
}

TEST(SealedBlock, Lengths)
{
    const std::pair<int64_t, int64_t> cases[] = {
        {-1, 0}, {0, 0}, {1, 8}, {4, 8}, {5, 16}, {8, 16}, {12, 16}, {13, 24}, {20, 24}, {21, 32},
    };
    for (auto [n, L] : cases)
        EXPECT_EQ(SealedLength(n), L) << n;
}

TEST(SealedBlock, LayoutBeforeEnciphering)
{
    const std::string data = "hello";
    std::string sealed = EncryptBlock(kFipsKey, data);
    ASSERT_EQ(sealed.size(), 16u);
    DESDecrypt(kFipsKey, reinterpret_cast<uint8_t*>(sealed.data()), sealed.size());
    EXPECT_EQ(Hex(sealed), Hex("hello") + "00000000000000" + "05000000");
    EXPECT_TRUE(EncryptBlock(kFipsKey, std::string_view()).empty());
}

TEST(SealedBlock, RoundTripsEveryLength)
{
    for (size_t n = 1; n <= 64; ++n) {
        const std::string data = RandomBytes(n, static_cast<unsigned>(n));
        std::string opened;
        ASSERT_TRUE(DecryptBlock(kFipsKey, EncryptBlock(kFipsKey, data), opened)) << n;
        EXPECT_EQ(opened, data) << n;
    }
}

// A block of L bytes whose deciphered length word is word.
std::string BlockWithLengthWord(size_t L, int32_t word)
{
    std::string block(L, 'x');
    for (int i = 0; i < 4; ++i)
        block[L - 4 + i] = static_cast<char>(static_cast<uint32_t>(word) >> (8 * i));
    DESEncrypt(kFipsKey, reinterpret_cast<uint8_t*>(block.data()), block.size());
    return block;
}

TEST(SealedBlock, DecryptRefusesMalformedInput)
{
    struct Case {
        const char* what;
        std::string sealed;
        int64_t n;
    } cases[] = {
        {"no bytes", "", 0},
        {"12 bytes", std::string(12, 'a'), 0},
        {"16 bytes, length word 20", BlockWithLengthWord(16, 20), 0},
        {"16 bytes, length word 13", BlockWithLengthWord(16, 13), 0},
        {"16 bytes, length word 12", BlockWithLengthWord(16, 12), 12},
        {"16 bytes, length word 1", BlockWithLengthWord(16, 1), 1},
        {"16 bytes, length word 0", BlockWithLengthWord(16, 0), 0},
        {"8 bytes, length word 4", BlockWithLengthWord(8, 4), 4},
        {"8 bytes, length word 0", BlockWithLengthWord(8, 0), 0},
        {"8 bytes, length word -5", BlockWithLengthWord(8, -5), 0},
        {"24 bytes, length word 8", BlockWithLengthWord(24, 8), 8},
        {"24 bytes, length word 7", BlockWithLengthWord(24, 7), 0},
    };
    for (auto& c : cases) {
        std::string buffer = c.sealed;
        EXPECT_EQ(DecryptBlock(kFipsKey, reinterpret_cast<uint8_t*>(buffer.data()),
                               static_cast<int64_t>(buffer.size())),
                  c.n)
            << c.what;
        std::string opened;
        EXPECT_EQ(DecryptBlock(kFipsKey, c.sealed, opened), c.n > 0) << c.what;
        EXPECT_EQ(opened.size(), static_cast<size_t>(c.n)) << c.what;
    }
}

TEST(DeriveKey, KnownKeys)
{
    const std::pair<std::string_view, const char*> cases[] = {
        {"", "20f1b84e29d45178"},
        {"abc", "54b91e8213cf8f8d"},
        {"\xB2\xE2\xCA\xD4\xC3\xDC\xC2\xEB", "48be020cd29175c9"},
        // Same first eight characters: same K, different CRC, different keys.
        {"password1", "0bf1a563ba9a8bbc"},
        {"password2", "03c9a30ef002e1ff"},
    };
    for (auto [password, key] : cases)
        EXPECT_EQ(Hex(DeriveKey(password)), key) << password;
}

TEST(Base64, EncodesWithLineBreaks)
{
    const std::string b57 = Base64Encode(std::string(57, 'a'));
    const std::string b58 = Base64Encode(std::string(58, 'a'));
    EXPECT_EQ(b57.size(), 78u);
    EXPECT_EQ(b57.substr(76), "\r\n");
    EXPECT_EQ(b58.size(), 82u);
    EXPECT_EQ(b58.substr(76, 2), "\r\n");
    EXPECT_EQ(b58.substr(80), "==");
    // The padded last group that completes a line is followed by CR LF.
    for (size_t m : {55, 56, 112, 113}) {
        const std::string b = Base64Encode(std::string(m, 'a'));
        EXPECT_EQ(b.substr(b.size() - 2), "\r\n") << m;
    }
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foobar", "Zm9vYmFy"},
        {"\xFB\xFF", "+/8="},
    };
    for (auto [plain, encoded] : cases) {
        EXPECT_EQ(Base64Encode(plain), encoded);
        EXPECT_EQ(Base64Decode(encoded), plain);
    }
}

TEST(Base64, LengthIsAlwaysTheFormula)
{
    for (size_t m = 0; m <= 400; ++m) {
        const std::string bytes = RandomBytes(m, static_cast<unsigned>(m));
        const std::string text = Base64Encode(bytes);
        EXPECT_EQ(text.size(), Base64Length(m)) << m;
        EXPECT_EQ(Base64Decode(text), bytes) << m;
    }
}

TEST(Base64, DecoderIgnoresForeignCharactersAndShortTails)
{
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"Zm9v\r\nYmFy", "foobar"},
        {"Z m 9 v !", "foo"},
        {"Zm9vYmE", "fooba"},   // three left over: two bytes
        {"Zm9vYg", "foob"},     // two left over: one byte
        {"Zm9vY", "foo"},       // one left over: dropped
        {"====\r\n", ""},
    };
    for (auto [text, bytes] : cases)
        EXPECT_EQ(Base64Decode(text), bytes) << text;
}

TEST(TextCrypt, KnownTexts)
{
    EXPECT_EQ(EncryptText("key", "hello"), "ptKkE8Prw0Qt+JvNF2btew==");
    const std::string long60 =
        "C4sGIWuMu3YLiwYha4y7dguLBiFrjLt2C4sGIWuMu3YLiwYha4y7dguLBiFrjLt2C4sGIWuMu3bc"
        "\r\nAhrnmb/ZSg==";
    EXPECT_EQ(EncryptText("vaultleaf", std::string(60, 'x')), long60);
    EXPECT_EQ(DecryptText("vaultleaf", long60), std::string(60, 'x'));
}

TEST(TextCrypt, RoundTripsAndRefuses)
{
    for (size_t n = 1; n <= 130; ++n) {
        const std::string plain = RandomBytes(n, static_cast<unsigned>(n));
        const std::string text = EncryptText("seed", plain);
        ASSERT_EQ(text.size(), Base64Length(static_cast<size_t>(SealedLength(static_cast<int64_t>(n)))));
        EXPECT_EQ(DecryptText("seed", text), plain) << n;
    }
    EXPECT_EQ(EncryptText("seed", ""), "");
    EXPECT_EQ(DecryptText("seed", ""), "");
    EXPECT_EQ(DecryptText("seed", "!!!! ---- ...."), "");
    EXPECT_EQ(DecryptText("other", EncryptText("seed", "secret")), "");
    // The key depends on the encoded length: removing the line break breaks it.
    std::string text = EncryptText("seed", std::string(60, 'y'));
    ASSERT_NE(text.find("\r\n"), std::string::npos);
    text.erase(text.find("\r\n"), 2);
    EXPECT_EQ(DecryptText("seed", text), "");
}

TEST(MakeRandomKey, DependsOnSeed)
{
    const DesKey a = MakeRandomKey("/usr/bin/vaultleaf");
    const DesKey b = MakeRandomKey("/opt/vaultleaf/vaultleaf");
    EXPECT_NE(a, b);
    const std::string text = Base64Encode(std::string_view(reinterpret_cast<const char*>(a.data()), 8));
    EXPECT_EQ(text.size(), 12u);
    EXPECT_EQ(text.back(), '=');
}

} // namespace
