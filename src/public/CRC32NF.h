// CRC-32 of the zip family (reflected, polynomial 0xEDB88320, register preset
// to 0xFFFFFFFF) without the final complement. Stored as text, a value is the
// signed decimal of the 32-bit word.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

uint32_t CRC32NF(const void* data, size_t count);
uint32_t CRC32NF(std::string_view bytes);
