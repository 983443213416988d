#include "public/Compress_LZW.h"

Compress_LZW::Compress_LZW() = default;

int Compress_LZW::Compress(MemoryStream&, MemoryStream&, int, const volatile uint8_t*) { return BadStream; }
int Compress_LZW::Expand(MemoryStream&, MemoryStream&, const volatile uint8_t*) { return BadStream; }
