// One node of the case store in memory: its record fields, its attribute
// list and its owned content, plus the file-node payload (a disk file's bytes,
// times and attribute word) read from and written back to disk.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>

// Node kind codes as stored in the Type column.
enum CaseNodeType : uint8_t {
    kNodeFolder = 0,
    kNodeText = 1,
    kNodeHtml = 2,
    kNodeFile = 3,
    kNodeCard = 4,
    kNodeUrl = 5,
    kNodeRtf = 6,
    kNodeWhiteboard = 7,
    kNodeSound = 8,
    kNodeRecycleBinItem = 10,   // tree only, never stored
    kNodeBriefcaseItem = 11,    // tree only, never stored
};

// Parent ids with a fixed meaning.
constexpr int32_t kParentTop = 0;          // "我的公文包"
constexpr int32_t kParentRecycleBin = -1;  // "回收站"

// Name of a kind code ("资料夹", "纯文本", ... as GB18030 bytes); "" outside 0 to 8.
std::string TypeName(int type);

// Local time now as a day count since 30 December 1899 (fraction = time of day).
double NowDayTime();
// "%04d年%02d月%02d日 %02d时%02d分%02d秒" of a day count, as GB18030 bytes.
std::string FormatDayTime(double dayTime);
// The same format for a FILETIME (100 ns units since 1601-01-01), no zone conversion.
std::string FormatFileTime(uint64_t fileTime);
// FILETIME <-> Unix time (seconds and nanoseconds).
uint64_t UnixToFileTime(int64_t seconds, uint32_t nanoseconds);
void FileTimeToUnix(uint64_t fileTime, int64_t& seconds, uint32_t& nanoseconds);

// Files from this size on do not fit the signed 32-bit size fields.
constexpr uint64_t kMaxFileNodeSize = uint64_t(1) << 31;

class CaseNode {
public:
    CaseNode();   // ids 0, kind 0, Created = now, Modified 0, no content

    int32_t Id = 0;
    int32_t Parent = 0;
    int32_t Order = 0;
    std::string Caption;     // plain, in the database code page
    std::string Attribute;   // "Name=Value\r\n" lines
    double Created = 0;
    double Modified = 0;     // 0: never modified
    uint8_t Type = 0;

    // Content. Data() is always followed by one zero byte, so text content
    // reads as a zero-terminated string.
    const char* Data() const { return data_.c_str(); }
    int32_t DataSize() const { return static_cast<int32_t>(data_.size()); }
    const std::string& DataBytes() const { return data_; }

    void SetData(const void* bytes, int32_t count);   // copies; count <= 0 empties
    void SetData(std::string bytes);                   // takes the bytes
    // Copies the whole stream from its start (a std::istream or anything with rdbuf).
    bool SetDataFromStream(std::istream& in);
    // The text's bytes plus its terminating zero: DataSize = length + 1.
    void SetDataFromText(const std::string& text);

    // Attribute list; names compared without letter case; "" when absent.
    std::string GetAttr(const std::string& name) const;
    // Sets or appends the line; an empty value removes it.
    void SetAttr(const std::string& name, const std::string& value);

    void Touch();   // Modified = now
    std::string FormatCreated() const;
    std::string FormatModified() const;       // Created when Modified is 0
    std::string FormatFileCreated() const;    // FCreateLow/FCreateHigh
    std::string FormatFileModified() const;   // FModifyLow/FModifyHigh

    // A file time kept as two attribute words ("FModifyLow", "FModifyHigh");
    // 0 when missing.
    uint64_t GetFileTime(const char* low, const char* high) const;
    void SetFileTime(const char* low, const char* high, uint64_t fileTime);

    // File-node payload. withFileInfo also fills FCreateLow, FCreateHigh,
    // FModifyLow, FModifyHigh, FSize, Attribute and FMode (the permission
    // bits). Only a regular file is read: it is opened without blocking and
    // read up to the size it had when opened. False (errno set) when the file
    // cannot be opened or read whole: EISDIR for a folder, EINVAL for
    // anything else that is not a regular file (a FIFO, socket or device),
    // EFBIG for kMaxFileNodeSize bytes and more, EAGAIN when its size changed
    // while it was read.
    bool LoadFromFile(const std::string& path, bool withFileInfo);
    // Writes the content to path and restores the modification time, the
    // owner's write permission and the executable bits (from FMode, for those
    // who may read the file) from the attribute list. A link at path is
    // refused; a failed write removes the partial file (errno kept).
    bool SaveToFile(const std::string& path) const;

private:
    std::string data_;
};
