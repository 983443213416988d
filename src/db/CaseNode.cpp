#include "db/CaseNode.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <istream>
#include <iterator>
#include <new>

#include "kellib/Kelfilelib.h"

namespace {

constexpr double kSecondsPerDay = 86400.0;
// Days from 1899-12-30 to 1970-01-01.
constexpr double kUnixEpochDays = 25569.0;
// Seconds from 1601-01-01 to 1970-01-01, and FILETIME units per second.
constexpr int64_t kUnixEpochFileSeconds = 11644473600;
constexpr uint64_t kFileTimePerSecond = 10000000;


bool SameNameNoCase(const std::string& a, size_t pos, size_t len, const std::string& b) {
    if (len != b.size()) return false;
    return strncasecmp(a.data() + pos, b.data(), len) == 0;
}

std::string FormatFields(int year, int month, int day, int hour, int minute, int second) {
    char buf[64];
    // "%04d年%02d月%02d日 %02d时%02d分%02d秒" in GB18030.
    std::snprintf(buf, sizeof buf,
                  "%04d\xC4\xEA%02d\xD4\xC2%02d\xC8\xD5 %02d\xCA\xB1%02d\xB7\xD6%02d\xC3\xEB",
                  year, month, day, hour, minute, second);
    return buf;
}

// Signed decimal text of a 32-bit word, read back to the same bits.
uint32_t AttrWord(const CaseNode& node, const char* name) {
    return static_cast<uint32_t>(std::strtol(node.GetAttr(name).c_str(), nullptr, 10));
}

void SetAttrWord(CaseNode& node, const char* name, uint32_t word) {
    node.SetAttr(name, std::to_string(static_cast<int32_t>(word)));
}

uint64_t ToFileTime(const struct statx_timestamp& t) { return UnixToFileTime(t.tv_sec, t.tv_nsec); }

bool WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

std::string TypeName(int type) {
    // GB18030 bytes of 资料夹 纯文本 HTML 文件 名片 URL RTF格式 白板 声音.
    static const char* const names[] = {
        "\xD7\xCA\xC1\xCF\xBC\xD0", "\xB4\xBF\xCE\xC4\xB1\xBE", "HTML",
        "\xCE\xC4\xBC\xFE",         "\xC3\xFB\xC6\xAC",         "URL",
        "RTF\xB8\xF1\xCA\xBD",      "\xB0\xD7\xB0\xE5",         "\xC9\xF9\xD2\xF4"};
    if (type < 0 || type > 8) return "";
    return names[type];
}

double NowDayTime() {
    struct timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    struct tm local;
    localtime_r(&ts.tv_sec, &local);
    double localSeconds = static_cast<double>(ts.tv_sec + local.tm_gmtoff) + ts.tv_nsec / 1e9;
    return kUnixEpochDays + localSeconds / kSecondsPerDay;
}

std::string FormatDayTime(double dayTime) {
    // Years 1 to 9999 only; a damaged value shows as zeros.
    if (!(dayTime > -693593.0 && dayTime < 2958466.0)) return FormatFields(0, 0, 0, 0, 0, 0);
    // Round to the millisecond first, as day counts carry float noise.
    double ms = std::floor((dayTime - kUnixEpochDays) * kSecondsPerDay * 1000.0 + 0.5);
    time_t seconds = static_cast<time_t>(std::floor(ms / 1000.0));
    struct tm t;
    if (!gmtime_r(&seconds, &t)) return FormatFields(0, 0, 0, 0, 0, 0);
    return FormatFields(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
}

std::string FormatFileTime(uint64_t fileTime) {
    // Whole seconds split into calendar fields directly (UTC).
    int64_t seconds;
    uint32_t nanoseconds;
    FileTimeToUnix(fileTime, seconds, nanoseconds);
    time_t s = static_cast<time_t>(seconds);
    struct tm t;
    if (!gmtime_r(&s, &t)) return FormatFields(0, 0, 0, 0, 0, 0);
    return FormatFields(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
}

uint64_t UnixToFileTime(int64_t seconds, uint32_t nanoseconds) {
    int64_t since1601 = seconds + kUnixEpochFileSeconds;
    if (since1601 < 0) return 0;
    return static_cast<uint64_t>(since1601) * kFileTimePerSecond + nanoseconds / 100;
}

void FileTimeToUnix(uint64_t fileTime, int64_t& seconds, uint32_t& nanoseconds) {
    seconds = static_cast<int64_t>(fileTime / kFileTimePerSecond) - kUnixEpochFileSeconds;
    nanoseconds = static_cast<uint32_t>(fileTime % kFileTimePerSecond) * 100;
}

CaseNode::CaseNode() : Created(NowDayTime()) {}

void CaseNode::SetData(const void* bytes, int32_t count) {
    if (count <= 0) {
        data_.clear();
        return;
    }
    data_.assign(static_cast<const char*>(bytes), static_cast<size_t>(count));
}

void CaseNode::SetData(std::string bytes) { data_ = std::move(bytes); }

bool CaseNode::SetDataFromStream(std::istream& in) {
    in.clear();
    in.seekg(0);
    std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad()) return false;
    data_ = std::move(bytes);
    return true;
}

void CaseNode::SetDataFromText(const std::string& text) {
    data_.assign(text.c_str(), text.size() + 1);
}

std::string CaseNode::GetAttr(const std::string& name) const {
    size_t pos = 0;
    while (pos < Attribute.size()) {
        size_t end = Attribute.find("\r\n", pos);
        if (end == std::string::npos) end = Attribute.size();
        size_t eq = Attribute.find('=', pos);
        if (eq != std::string::npos && eq < end && SameNameNoCase(Attribute, pos, eq - pos, name))
            return Attribute.substr(eq + 1, end - eq - 1);
        pos = end + 2;
    }
    return "";
}

void CaseNode::SetAttr(const std::string& name, const std::string& value) {
    std::string rebuilt;
    bool replaced = false;
    size_t pos = 0;
    while (pos < Attribute.size()) {
        size_t end = Attribute.find("\r\n", pos);
        if (end == std::string::npos) end = Attribute.size();
        size_t eq = Attribute.find('=', pos);
        bool match = eq != std::string::npos && eq < end &&
                     SameNameNoCase(Attribute, pos, eq - pos, name);
        if (!match) {
            rebuilt.append(Attribute, pos, end - pos).append("\r\n");
        } else if (!replaced && !value.empty()) {
            rebuilt.append(name).append("=").append(value).append("\r\n");
            replaced = true;
        } else {
            replaced = true;
        }
        pos = end + 2;
    }
    if (!replaced && !value.empty()) rebuilt.append(name).append("=").append(value).append("\r\n");
    Attribute = std::move(rebuilt);
}

uint64_t CaseNode::GetFileTime(const char* low, const char* high) const {
    return (static_cast<uint64_t>(AttrWord(*this, high)) << 32) | AttrWord(*this, low);
}

void CaseNode::SetFileTime(const char* low, const char* high, uint64_t fileTime) {
    SetAttrWord(*this, low, static_cast<uint32_t>(fileTime));
    SetAttrWord(*this, high, static_cast<uint32_t>(fileTime >> 32));
}

void CaseNode::Touch() { Modified = NowDayTime(); }

std::string CaseNode::FormatCreated() const { return FormatDayTime(Created); }

std::string CaseNode::FormatModified() const {
    return FormatDayTime(Modified == 0 ? Created : Modified);
}

std::string CaseNode::FormatFileCreated() const {
    return FormatFileTime(GetFileTime("FCreateLow", "FCreateHigh"));
}

std::string CaseNode::FormatFileModified() const {
    return FormatFileTime(GetFileTime("FModifyLow", "FModifyHigh"));
}

bool CaseNode::LoadFromFile(const std::string& path, bool withFileInfo) {
    // Non-blocking, so a FIFO cannot hold the open; only a regular file is read.
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return false;
    struct statx sx;
    int err = 0;
    if (statx(fd, "", AT_EMPTY_PATH, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0) err = errno;
    else if (S_ISDIR(sx.stx_mode)) err = EISDIR;
    else if (!S_ISREG(sx.stx_mode)) err = EINVAL;
    // The size fields are signed 32-bit: 2 GiB and more cannot be stored.
    else if (sx.stx_size >= kMaxFileNodeSize) err = EFBIG;
    std::string bytes;
    if (!err && !ReadFileOfSize(fd, static_cast<size_t>(sx.stx_size), bytes)) err = errno;
    close(fd);
    if (err) {
        errno = err;
        return false;
    }
    if (withFileInfo) {
        uint64_t modified = ToFileTime(sx.stx_mtime);
        uint64_t created = (sx.stx_mask & STATX_BTIME) ? ToFileTime(sx.stx_btime) : modified;
        SetFileTime("FCreateLow", "FCreateHigh", created);
        SetFileTime("FModifyLow", "FModifyHigh", modified);
        SetAttr("FSize", std::to_string(static_cast<int32_t>(sx.stx_size)));
        SetAttr("Attribute", std::to_string(static_cast<int32_t>(FileAttributeWord(path, sx.stx_mode))));
        SetAttr("FMode", std::to_string(sx.stx_mode & 0777));
    }
    data_ = std::move(bytes);
    return true;
}

bool CaseNode::SaveToFile(const std::string& path) const {
    // Make a read-only file replaceable first.
    struct stat st;
    if (lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && !(st.st_mode & S_IWUSR))
        chmod(path.c_str(), (st.st_mode & 07777) | S_IWUSR);
    // A link at the target is refused, so nothing outside the folder is written.
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0) return false;
    bool written = WriteAll(fd, data_.data(), data_.size());
    uint64_t modified = GetFileTime("FModifyLow", "FModifyHigh");
    if (written && modified != 0) {
        int64_t seconds;
        uint32_t nanoseconds;
        FileTimeToUnix(modified, seconds, nanoseconds);
        struct timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(seconds), nanoseconds}};
        futimens(fd, times);
    }
    int err = written ? 0 : errno;
    if (close(fd) != 0 && written) {
        written = false;
        err = errno;
    }
    if (!written) {
        // A full disk or a write error: leave no truncated copy behind.
        unlink(path.c_str());
        errno = err;
        return false;
    }
    std::string attrText = GetAttr("Attribute");
    char* end = nullptr;
    long attr = std::strtol(attrText.c_str(), &end, 10);
    if (attrText.empty() || *end) attr = kAttrNormal;
    if (fstatat(AT_FDCWD, path.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode)) {
        mode_t mode = st.st_mode & 07777;
        mode = (attr & kAttrReadOnly) ? (mode & ~S_IWUSR) : (mode | S_IWUSR);
        // Executable where it was, for those who may read it (the umask holds).
        const mode_t stored = static_cast<mode_t>(std::strtol(GetAttr("FMode").c_str(), nullptr, 10));
        mode |= stored & (S_IXUSR | S_IXGRP | S_IXOTH) & ((mode & (S_IRUSR | S_IRGRP | S_IROTH)) >> 2);
        chmod(path.c_str(), mode);
    }
    return true;
}
