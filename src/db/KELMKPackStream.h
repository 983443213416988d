// Output stream through which the storage writes its compacted copy during a
// pack: owns one disk file, created (or truncated) readable and writable by
// its owner only.
#pragma once

#include <string>

#include "mk/Storage.h"

class KELMKPackStream : public mk::Stream {
public:
    explicit KELMKPackStream(const std::string& path);
    ~KELMKPackStream() override;
    KELMKPackStream(const KELMKPackStream&) = delete;
    KELMKPackStream& operator=(const KELMKPackStream&) = delete;

    long Read(void* buffer, long count) override;         // 0 when no file is open
    bool Write(const void* buffer, long count) override;  // true only when all were written

    bool IsOpen() const { return fd_ >= 0; }
    bool Failed() const { return failed_; }   // some write fell short
    bool Sync();    // flushes the file to the disk
    bool Close();   // false when closing failed or a write fell short

private:
    int fd_ = -1;
    bool failed_ = false;
};
