// Watches one file for a change of its size or last-write time: the copy of a
// file node that an external program edits.
#pragma once

#include <cstdint>
#include <string>

class KELFileMonitor {
public:
    // Remembers the file's last-write time and size; false (and idle) when it
    // cannot be measured.
    bool StartWatch(const std::string& path);
    // True when active and the file, measured again, has another size or
    // last-write time. A file that cannot be measured counts as unchanged.
    bool IsChanged() const;
    // Idle again; wipes and deletes the file when asked. Nothing happens when idle.
    void StopWatch(bool deleteFile);

    bool Active() const { return active_; }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
    int64_t lastWriteSec_ = 0;
    int64_t lastWriteNsec_ = 0;
    int64_t size_ = 0;
    bool active_ = false;
};
