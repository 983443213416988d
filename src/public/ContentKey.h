// Keys: the content key derived from a database password, and a per-machine
// random key.
#pragma once

#include <cstdint>
#include <string_view>

#include "public/DES.h"

// The 8-byte content key of a password (its bytes in the database code page).
DesKey DeriveKey(std::string_view password);

// CRC32NF of text, then CRC32NF of the four little-endian bytes of number,
// each little-endian: the key of enciphered texts and random keys.
DesKey TextKey(std::string_view text, uint32_t number);

// 8 bytes that differ from machine to machine (seed text) and from run to run
// (clock); they carry no recoverable information.
DesKey MakeRandomKey(std::string_view seedText);
