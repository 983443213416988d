#include "public/TextCrypt.h"

#include "public/Base64.h"
#include "public/ContentKey.h"
#include "public/SealedBlock.h"
#include "public/Wipe.h"

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
    if (!DecryptBlock(key, Base64Decode(text), plain)) {
        WipeString(plain);
        return {};
    }
    return plain;
}
