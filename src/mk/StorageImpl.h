// State of an open storage and the pieces that read and write it.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "mk/Seq.h"
#include "mk/Storage.h"

namespace mk {

using Gap = std::pair<uint32_t, uint32_t>;   // [start, end) relative to the base

class StorageImpl {
public:
    std::string path;
    bool readOnly = false;
    bool open = false;
    Status status = Status::IoError;
    FileInfo info;
    std::shared_ptr<Source> src;
    std::unique_ptr<Seq> root;                  // one row; its V columns are the views
    std::vector<std::unique_ptr<Seq>> retired;  // views handed out before a rollback

    // The commit the file currently opens at.
    bool hasData = false;
    Ref walkRef;
    std::string walkBytes;
    int64_t tailEnd = 0;     // end of the commit tail, relative to the base
    int64_t dataEnd = 0;     // physical end of the file, relative to the base
    bool tailAtEnd = true;   // the commit's tail pair ends the file
    std::vector<Gap> gaps;   // free space below the tail pair

    Status Open(const std::string& path, bool readOnly);
    void Reset();
    void NewEmptyRoot();
    void ComputeGaps();
};

// Finds and loads the last readable commit (Reader.cpp).
Status LoadStorage(StorageImpl& s);
// Commit and compacted copy (Writer.cpp).
bool CommitStorage(StorageImpl& s);
bool SaveStorage(StorageImpl& s, Stream& out);

}  // namespace mk
