// Single DES (FIPS 46-3) in ECB mode. Block and key bytes map to the
// standard's 64-bit values with byte 0 most significant; the lowest bit of
// each key byte is the parity bit and is ignored. The key schedule is made
// anew for every call.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

using DesKey = std::array<uint8_t, 8>;

// Enciphers (deciphers) the whole 8-byte blocks of data in place; a trailing
// partial block is left untouched.
void DESEncrypt(const DesKey& key, uint8_t* data, size_t count);
void DESDecrypt(const DesKey& key, uint8_t* data, size_t count);
// Wipes this thread's cached schedule of the last key used.
void DESForgetKey();
