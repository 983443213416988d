#include "kellib/Kelfilelib.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <new>

namespace {

NameErrorHandler& NameErrorSlot() {
    static NameErrorHandler handler;
    return handler;
}

// Position just after the last "/", 0 when there is none.
size_t NameStart(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? 0 : slash + 1;
}

// Position of the extension's dot in the last element, npos when none.
size_t ExtStart(const std::string& path) {
    size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot < NameStart(path)) return std::string::npos;
    return dot;
}

bool IsDir(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

int64_t GetFileSize64(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return 0;
    return static_cast<int64_t>(st.st_size);
}

std::string ExtractDir(const std::string& path) { return path.substr(0, NameStart(path)); }

std::string ExtractPathNoExt(const std::string& path) {
    size_t dot = ExtStart(path);
    return dot == std::string::npos ? path : path.substr(0, dot);
}

std::string ExtractFileNameExt(const std::string& path) { return path.substr(NameStart(path)); }

std::string ExtractExt(const std::string& path) {
    size_t dot = ExtStart(path);
    return dot == std::string::npos ? "" : path.substr(dot);
}

std::string ExtractNameNoExt(const std::string& path) {
    return ExtractFileNameExt(ExtractPathNoExt(path));
}

bool HasForbiddenNameChar(const std::string& name) {
    return name.find_first_of("\\/:*?\"<>|") != std::string::npos;
}

const std::string& InvalidNameMessage() {
    static const std::string text = "名称中不能包扩以下字符:\n\\ / : * ? \" < > |";
    return text;
}

void SetNameErrorHandler(NameErrorHandler handler) { NameErrorSlot() = std::move(handler); }

bool ValidateName(const std::string& name) {
    if (!HasForbiddenNameChar(name)) return true;
    if (NameErrorSlot())
        NameErrorSlot()("错误", InvalidNameMessage());
    else
        std::fprintf(stderr, "%s\n", InvalidNameMessage().c_str());
    return false;
}

uint32_t FileAttributeWord(const std::string& path, uint32_t mode) {
    uint32_t word = 0;
    if (!(mode & S_IWUSR)) word |= kAttrReadOnly;
    if (S_ISDIR(mode)) word |= kAttrDirectory;
    if (ExtractFileNameExt(path).starts_with(".")) word |= kAttrHidden;
    return word ? word : kAttrNormal;
}

bool ForceDirs(const std::string& path) {
    for (size_t pos = 1; pos <= path.size(); ++pos) {
        if (pos < path.size() && path[pos] != '/') continue;
        std::string prefix = path.substr(0, pos);
        if (IsDir(prefix)) continue;
        if (mkdir(prefix.c_str(), 0777) != 0 && !(errno == EEXIST && IsDir(prefix))) return false;
    }
    return true;
}

std::string FormatMB(int precision, int64_t size) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", precision, static_cast<double>(size) / 1048576.0);
    return buf;
}

bool ReadAllFromFd(int fd, std::string& out) {
    out.clear();
    struct stat st;
    if (fstat(fd, &st) != 0) return false;
    if (S_ISDIR(st.st_mode)) {
        errno = EISDIR;
        return false;
    }
    try {
        if (S_ISREG(st.st_mode)) out.reserve(static_cast<size_t>(st.st_size));
        char buf[65536];
        while (true) {
            ssize_t n = read(fd, buf, sizeof buf);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return false;
            if (n == 0) return true;
            out.append(buf, static_cast<size_t>(n));
        }
    } catch (const std::bad_alloc&) {
        out.clear();
        errno = ENOMEM;
        return false;
    }
}

bool ReadFileOfSize(int fd, size_t size, std::string& out) {
    out.clear();
    try {
        out.resize(size);
    } catch (const std::bad_alloc&) {
        errno = ENOMEM;
        return false;
    }
    size_t done = 0;
    char extra;
    while (true) {
        // The last read asks for one byte past the size to see the end.
        char* into = done < size ? out.data() + done : &extra;
        ssize_t n = read(fd, into, done < size ? size - done : 1);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) break;
        if (n == 0 && done == size) return true;
        if (n == 0 || done == size) {
            errno = EAGAIN;
            break;
        }
        done += static_cast<size_t>(n);
    }
    out.clear();
    return false;
}

bool ReadAllBytes(const std::string& path, std::string& out) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return false;
    struct stat st;
    bool read = false;
    if (fstat(fd, &st) != 0) {
        // errno says why
    } else if (S_ISREG(st.st_mode)) {
        read = ReadFileOfSize(fd, static_cast<size_t>(st.st_size), out);
    } else if (S_ISFIFO(st.st_mode) || isatty(fd)) {
        read = ReadAllFromFd(fd, out);   // a stream the caller named, read to its end like stdin
    } else {
        errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    }
    int err = errno;
    close(fd);
    errno = err;
    return read;
}

bool WipeAndRemoveFile(const std::string& path) {
    const int fd = open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    struct stat st;
    if (fd >= 0 && fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        static const char zeros[65536] = {};
        for (off_t done = 0; done < st.st_size;) {
            const size_t chunk = static_cast<size_t>(std::min<off_t>(st.st_size - done, sizeof zeros));
            const ssize_t written = pwrite(fd, zeros, chunk, done);
            if (written <= 0 && errno != EINTR) break;
            if (written > 0) done += written;
        }
        fdatasync(fd);
    }
    if (fd >= 0) close(fd);
    return unlink(path.c_str()) == 0 || errno == ENOENT;
}
