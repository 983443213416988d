#include "kellib/Kelcodepage.h"

#include <iconv.h>

#include <cerrno>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

// One descriptor per direction and thread, opened at first use and reset to
// its initial state for each conversion: opening one costs more than
// converting a caption.
class Descriptors {
public:
    ~Descriptors() {
        for (const Entry& e : entries_) iconv_close(e.cd);
    }
    iconv_t Get(const char* to, const char* from) {
        for (const Entry& e : entries_)
            if (std::strcmp(e.to, to) == 0 && std::strcmp(e.from, from) == 0) {
                iconv(e.cd, nullptr, nullptr, nullptr, nullptr);
                return e.cd;
            }
        iconv_t cd = iconv_open(to, from);
        if (cd != reinterpret_cast<iconv_t>(-1)) entries_.push_back({to, from, cd});
        return cd;
    }

private:
    struct Entry {
        const char* to;
        const char* from;
        iconv_t cd;
    };
    std::vector<Entry> entries_;
};

// Converts with iconv; each input byte it cannot take becomes `replacement`.
// Without a replacement the conversion stops there: false, with the byte
// offset of the input it could not take in failedAt.
bool Convert(const char* to, const char* from, const std::string& in, const char* replacement,
             std::string& out, size_t* failedAt = nullptr) {
    out.clear();
    thread_local Descriptors descriptors;
    iconv_t cd = descriptors.Get(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    out.reserve(in.size() * 3 / 2 + 16);
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    char buf[4096];
    bool complete = true;
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
        // EILSEQ or EINVAL (truncated sequence at the end).
        if (!replacement) {
            if (failedAt) *failedAt = static_cast<size_t>(src - in.data());
            complete = false;
            break;
        }
        out += replacement;
        ++src;
        --srcLeft;
        if (srcLeft == 0) break;
    }
    return complete;
}

// The code point of the UTF-8 sequence at offset, or its first byte when the
// sequence is malformed.
uint32_t CodePointAt(const std::string& utf8, size_t offset) {
    const auto* s = reinterpret_cast<const unsigned char*>(utf8.data()) + offset;
    size_t left = utf8.size() - offset;
    size_t len = s[0] < 0x80 ? 1 : (s[0] >> 5) == 6 ? 2 : (s[0] >> 4) == 14 ? 3 : (s[0] >> 3) == 30 ? 4 : 0;
    if (!len || len > left || !IsValidUtf8(utf8.substr(offset, len))) return s[0];
    uint32_t cp = len == 1 ? s[0] : s[0] & (0x7F >> len);
    for (size_t k = 1; k < len; ++k) cp = (cp << 6) | (s[k] & 0x3F);
    return cp;
}

}  // namespace

std::string AnsiToUtf8(const std::string& ansi) {
    std::string out;
    Convert("UTF-8", "GB18030", ansi, "\xEF\xBF\xBD", out);
    return out;
}

std::string Utf8ToAnsi(const std::string& utf8) {
    std::string out;
    Convert("GB18030", "UTF-8", utf8, "?", out);
    return out;
}

bool Utf8ToAnsiChecked(const std::string& utf8, std::string& ansi, UnencodableChar* failure) {
    size_t offset = 0;
    if (Convert("GB18030", "UTF-8", utf8, nullptr, ansi, &offset)) return true;
    ansi.clear();
    if (failure) {
        failure->codePoint = offset < utf8.size() ? CodePointAt(utf8, offset) : 0;
        failure->position = 1;
        for (size_t i = 0; i < offset; ++i)
            if ((static_cast<unsigned char>(utf8[i]) & 0xC0) != 0x80) ++failure->position;
    }
    return false;
}

std::string UnencodableMessage(const UnencodableChar& failure) {
    char code[16];
    std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(failure.codePoint));
    return "第" + std::to_string(failure.position) + "个字符（" + code +
           "）不能用数据库的代码页（GB18030）保存，没有写入任何内容。";
}

bool IsValidUtf8(std::string_view bytes) {
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

bool IsValidGb18030(const std::string& bytes) {
    std::string utf8;
    return Convert("UTF-8", "GB18030", bytes, nullptr, utf8);
}

ExternalText ExternalToAnsiChecked(const std::string& bytes, std::string& ansi, UnencodableChar* failure) {
    if (IsValidUtf8(bytes))
        return Utf8ToAnsiChecked(bytes, ansi, failure) ? ExternalText::kConverted : ExternalText::kUnencodable;
    if (IsValidGb18030(bytes)) {
        ansi = bytes;
        return ExternalText::kConverted;
    }
    ansi.clear();
    return ExternalText::kUndecodable;
}

bool ExternalTextToAnsi(const std::string& bytes, std::string& ansi, std::string& why) {
    UnencodableChar failure;
    switch (ExternalToAnsiChecked(bytes, ansi, &failure)) {
    case ExternalText::kConverted: return true;
    case ExternalText::kUnencodable: why = UnencodableMessage(failure); return false;
    case ExternalText::kUndecodable: break;
    }
    why = "不是有效的文本（既不是UTF-8，也不是GB18030）。";
    return false;
}
