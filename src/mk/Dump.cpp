#include "mk/Dump.h"

#include <charconv>
#include <cmath>
#include <vector>

namespace mk {

namespace {

const size_t kRepeatMin = 4096;

std::string Base64(const std::string& in) {
    static const char* table = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((in.size() + 2) / 3 * 4);
    for (size_t i = 0; i < in.size(); i += 3) {
        uint32_t v = uint32_t(uint8_t(in[i])) << 16;
        if (i + 1 < in.size()) v |= uint32_t(uint8_t(in[i + 1])) << 8;
        if (i + 2 < in.size()) v |= uint8_t(in[i + 2]);
        out += table[(v >> 18) & 63];
        out += table[(v >> 12) & 63];
        out += i + 1 < in.size() ? table[(v >> 6) & 63] : '=';
        out += i + 2 < in.size() ? table[v & 63] : '=';
    }
    return out;
}

bool IsUtf8(const std::string& s) {
    size_t i = 0;
    while (i < s.size()) {
        uint8_t c = uint8_t(s[i]);
        if (c == 0) return false;
        int n = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
        if (n < 0 || i + n >= s.size() + (n ? 0 : 1)) return false;
        uint32_t cp = n == 0 ? c : c & (0x3F >> n);
        for (int k = 1; k <= n; ++k) {
            uint8_t d = uint8_t(s[i + k]);
            if ((d & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (d & 0x3F);
        }
        static const uint32_t minimum[4] = {0, 0x80, 0x800, 0x10000};
        if (cp < minimum[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += n + 1;
    }
    return true;
}

std::string Quote(const std::string& s) {
    std::string out = "\"";
    for (char ch : s) {
        uint8_t c = uint8_t(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += ch;
        }
    }
    return out + "\"";
}

// Smallest period of s (s.size() when it does not repeat).
size_t Period(const std::string& s) {
    std::vector<size_t> fail(s.size() + 1, 0);
    for (size_t i = 1, k = 0; i < s.size(); ++i) {
        while (k && s[i] != s[k]) k = fail[k];
        if (s[i] == s[k]) ++k;
        fail[i + 1] = k;
    }
    return s.size() - fail[s.size()];
}

std::string Bytes(const std::string& b) {
    if (b.size() > kRepeatMin) {
        size_t p = Period(b);
        if (p < b.size())
            return "{\"repeat_b64\": \"" + Base64(b.substr(0, p)) + "\", \"length\": " + std::to_string(b.size()) + "}";
    }
    return "{\"b64\": \"" + Base64(b) + "\"}";
}

template <typename T>
std::string Number(T v) {
    if (std::isnan(v)) return "\"nan\"";
    if (std::isinf(v)) return v < 0 ? "\"-inf\"" : "\"inf\"";
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    return "\"" + std::string(buf, r.ptr) + "\"";
}

std::string ValueJson(View& v, int row, int col, int indent);

std::string ViewJson(View& v, int indent, bool named) {
    std::string out = "{";
    if (named) out += "\"name\": " + Quote(v.Name()) + ", ";
    out += "\"description\": " + Quote(v.Description()) + ", \"columns\": [";
    for (int c = 0; c < v.ColumnCount(); ++c) {
        if (c) out += ", ";
        out += "[" + Quote(v.ColumnName(c)) + ", \"" + std::string(1, v.ColumnType(c)) + "\"]";
    }
    out += "], \"row_count\": " + std::to_string(v.RowCount()) + ", \"rows\": [";
    if (v.RowCount() == 0) return out + "]}";
    out += "\n";
    std::string pad(indent + 2, ' ');
    for (int r = 0; r < v.RowCount(); ++r) {
        out += pad + "[";
        for (int c = 0; c < v.ColumnCount(); ++c) {
            if (c) out += ", ";
            out += ValueJson(v, r, c, indent + 2);
        }
        out += r + 1 < v.RowCount() ? "],\n" : "]\n";
    }
    return out + std::string(indent, ' ') + "]}";
}

std::string ValueJson(View& v, int row, int col, int indent) {
    std::string bytes;
    switch (v.ColumnType(col)) {
    case 'I': case 'L': return std::to_string(v.GetInt(row, col));
    case 'D': return Number(v.GetDouble(row, col));
    case 'F': return Number(static_cast<float>(v.GetDouble(row, col)));
    case 'S':
        v.GetBytes(row, col, bytes);
        return IsUtf8(bytes) ? Quote(bytes) : "{\"b64\": \"" + Base64(bytes) + "\"}";
    case 'B': v.GetBytes(row, col, bytes); return Bytes(bytes);
    case 'V': return ViewJson(*v.GetSubview(row, col), indent, false);
    default: return "null";
    }
}

}  // namespace

std::string DumpJson(Storage& s) {
    const FileInfo& info = s.Info();
    std::string out = "{\n";
    out += "  \"file_size\": " + std::to_string(info.fileSize) + ",\n";
    out += std::string("  \"metakit_data\": ") + (info.metakitData ? "true" : "false") + ",\n";
    out += std::string("  \"format\": \"") + (info.metakitData ? "2.3+" : "none") + "\",\n";
    out += std::string("  \"byte_order\": \"") + (info.littleEndian ? "little" : "big") + "\",\n";
    out += "  \"base_offset\": " + std::to_string(info.baseOffset) + ",\n";
    out += "  \"structure\": " + Quote(s.Description()) + ",\n";
    out += "  \"views\": [";
    for (int i = 0; i < s.ViewCount(); ++i) out += (i ? ",\n    " : "\n    ") + ViewJson(*s.ViewAt(i), 4, true);
    out += s.ViewCount() ? "\n  ]\n}\n" : "]\n}\n";
    return out;
}

}  // namespace mk
