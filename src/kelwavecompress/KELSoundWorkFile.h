// The sound work file: the records of the shown sound node while it is shown.
// A file with a read/write position, opened without following links and
// readable by its owner only.
#pragma once

#include <cstdint>
#include <string>

class KELSoundWorkFile {
public:
    KELSoundWorkFile() = default;
    ~KELSoundWorkFile();
    KELSoundWorkFile(const KELSoundWorkFile&) = delete;
    KELSoundWorkFile& operator=(const KELSoundWorkFile&) = delete;

    // Replaces whatever is at path by a new empty file (created exclusively).
    bool Create(const std::string& path);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }
    const std::string& Path() const { return path_; }

    bool Truncate();   // size 0, position 0
    int64_t Size() const;
    int64_t Position() const { return position_; }
    void Seek(int64_t position) { position_ = position; }
    // Writes at the position and moves past what was written.
    bool Write(const void* data, size_t length);
    // Reads up to length bytes at the position; what was read.
    std::string Read(size_t length);
    bool ReadAll(std::string& out) const;

private:
    int fd_ = -1;
    int64_t position_ = 0;
    std::string path_;
};

// The per-user private folder for work files ($XDG_RUNTIME_DIR/vaultleaf when
// there is a runtime folder, else vaultleaf-<uid> in the temporary folder),
// made with mode 0700 and refused ("" ) unless it is a real folder of ours.
std::string PrivateWorkFolder();
// The work file of this process in folder; names carry the process id, so
// RemoveStaleWorkFiles can tell what a crashed run left behind.
std::string SoundWorkFilePath(const std::string& folder);
void RemoveStaleWorkFiles(const std::string& folder);
