#include "rtf/RtfWriter.h"

#include "rtf/RtfCodepage.h"

#include <algorithm>
#include <map>
#include <utility>
#include <vector>

namespace {

struct Font {
    std::string face;
    int charset;
    auto operator<=>(const Font&) const = default;
};

// The font a run is written in: a run without a face takes the default one;
// an unknown character set becomes GB2312 for CJK faces, ANSI otherwise.
Font FontOfRun(const RtfRun& run) {
    Font font{run.font.empty() ? kDefaultRtfFace : run.font, run.charset};
    if (run.font.empty())
        font.charset = kCharsetGB2312;
    if (font.charset == kCharsetDefault) {
        const bool ascii = std::all_of(font.face.begin(), font.face.end(),
                                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
        font.charset = ascii ? kCharsetAnsi : kCharsetGB2312;
    }
    return font;
}

// A table in order of first use, with its index for lookups.
template <typename T>
class Table {
public:
    int IndexOf(const T& value) {
        auto [it, added] = index_.emplace(value, int(items_.size()));
        if (added)
            items_.push_back(value);
        return it->second;
    }
    const std::vector<T>& Items() const { return items_; }

private:
    std::vector<T> items_;
    std::map<T, int> index_;
};

void AppendNumber(std::string& out, const char* word, int value) {
    out += word;
    out += std::to_string(value);
}

void AppendUnicode(std::string& out, char32_t c) {
    if (c > 0xFFFF) {
        const char32_t v = c - 0x10000;
        AppendUnicode(out, 0xD800 + (v >> 10));
        AppendUnicode(out, 0xDC00 + (v & 0x3FF));
        return;
    }
    AppendNumber(out, "\\u", c > 0x7FFF ? int(c) - 65536 : int(c));
    out += '?';
}

void AppendHex(std::string& out, unsigned char byte) {
    static const char kDigits[] = "0123456789abcdef";
    const char escape[4] = {'\\', '\'', kDigits[byte >> 4], kDigits[byte & 15]};
    out.append(escape, 4);
}

// Text of one run; in a GB2312 font the characters GBK holds go as byte pairs.
void AppendText(std::string& out, const std::u32string& text, bool gbk) {
    for (char32_t c : text) {
        const uint16_t pair = gbk ? GbkCodeOf(c) : 0;
        if (c == '\\' || c == '{' || c == '}') {
            out += '\\';
            out += char(c);
        } else if (c == '\t') {
            out += "\\tab ";
        } else if (c == kLineBreak) {
            out += "\\line ";
        } else if (c < 0x20) {
            // Other control characters are not text.
        } else if (c < 0x80) {
            out += char(c);
        } else if (pair) {
            AppendHex(out, static_cast<unsigned char>(pair >> 8));
            AppendHex(out, static_cast<unsigned char>(pair & 0xFF));
        } else {
            AppendUnicode(out, c);
        }
    }
}

class Writer {
public:
    explicit Writer(const RtfDocument& doc) : doc_(doc) {}
    std::string Run();

private:
    void CollectTables();
    void Header();
    void Paragraph(const RtfParagraph& paragraph);
    void Run(const RtfRun& run);

    const RtfDocument& doc_;
    Table<Font> fonts_;
    Table<int32_t> colors_;
    int symbolFont_ = -1;
    std::string out_;
    // Character format in effect; -1: not yet written.
    int font_ = -1;
    int size_ = -1;
    bool bold_ = false;
    bool italic_ = false;
    bool underline_ = false;
    int color_ = 0;
};

std::string Writer::Run() {
    CollectTables();
    size_t characters = 0;
    for (const RtfParagraph& paragraph : doc_.paragraphs)
        for (const RtfRun& run : paragraph.runs)
            characters += run.text.size();
    out_.reserve(characters * 8 + doc_.paragraphs.size() * 32 + 256);
    Header();
    out_ += "\\viewkind4\\uc1";
    for (const RtfParagraph& paragraph : doc_.paragraphs)
        Paragraph(paragraph);
    out_ += "}\r\n";
    return std::move(out_);
}

void Writer::CollectTables() {
    fonts_.IndexOf(doc_.paragraphs.empty() || doc_.paragraphs.front().runs.empty()
                        ? FontOfRun(RtfRun())
                        : FontOfRun(doc_.paragraphs.front().runs.front()));
    for (const RtfParagraph& paragraph : doc_.paragraphs) {
        if (paragraph.bullet && symbolFont_ < 0)
            symbolFont_ = fonts_.IndexOf(Font{"Symbol", kCharsetSymbol});
        for (const RtfRun& run : paragraph.runs) {
            fonts_.IndexOf(FontOfRun(run));
            if (run.color != kAutoColor)
                colors_.IndexOf(run.color);
        }
    }
}

void Writer::Header() {
    out_ += "{\\rtf1\\ansi\\ansicpg936\\deff0\\deflang1033\\deflangfe2052{\\fonttbl";
    const std::vector<Font>& fonts = fonts_.Items();
    for (size_t i = 0; i < fonts.size(); ++i) {
        AppendNumber(out_, "{\\f", int(i));
        AppendNumber(out_, "\\fnil\\fcharset", fonts[i].charset);
        out_ += ' ';
        AppendText(out_, Utf8ToUtf32(fonts[i].face), fonts[i].charset == kCharsetGB2312);
        out_ += ";}";
    }
    out_ += "}\r\n";
    if (!colors_.Items().empty()) {
        out_ += "{\\colortbl ;";
        for (int32_t color : colors_.Items()) {
            AppendNumber(out_, "\\red", (color >> 16) & 0xFF);
            AppendNumber(out_, "\\green", (color >> 8) & 0xFF);
            AppendNumber(out_, "\\blue", color & 0xFF);
            out_ += ';';
        }
        out_ += "}\r\n";
    }
}

void Writer::Paragraph(const RtfParagraph& paragraph) {
    out_ += "\\pard";
    if (paragraph.bullet) {
        AppendNumber(out_, "{\\pntext\\f", symbolFont_);
        out_ += "\\'b7\\tab}";
        AppendNumber(out_, "{\\*\\pn\\pnlvlblt\\pnf", symbolFont_);
        out_ += "\\pnindent0{\\pntxtb\\'b7}}";
    }
    static const char* const kAlign[] = {"", "\\qc", "\\qr", "\\qj"};
    out_ += kAlign[int(paragraph.align)];
    if (paragraph.firstIndent)
        AppendNumber(out_, "\\fi", paragraph.firstIndent);
    if (paragraph.leftIndent)
        AppendNumber(out_, "\\li", paragraph.leftIndent);
    if (paragraph.rightIndent)
        AppendNumber(out_, "\\ri", paragraph.rightIndent);
    out_ += ' ';
    for (const RtfRun& run : paragraph.runs)
        Run(run);
    out_ += "\\par\r\n";
}

void Writer::Run(const RtfRun& run) {
    const Font font = FontOfRun(run);
    const int fontIndex = fonts_.IndexOf(font);
    const int colorIndex = run.color == kAutoColor ? 0 : colors_.IndexOf(run.color) + 1;
    const size_t mark = out_.size();
    if (bold_ != run.bold)
        out_ += run.bold ? "\\b" : "\\b0";
    if (italic_ != run.italic)
        out_ += run.italic ? "\\i" : "\\i0";
    if (underline_ != run.underline)
        out_ += run.underline ? "\\ul" : "\\ulnone";
    if (color_ != colorIndex)
        AppendNumber(out_, "\\cf", colorIndex);
    if (font_ != fontIndex)
        AppendNumber(out_, "\\f", fontIndex);
    if (size_ != run.size)
        AppendNumber(out_, "\\fs", run.size);
    if (out_.size() != mark)
        out_ += ' ';
    bold_ = run.bold;
    italic_ = run.italic;
    underline_ = run.underline;
    color_ = colorIndex;
    font_ = fontIndex;
    size_ = run.size;
    AppendText(out_, run.text, font.charset == kCharsetGB2312);
}

} // namespace

std::string WriteRtf(const RtfDocument& doc) {
    return Writer(doc).Run();
}
