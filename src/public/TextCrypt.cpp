#include "public/TextCrypt.h"

#include "public/Base64.h"
#include "public/CRC32NF.h"
#include "public/SealedBlock.h"

namespace {

void PutWord(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// Key of a text of encodedLength characters: CRC32NF of the key text, then
// CRC32NF of the length's four little-endian bytes.
DesKey TextKey(std::string_view keyText, uint32_t encodedLength)
{
    uint8_t length[4];
    PutWord(length, encodedLength);
    DesKey key;
    PutWord(key.data(), CRC32NF(keyText));
    PutWord(key.data() + 4, CRC32NF(length, sizeof length));
    return key;
}

} // namespace

std::string EncryptText(std::string_view keyText, std::string_view plain)
{
    const int64_t L = SealedLength(static_cast<int64_t>(plain.size()));
    if (L == 0)
        return {};
    const auto key = TextKey(keyText, static_cast<uint32_t>(Base64Length(static_cast<size_t>(L))));
    return Base64Encode(EncryptBlock(key, plain));
}

std::string DecryptText(std::string_view keyText, std::string_view text)
{
    if (text.empty())
        return {};
    std::string plain;
    const auto key = TextKey(keyText, static_cast<uint32_t>(text.size()));
    if (!DecryptBlock(key, Base64Decode(text), plain))
        return {};
    return plain;
}
