// Base64 with the standard alphabet and "=" padding. The encoder puts CR LF
// after every full line of 76 characters (also when the padded last group
// completes that line); the decoder ignores every character outside the
// alphabet.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Encoded length of m bytes: 4*ceil(m/3) + 2*floor(4*ceil(m/3)/76).
size_t Base64Length(size_t m);
std::string Base64Encode(std::string_view bytes);
std::string Base64Decode(std::string_view text);
