#include "rtf/RtfCodepage.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <vector>

namespace {

const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

const char* IconvName(int codePage) {
    switch (codePage) {
    case 936: return "GB18030";   // reads every GBK byte string as GBK does
    case 950: return "CP950";
    case 932: return "CP932";
    case 949: return "CP949";
    case 1361: return "CP1361";
    case 874: return "CP874";
    case 437: return "CP437";
    case 850: return "CP850";
    case 10000: return "MACINTOSH";
    case 1250: return "CP1250";
    case 1251: return "CP1251";
    case 1253: return "CP1253";
    case 1254: return "CP1254";
    case 1255: return "CP1255";
    case 1256: return "CP1256";
    case 1257: return "CP1257";
    case 1258: return "CP1258";
    default: return "CP1252";
    }
}

// Converts data with cd into out; each byte it cannot take becomes U+FFFD.
void ConvertToUtf32(iconv_t cd, const std::string& data, std::string& out) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char* src = const_cast<char*>(data.data());
    size_t left = data.size();
    char buf[4096];
    while (left > 0) {
        char* dst = buf;
        size_t room = sizeof buf;
        const size_t rc = iconv(cd, &src, &left, &dst, &room);
        out.append(buf, sizeof buf - room);
        if (rc == static_cast<size_t>(-1) && errno != E2BIG) {
            out.append("\xFD\xFF\0\0", 4);
            ++src;
            --left;
        }
    }
}

void AppendUtf32Le(const std::string& bytes, std::u32string& out) {
    for (size_t i = 0; i + 4 <= bytes.size(); i += 4) {
        const auto* p = reinterpret_cast<const unsigned char*>(bytes.data() + i);
        out.push_back(char32_t(p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24));
    }
}

} // namespace

int CodePageOfCharset(int charset, int ansiCodePage) {
    switch (charset) {
    case 0: return 1252;
    case 2: return 1252;       // symbol fonts: the bytes are the glyph codes
    case 77: return 10000;
    case 128: return 932;
    case 129: return 949;
    case 130: return 1361;
    case 134: return 936;
    case 136: return 950;
    case 161: return 1253;
    case 162: return 1254;
    case 163: return 1258;
    case 177: return 1255;
    case 178: return 1256;
    case 186: return 1257;
    case 204: return 1251;
    case 222: return 874;
    case 238: return 1250;
    case 255: return 437;
    default: return ansiCodePage;
    }
}

RtfDecoder::~RtfDecoder() {
    for (auto& [name, cd] : converters_)
        if (cd != kNoConverter)
            iconv_close(static_cast<iconv_t>(cd));
}

void* RtfDecoder::Converter(int codePage) {
    const char* name = IconvName(codePage);
    auto it = converters_.find(name);
    if (it == converters_.end())
        it = converters_.emplace(name, iconv_open("UTF-32LE", name)).first;
    return it->second;
}

void RtfDecoder::Decode(int codePage, const std::string& bytes, std::u32string& out) {
    auto cd = static_cast<iconv_t>(Converter(codePage));
    if (cd == kNoConverter) {
        for (unsigned char c : bytes)
            out.push_back(c < 0x80 ? c : 0xFFFD);
        return;
    }
    std::string utf32;
    utf32.reserve(bytes.size() * 4);
    ConvertToUtf32(cd, bytes, utf32);
    AppendUtf32Le(utf32, out);
}

uint16_t GbkCodeOf(char32_t c) {
    // Built once: every two-byte code of GB18030 (the GBK range) decoded.
    static const std::vector<uint16_t> table = [] {
        std::vector<uint16_t> codes(0x10000, 0);
        iconv_t cd = iconv_open("UTF-32LE", "GB18030");
        if (cd == kNoConverter)
            return codes;
        for (int lead = 0x81; lead <= 0xFE; ++lead) {
            for (int trail = 0x40; trail <= 0xFE; ++trail) {
                if (trail == 0x7F)
                    continue;
                char pair[2] = {char(lead), char(trail)};
                char unit[4];
                char* src = pair;
                char* dst = unit;
                size_t left = 2, room = 4;
                if (iconv(cd, &src, &left, &dst, &room) == static_cast<size_t>(-1) || room != 0)
                    continue;
                const auto* u = reinterpret_cast<const unsigned char*>(unit);
                const uint32_t code = u[0] | u[1] << 8 | u[2] << 16 | uint32_t(u[3]) << 24;
                // The euro sign is one byte (0x80) in the Windows table, not this pair.
                if (code < 0x10000 && code != 0x20AC && !codes[code])
                    codes[code] = uint16_t(lead << 8 | trail);
            }
        }
        iconv_close(cd);
        return codes;
    }();
    return c >= 0x80 && c < 0x10000 ? table[c] : 0;
}

std::string Utf32ToUtf8(const std::u32string& text) {
    std::string out;
    out.reserve(text.size() * 3);
    for (char32_t c : text) {
        if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
            c = 0xFFFD;
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += char(0xE0 | (c >> 12));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        } else {
            out += char(0xF0 | (c >> 18));
            out += char(0x80 | ((c >> 12) & 0x3F));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::u32string Utf8ToUtf32(const std::string& utf8) {
    std::u32string out;
    out.reserve(utf8.size());
    const auto* s = reinterpret_cast<const unsigned char*>(utf8.data());
    const size_t n = utf8.size();
    for (size_t i = 0; i < n;) {
        const unsigned char b = s[i];
        const size_t len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
        char32_t c = len == 1 ? b : b & (0x7F >> len);
        bool ok = len > 0 && i + len <= n;
        for (size_t k = 1; ok && k < len; ++k) {
            ok = (s[i + k] & 0xC0) == 0x80;
            c = (c << 6) | (s[i + k] & 0x3F);
        }
        static constexpr char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
        if (ok && (c < kMin[len] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)))
            ok = false;
        out.push_back(ok ? c : 0xFFFD);
        i += ok ? len : 1;
    }
    return out;
}
