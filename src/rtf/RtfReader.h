// Reads RTF as rich edit controls, word processors and converters write it
// into an RtfDocument. Damaged input gives what could be read; the reader
// keeps its own group stack (no recursion) and runs in linear time.
#pragma once

#include "rtf/RtfDocument.h"

#include <string>

// False when the input is not complete RTF (no header, unbalanced braces,
// truncated); doc then holds what could be read. Reading stops at the close
// of the outermost group or at a zero byte outside binary data.
bool ReadRtf(const std::string& bytes, RtfDocument& doc);

// True when bytes begin with the RTF header "{\rtf".
bool IsRtf(const std::string& bytes);

// A stored payload as the editor takes it: RTF when it begins with the
// header, else plain text in the database code page (GB18030), one
// paragraph per line, up to the first zero byte.
RtfDocument ReadRtfOrText(const std::string& bytes);

// The document's plain text as UTF-8, one line per paragraph.
std::string PlainTextOf(const RtfDocument& doc);

// A document of plain text (one paragraph per line, CR LF or LF) in one font.
RtfDocument DocumentOfText(const std::u32string& text, const std::string& font, int charset);
