// The engine's file layer: positioned reads and writes on one descriptor, the
// byte-range locks that let readers share a file with its writer, and a write
// limit that tests use to simulate a crash or a full disk at any point of a commit.
#pragma once

#include <cstdint>
#include <string>

namespace mk {

// Simulated crash: once either budget is used up, no further byte reaches
// any file (the write that crosses the byte budget is cut short, except that
// an 8-byte mark is written whole or not at all). -1: no limit.
// With error set, a full disk instead: writes past the budget fail with that
// errno, while cutting a file shorter and flushing still work.
struct WriteLimit {
    int64_t calls = -1;
    int64_t bytes = -1;
    int error = 0;
};
void SetWriteLimit(const WriteLimit& limit);
// Write calls made since the last SetWriteLimit (counting refused ones).
int64_t WriteCallCount();
// Bytes written since the last SetWriteLimit.
int64_t WriteByteCount();

// Byte-range locks on open file descriptions (fcntl F_OFD_*), on ranges far
// past any data of the format, so they never cover bytes anyone reads:
// Writer: held exclusively by the one process that may write the file.
// Readers: held shared by every reader for as long as it has the file open;
//   a writer that finds it held writes no free space, only past the end.
// Commit: held shared while a reader finds and loads the last commit, and
//   exclusively by a writer while it changes the file's tail or length.
enum class LockRange { Writer = 0, Readers = 1, Commit = 2 };
// Takes (shared or exclusive) or drops (unlock) a lock on range of fd; wait:
// until it is granted. False with errno set otherwise (EAGAIN: held by another).
bool SetRangeLock(int fd, LockRange range, bool exclusive, bool wait, bool unlock = false);
// Whether another open file description holds any lock on range.
bool RangeHeldByOthers(int fd, LockRange range);

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
    // Writes exactly len bytes at pos (subject to the write limit); false with
    // errno set (ENOSPC for a write the file system ended short).
    bool WriteAt(int64_t pos, const void* data, size_t len);
    bool Sync();
    // Cuts the file to size bytes (subject to the write limit, as one call).
    bool Truncate(int64_t size);
    int Descriptor() const { return fd_; }

private:
    int fd_ = -1;
};

// A lock on range of a file, waited for, held until destroyed. Where locks
// cannot be taken, nothing is held (and nobody else can hold one either).
class RangeLock {
public:
    RangeLock(const File& file, LockRange range, bool exclusive);
    ~RangeLock();
    RangeLock(const RangeLock&) = delete;
    RangeLock& operator=(const RangeLock&) = delete;

private:
    int fd_;
    LockRange range_;
    bool held_;
};

}  // namespace mk
