// Writes an RtfDocument as RTF in the dialect rich edit controls write and
// read: \ansicpg936, font and colour tables, \uc1, \pard paragraphs,
// characters of the GBK range as \'hh pairs in a charset-134 font and every
// other non-ASCII character as \uN?.
#pragma once

#include "rtf/RtfDocument.h"

#include <string>

// The face a run without one is written in.
inline constexpr const char* kDefaultRtfFace = "宋体";

std::string WriteRtf(const RtfDocument& doc);
