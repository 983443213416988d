// Conversion between the database code page (GB18030, a superset of GBK) and
// UTF-8, through iconv. Only the boundaries call it: the GUI, file names on
// disk, the command line, the hand-over between instances, the clipboard.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// GB18030 bytes -> UTF-8; a byte sequence that is not GB18030 becomes U+FFFD.
std::string AnsiToUtf8(const std::string& ansi);
// UTF-8 -> GB18030; invalid UTF-8 and the few characters the system's table
// lacks become "?" (one per byte).
std::string Utf8ToAnsi(const std::string& utf8);

// Where a checked conversion stopped: the character's 1-based position and
// its code point (for malformed UTF-8, the offending byte).
struct UnencodableChar {
    size_t position = 0;
    uint32_t codePoint = 0;
};
// UTF-8 -> GB18030 refusing anything it cannot convert exactly: false (ansi
// empty) with the first such character in failure.
bool Utf8ToAnsiChecked(const std::string& utf8, std::string& ansi, UnencodableChar* failure);
// The message that names it, for the user.
std::string UnencodableMessage(const UnencodableChar& failure);
// True when the bytes are well-formed UTF-8.
bool IsValidUtf8(std::string_view bytes);
// True when the bytes are well-formed GB18030.
bool IsValidGb18030(const std::string& bytes);

// Bytes from outside whose encoding is not known (a password typed or read
// from a file): valid UTF-8 is converted checked (kUnencodable with the
// character in failure); bytes that are not UTF-8 but valid GB18030, the
// database code page, are taken as they are; anything else is kUndecodable.
// Nothing is ever replaced: on failure ansi is empty.
enum class ExternalText { kConverted, kUnencodable, kUndecodable };
ExternalText ExternalToAnsiChecked(const std::string& bytes, std::string& ansi, UnencodableChar* failure);
// The same for messages: false with the reason in why.
bool ExternalTextToAnsi(const std::string& bytes, std::string& ansi, std::string& why);
