// Conversion between the database code page (GB18030, a superset of GBK) and
// UTF-8, through iconv. Only the boundaries call it: the GUI, file names on
// disk, the command line, the hand-over between instances, the clipboard.
#pragma once

#include <string>

// GB18030 bytes -> UTF-8; a byte sequence that is not GB18030 becomes U+FFFD.
std::string AnsiToUtf8(const std::string& ansi);
// UTF-8 -> GB18030 (which encodes every character); invalid UTF-8 bytes become "?".
std::string Utf8ToAnsi(const std::string& utf8);
// True when the bytes are well-formed UTF-8.
bool IsValidUtf8(const std::string& bytes);
