#include "public/Base64.h"

#include <array>

namespace {

constexpr char kAlphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr size_t kLineLength = 76;

constexpr std::array<int8_t, 256> MakeDecodeTable()
{
    std::array<int8_t, 256> table{};
    for (auto& v : table)
        v = -1;
    for (int i = 0; i < 64; ++i)
        table[static_cast<uint8_t>(kAlphabet[i])] = static_cast<int8_t>(i);
    return table;
}

constexpr std::array<int8_t, 256> kDecode = MakeDecodeTable();

// Appends one group of four characters (padded with "=" for a short group)
// and the line break when it completes a line.
void PutGroup(std::string& out, uint32_t triple, size_t bytes)
{
    out += kAlphabet[(triple >> 18) & 63];
    out += kAlphabet[(triple >> 12) & 63];
    out += bytes > 1 ? kAlphabet[(triple >> 6) & 63] : '=';
    out += bytes > 2 ? kAlphabet[triple & 63] : '=';
    if (out.size() % (kLineLength + 2) == kLineLength)
        out += "\r\n";
}

} // namespace

size_t Base64Length(size_t m)
{
    const size_t chars = 4 * ((m + 2) / 3);
    return chars + 2 * (chars / kLineLength);
}

std::string Base64Encode(std::string_view bytes)
{
    std::string out;
    out.reserve(Base64Length(bytes.size()));
    const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
    size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3)
        PutGroup(out, uint32_t(p[i]) << 16 | uint32_t(p[i + 1]) << 8 | p[i + 2], 3);
    const size_t rest = bytes.size() - i;
    if (rest > 0)
        PutGroup(out, uint32_t(p[i]) << 16 | (rest > 1 ? uint32_t(p[i + 1]) << 8 : 0), rest);
    return out;
}

std::string Base64Decode(std::string_view text)
{
    std::string out;
    out.reserve(text.size() / 4 * 3 + 3);
    uint32_t group = 0;
    int count = 0;
    for (char ch : text) {
        const int v = kDecode[static_cast<uint8_t>(ch)];
        if (v < 0)
            continue;
        group = group << 6 | static_cast<uint32_t>(v);
        if (++count == 4) {
            out += static_cast<char>(group >> 16);
            out += static_cast<char>(group >> 8);
            out += static_cast<char>(group);
            group = 0;
            count = 0;
        }
    }
    if (count == 3) {
        out += static_cast<char>(group >> 10);
        out += static_cast<char>(group >> 2);
    } else if (count == 2) {
        out += static_cast<char>(group >> 4);
    }
    return out;
}
