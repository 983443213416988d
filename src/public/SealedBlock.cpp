#include "public/SealedBlock.h"

#include <cstring>
#include <limits>

#include "public/Allocate.h"
#include "public/LittleEndian.h"

int64_t SealedLength(int64_t n)
{
    // The length word is signed 32-bit and L itself must stay below 2^31.
    if (n < 1 || n > std::numeric_limits<int32_t>::max() - 11)
        return 0;
    return (n + 3) / 8 * 8 + 8;
}

int64_t EncryptBlock(const DesKey& key, const uint8_t* data, int64_t n, uint8_t* out)
{
    const int64_t L = SealedLength(n);
    if (L == 0)
        return 0;
    std::memmove(out, data, static_cast<size_t>(n));
    std::memset(out + n, 0, static_cast<size_t>(L - 4 - n));
    PutLE(out + L - 4, static_cast<uint64_t>(n), 4);
    DESEncrypt(key, out, static_cast<size_t>(L));
    return L;
}

std::string EncryptBlock(const DesKey& key, std::string_view data)
{
    std::string sealed;
    const auto L = static_cast<size_t>(SealedLength(static_cast<int64_t>(data.size())));
    if (L > 0 && Allocate([&] { sealed.resize(L); }))
        EncryptBlock(key, reinterpret_cast<const uint8_t*>(data.data()),
                     static_cast<int64_t>(data.size()), reinterpret_cast<uint8_t*>(sealed.data()));
    return sealed;
}

int64_t DecryptBlock(const DesKey& key, uint8_t* sealed, int64_t L)
{
    if (L < 1 || L % 8 != 0)
        return 0;
    DESDecrypt(key, sealed, static_cast<size_t>(L));
    const int64_t n = static_cast<int32_t>(GetLE(sealed + L - 4, 4));
    // Sealing gives L - 11 <= n <= L - 4; the accepted range is a little
    // wider, but never below one byte.
    if (n < 1 || n < L - 16 || n > L - 4)
        return 0;
    return n;
}

bool DecryptBlock(const DesKey& key, std::string_view sealed, std::string& data)
{
    data.clear();
    if (!Allocate([&] { data.assign(sealed); }))
        return false;
    const int64_t n = DecryptBlock(key, reinterpret_cast<uint8_t*>(data.data()),
                                   static_cast<int64_t>(data.size()));
    data.resize(static_cast<size_t>(n));
    return n > 0;
}
