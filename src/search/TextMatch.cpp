#include "search/TextMatch.h"

#include "kellib/Kelcodepage.h"
#include "rtf/RtfCodepage.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include <clocale>
#include <cwctype>
#include <locale.h>

namespace {

constexpr size_t kContextBefore = 30;
constexpr size_t kContextAfter = 60;

// C.UTF-8 carries the Unicode case and class tables; the process's own
// locale may be "C", which knows ASCII only.
locale_t Utf8Locale()
{
    static const locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
    return locale;
}

bool IsLineBreak(char32_t c) { return c == U'\n' || c == U'\r'; }

// Ranges without letter case: CJK symbols, kana, ideographs, Yi, Hangul.
bool Caseless(char32_t c) { return (c >= 0x3000 && c < 0xA640) || (c >= 0xAC00 && c < 0xD800); }

char LowerAsciiByte(char b)
{
    const auto u = static_cast<unsigned char>(b);
    return static_cast<char>(u | (static_cast<unsigned char>(u - 'A') < 26 ? 0x20 : 0));
}

void LowerAscii(std::string& bytes)
{
    for (char& b : bytes)
        b = LowerAsciiByte(b);
}

// The pattern byte least likely in text (by English letter frequency), so
// the byte search stops at few false candidates.
size_t AnchorOf(std::string_view pattern)
{
    static constexpr std::string_view kCommonFirst = " etaoinsrhldcumfpgwybvkxjqz";
    auto rank = [](char b) {
        const size_t at = kCommonFirst.find(b);
        return at == std::string_view::npos ? kCommonFirst.size() / 2 : at;
    };
    size_t anchor = 0;
    for (size_t i = 1; i < pattern.size(); ++i)
        if (rank(pattern[i]) > rank(pattern[anchor]))
            anchor = i;
    return anchor;
}

// Where the anchor byte next stands at or after from; text.size() when not.
size_t NextByte(std::string_view text, size_t from, char byte)
{
    const void* hit = from < text.size() ? std::memchr(text.data() + from, byte, text.size() - from) : nullptr;
    return hit ? static_cast<size_t>(static_cast<const char*>(hit) - text.data()) : text.size();
}

bool EqualAt(std::string_view text, size_t at, std::string_view pattern, bool caseless)
{
    if (!caseless)
        return text.compare(at, pattern.size(), pattern) == 0;
    for (size_t i = 0; i < pattern.size(); ++i)
        if (LowerAsciiByte(text[at + i]) != pattern[i])
            return false;
    return true;
}

// A byte search led by the pattern's anchor byte. Caseless, the pattern is
// in lower case and the anchor is looked for in both cases where it lies,
// so the text is never copied.
bool ContainsBytes(std::string_view text, std::string_view pattern, size_t anchor, bool caseless)
{
    const size_t m = pattern.size();
    if (m > text.size())
        return false;
    const char lower = pattern[anchor];
    const char upper = caseless && lower >= 'a' && lower <= 'z' ? static_cast<char>(lower - 0x20) : lower;
    const size_t last = text.size() - (m - anchor);   // the last place the anchor can stand
    size_t nextLower = NextByte(text, anchor, lower);
    size_t nextUpper = upper == lower ? text.size() : NextByte(text, anchor, upper);
    for (;;) {
        const size_t at = std::min(nextLower, nextUpper);
        if (at > last)
            return false;
        if (EqualAt(text, at - anchor, pattern, caseless))
            return true;
        if (at == nextLower)
            nextLower = NextByte(text, at + 1, lower);
        else
            nextUpper = NextByte(text, at + 1, upper);
    }
}

} // namespace

char32_t FoldChar(char32_t c)
{
    if (c < 0x80)
        return c >= U'a' && c <= U'z' ? c - 0x20 : c;
    if (Caseless(c))
        return c;
    const locale_t locale = Utf8Locale();
    const auto upper = static_cast<char32_t>(locale ? towupper_l(static_cast<wint_t>(c), locale)
                                                    : std::towupper(static_cast<wint_t>(c)));
    return upper < 0x80 ? c : upper;
}

char32_t LowerChar(char32_t c)
{
    if (c < 0x80)
        return c >= U'A' && c <= U'Z' ? c + 0x20 : c;
    const locale_t locale = Utf8Locale();
    return static_cast<char32_t>(locale ? towlower_l(static_cast<wint_t>(c), locale)
                                        : std::towlower(static_cast<wint_t>(c)));
}

bool IsWordChar(char32_t c)
{
    if (c < 0x80)
        return (c >= U'0' && c <= U'9') || (c >= U'A' && c <= U'Z') || (c >= U'a' && c <= U'z') || c == U'_';
    if (c >= 0x2E80)
        return false;   // CJK and the scripts after it
    const locale_t locale = Utf8Locale();
    return locale ? iswalnum_l(static_cast<wint_t>(c), locale) != 0 : std::iswalnum(static_cast<wint_t>(c)) != 0;
}

TextMatcher::TextMatcher(const std::u32string& pattern, SearchOptions options)
    : pattern_(pattern), options_(options)
{
    PrepareBytePatterns(pattern);
    if (!options_.matchCase)
        for (char32_t& c : pattern_)
            c = FoldChar(c);
    border_.assign(pattern_.size(), 0);
    for (size_t i = 1, k = 0; i < pattern_.size(); ++i) {
        while (k > 0 && pattern_[i] != pattern_[k])
            k = border_[k - 1];
        if (pattern_[i] == pattern_[k])
            ++k;
        border_[i] = k;
    }
}

void TextMatcher::PrepareBytePatterns(const std::u32string& pattern)
{
    // Decoders give neither U+FFFD for a character of the bytes nor code
    // points outside Unicode, so such patterns take the slow way.
    bytesUsable_ = !pattern.empty() && std::all_of(pattern.begin(), pattern.end(), [this](char32_t c) {
        const bool unicode = c != 0 && c != 0xFFFD && c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF);
        const bool sameOnly = options_.matchCase || c < 0x80 || (FoldChar(c) == c && LowerChar(c) == c);
        return unicode && sameOnly;
    });
    if (!bytesUsable_)
        return;
    utf8Pattern_ = Utf32ToUtf8(pattern);
    ansiEncodable_ = Utf8ToAnsiChecked(utf8Pattern_, ansiPattern_, nullptr);
    if (!options_.matchCase) {
        LowerAscii(utf8Pattern_);
        LowerAscii(ansiPattern_);
    }
    utf8Anchor_ = AnchorOf(utf8Pattern_);
    ansiAnchor_ = AnchorOf(ansiPattern_);
}

bool TextMatcher::MayMatchBytes(std::string_view bytes, bool utf8) const
{
    if (!bytesUsable_ || (!utf8 && !ansiEncodable_))
        return true;
    const std::string& pattern = utf8 ? utf8Pattern_ : ansiPattern_;
    const size_t anchor = utf8 ? utf8Anchor_ : ansiAnchor_;
    return ContainsBytes(bytes, pattern, anchor, !options_.matchCase);
}

bool TextMatcher::WordAt(const std::u32string& text, size_t pos) const
{
    const size_t end = pos + pattern_.size();
    const bool startsWord = pos == 0 || !IsWordChar(text[pos - 1]) || !IsWordChar(text[pos]);
    const bool endsWord = end == text.size() || !IsWordChar(text[end]) || !IsWordChar(text[end - 1]);
    return startsWord && endsWord;
}

size_t TextMatcher::Find(const std::u32string& text) const
{
    const size_t m = pattern_.size();
    if (m == 0 || m > text.size())
        return std::u32string::npos;
    const bool fold = !options_.matchCase;
    for (size_t i = 0, k = 0; i < text.size(); ++i) {
        const char32_t c = fold ? FoldChar(text[i]) : text[i];
        while (k > 0 && c != pattern_[k])
            k = border_[k - 1];
        if (c == pattern_[k])
            ++k;
        if (k < m)
            continue;
        const size_t pos = i + 1 - m;
        if (!options_.wholeWord || WordAt(text, pos))
            return pos;
        k = border_[k - 1];
    }
    return std::u32string::npos;
}

std::string ContextLine(const std::u32string& text, size_t pos, size_t length)
{
    size_t begin = pos, end = pos + length;
    while (begin > 0 && !IsLineBreak(text[begin - 1]) && pos - begin < kContextBefore)
        --begin;
    while (end < text.size() && !IsLineBreak(text[end]) && end - pos < kContextAfter)
        ++end;
    std::u32string line;
    if (begin > 0 && !IsLineBreak(text[begin - 1]))
        line += U'…';
    for (size_t i = begin; i < end; ++i) {
        const char32_t c = text[i] < 0x20 || text[i] == 0x7F ? U' ' : text[i];
        if (c != U' ' || (!line.empty() && line.back() != U' '))
            line += c;
    }
    while (!line.empty() && line.back() == U' ')
        line.pop_back();
    if (end < text.size() && !IsLineBreak(text[end]))
        line += U'…';
    return Utf32ToUtf8(line);
}
