// How captions and contents are stored in the Case view.
//   caption: EncryptBlock of the caption bytes plus one zero byte;
//   content: EncryptBlock of the whole LZW stream (mode 0) of the content;
//            empty content is stored as zero bytes.
#pragma once

#include <string>

#include "public/DES.h"

bool SealCaption(const DesKey& key, const std::string& caption, std::string& sealed);
// The caption is the deciphered text up to its first zero byte. Returns false
// when the stored bytes are no sealed block ending in the caption's zero byte
// (the caption is then empty, or, when only the length word or the end is
// wrong, still the text up to the zero byte).
bool OpenCaption(const DesKey& key, const std::string& sealed, std::string& caption);

bool SealContent(const DesKey& key, const std::string& content, std::string& sealed);
// False when the bytes are no sealed block or hold no complete LZW stream.
bool OpenContent(const DesKey& key, const std::string& sealed, std::string& content);
