#include "public/ContentKey.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>

#include "public/CRC32NF.h"
#include "public/LittleEndian.h"
#include "public/SealedBlock.h"
#include "public/Wipe.h"

namespace {

constexpr std::string_view kSalt = "p7WxQzK2Lr)m;9#@bnFtYhGc";

// The four little-endian bytes of v, twice.
DesKey Doubled(uint32_t v)
{
    DesKey k;
    PutLE(k.data(), v, 4);
    PutLE(k.data() + 4, v, 4);
    return k;
}

int NonzeroRandom()
{
    int r;
    do
        r = std::rand();
    while (r == 0);
    return r;
}

} // namespace

DesKey DeriveKey(std::string_view password)
{
    DesKey k = Doubled(CRC32NF(password));
    for (size_t i = 0; i < 8 && i < password.size(); ++i)
        k[i] ^= static_cast<uint8_t>(i) ^ static_cast<uint8_t>(password[i]);
    DesKey d = Doubled(CRC32NF(kSalt));
    for (size_t i = 0; i < 8; ++i)
        d[i] ^= static_cast<uint8_t>(i) ^ k[i];
    uint8_t sealed[16];
    EncryptBlock(k, d.data(), 8, sealed);
    DesKey key;
    std::copy(sealed, sealed + 8, key.begin());
    // The steps carry the password's bytes and the key.
    WipeKey(k);
    WipeKey(d);
    WipeBytes(sealed, sizeof sealed);
    return key;
}

DesKey TextKey(std::string_view text, uint32_t number)
{
    uint8_t bytes[4];
    PutLE(bytes, number, 4);
    DesKey key;
    PutLE(key.data(), CRC32NF(text), 4);
    PutLE(key.data() + 4, CRC32NF(bytes, sizeof bytes), 4);
    return key;
}

DesKey MakeRandomKey(std::string_view seedText)
{
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    const uint64_t r1 = static_cast<unsigned>(NonzeroRandom());
    const uint64_t r2 = static_cast<unsigned>(NonzeroRandom());
    DesKey block;
    PutLE(block.data(), r1 * r2, 8);
    const DesKey key = TextKey(seedText, static_cast<uint32_t>(std::rand()));
    DESEncrypt(key, block.data(), block.size());
    return block;
}
