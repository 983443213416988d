#include "public/BIT_STREAM.h"

void BIT_STREAM::WriteBytes(int n)
{
    uint8_t bytes[8];
    for (int i = 0; i < n; ++i) {
        count_ -= 8;
        bytes[i] = static_cast<uint8_t>(bits_ >> count_);
    }
    if (!stream_->Write(bytes, static_cast<size_t>(n)))
        error_ = true;
}

bool BIT_STREAM::Flush()
{
    if (direction_ != Write)
        return !error_;
    if (count_ % 8 != 0) {
        const int fill = 8 - count_ % 8;
        bits_ <<= fill;
        count_ += fill;
    }
    if (count_ > 0)
        WriteBytes(count_ / 8);
    return !error_;
}
