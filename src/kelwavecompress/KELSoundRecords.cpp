#include "kelwavecompress/KELSoundRecords.h"

#include <algorithm>

void AppendSoundRecord(std::string& out, const uint8_t* data, size_t n)
{
    const uint32_t length = static_cast<uint32_t>(n);
    const char header[4] = {char(length), char(length >> 8), char(length >> 16), char(length >> 24)};
    out.append(header, 4);
    out.append(reinterpret_cast<const char*>(data), n);
}

std::string EncodeSoundRecords(KELWaveCompress& codec, const std::string& pcm)
{
    std::string out;
    out.reserve((pcm.size() + kWaveBlockBytes - 1) / kWaveBlockBytes * kSoundRecordBytes);
    const auto* bytes = reinterpret_cast<const uint8_t*>(pcm.data());
    for (size_t offset = 0; offset < pcm.size(); offset += kWaveBlockBytes) {
        codec.Encode(bytes + offset, std::min(kWaveBlockBytes, pcm.size() - offset));
        AppendSoundRecord(out, codec.Output(), codec.OutputLength());
    }
    return out;
}

bool SoundRecordReader::Next(KELWaveCompress& codec, std::string& pcm320)
{
    pcm320.clear();
    if (payload.size() - offset < 4)
        return false;
    const auto* p = reinterpret_cast<const uint8_t*>(payload.data()) + offset;
    const uint32_t length = p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24;
    if (length > kMaxRecordData || payload.size() - offset - 4 < length)
        return false;
    offset += 4 + length;
    if (length > 0 && codec.Decode(p + 4, length)) {
        pcm320.assign(reinterpret_cast<const char*>(codec.Output()), std::min(codec.OutputLength(), kWaveBlockBytes));
        pcm320.resize(kWaveBlockBytes, '\0');
    }
    return true;
}

std::string DecodeSoundRecords(KELWaveCompress& codec, const std::string& payload)
{
    std::string pcm, block;
    SoundRecordReader reader{payload};
    while (reader.Next(codec, block))
        pcm += block;
    return pcm;
}
