// The engine's file layer: positioned reads and writes on one descriptor, and
// a write limit that tests use to simulate a crash at any point of a commit.
#pragma once

#include <cstdint>
#include <string>

namespace mk {

// Simulated crash: once either budget is used up, no further byte reaches
// any file (the write that crosses the byte budget is cut short, except that
// an 8-byte mark is written whole or not at all). -1: no limit.
struct WriteLimit {
    int64_t calls = -1;
    int64_t bytes = -1;
};
void SetWriteLimit(const WriteLimit& limit);
// Write calls made since the last SetWriteLimit (counting refused ones).
int64_t WriteCallCount();
// Bytes written since the last SetWriteLimit.
int64_t WriteByteCount();

class File {
public:
    File() = default;
    ~File();
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // Opens an existing file; false with errno set when that fails.
    bool Open(const std::string& path, bool readOnly);
    bool Create(const std::string& path);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }

    int64_t Size() const;
    // Reads exactly len bytes at pos.
    bool ReadAt(int64_t pos, void* buffer, size_t len) const;
    // Writes exactly len bytes at pos (subject to the write limit).
    bool WriteAt(int64_t pos, const void* data, size_t len);
    bool Sync();
    // Cuts the file to size bytes (subject to the write limit, as one call).
    bool Truncate(int64_t size);

private:
    int fd_ = -1;
};

}  // namespace mk
