#include "cli/StoreSession.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "kellib/Kelcodepage.h"
#include "kellib/Kelfilelib.h"
#include "public/Wipe.h"

namespace cli {

namespace {

// In place: a copy would leave the password behind in memory.
void StripLineEnd(std::string& line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
}

// The terminal with echo switched off while a password is typed. Echo comes
// back by every way out: the end of the guard, and SIGINT, SIGTERM or SIGHUP,
// whose handler restores the terminal and dies of the signal as before.
int quietFd = -1;
struct termios echoing;
constexpr int kQuietSignals[] = {SIGINT, SIGTERM, SIGHUP};

// TCSANOW: a handler must not wait for output to drain.
void RestoreAndDie(int sig) {
    if (quietFd >= 0) tcsetattr(quietFd, TCSANOW, &echoing);
    signal(sig, SIG_DFL);
    raise(sig);
}

class EchoOff {
public:
    explicit EchoOff(int fd) {
        if (tcgetattr(fd, &echoing) != 0) return;
        struct sigaction restore {};
        restore.sa_handler = RestoreAndDie;
        sigemptyset(&restore.sa_mask);
        for (size_t i = 0; i < std::size(kQuietSignals); ++i) sigaction(kQuietSignals[i], &restore, &previous_[i]);
        quietFd = fd;
        struct termios quiet = echoing;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        quiet.c_lflag |= ECHONL;
        tcsetattr(fd, TCSAFLUSH, &quiet);
    }
    ~EchoOff() {
        if (quietFd < 0) return;
        tcsetattr(quietFd, TCSAFLUSH, &echoing);
        quietFd = -1;
        for (size_t i = 0; i < std::size(kQuietSignals); ++i) sigaction(kQuietSignals[i], &previous_[i], nullptr);
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;

private:
    struct sigaction previous_[std::size(kQuietSignals)] {};
};

constexpr size_t kMaxPasswordLine = 4096;

// The first line of a password from fd (name says what it is in messages), read a byte
// at a time up to its line end, with echo off when fd is a terminal: from a
// pipe or a terminal nothing past the line is taken (the rest of standard
// input stays for the content), and a device without end (/dev/zero) stops at
// kMaxPasswordLine bytes. A read error, no bytes at all or no line end within
// the limit is refused: an empty password must never come from a failed read.
std::optional<std::string> ReadPasswordLine(int fd, const std::string& name) {
    std::string line;
    line.reserve(kMaxPasswordLine);   // no reallocation, which would leave a copy behind
    char c = 0;
    ssize_t n = 0;
    {
        EchoOff quiet(fd);
        while (line.size() < kMaxPasswordLine && ((n = read(fd, &c, 1)) == 1 || (n < 0 && errno == EINTR))) {
            if (n != 1) continue;
            if (c == '\n') break;
            line += c;
        }
    }
    const int readError = n < 0 ? errno : 0;
    const bool atLineEnd = n == 1 && c == '\n';
    WipeBytes(&c, sizeof c);
    const char* refusal = readError ? std::strerror(readError)
                          : !atLineEnd && line.size() >= kMaxPasswordLine ? "it has no line end within its first 4096 bytes"
                          : !atLineEnd && line.empty() ? "it is empty"
                                                       : nullptr;
    if (refusal) {
        WipeString(line);
        std::fprintf(stderr, "vaultleaf-cli: cannot read %s: %s\n", name.c_str(), refusal);
        return std::nullopt;
    }
    StripLineEnd(line);
    return line;
}

// Asks on the terminal.
std::optional<std::string> AskTerminal(const char* prompt) {
    int fd = open("/dev/tty", O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        std::fprintf(stderr, "vaultleaf-cli: no terminal to ask for the password; use --password-file FILE\n");
        return std::nullopt;
    }
    if (write(fd, prompt, std::char_traits<char>::length(prompt)) < 0) {
        // The prompt is a courtesy; reading still works.
    }
    auto line = ReadPasswordLine(fd, "the password from the terminal");
    close(fd);
    return line;
}

// The first line of FILE, or of standard input for "-".
std::optional<std::string> ReadFirstLine(const std::string& file) {
    const bool standardInput = file == "-";
    const std::string name = standardInput ? "the password from standard input" : "the password file \"" + file + "\"";
    int fd = standardInput ? STDIN_FILENO : open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        std::fprintf(stderr, "vaultleaf-cli: cannot read %s: %s\n", name.c_str(), std::strerror(errno));
        return std::nullopt;
    }
    auto line = ReadPasswordLine(fd, name);
    if (!standardInput) close(fd);
    return line;
}

}  // namespace

std::string JsonString(const std::string& utf8) {
    std::string out = "\"";
    for (unsigned char c : utf8) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

int Fail(int code, const std::string& message) {
    std::fprintf(stderr, "vaultleaf-cli: %s\n", message.c_str());
    return code;
}

std::optional<std::string> ReadPassword(const std::string& file, const char* prompt) {
    auto password = file.empty() ? AskTerminal(prompt) : ReadFirstLine(file);
    if (!password) return std::nullopt;
    WipeOnExit wipe(*password);
    std::string ansi;
    UnencodableChar failure;
    switch (ExternalToAnsiChecked(*password, ansi, &failure)) {
        case ExternalText::kConverted: return ansi;   // moved out; nothing stays behind
        case ExternalText::kUnencodable: Fail(kExitError, "密码的" + UnencodableMessage(failure)); break;
        case ExternalText::kUndecodable: Fail(kExitError, "密码既不是UTF-8也不是GB18030编码的文字，没有使用。"); break;
    }
    return std::nullopt;
}

std::optional<std::string> ReadNewPassword(const std::string& file) {
    if (!file.empty()) return ReadPassword(file, "");
    auto first = ReadPassword("", "请输入新密码: ");
    if (!first) return std::nullopt;
    WipeOnExit wipeFirst(*first);
    auto second = ReadPassword("", "重输新密码: ");
    if (!second) return std::nullopt;
    WipeOnExit wipeSecond(*second);
    if (*first != *second) {
        std::fprintf(stderr, "vaultleaf-cli: 两次输入的新密码不相同，请重输。\n");
        return std::nullopt;
    }
    return first;   // moved out; what stays behind is wiped
}

std::string OpenFailureMessage(int result, const std::string& path, int err) {
    const char* first = "不能打开数据库";
    const char* second = "，错误未知。";
    switch (result) {
        case CaseDB::kFileMissing: first = "数据库文件"; second = "不存在。"; break;
        case CaseDB::kLockFailed: first = "数据库文件"; second = "已经被打开，不能重复打开。"; break;
        case CaseDB::kNotDatabase: first = "文件"; second = "的格式不对。"; break;
        default: break;
    }
    // A system error is the real cause: name it instead of a guess.
    if (err != 0 && result != CaseDB::kFileMissing && result != CaseDB::kNotDatabase)
        return "不能打开数据库\"" + path + "\"：" + std::strerror(err);
    return std::string(first) + "\"" + path + "\"" + second;
}

int OpenAndLogin(CaseDB& db, const std::string& path, const std::string& passwordFile, bool writes,
                 std::string* passwordOut) {
    int result = writes ? db.Open(path, false) : db.OpenReadOnly(path);
    if (result != CaseDB::kOpened)
        return Fail(kExitNoDatabase, OpenFailureMessage(result, path, db.OpenErrno()));
    if (db.Recovered())
        std::fprintf(stderr, "vaultleaf-cli: %s: the end of the file was damaged; opened at the last complete commit\n",
                     path.c_str());
    if (writes && db.NeedsFirstPassword()) {
        db.Close();
        return Fail(kExitError, "the database has no password yet; log in once in the window program to set it");
    }
    auto password = ReadPassword(passwordFile, "请输入密码: ");
    if (!password) {
        db.Close();
        return kExitError;
    }
    WipeOnExit wipe(*password);
    if (!db.Login(*password)) {
        db.Close();
        return Fail(kExitWrongPassword, "密码不对，不能打开数据库：" + path + "。");
    }
    if (db.PasswordCheckDamaged()) Fail(kExitOk, CaseDB::PasswordCheckDamagedMessage(path));
    if (passwordOut) *passwordOut = *password;
    return kExitOk;
}

bool ParseId(const std::string& text, int32_t& id) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    long value = std::strtol(text.c_str(), &end, 10);
    if (*end || errno || value < INT32_MIN || value > INT32_MAX) return false;
    id = static_cast<int32_t>(value);
    return true;
}

bool ParentExists(CaseDB& db, int32_t parent) {
    CaseNode node;
    return parent == kParentTop || parent == kParentRecycleBin || db.GetNode(parent, node, false);
}

int IdArg(const Options& a, size_t index, int32_t& id) {
    if (index >= a.positional.size()) {
        id = kParentTop;
        return kExitOk;
    }
    if (!ParseId(a.positional[index], id)) return Fail(kExitUsage, "not a node id: " + a.positional[index]);
    return kExitOk;
}

int NodeArg(CaseDB& db, const Options& a, size_t index, CaseNode& node, bool withData) {
    int32_t id;
    if (int rc = IdArg(a, index, id); rc) return rc;
    if (db.GetNode(id, node, withData)) return kExitOk;
    return Fail(kExitError, "node " + std::to_string(id) + (withData ? " cannot be read" : " does not exist"));
}

int ParentArg(CaseDB& db, const Options& a, size_t index, int32_t& parent) {
    if (int rc = IdArg(a, index, parent); rc) return rc;
    return ParentExists(db, parent) ? kExitOk : Fail(kExitError, "node " + std::to_string(parent) + " does not exist");
}

}  // namespace cli
