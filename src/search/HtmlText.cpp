#include "search/HtmlText.h"

#include "rtf/RtfCodepage.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <string_view>

namespace {

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool IsBlockTag(const std::string& name) {
    static constexpr std::string_view kBlocks[] = {
        "p",  "div", "br", "li", "tr", "h1", "h2", "h3", "h4", "h5",    "h6", "table", "ul",
        "ol", "dl",  "dt", "dd", "pre", "blockquote", "hr", "title", "section", "article", "header", "footer",
    };
    return std::find(std::begin(kBlocks), std::end(kBlocks), name) != std::end(kBlocks);
}

void AppendUtf8(std::string& out, uint32_t c) {
    out += Utf32ToUtf8(std::u32string(1, c == 0 ? 0xFFFD : c));
}

// A character reference at html[pos] ('&'); appends it and returns its end,
// or returns pos when it is none (the '&' is then text).
size_t Reference(const std::string& html, size_t pos, std::string& out) {
    const size_t end = html.find(';', pos);
    if (end == std::string::npos || end - pos > 10) return pos;
    const std::string name = html.substr(pos + 1, end - pos - 1);
    static const std::pair<const char*, uint32_t> kNamed[] = {
        {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}, {"nbsp", 0xA0},
        {"copy", 0xA9}, {"reg", 0xAE}, {"mdash", 0x2014}, {"ndash", 0x2013}, {"hellip", 0x2026},
    };
    for (const auto& [n, c] : kNamed) {
        if (name == n) {
            AppendUtf8(out, c);
            return end + 1;
        }
    }
    if (name.size() < 2 || name[0] != '#') return pos;
    const bool hex = name[1] == 'x' || name[1] == 'X';
    const std::string digits = name.substr(hex ? 2 : 1);
    if (digits.empty() || digits.find_first_not_of(hex ? "0123456789abcdefABCDEF" : "0123456789") != std::string::npos)
        return pos;
    AppendUtf8(out, static_cast<uint32_t>(std::stoul(digits, nullptr, hex ? 16 : 10)));
    return end + 1;
}

// Where "</name" next starts, letters in any case; the end when nowhere.
size_t FindClosingTag(const std::string& html, size_t pos, const std::string& name) {
    for (size_t at = html.find("</", pos); at != std::string::npos; at = html.find("</", at + 2))
        if (Lower(std::string_view(html).substr(at + 2, name.size())) == name) return at;
    return html.size();
}

// The text as lines: runs of white space become one blank, lines are
// trimmed, and empty lines are left out.
class TextOut {
public:
    void Text(char c) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f') {
            space_ = !line_.empty();
            return;
        }
        if (space_) line_ += ' ';
        space_ = false;
        line_ += c;
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

}  // namespace

std::string HtmlToText(const std::string& html) {
    TextOut out;
    size_t pos = 0;
    const size_t n = html.size();
    while (pos < n) {
        const char c = html[pos];
        if (c == '<' && html.compare(pos, 4, "<!--") == 0) {
            const size_t end = html.find("-->", pos + 4);
            pos = end == std::string::npos ? n : end + 3;
        } else if (c == '<') {
            const size_t end = html.find('>', pos);
            if (end == std::string::npos) break;
            std::string_view tag(html.data() + pos + 1, end - pos - 1);
            const bool closing = !tag.empty() && tag[0] == '/';
            if (closing) tag.remove_prefix(1);
            const size_t nameEnd = std::min(tag.find_first_of(" \t\r\n/"), tag.size());
            const std::string name = Lower(tag.substr(0, nameEnd));
            pos = end + 1;
            if (!closing && (name == "script" || name == "style")) {
                pos = FindClosingTag(html, pos, name);
            } else if (IsBlockTag(name)) {
                out.Break();
            }
        } else if (c == '&') {
            std::string decoded;
            const size_t next = Reference(html, pos, decoded);
            if (next == pos) {
                out.Text(c);
                ++pos;
            } else {
                for (char d : decoded == "\xC2\xA0" ? std::string(" ") : decoded) out.Text(d);
                pos = next;
            }
        } else {
            out.Text(c);
            ++pos;
        }
    }
    return out.Done();
}
