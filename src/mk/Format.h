// Primitive encodings of the Metakit 2.4 file format: variable-length numbers,
// 8-byte marks, adaptive-width integer columns and structure descriptions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace mk {

// Bounded reader over a byte range; any overrun or malformed number clears ok.
struct ByteReader {
    const uint8_t* p;
    const uint8_t* end;
    bool ok = true;

    ByteReader(const void* data, size_t len)
        : p(static_cast<const uint8_t*>(data)), end(static_cast<const uint8_t*>(data) + len) {}
    bool AtEnd() const { return p >= end; }
    int64_t Varint();
    // A varint that must lie in 0 .. 2^31-1.
    uint32_t Count();
};

void PutVarint(std::string& out, int64_t value);

uint32_t GetBE32(const uint8_t* p);
void PutBE32(uint8_t* p, uint32_t v);

// Entries of integer-like columns in the file's byte order.
int64_t GetEntry(const uint8_t* p, int bytes, bool littleEndian);
void PutEntry(uint8_t* p, int bytes, uint64_t v, bool littleEndian);

// Integer column widths (bits).
int WidthFor(int64_t value);
// Width a reader derives from rows and byte size; -1 when invalid.
int WidthFromSize(uint32_t rows, uint32_t size);
// Byte size a writer produces for rows at width bits.
uint32_t SizeForWidth(uint32_t rows, int width);
// Packs values at the given width (int32 range), padding zero.
std::string EncodeInts(const std::vector<int64_t>& values, int width, bool littleEndian);
// Unpacks rows values of width bits (1..64) into out; values sign-extended from 8 bits up.
void DecodeInts(const uint8_t* data, uint32_t rows, int width, bool littleEndian, std::vector<int64_t>& out);

// One property of a structure description.
struct PropDef {
    std::string name;
    char type = 'S';               // I L F D S B V
    std::vector<PropDef> sub;      // properties of a V property
};

// Parses a property list ("A:I,B[C:S]"); false when malformed.
bool ParseProps(const std::string& text, std::vector<PropDef>& out);
// Parses "Name[list]" for binding a top-level view.
bool ParseViewDescription(const std::string& text, PropDef& out);
std::string FormatProps(const std::vector<PropDef>& props);
std::string FormatProp(const PropDef& prop);

// ASCII case folding comparison used for names and strings.
int CompareNoCase(const std::string& a, const std::string& b);
bool EqualNoCase(const std::string& a, const std::string& b);

}  // namespace mk
