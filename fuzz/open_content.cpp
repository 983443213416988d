// Arbitrary bytes through the decode path of stored captions and contents.
// The first byte picks how the rest is used: as the stored (sealed) bytes
// themselves, or as the plain LZW stream inside a correctly sealed block, so
// that the expander sees arbitrary streams too.
#include <cstddef>
#include <cstdint>
#include <string>

#include "db/ContentEnvelope.h"
#include "public/SealedBlock.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    static const DesKey key = {0x13, 0x34, 0x57, 0x79, 0x9B, 0xBC, 0xDF, 0xF1};
    std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    std::string stored = (data[0] & 1) ? EncryptBlock(key, bytes) : bytes;
    std::string content, caption;
    if (OpenContent(key, stored, content)) {
        // Whatever opens must seal and open again to the same bytes.
        std::string resealed, reopened;
        if (!content.empty() && (!SealContent(key, content, resealed) ||
                                 !OpenContent(key, resealed, reopened) || reopened != content))
            __builtin_trap();
    }
    OpenCaption(key, stored, caption);
    return 0;
}
