// Bit strings over a MemoryStream, most significant bit first, bytes filled
// from bit 7 down to bit 0.
#pragma once

#include <cstdint>

#include "public/MemoryStream.h"

class BIT_STREAM {
public:
    enum Direction { Read, Write };

    // Binds the stream and positions it at its start; no pending bits, no error.
    void Attach(MemoryStream& stream, Direction direction);

    // Puts the low k bits of value (k from 1 to 32), most significant first.
    // False once a finished byte could not be written (the error flag).
    bool Put(uint32_t value, int k);
    // Gets k bits (1 to 32); -1 when the stream ends before a needed byte.
    int64_t Get(int k);
    // Write direction: writes a partly filled last byte, completed with zero
    // bits. False when that write (or an earlier one) failed.
    bool Flush();

    bool Error() const { return error_; }

private:
    MemoryStream* stream_ = nullptr;
    Direction direction_ = Read;
    uint64_t bits_ = 0;   // pending bits, the oldest highest
    int count_ = 0;       // number of pending bits
    bool error_ = false;
};
