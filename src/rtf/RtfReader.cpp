#include "rtf/RtfReader.h"

#include "rtf/RtfCodepage.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <map>
#include <string_view>

namespace {

enum class Dest { Text, Skip, FontTable, ColorTable, BulletText };

struct CharFormat {
    int font = -1;             // font number; -1: the default font
    int size = 24;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    int color = 0;             // index into the colour table
};

struct ParaFormat {
    RtfAlign align = RtfAlign::Left;
    int firstIndent = 0;
    int leftIndent = 0;
    int rightIndent = 0;
    bool bullet = false;
};

struct GroupState {
    Dest dest = Dest::Text;
    CharFormat chars;
    ParaFormat para;
    int uc = 1;
};

struct FontEntry {
    std::string face;
    int charset = kCharsetDefault;
};

// Control words that open a group the document's text does not include.
bool IsSkippedDestination(std::string_view word) {
    static constexpr std::string_view kWords[] = {
        "stylesheet", "info",     "pict",      "object",     "header",     "headerl",  "headerr",
        "headerf",    "footer",   "footerl",   "footerr",    "footerf",    "footnote", "annotation",
        "fldinst",    "xe",       "tc",        "txe",        "listtable",  "listoverridetable",
        "revtbl",     "rsidtbl",  "nonshppict", "themedata", "colorschememapping",
        "latentstyles", "datastore", "filetbl",  "objdata",    "bkmkstart", "bkmkend",
        "generator",  "mmathPr",  "xmlnstbl",  "fchars",     "lchars",     "pgdsctbl",
    };
    return std::find(std::begin(kWords), std::end(kWords), word) != std::end(kWords);
}

class Reader {
public:
    Reader(const std::string& in, RtfDocument& doc) : in_(in), doc_(doc) {}
    bool Run();

private:
    GroupState& State() { return stack_.back(); }
    const GroupState& State() const { return stack_.back(); }
    void OpenGroup();
    bool CloseGroup();
    void ControlWord(std::string_view word, bool hasParam, int param);
    void ControlSymbol(char c);
    void TextByte(char c);
    void HexByte();
    void SkipBinary(int count);
    bool DestinationWord(std::string_view word);
    bool CharacterWord(std::string_view word, bool hasParam, int param);
    bool ParagraphWord(std::string_view word, bool hasParam, int param);

    void FlushBytes();
    void AppendCodePoint(char32_t c);
    void AppendText(const std::u32string& text);
    void UnicodeChar(int param);
    void EndParagraph();
    void FontTableByte(char c);
    void ColorTableWord(std::string_view word, int param);
    const FontEntry& FontOf(int number) const;
    int CodePage() const;
    int32_t ColorOf(int index) const;

    const std::string& in_;
    size_t pos_ = 0;
    RtfDocument& doc_;
    std::vector<GroupState> stack_;
    bool groupStart_ = false;    // the next control word may name a destination
    bool ignorable_ = false;     // "\*" came before it
    int skip_ = 0;               // fallback characters of \uN still to skip
    char32_t highSurrogate_ = 0;

    int ansiCodePage_ = 1252;
    int defaultFont_ = 0;
    std::map<int, FontEntry> fonts_;
    int fontEntry_ = -1;         // the font table entry being read
    std::string fontName_;       // its name bytes, up to ';'
    std::vector<int32_t> colors_;
    int red_ = 0, green_ = 0, blue_ = 0;
    bool colorGiven_ = false;

    std::string bytes_;          // text bytes not yet decoded
    int bytesCodePage_ = 0;
    RtfDecoder decoder_;
    RtfParagraph paragraph_;
    bool paragraphBullet_ = false;
};

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexValue(char c) {
    if (IsDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool Reader::Run() {
    stack_.emplace_back();
    bool complete = false;
    const size_t n = in_.size();
    while (pos_ < n) {
        const char c = in_[pos_];
        if (c == '\0')
            break;
        if (c == '{') {
            ++pos_;
            OpenGroup();
        } else if (c == '}') {
            ++pos_;
            if (CloseGroup()) {
                complete = true;
                break;
            }
        } else if (c == '\\') {
            ++pos_;
            if (pos_ >= n)
                break;
            if (!IsLetter(in_[pos_])) {
                ControlSymbol(in_[pos_++]);
                continue;
            }
            const size_t start = pos_;
            while (pos_ < n && IsLetter(in_[pos_]))
                ++pos_;
            // Words longer than any real one are cut; their letters still go.
            const std::string_view word(in_.data() + start, std::min<size_t>(pos_ - start, 32));
            bool negative = false;
            if (pos_ < n && in_[pos_] == '-' && pos_ + 1 < n && IsDigit(in_[pos_ + 1])) {
                negative = true;
                ++pos_;
            }
            bool hasParam = false;
            long long value = 0;
            while (pos_ < n && IsDigit(in_[pos_])) {
                hasParam = true;
                value = std::min<long long>(value * 10 + (in_[pos_] - '0'), INT_MAX);
                ++pos_;
            }
            if (pos_ < n && in_[pos_] == ' ')
                ++pos_;
            ControlWord(word, hasParam, int(negative ? -value : value));
        } else {
            ++pos_;
            TextByte(c);
        }
    }
    FlushBytes();
    if (!paragraph_.runs.empty())
        EndParagraph();
    return complete && IsRtf(in_);
}

void Reader::OpenGroup() {
    FlushBytes();
    stack_.push_back(stack_.back());
    groupStart_ = true;
    ignorable_ = false;
}

// True at the close of the outermost group, the end of the document.
bool Reader::CloseGroup() {
    FlushBytes();
    groupStart_ = false;
    ignorable_ = false;
    if (stack_.size() <= 1)
        return false;   // a stray brace before the document: ignored
    const Dest closing = State().dest;
    if (closing == Dest::FontTable && fontEntry_ >= 0 && !fontName_.empty()) {
        // An entry without its closing ';'.
        FontTableByte(';');
    }
    stack_.pop_back();
    return stack_.size() == 1;
}

void Reader::ControlSymbol(char c) {
    const bool atGroupStart = groupStart_;
    groupStart_ = false;
    switch (c) {
    case '\'':
        HexByte();
        return;
    case '*':
        if (atGroupStart) {
            ignorable_ = true;
            groupStart_ = true;
        }
        return;
    case '\\': case '{': case '}':
        TextByte(c);
        return;
    default:
        break;
    }
    FlushBytes();
    skip_ = 0;
    switch (c) {
    case '~': AppendCodePoint(0xA0); break;
    case '_': AppendCodePoint(0x2011); break;
    case '\r': case '\n': ControlWord("par", false, 0); break;
    default: break;   // \- optional hyphen, \| \: and the rest
    }
}

void Reader::HexByte() {
    const size_t n = in_.size();
    const int hi = pos_ < n ? HexValue(in_[pos_]) : -1;
    const int lo = pos_ + 1 < n ? HexValue(in_[pos_ + 1]) : -1;
    if (hi < 0 || lo < 0) {
        // A broken escape: its digits are dropped, the rest read on.
        while (pos_ < n && HexValue(in_[pos_]) >= 0)
            ++pos_;
        return;
    }
    pos_ += 2;
    TextByte(char(hi * 16 + lo));
}

void Reader::TextByte(char c) {
    groupStart_ = false;
    if (c == '\r' || c == '\n')
        return;
    if (skip_ > 0) {
        --skip_;
        return;
    }
    switch (State().dest) {
    case Dest::Text:
        break;
    case Dest::FontTable:
        FontTableByte(c);
        return;
    case Dest::ColorTable:
        if (c == ';')
            ColorTableWord(";", 0);
        return;
    default:
        return;
    }
    if (c == '\t') {
        FlushBytes();
        AppendCodePoint(U'\t');
        return;
    }
    const int page = CodePage();
    if (!bytes_.empty() && page != bytesCodePage_)
        FlushBytes();
    bytesCodePage_ = page;
    bytes_.push_back(c);
}

void Reader::SkipBinary(int count) {
    const size_t left = in_.size() - pos_;
    pos_ += std::min<size_t>(size_t(std::max(count, 0)), left);
    if (skip_ > 0)
        --skip_;
}

void Reader::ControlWord(std::string_view word, bool hasParam, int param) {
    const bool atGroupStart = groupStart_;
    const bool ignorable = ignorable_;
    groupStart_ = false;
    ignorable_ = false;
    if (word == "bin") {
        FlushBytes();
        SkipBinary(hasParam ? param : 0);
        return;
    }
    FlushBytes();
    if (word == "u") {
        UnicodeChar(param);
        return;
    }
    skip_ = 0;
    if (atGroupStart && DestinationWord(word))
        return;
    if (ignorable && atGroupStart) {
        State().dest = Dest::Skip;
        return;
    }
    GroupState& state = State();
    if (state.dest == Dest::ColorTable) {
        ColorTableWord(word, param);
        return;
    }
    if (state.dest == Dest::FontTable) {
        if (word == "f") {
            if (fontEntry_ >= 0 && !fontName_.empty())
                FontTableByte(';');
            fontEntry_ = param;
            fonts_[param];
        } else if (word == "fcharset" && fontEntry_ >= 0) {
            fonts_[fontEntry_].charset = param;
        }
        return;
    }
    if (word == "uc") {
        state.uc = std::clamp(param, 0, 1 << 16);
    } else if (word == "ansicpg") {
        ansiCodePage_ = param;
    } else if (word == "mac") {
        ansiCodePage_ = 10000;
    } else if (word == "pc") {
        ansiCodePage_ = 437;
    } else if (word == "pca") {
        ansiCodePage_ = 850;
    } else if (word == "deff") {
        defaultFont_ = param;
    } else if (CharacterWord(word, hasParam, param) || ParagraphWord(word, hasParam, param)) {
        return;
    } else if (state.dest != Dest::Text) {
        return;
    } else if (word == "par" || word == "row") {
        EndParagraph();
    } else if (word == "line") {
        AppendCodePoint(kLineBreak);
    } else if (word == "tab" || word == "cell") {
        AppendCodePoint(U'\t');
    } else if (word == "emdash") {
        AppendCodePoint(0x2014);
    } else if (word == "endash") {
        AppendCodePoint(0x2013);
    } else if (word == "bullet") {
        AppendCodePoint(0x2022);
    } else if (word == "lquote") {
        AppendCodePoint(0x2018);
    } else if (word == "rquote") {
        AppendCodePoint(0x2019);
    } else if (word == "ldblquote") {
        AppendCodePoint(0x201C);
    } else if (word == "rdblquote") {
        AppendCodePoint(0x201D);
    }
    // Every other control word is ignored.
}

// Destinations at a group's start; true when word was one.
bool Reader::DestinationWord(std::string_view word) {
    GroupState& state = State();
    if (word == "fonttbl") {
        state.dest = Dest::FontTable;
        fontEntry_ = -1;
    } else if (word == "colortbl") {
        state.dest = Dest::ColorTable;
        colorGiven_ = false;
        red_ = green_ = blue_ = 0;
    } else if (word == "pntext" || word == "listtext") {
        state.dest = Dest::BulletText;
        paragraphBullet_ = true;
    } else if (word == "pn") {
        // {\*\pn ...}: the enclosing group's paragraphs carry bullets.
        state.dest = Dest::Skip;
        if (stack_.size() >= 2)
            stack_[stack_.size() - 2].para.bullet = true;
    } else if (state.dest == Dest::FontTable && word == "f") {
        return false;
    } else if (IsSkippedDestination(word)) {
        state.dest = Dest::Skip;
    } else {
        return false;
    }
    return true;
}

bool Reader::CharacterWord(std::string_view word, bool hasParam, int param) {
    CharFormat& chars = State().chars;
    const bool on = !hasParam || param != 0;
    if (word == "plain") {
        chars = CharFormat();
    } else if (word == "b") {
        chars.bold = on;
    } else if (word == "i") {
        chars.italic = on;
    } else if (word == "ul" || word == "uld" || word == "uldb" || word == "ulw" || word == "uldash"
               || word == "ulth" || word == "ulwave") {
        chars.underline = on;
    } else if (word == "ulnone") {
        chars.underline = false;
    } else if (word == "fs") {
        chars.size = hasParam && param > 0 ? std::min(param, 32767) : 24;
    } else if (word == "cf") {
        chars.color = param;
    } else if (word == "f") {
        chars.font = param;
    } else {
        return false;
    }
    return true;
}

bool Reader::ParagraphWord(std::string_view word, bool, int param) {
    ParaFormat& para = State().para;
    if (word == "pard") {
        para = ParaFormat();
    } else if (word == "ql") {
        para.align = RtfAlign::Left;
    } else if (word == "qc") {
        para.align = RtfAlign::Center;
    } else if (word == "qr") {
        para.align = RtfAlign::Right;
    } else if (word == "qj") {
        para.align = RtfAlign::Justify;
    } else if (word == "fi") {
        para.firstIndent = param;
    } else if (word == "li") {
        para.leftIndent = param;
    } else if (word == "ri") {
        para.rightIndent = param;
    } else if (word == "ls") {
        para.bullet = param > 0;
    } else {
        return false;
    }
    return true;
}

void Reader::UnicodeChar(int param) {
    if (State().dest == Dest::Text)
        AppendCodePoint(char32_t(param < 0 ? param + 65536 : param) & 0xFFFF);
    skip_ = State().uc;
}

void Reader::AppendCodePoint(char32_t c) {
    if (c >= 0xD800 && c <= 0xDBFF) {
        if (highSurrogate_)
            AppendText(U"\uFFFD");
        highSurrogate_ = c;
        return;
    }
    if (c >= 0xDC00 && c <= 0xDFFF) {
        const char32_t joined = highSurrogate_ ? 0x10000 + ((highSurrogate_ - 0xD800) << 10) + (c - 0xDC00) : 0xFFFD;
        highSurrogate_ = 0;
        AppendText(std::u32string(1, joined));
        return;
    }
    AppendText(std::u32string(1, c));
}

void Reader::FlushBytes() {
    if (bytes_.empty())
        return;
    std::u32string text;
    decoder_.Decode(bytesCodePage_, bytes_, text);
    bytes_.clear();
    AppendText(text);
}

void Reader::AppendText(const std::u32string& text) {
    if (highSurrogate_) {
        highSurrogate_ = 0;
        AppendText(U"\uFFFD");
    }
    const CharFormat& chars = State().chars;
    const FontEntry& font = FontOf(chars.font);
    const int32_t color = ColorOf(chars.color);
    std::vector<RtfRun>& runs = paragraph_.runs;
    if (!runs.empty()) {
        RtfRun& last = runs.back();
        if (last.size == chars.size && last.bold == chars.bold && last.italic == chars.italic
            && last.underline == chars.underline && last.color == color
            && last.charset == font.charset && last.font == font.face) {
            last.text += text;
            return;
        }
    }
    RtfRun run;
    run.font = font.face;
    run.charset = font.charset;
    run.size = chars.size;
    run.bold = chars.bold;
    run.italic = chars.italic;
    run.underline = chars.underline;
    run.color = color;
    run.text = text;
    runs.push_back(std::move(run));
}

void Reader::EndParagraph() {
    FlushBytes();
    const ParaFormat& para = State().para;
    paragraph_.align = para.align;
    paragraph_.firstIndent = para.firstIndent;
    paragraph_.leftIndent = para.leftIndent;
    paragraph_.rightIndent = para.rightIndent;
    paragraph_.bullet = para.bullet || paragraphBullet_;
    doc_.paragraphs.push_back(std::move(paragraph_));
    paragraph_ = RtfParagraph();
    paragraphBullet_ = false;
}

void Reader::FontTableByte(char c) {
    if (fontEntry_ < 0)
        return;
    if (c != ';') {
        fontName_.push_back(c);
        return;
    }
    FontEntry& entry = fonts_[fontEntry_];
    std::u32string face;
    decoder_.Decode(CodePageOfCharset(entry.charset, ansiCodePage_), fontName_, face);
    entry.face = Utf32ToUtf8(face);
    while (!entry.face.empty() && entry.face.front() == ' ')
        entry.face.erase(entry.face.begin());
    fontName_.clear();
    fontEntry_ = -1;
}

void Reader::ColorTableWord(std::string_view word, int param) {
    const int value = std::clamp(param, 0, 255);
    if (word == "red") {
        red_ = value;
    } else if (word == "green") {
        green_ = value;
    } else if (word == "blue") {
        blue_ = value;
    } else if (word == ";") {
        colors_.push_back(colorGiven_ ? (red_ << 16 | green_ << 8 | blue_) : kAutoColor);
        red_ = green_ = blue_ = 0;
        colorGiven_ = false;
        return;
    } else {
        return;
    }
    colorGiven_ = true;
}

const FontEntry& Reader::FontOf(int number) const {
    static const FontEntry kNone;
    auto it = fonts_.find(number < 0 ? defaultFont_ : number);
    if (it == fonts_.end())
        it = fonts_.find(defaultFont_);
    return it == fonts_.end() ? kNone : it->second;
}

int Reader::CodePage() const {
    return CodePageOfCharset(FontOf(State().chars.font).charset, ansiCodePage_);
}

int32_t Reader::ColorOf(int index) const {
    return index >= 0 && size_t(index) < colors_.size() ? colors_[size_t(index)] : kAutoColor;
}

} // namespace

bool IsRtf(const std::string& bytes) {
    return bytes.compare(0, 5, "{\\rtf") == 0;
}

bool ReadRtf(const std::string& bytes, RtfDocument& doc) {
    doc = RtfDocument();
    return Reader(bytes, doc).Run();
}

RtfDocument ReadRtfOrText(const std::string& bytes) {
    RtfDocument doc;
    if (IsRtf(bytes)) {
        ReadRtf(bytes, doc);
        return doc;
    }
    const std::string text = bytes.substr(0, std::min(bytes.size(), bytes.find('\0')));
    std::u32string unicode;
    RtfDecoder().Decode(936, text, unicode);
    return DocumentOfText(unicode, std::string(), kCharsetDefault);
}

std::string PlainTextOf(const RtfDocument& doc) {
    std::string out;
    for (const RtfParagraph& paragraph : doc.paragraphs) {
        std::u32string text = paragraph.Text();
        std::replace(text.begin(), text.end(), kLineBreak, U'\n');
        out += Utf32ToUtf8(text);
        out += '\n';
    }
    return out;
}

RtfDocument DocumentOfText(const std::u32string& text, const std::string& font, int charset) {
    RtfDocument doc;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(U'\n', start);
        if (end == std::u32string::npos)
            end = text.size();
        size_t stop = end;
        if (stop > start && text[stop - 1] == U'\r')
            --stop;
        RtfParagraph paragraph;
        if (stop > start) {
            RtfRun run;
            run.font = font;
            run.charset = charset;
            run.text = text.substr(start, stop - start);
            paragraph.runs.push_back(std::move(run));
        }
        doc.paragraphs.push_back(std::move(paragraph));
        start = end + 1;
    }
    return doc;
}
