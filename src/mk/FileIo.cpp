#include "mk/FileIo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace mk {

namespace {

WriteLimit g_limit;
int64_t g_calls = 0;
int64_t g_bytes = 0;

bool LimitReached() { return (g_limit.calls >= 0 && g_calls > g_limit.calls) || (g_limit.bytes >= 0 && g_bytes >= g_limit.bytes); }

}  // namespace

void SetWriteLimit(const WriteLimit& limit) {
    g_limit = limit;
    g_calls = 0;
    g_bytes = 0;
}

int64_t WriteCallCount() { return g_calls; }

int64_t WriteByteCount() { return g_bytes; }

File::~File() { Close(); }

bool File::Open(const std::string& path, bool readOnly) {
    Close();
    // Non-blocking, so that a FIFO or device under the name cannot stall the
    // open; anything but a regular file is refused before it is read.
    fd_ = ::open(path.c_str(), (readOnly ? O_RDONLY : O_RDWR) | O_NONBLOCK | O_CLOEXEC);
    struct stat st;
    if (fd_ >= 0 && (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode))) {
        Close();
        errno = EISDIR;
    }
    if (fd_ >= 0) ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
    return fd_ >= 0;
}

bool File::Create(const std::string& path) {
    Close();
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    return fd_ >= 0;
}

void File::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

int64_t File::Size() const {
    struct stat st;
    if (fd_ < 0 || ::fstat(fd_, &st) != 0) return -1;
    return st.st_size;
}

bool File::ReadAt(int64_t pos, void* buffer, size_t len) const {
    auto* p = static_cast<char*>(buffer);
    while (len) {
        ssize_t n = ::pread(fd_, p, len, pos);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        pos += n;
        len -= static_cast<size_t>(n);
    }
    return true;
}

bool File::WriteAt(int64_t pos, const void* data, size_t len) {
    ++g_calls;
    if (LimitReached()) return false;
    bool cut = false;
    if (g_limit.bytes >= 0 && g_bytes + int64_t(len) > g_limit.bytes) {
        // A write of one mark (8 bytes, within a sector) lands whole or not at all.
        len = len <= 8 ? 0 : static_cast<size_t>(g_limit.bytes - g_bytes);
        cut = true;
    }
    g_bytes += int64_t(len);
    auto* p = static_cast<const char*>(data);
    while (len) {
        ssize_t n = ::pwrite(fd_, p, len, pos);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        pos += n;
        len -= static_cast<size_t>(n);
    }
    return !cut;
}

bool File::Truncate(int64_t size) {
    ++g_calls;
    if (LimitReached()) return false;
    return ::ftruncate(fd_, size) == 0;
}

bool File::Sync() {
    if (LimitReached()) return false;
    return ::fdatasync(fd_) == 0;
}

}  // namespace mk
