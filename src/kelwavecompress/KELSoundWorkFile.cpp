#include "kelwavecompress/KELSoundWorkFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace {

const char kPrefix[] = "sound-";
const char kSuffix[] = ".$vl_wav";

bool IsOurFolder(const std::string& path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == getuid()
           && (st.st_mode & 077) == 0;
}

std::string MadeFolder(const std::string& path)
{
    mkdir(path.c_str(), 0700);
    return IsOurFolder(path) ? path + "/" : std::string();
}

} // namespace

KELSoundWorkFile::~KELSoundWorkFile()
{
    Close();
}

bool KELSoundWorkFile::Create(const std::string& path)
{
    Close();
    unlink(path.c_str());
    fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    path_ = fd_ >= 0 ? path : std::string();
    position_ = 0;
    return fd_ >= 0;
}

void KELSoundWorkFile::Close()
{
    if (fd_ >= 0)
        close(fd_);
    fd_ = -1;
    position_ = 0;
}

bool KELSoundWorkFile::Truncate()
{
    position_ = 0;
    return fd_ >= 0 && ftruncate(fd_, 0) == 0;
}

int64_t KELSoundWorkFile::Size() const
{
    struct stat st;
    return fd_ >= 0 && fstat(fd_, &st) == 0 ? st.st_size : 0;
}

bool KELSoundWorkFile::Write(const void* data, size_t length)
{
    const auto* bytes = static_cast<const char*>(data);
    while (length > 0) {
        const ssize_t written = pwrite(fd_, bytes, length, position_);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        bytes += written;
        length -= size_t(written);
        position_ += written;
    }
    return true;
}

std::string KELSoundWorkFile::Read(size_t length)
{
    std::string out(length, '\0');
    size_t got = 0;
    while (fd_ >= 0 && got < length) {
        const ssize_t n = pread(fd_, out.data() + got, length - got, position_ + int64_t(got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += size_t(n);
    }
    out.resize(got);
    position_ += int64_t(got);
    return out;
}

bool KELSoundWorkFile::ReadAll(std::string& out) const
{
    const int64_t size = Size();
    out.assign(size_t(size), '\0');
    size_t got = 0;
    while (got < out.size()) {
        const ssize_t n = pread(fd_, out.data() + got, out.size() - got, int64_t(got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        got += size_t(n);
    }
    return fd_ >= 0;
}

std::string PrivateWorkFolder()
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime && IsOurFolder(runtime))
        return MadeFolder(std::string(runtime) + "/vaultleaf");
    const char* tmp = std::getenv("TMPDIR");
    const std::string base = tmp && *tmp ? tmp : "/tmp";
    return MadeFolder(base + "/vaultleaf-" + std::to_string(getuid()));
}

std::string SoundWorkFilePath(const std::string& folder)
{
    return folder + kPrefix + std::to_string(getpid()) + kSuffix;
}

void RemoveStaleWorkFiles(const std::string& folder)
{
    DIR* dir = opendir(folder.c_str());
    if (!dir)
        return;
    const std::string prefix = kPrefix, suffix = kSuffix;
    while (dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.size() <= prefix.size() + suffix.size() || name.compare(0, prefix.size(), prefix) != 0
            || name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
            continue;
        const long pid = std::strtol(name.c_str() + prefix.size(), nullptr, 10);
        if (pid > 0 && (kill(pid_t(pid), 0) == 0 || errno == EPERM))
            continue;   // its process still runs
        unlinkat(dirfd(dir), name.c_str(), 0);
    }
    closedir(dir);
}
