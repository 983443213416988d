#include "search/HtmlText.h"

#include "rtf/RtfCodepage.h"

#include <algorithm>
#include <cstdint>
#include <string_view>

namespace {

struct NamedReference {
    std::string_view name, text;
};

constexpr NamedReference kNamedReferences[] = {
#include "search/HtmlEntityTable.inc"
};

constexpr size_t kLongestName = 32;   // with its ';'
constexpr size_t kLongestLegacyName = 6;   // names the standard also reads without ';'

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }
bool IsAsciiAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }
bool IsAsciiAlnum(char c) { return IsAsciiAlpha(c) || IsAsciiDigit(c); }
char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool IsBlockTag(std::string_view name) {
    static constexpr std::string_view kBlocks[] = {
        "p",  "div", "br", "li", "tr", "h1", "h2", "h3", "h4", "h5",    "h6", "table", "ul",
        "ol", "dl",  "dt", "dd", "pre", "blockquote", "hr", "title", "section", "article", "header", "footer",
    };
    return std::find(std::begin(kBlocks), std::end(kBlocks), name) != std::end(kBlocks);
}

const NamedReference* FindNamed(std::string_view name) {
    const auto at = std::lower_bound(std::begin(kNamedReferences), std::end(kNamedReferences), name,
                                     [](const NamedReference& r, std::string_view n) { return r.name < n; });
    return at != std::end(kNamedReferences) && at->name == name ? at : nullptr;
}

// What a numeric reference stands for: none, surrogates and numbers past
// Unicode are U+FFFD, and 0x80 to 0x9F are read as Windows-1252, as the
// standard says.
char32_t NumericCharacter(uint32_t value) {
    static constexpr char16_t kWindows1252[32] = {
        0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x8D,   0x017D, 0x8F,   0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178,
    };
    if (value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0xFFFD;
    if (value >= 0x80 && value <= 0x9F) return kWindows1252[value - 0x80];
    return value;
}

int DigitValue(char c, bool hex) {
    if (IsAsciiDigit(c)) return c - '0';
    const char lower = AsciiLower(c);
    return hex && lower >= 'a' && lower <= 'f' ? lower - 'a' + 10 : -1;
}

// "&#233;" or "&#xE9;" at text[pos], the ';' optional: appends the character
// and returns its end, or returns pos when no digit follows.
size_t Numeric(std::string_view text, size_t pos, std::string& out) {
    size_t at = pos + 2;
    const bool hex = at < text.size() && (text[at] == 'x' || text[at] == 'X');
    if (hex) ++at;
    const size_t digits = at;
    uint32_t value = 0;
    for (int d; at < text.size() && (d = DigitValue(text[at], hex)) >= 0; ++at)
        value = std::min<uint32_t>(value * (hex ? 16 : 10) + d, 0x110000);
    if (at == digits) return pos;
    if (at < text.size() && text[at] == ';') ++at;
    out += Utf32ToUtf8(std::u32string(1, NumericCharacter(value)));
    return at;
}

// "&eacute;" at text[pos]: the name with its ';', else the longest name the
// standard also reads without one ("&copy2024" is "©2024"). Appends its text
// and returns its end, or returns pos when no name matches.
size_t Named(std::string_view text, size_t pos, std::string& out) {
    size_t end = pos + 1;
    while (end < text.size() && end - pos < kLongestName && IsAsciiAlnum(text[end])) ++end;
    const NamedReference* found = nullptr;
    if (end < text.size() && text[end] == ';' && (found = FindNamed(text.substr(pos + 1, end - pos)))) {
        ++end;
    } else {
        size_t length = std::min(end - pos - 1, kLongestLegacyName);
        while (length > 0 && !(found = FindNamed(text.substr(pos + 1, length)))) --length;
        end = pos + 1 + length;
    }
    if (!found) return pos;
    out += found->text;
    return end;
}

// The text as lines: runs of white space become one blank, lines are
// trimmed, and empty lines are left out.
class TextOut {
public:
    void Text(char c) {
        if (IsSpace(c)) {
            space_ = !line_.empty();
            return;
        }
        if (space_) line_ += ' ';
        space_ = false;
        line_ += c;
    }
    void Text(std::string_view text) {
        if (text == "\xC2\xA0") return Text(' ');   // a no-break space reads as a blank
        for (char c : text) Text(c);
    }
    void Break() {
        if (!line_.empty()) out_ += line_ + '\n';
        line_.clear();
        space_ = false;
    }
    std::string Done() {
        Break();
        return out_;
    }

private:
    std::string out_, line_;
    bool space_ = false;
};

// Text between tags, its character references decoded.
void AppendText(std::string_view text, TextOut& out) {
    std::string decoded;
    for (size_t pos = 0; pos < text.size();) {
        size_t next = pos;
        if (text[pos] == '&') {
            decoded.clear();
            next = pos + 1 < text.size() && text[pos + 1] == '#' ? Numeric(text, pos, decoded) : Named(text, pos, decoded);
        }
        if (next == pos) {
            out.Text(text[pos++]);
        } else {
            out.Text(decoded);
            pos = next;
        }
    }
}

// The end of a tag whose attributes start at html[pos]: just past its '>', or
// npos when the page ends first (a tag cut off is no tag). A '>' inside a
// quoted attribute value does not end it; quotes elsewhere are characters
// of a name or an unquoted value.
size_t TagEnd(std::string_view html, size_t pos) {
    enum { kBetween, kName, kAfterName, kBeforeValue, kUnquoted } state = kBetween;
    for (; pos < html.size(); ++pos) {
        const char c = html[pos];
        if (c == '>') return pos + 1;
        switch (state) {
        case kBetween:
            if (!IsSpace(c) && c != '/') state = kName;
            break;
        case kName:
        case kAfterName:
            if (c == '=') state = kBeforeValue;
            else if (c == '/') state = kBetween;
            else if (IsSpace(c)) state = kAfterName;
            else state = kName;
            break;
        case kBeforeValue:
            if (c == '"' || c == '\'') {
                pos = html.find(c, pos + 1);
                if (pos == std::string_view::npos) return pos;
                state = kBetween;
            } else if (!IsSpace(c)) {
                state = kUnquoted;
            }
            break;
        case kUnquoted:
            if (IsSpace(c)) state = kBetween;
            break;
        }
    }
    return std::string_view::npos;
}

// Where the end tag "</name" (any case, then a blank, '/' or '>') next
// starts; the end of the page when nowhere. Ends the raw contents of a
// script or a style and the text of a title.
size_t ClosingTag(std::string_view html, size_t pos, std::string_view name) {
    for (size_t at = html.find("</", pos); at != std::string_view::npos; at = html.find("</", at + 2)) {
        const size_t after = at + 2 + name.size();
        if (after >= html.size()) break;
        bool same = true;
        for (size_t i = 0; i < name.size() && same; ++i) same = AsciiLower(html[at + 2 + i]) == name[i];
        if (same && (IsSpace(html[after]) || html[after] == '/' || html[after] == '>')) return at;
    }
    return html.size();
}

// The markup at html[pos] ('<'): a comment, a tag, a declaration, or a lone
// '<' that is text. Returns where the text goes on.
size_t Markup(std::string_view html, size_t pos, TextOut& out) {
    if (html.compare(pos, 4, "<!--") == 0) {   // "<!-->" and "<!--->" end where they stand
        const size_t end = html.find("-->", pos + 2);
        return end == std::string_view::npos ? html.size() : end + 3;
    }
    const bool closing = html.compare(pos, 2, "</") == 0;
    const size_t nameStart = pos + (closing ? 2 : 1);
    if (nameStart >= html.size()) {
        out.Text('<');
        return pos + 1;
    }
    if (!IsAsciiAlpha(html[nameStart])) {
        if (html[nameStart] == '!' || html[nameStart] == '?' || closing) {   // a declaration or a bogus comment
            const size_t end = html.find('>', nameStart);
            return end == std::string_view::npos ? html.size() : end + 1;
        }
        out.Text('<');
        return pos + 1;
    }
    size_t nameEnd = nameStart;
    while (nameEnd < html.size() && !IsSpace(html[nameEnd]) && html[nameEnd] != '/' && html[nameEnd] != '>') ++nameEnd;
    std::string name(html.substr(nameStart, nameEnd - nameStart));
    std::transform(name.begin(), name.end(), name.begin(), AsciiLower);
    const size_t end = TagEnd(html, nameEnd);
    if (end == std::string_view::npos) return html.size();
    if (IsBlockTag(name)) out.Break();
    if (closing) return end;
    if (name == "script" || name == "style") return ClosingTag(html, end, name);
    if (name == "title" || name == "textarea") {   // text without tags
        const size_t textEnd = ClosingTag(html, end, name);
        AppendText(html.substr(end, textEnd - end), out);
        return textEnd;
    }
    return end;
}

}  // namespace

std::string HtmlToText(const std::string& html) {
    TextOut out;
    const std::string_view page(html);
    for (size_t pos = 0; pos < page.size();) {
        const size_t tag = std::min(page.find('<', pos), page.size());
        AppendText(page.substr(pos, tag - pos), out);
        pos = tag < page.size() ? Markup(page, tag, out) : tag;
    }
    return out.Done();
}
