// Sound records on arbitrary bytes: decoded as playback reads them, each
// record giving 320 bytes of PCM or none.
#include <cstdlib>

#include "kelwavecompress/KELSoundRecords.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static KELWaveCompress codec;
    const std::string payload(reinterpret_cast<const char*>(data), size);
    if (DecodeSoundRecords(codec, payload).size() % kWaveBlockBytes != 0)
        std::abort();
    codec.Decode(data, size);
    return 0;
}
