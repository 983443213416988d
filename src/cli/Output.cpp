#include "cli/Output.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "cli/StoreSession.h"

namespace cli {

namespace {

int outputError = 0;   // errno of the first failed write, flush or close

void Remember(int err) {
    if (!outputError) outputError = err ? err : EIO;
}

}  // namespace

void Write(std::string_view bytes) {
    if (outputError || bytes.empty()) return;
    errno = 0;
    if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size()) Remember(errno);
}

void Print(const char* format, ...) {
    va_list args, again;
    va_start(args, format);
    va_copy(again, args);
    int size = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string text(size > 0 ? static_cast<size_t>(size) + 1 : 1, '\0');
    if (size > 0) std::vsnprintf(text.data(), text.size(), format, again);
    va_end(again);
    text.resize(size > 0 ? static_cast<size_t>(size) : 0);
    Write(text);
}

int FinishOutput(int code) {
    errno = 0;
    if (std::fflush(stdout) != 0) Remember(errno);
    if (std::ferror(stdout)) Remember(0);
    errno = 0;
    if (std::fclose(stdout) != 0) Remember(errno);
    if (!outputError) return code;
    Fail(kExitError, std::string("cannot write the output: ") + std::strerror(outputError));
    return code == kExitOk ? kExitError : code;
}

std::string Printable(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        const bool c1 = c == 0xC2 && i + 1 < utf8.size() && static_cast<unsigned char>(utf8[i + 1]) < 0xA0 &&
                        static_cast<unsigned char>(utf8[i + 1]) >= 0x80;
        char code[8];
        if (c < 0x20 || c == 0x7F) {
            std::snprintf(code, sizeof code, "\\x%02X", c);
            out += code;
        } else if (c1) {
            std::snprintf(code, sizeof code, "\\u%04X", static_cast<unsigned char>(utf8[++i]));
            out += code;
        } else if (c == '\\') {
            out += "\\\\";
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

}  // namespace cli
