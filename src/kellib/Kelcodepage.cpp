#include "kellib/Kelcodepage.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>

namespace {

// Converts with iconv; each input byte it cannot take becomes `replacement`.
std::string Convert(const char* to, const char* from, const std::string& in,
                    const std::string& replacement) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return "";
    std::string out;
    out.reserve(in.size() * 3 / 2 + 16);
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    char buf[4096];
    while (true) {
        char* dst = buf;
        size_t dstLeft = sizeof buf;
        size_t rc = iconv(cd, srcLeft ? &src : nullptr, &srcLeft, &dst, &dstLeft);
        out.append(buf, sizeof buf - dstLeft);
        if (rc != static_cast<size_t>(-1)) {
            if (srcLeft == 0) break;
            continue;
        }
        if (errno == E2BIG) continue;
        // EILSEQ or EINVAL (truncated sequence at the end): replace one byte.
        out += replacement;
        ++src;
        --srcLeft;
        if (srcLeft == 0) break;
    }
    iconv_close(cd);
    return out;
}

}  // namespace

std::string AnsiToUtf8(const std::string& ansi) {
    return Convert("UTF-8", "GB18030", ansi, "\xEF\xBF\xBD");
}

std::string Utf8ToAnsi(const std::string& utf8) { return Convert("GB18030", "UTF-8", utf8, "?"); }

bool IsValidUtf8(const std::string& bytes) {
    size_t i = 0;
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    while (i < bytes.size()) {
        unsigned char c = s[i];
        size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (!len || i + len > bytes.size()) return false;
        uint32_t cp = len == 1 ? c : c & (0x7F >> len);
        for (size_t k = 1; k < len; ++k) {
            if ((s[i + k] & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (s[i + k] & 0x3F);
        }
        static const uint32_t minimum[] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < minimum[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += len;
    }
    return true;
}
