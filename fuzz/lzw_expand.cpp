// Arbitrary bytes into the LZW reader, the sealed-block opener, the Base64
// decoder and text decryption; none may read or write out of bounds. The
// input also goes through compress then expand, which must give it back.
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "public/Base64.h"
#include "public/Compress_LZW.h"
#include "public/SealedBlock.h"
#include "public/TextCrypt.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);

    MemoryStream stream(input), expanded;
    Compress_LZW().Expand(stream, expanded);

    // An exactly sized heap copy, so any access past the end is caught.
    const DesKey key = {1, 2, 3, 4, 5, 6, 7, 8};
    auto sealed = std::make_unique<uint8_t[]>(size);
    std::memcpy(sealed.get(), data, size);
    const int64_t n = DecryptBlock(key, sealed.get(), static_cast<int64_t>(size));
    if (n < 0 || n > static_cast<int64_t>(size))
        std::abort();

    const std::string decoded = Base64Decode(input);
    if (decoded.size() > (size + 3) / 4 * 3)
        std::abort();
    DecryptText("fuzz", input);

    MemoryStream source(input), packed, back;
    if (Compress_LZW().Compress(source, packed) != Compress_LZW::Done ||
        Compress_LZW().Expand(packed, back) != Compress_LZW::Done || back.Bytes() != input)
        std::abort();
    return 0;
}
