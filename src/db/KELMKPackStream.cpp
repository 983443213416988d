#include "db/KELMKPackStream.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

KELMKPackStream::KELMKPackStream(const std::string& path) {
    fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
}

KELMKPackStream::~KELMKPackStream() { Close(); }

long KELMKPackStream::Read(void* buffer, long count) {
    if (fd_ < 0 || count <= 0) return 0;
    ssize_t n;
    do {
        n = read(fd_, buffer, static_cast<size_t>(count));
    } while (n < 0 && errno == EINTR);
    return n < 0 ? -1 : static_cast<long>(n);
}

bool KELMKPackStream::Write(const void* buffer, long count) {
    if (fd_ < 0) return false;
    const char* p = static_cast<const char*>(buffer);
    while (count > 0) {
        ssize_t n = write(fd_, p, static_cast<size_t>(count));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            failed_ = true;
            return false;
        }
        p += n;
        count -= static_cast<long>(n);
    }
    return true;
}

bool KELMKPackStream::Sync() { return fd_ >= 0 && fsync(fd_) == 0; }

bool KELMKPackStream::Close() {
    if (fd_ < 0) return !failed_;
    bool closed = close(fd_) == 0;
    fd_ = -1;
    return closed && !failed_;
}
