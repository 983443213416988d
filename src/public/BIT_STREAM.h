// Bit strings over a MemoryStream, most significant bit first, bytes filled
// from bit 7 down to bit 0.
#pragma once

#include <cstdint>

#include "public/MemoryStream.h"

class BIT_STREAM {
public:
    enum Direction { Read, Write };

    // Binds the stream at its current position; no pending bits, no error.
    void Attach(MemoryStream& stream, Direction direction)
    {
        stream_ = &stream;
        direction_ = direction;
        bits_ = 0;
        count_ = 0;
        error_ = false;
    }

    // Puts the low k bits of value (k from 1 to 32), most significant first.
    // False once a finished byte could not be written (the error flag).
    bool Put(uint32_t value, int k)
    {
        bits_ = bits_ << k | (value & (0xFFFFFFFFu >> (32 - k)));
        count_ += k;
        if (count_ >= 32)
            WriteBytes(4);
        return !error_;
    }

    // Gets k bits (1 to 32); -1 when the stream ends before a needed byte.
    // Reads up to eight bytes ahead of the bits it has handed out.
    int64_t Get(int k)
    {
        if (count_ < k) {
            // Read ahead as far as the pending bits allow.
            for (int b; count_ <= 56 && (b = stream_->GetByte()) >= 0; count_ += 8)
                bits_ = bits_ << 8 | static_cast<uint64_t>(b);
            if (count_ < k)
                return -1;
        }
        count_ -= k;
        return static_cast<int64_t>(bits_ >> count_ & (uint64_t(0xFFFFFFFFu) >> (32 - k)));
    }

    // Write direction: writes the pending bits, the last byte completed with
    // zero bits. False when that write (or an earlier one) failed.
    bool Flush();

    bool Error() const { return error_; }

private:
    // Writes the oldest n pending whole bytes.
    void WriteBytes(int n);

    MemoryStream* stream_ = nullptr;
    Direction direction_ = Read;
    uint64_t bits_ = 0;   // pending bits, the newest lowest
    int count_ = 0;       // number of pending bits
    bool error_ = false;
};
