#include "public/BIT_STREAM.h"

void BIT_STREAM::Attach(MemoryStream& stream, Direction direction)
{
    stream_ = &stream;
    direction_ = direction;
    stream.Rewind();
    bits_ = 0;
    count_ = 0;
    error_ = false;
}

bool BIT_STREAM::Put(uint32_t value, int k)
{
    bits_ = bits_ << k | (value & (k == 32 ? 0xFFFFFFFFu : (1u << k) - 1));
    count_ += k;
    while (count_ >= 8) {
        count_ -= 8;
        if (!stream_->PutByte(static_cast<uint8_t>(bits_ >> count_)))
            error_ = true;
    }
    return !error_;
}

int64_t BIT_STREAM::Get(int k)
{
    while (count_ < k) {
        const int b = stream_->GetByte();
        if (b < 0)
            return -1;
        bits_ = bits_ << 8 | static_cast<uint64_t>(b);
        count_ += 8;
    }
    count_ -= k;
    return static_cast<int64_t>((bits_ >> count_) & ((uint64_t(1) << k) - 1));
}

bool BIT_STREAM::Flush()
{
    if (direction_ == Write && count_ > 0) {
        if (!stream_->PutByte(static_cast<uint8_t>(bits_ << (8 - count_))))
            error_ = true;
        count_ = 0;
    }
    return !error_;
}
