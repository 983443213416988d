// BMP reader on arbitrary bytes: never crashes, never reads out of bounds,
// and a picture it accepts has exactly width x height pixels.
#include <cstdlib>

#include "kellib/Kelbmp.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    KELBitmap bmp;
    if (ReadBmp(data, size, bmp) && bmp.pixels.size() != size_t(bmp.width) * size_t(bmp.height))
        std::abort();
    return 0;
}
