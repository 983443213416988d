// LZW codec of node contents: the "LZWC01" stream (32-byte header, then
// variable-width codes marked by a flag bit, dictionary cleared when full).
// One object serves one Compress or one Expand.
#pragma once

#include <cstdint>
#include <string_view>

#include "public/MemoryStream.h"

class Compress_LZW {
public:
    enum Result {
        Done = 0,
        NoWorkStack = 2,  // other readers: no work stack; this one copies
                          // strings from its output and never returns it
        BadStream = 3,    // magic, BITS, mode, table, destination or a code
        Incomplete = 4,   // cancelled, header not written, output too short
    };

    static constexpr int kHeaderSize = 32;

    Compress_LZW();

    // Compresses source (from its start) into dest (replacing its content).
    // Only mode 0 is written. cancel, when given, is read before every code.
    int Compress(MemoryStream& source, MemoryStream& dest, int mode = 0,
                 const volatile uint8_t* cancel = nullptr);
    // The same from bytes held elsewhere (no copy of a large content).
    int Compress(std::string_view source, MemoryStream& dest, int mode = 0,
                 const volatile uint8_t* cancel = nullptr);
    // Expands the stream in source (from its start) into dest (replacing its
    // content).
    int Expand(MemoryStream& source, MemoryStream& dest,
               const volatile uint8_t* cancel = nullptr);

    // Header fields: Compress writes them, Expand reads them.
    int bits = 13;          // dictionary size exponent, 9 to 15
    int64_t length = 0;     // uncompressed length
    int mode = 0;           // 0: code bits follow as they are
};
