// Path splitting, file size, name validation, folder creation and size
// formatting. Paths use the platform separator "/"; the extension belongs to
// the last path element.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

// Win32 file attribute bits as this platform can tell them.
constexpr uint32_t kAttrReadOnly = 0x01;
constexpr uint32_t kAttrHidden = 0x02;
constexpr uint32_t kAttrDirectory = 0x10;
constexpr uint32_t kAttrNormal = 0x80;
// The attribute word of a file with this path and st_mode: read-only when the
// owner may not write, hidden for a name starting with ".", normal otherwise.
uint32_t FileAttributeWord(const std::string& path, uint32_t mode);

int64_t GetFileSize64(const std::string& path);        // 0 when it cannot be read
std::string ExtractDir(const std::string& path);        // up to and including the last "/"
std::string ExtractPathNoExt(const std::string& path);  // folder and name, no extension
std::string ExtractFileNameExt(const std::string& path);
std::string ExtractExt(const std::string& path);        // with its dot; "" when none
std::string ExtractNameNoExt(const std::string& path);

// The nine characters a node or file name may not contain.
bool HasForbiddenNameChar(const std::string& name);
// The error text ValidateName shows ("名称中不能包扩以下字符:\n\\ / : * ? \" < > |").
const std::string& InvalidNameMessage();
// Shows the error box through the handler (title "错误", error icon) and
// returns false when the name holds a forbidden character.
using NameErrorHandler = std::function<void(const std::string& title, const std::string& text)>;
void SetNameErrorHandler(NameErrorHandler handler);   // empty: message on stderr
bool ValidateName(const std::string& name);

// Everything fd delivers up to its end (files, pipes, terminals); false with
// errno set on a read error or when memory runs out.
bool ReadAllFromFd(int fd, std::string& out);
// The whole content of path: a regular file up to the size it had when opened,
// a pipe or terminal to its end; a folder is refused (EISDIR), a device or socket (EINVAL),
// so /dev/zero is never read without end.
bool ReadAllBytes(const std::string& path, std::string& out);
// The size bytes of a regular file whose size fstat gave, reading no more
// than size + 1: false with errno EAGAIN when it ends sooner or holds more
// (it changed while it was read), ENOMEM when memory runs out.
bool ReadFileOfSize(int fd, size_t size, std::string& out);

// True when every folder along the path exists or could be created.
bool ForceDirs(const std::string& path);
// Overwrites a regular file's bytes with zeros (to the disk), then deletes it;
// a link is deleted without touching what it names. False when it stays.
bool WipeAndRemoveFile(const std::string& path);
// size / 2^20 with "%.*f" and the given precision.
std::string FormatMB(int precision, int64_t size);
