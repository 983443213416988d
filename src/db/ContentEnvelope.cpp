#include "db/ContentEnvelope.h"

#include <algorithm>
#include <cstring>

#include "public/Allocate.h"
#include "public/Compress_LZW.h"
#include "public/SealedBlock.h"

bool SealCaption(const DesKey& key, const std::string& caption, std::string& sealed) {
    sealed = EncryptBlock(key, std::string_view(caption.c_str(), caption.size() + 1));
    return !sealed.empty();
}

bool OpenCaption(const DesKey& key, const std::string& sealed, std::string& caption) {
    caption.clear();
    if (sealed.empty() || sealed.size() % 8 != 0) return false;
    std::string buffer = sealed;
    int64_t n = DecryptBlock(key, reinterpret_cast<uint8_t*>(buffer.data()),
                             static_cast<int64_t>(buffer.size()));
    caption.assign(buffer.c_str(), std::min(buffer.size(), std::strlen(buffer.c_str())));
    // The caption was sealed with its zero byte: a whole block ends in it.
    return n > 0 && buffer[static_cast<size_t>(n) - 1] == '\0';
}

// The stream is enciphered where it lies: a large content costs its own
// bytes and one compressed copy, no more.
bool SealContent(const DesKey& key, const std::string& content, std::string& sealed) {
    MemoryStream stream;
    if (Compress_LZW().Compress(content, stream) != Compress_LZW::Done) return false;
    sealed = stream.Take();
    const int64_t n = int64_t(sealed.size());
    const int64_t length = SealedLength(n);
    if (length == 0 || !Allocate([&] { sealed.resize(size_t(length)); })) {
        sealed.clear();
        return false;
    }
    auto* bytes = reinterpret_cast<uint8_t*>(sealed.data());
    EncryptBlock(key, bytes, n, bytes);
    return true;
}

bool OpenContent(const DesKey& key, const std::string& sealed, std::string& content) {
    std::string opened;
    if (!DecryptBlock(key, sealed, opened)) return false;
    MemoryStream stream(std::move(opened)), expanded;
    if (Compress_LZW().Expand(stream, expanded) != Compress_LZW::Done) return false;
    content = expanded.Take();
    return true;
}
