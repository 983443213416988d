// Code pages of RTF text: which code page a font's character set means, and
// decoding and encoding bytes of a code page (through iconv).
#pragma once

#include <cstdint>
#include <map>
#include <string>

// The code page of a font character set; kCharsetDefault and unknown sets
// take the document's \ansicpg.
int CodePageOfCharset(int charset, int ansiCodePage);

// Decodes bytes of one code page to Unicode. Keeps one converter per code
// page for its lifetime. Bytes the code page lacks become U+FFFD, one each.
class RtfDecoder {
public:
    RtfDecoder() = default;
    RtfDecoder(const RtfDecoder&) = delete;
    RtfDecoder& operator=(const RtfDecoder&) = delete;
    ~RtfDecoder();

    void Decode(int codePage, const std::string& bytes, std::u32string& out);

private:
    void* Converter(int codePage);
    std::map<std::string, void*> converters_;   // by converter name
};

// The two-byte GBK code of a character (lead byte high), 0 when GBK has none.
uint16_t GbkCodeOf(char32_t c);

std::string Utf32ToUtf8(const std::u32string& text);
// Malformed UTF-8 becomes U+FFFD, one per byte.
std::u32string Utf8ToUtf32(const std::string& utf8);
