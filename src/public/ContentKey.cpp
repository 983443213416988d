#include "public/ContentKey.h"

#include <cstdlib>
#include <ctime>
#include <algorithm>

#include "public/CRC32NF.h"
#include "public/SealedBlock.h"

namespace {

constexpr std::string_view kSalt = "p7WxQzK2Lr)m;9#@bnFtYhGc";

// The four little-endian bytes of v, twice.
DesKey Doubled(uint32_t v)
{
    DesKey k;
    for (int i = 0; i < 8; ++i)
        k[i] = static_cast<uint8_t>(v >> (8 * (i % 4)));
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
    return key;
}

DesKey MakeRandomKey(std::string_view seedText)
{
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    const uint64_t r1 = static_cast<unsigned>(NonzeroRandom());
    const uint64_t r2 = static_cast<unsigned>(NonzeroRandom());
    const uint64_t product = r1 * r2;
    DesKey block;
    for (int i = 0; i < 8; ++i)
        block[i] = static_cast<uint8_t>(product >> (8 * i));
    const auto drawn = static_cast<uint32_t>(std::rand());
    uint8_t drawnBytes[4];
    for (int i = 0; i < 4; ++i)
        drawnBytes[i] = static_cast<uint8_t>(drawn >> (8 * i));
    DesKey key;
    const uint32_t seed = CRC32NF(seedText);
    const uint32_t extra = CRC32NF(drawnBytes, sizeof drawnBytes);
    for (int i = 0; i < 4; ++i) {
        key[i] = static_cast<uint8_t>(seed >> (8 * i));
        key[4 + i] = static_cast<uint8_t>(extra >> (8 * i));
    }
    DESEncrypt(key, block.data(), block.size());
    return block;
}
