// Short texts enciphered into printable form (Base64 of a sealed block) under
// a key made from a key text and the encoded length.
#pragma once

#include <string>
#include <string_view>

// Empty plain text gives empty text.
std::string EncryptText(std::string_view keyText, std::string_view plain);
// Empty input or any failure gives empty text.
std::string DecryptText(std::string_view keyText, std::string_view text);
