#include "public/MemoryStream.h"

#include <cstring>
#include <algorithm>

#include "public/Allocate.h"

size_t MemoryStream::Read(void* buffer, size_t count)
{
    size_t n = pos_ < data_.size() ? std::min(count, data_.size() - pos_) : 0;
    if (n > 0)
        std::memcpy(buffer, data_.data() + pos_, n);
    pos_ += n;
    return n;
}

bool MemoryStream::Write(const void* buffer, size_t count)
{
    if (pos_ + count > data_.size() && !Allocate([&] { data_.resize(pos_ + count); }))
        return false;
    if (count > 0)
        std::memcpy(data_.data() + pos_, buffer, count);
    pos_ += count;
    return true;
}

bool MemoryStream::PutByte(uint8_t b)
{
    if (pos_ < data_.size()) {
        data_[pos_++] = static_cast<char>(b);
        return true;
    }
    return Write(&b, 1);
}

bool MemoryStream::Reserve(size_t size)
{
    return Allocate([&] { data_.reserve(size); });
}

void MemoryStream::Clear()
{
    data_.clear();
    pos_ = 0;
}

void MemoryStream::Assign(std::string bytes)
{
    data_ = std::move(bytes);
    pos_ = 0;
}

void MemoryStream::Truncate(size_t size)
{
    if (size < data_.size())
        data_.resize(size);
    pos_ = std::min(pos_, data_.size());
}

std::string MemoryStream::Take()
{
    std::string out = std::move(data_);
    Clear();
    return out;
}
