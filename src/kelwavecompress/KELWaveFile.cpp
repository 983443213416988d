#include "kelwavecompress/KELWaveFile.h"

#include <algorithm>
#include <cstdint>

namespace {

uint32_t Le(const std::string& s, size_t at, int bytes)
{
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = v << 8 | static_cast<unsigned char>(s[at + i]);
    return v;
}

void PutLe(std::string& s, uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        s.push_back(static_cast<char>(v >> (8 * i)));
}

bool CheckFormat(const std::string& f, size_t at, std::string& error)
{
    const uint32_t tag = Le(f, at, 2), channels = Le(f, at + 2, 2), rate = Le(f, at + 4, 4),
                   bits = Le(f, at + 14, 2);
    if (tag == 1 && channels == 1 && rate == 8000 && bits == 16)
        return true;
    error = "只能导入8000Hz、单声道、16位的PCM声音文件（这个文件是格式" + std::to_string(tag) + "、"
            + std::to_string(rate) + "Hz、" + std::to_string(channels) + "声道、" + std::to_string(bits)
            + "位）。";
    return false;
}

} // namespace

bool ReadWaveFile(const std::string& f, std::string& pcm, std::string& error)
{
    if (f.size() < 12 || f.compare(0, 4, "RIFF") != 0 || f.compare(8, 4, "WAVE") != 0) {
        error = "不是WAV声音文件。";
        return false;
    }
    bool haveFormat = false;
    for (size_t at = 12; f.size() - at >= 8;) {
        const std::string id = f.substr(at, 4);
        const uint64_t size = Le(f, at + 4, 4);
        const size_t body = at + 8;
        if (id == "fmt ") {
            if (size < 16 || f.size() - body < 16) break;
            if (!CheckFormat(f, body, error)) return false;
            haveFormat = true;
        } else if (id == "data") {
            if (!haveFormat) break;
            // A data chunk cut short (a recording that was not finished) keeps what is there.
            const size_t take = static_cast<size_t>(std::min<uint64_t>(size, f.size() - body)) & ~size_t(1);
            pcm = f.substr(body, take);
            return true;
        }
        if (size > f.size() - body) break;
        at = body + size + (size & 1);
    }
    error = "WAV声音文件不完整或已损坏。";
    return false;
}

std::string MakeWaveFile(const std::string& pcm)
{
    std::string f = "RIFF";
    PutLe(f, static_cast<uint32_t>(36 + pcm.size()), 4);
    f += "WAVEfmt ";
    PutLe(f, 16, 4);
    PutLe(f, 1, 2);       // PCM
    PutLe(f, 1, 2);       // mono
    PutLe(f, 8000, 4);
    PutLe(f, 16000, 4);   // bytes per second
    PutLe(f, 2, 2);       // block alignment
    PutLe(f, 16, 2);
    f += "data";
    PutLe(f, static_cast<uint32_t>(pcm.size()), 4);
    return f + pcm;
}
