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
    if (size >= 2) {
        // The same bytes as code bits behind a valid header, so the reader's
        // dictionary is reached: BITS 9 to 15 and the length from the first two.
        std::string withHeader("LZWC01\0\0", 8);
        withHeader += static_cast<char>(9 + data[0] % 7);
        withHeader += std::string(7, '\0');
        const uint64_t length = uint64_t(data[1]) * 61;
        for (int i = 0; i < 8; ++i)
            withHeader += static_cast<char>(length >> (8 * i));
        withHeader += std::string(8, '\0');
        MemoryStream codes(withHeader + input.substr(2)), out;
        const int result = Compress_LZW().Expand(codes, out);
        if (result == Compress_LZW::Done && out.Size() > length)
            std::abort();
    }

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
