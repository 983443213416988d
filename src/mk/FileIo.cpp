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

// A crash stops every write; a full disk refuses only writes that add bytes.
bool Refused(bool adds) {
    if (!LimitReached() || (g_limit.error && !adds)) return false;
    errno = g_limit.error ? g_limit.error : EIO;
    return true;
}

// The locked ranges lie just below the largest offset a lock can name.
const off_t kLockBase = off_t(0x7FFFFFFFFFFF0000);

struct flock RangeOf(LockRange range, short type) {
    struct flock fl = {};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = kLockBase + off_t(range);
    fl.l_len = 1;
    return fl;
}

}  // namespace

bool SetRangeLock(int fd, LockRange range, bool exclusive, bool wait, bool unlock) {
    struct flock fl = RangeOf(range, unlock ? F_UNLCK : exclusive ? F_WRLCK : F_RDLCK);
    int r;
    do {
        r = ::fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &fl);
    } while (r != 0 && errno == EINTR);
    if (r != 0 && errno == EACCES) errno = EAGAIN;
    return r == 0;
}

bool RangeHeldByOthers(int fd, LockRange range) {
    struct flock fl = RangeOf(range, F_WRLCK);
    // When the question cannot be asked, others are assumed: the safe answer.
    return ::fcntl(fd, F_OFD_GETLK, &fl) != 0 || fl.l_type != F_UNLCK;
}

void SetWriteLimit(const WriteLimit& limit) {
    g_limit = limit;
    g_calls = 0;
    g_bytes = 0;
}

int64_t WriteCallCount() { return g_calls; }

int64_t WriteByteCount() { return g_bytes; }

RangeLock::RangeLock(const File& file, LockRange range, bool exclusive)
    : fd_(file.Descriptor()), range_(range), held_(SetRangeLock(fd_, range, exclusive, true)) {}

RangeLock::~RangeLock() {
    if (held_) SetRangeLock(fd_, range_, false, false, true);
}

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
    if (Refused(true)) return false;
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
        if (n == 0) errno = ENOSPC;
        if (n <= 0) return false;
        p += n;
        pos += n;
        len -= static_cast<size_t>(n);
    }
    if (cut) {
        errno = g_limit.error ? g_limit.error : EIO;
        return false;
    }
    return true;
}

bool File::Truncate(int64_t size) {
    ++g_calls;
    if (Refused(false)) return false;
    return ::ftruncate(fd_, size) == 0;
}

bool File::Sync() {
    if (Refused(false)) return false;
    return ::fdatasync(fd_) == 0;
}

}  // namespace mk
