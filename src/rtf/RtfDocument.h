// The document model the RTF reader fills and the writer emits: paragraphs
// with their format, holding runs of equally formatted text.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class RtfAlign { Left, Center, Right, Justify };

// Colour of a run: kAutoColor (the reader's default text colour) or 0xRRGGBB.
constexpr int32_t kAutoColor = -1;

// Character set codes of the font table (the system's logical-font codes).
constexpr int kCharsetAnsi = 0;
constexpr int kCharsetDefault = 1;
constexpr int kCharsetSymbol = 2;
constexpr int kCharsetGB2312 = 134;

// Line break inside a paragraph (\line).
constexpr char32_t kLineBreak = 0x2028;

struct RtfRun {
    std::string font;          // face name, UTF-8
    int charset = kCharsetDefault;
    int size = 24;             // half-points
    bool bold = false;
    bool italic = false;
    bool underline = false;
    int32_t color = kAutoColor;
    std::u32string text;

    bool SameFormat(const RtfRun& other) const {
        return font == other.font && charset == other.charset && size == other.size
               && bold == other.bold && italic == other.italic && underline == other.underline
               && color == other.color;
    }
    bool operator==(const RtfRun&) const = default;
};

struct RtfParagraph {
    RtfAlign align = RtfAlign::Left;
    int firstIndent = 0;       // twips, relative to the left indent
    int leftIndent = 0;        // twips
    int rightIndent = 0;       // twips
    bool bullet = false;
    std::vector<RtfRun> runs;

    std::u32string Text() const {
        std::u32string text;
        for (const RtfRun& run : runs)
            text += run.text;
        return text;
    }
    bool operator==(const RtfParagraph&) const = default;
};

struct RtfDocument {
    std::vector<RtfParagraph> paragraphs;
    bool operator==(const RtfDocument&) const = default;
};
