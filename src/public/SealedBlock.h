// Sealed block: the padded, enciphered form of every stored byte string.
// n data bytes, zero bytes up to L - 4, n as a 32-bit little-endian word,
// where L is the smallest multiple of 8 that is at least n + 4; the L bytes
// are enciphered with DES-ECB.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "public/DES.h"

// L for n data bytes; 0 when n < 1 or when n does not fit the length word.
int64_t SealedLength(int64_t n);

// Seals n bytes of data into out, which holds SealedLength(n) bytes.
// Returns L; 0 (nothing written) when n < 1 or too large.
int64_t EncryptBlock(const DesKey& key, const uint8_t* data, int64_t n, uint8_t* out);
// The sealed bytes of data; empty for empty or too large data, or when
// memory runs out.
std::string EncryptBlock(const DesKey& key, std::string_view data);

// Deciphers the L bytes of sealed in place whenever L is a positive multiple
// of 8, and returns the data length n (the data is in the first n bytes).
// Returns 0 when L is malformed or the length word is not in
// [max(1, L - 16), L - 4]. Never touches bytes outside the L bytes.
int64_t DecryptBlock(const DesKey& key, uint8_t* sealed, int64_t L);
// Opens sealed into data; false (data empty) on failure.
bool DecryptBlock(const DesKey& key, std::string_view sealed, std::string& data);
