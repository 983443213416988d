// A byte stream in memory with one read/write position; the streams the LZW
// codec reads and writes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

class MemoryStream {
public:
    MemoryStream() = default;
    explicit MemoryStream(std::string bytes) : data_(std::move(bytes)) {}

    // Reads up to count bytes from the position; returns the count read.
    size_t Read(void* buffer, size_t count);
    // Writes count bytes at the position, growing the stream; false when
    // memory runs out (nothing written then).
    bool Write(const void* buffer, size_t count);
    // One byte at the position; -1 at the end.
    int GetByte() { return pos_ < data_.size() ? static_cast<uint8_t>(data_[pos_++]) : -1; }
    bool PutByte(uint8_t b);
    // Makes room for size bytes in all without reading or writing; false
    // when memory runs out.
    bool Reserve(size_t size);

    void Rewind() { pos_ = 0; }
    size_t Position() const { return pos_; }
    size_t Size() const { return data_.size(); }
    // Empties the stream.
    void Clear();
    // Replaces the whole content; position at the start.
    void Assign(std::string bytes);
    // Cuts the stream to size bytes (no effect when it is shorter).
    void Truncate(size_t size);

    std::string_view Bytes() const { return data_; }
    // Moves the content out, leaving the stream empty.
    std::string Take();

private:
    std::string data_;
    size_t pos_ = 0;
};
