// State of an open storage and the pieces that read and write it.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "mk/Seq.h"
#include "mk/Storage.h"

namespace mk {

using Gap = std::pair<uint32_t, uint32_t>;   // [start, end) relative to the base

// Byte values longer than this are always stored as blobs of their own (memos).
const uint32_t kMemoLength = 10000;

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
    // Where the file ended before the first value written ahead of its commit
    // (SpillValue); -1 when there is none since the last commit or open.
    int64_t spillStart = -1;
    int64_t heldBytes = 0;             // large values of the coming commit kept in memory
    int64_t holdLimit = int64_t(32) << 20;
    int lastError = 0;                 // errno of the write that failed the last commit

    ~StorageImpl() { Reset(); }
    Status Open(const std::string& path, bool readOnly);
    // Closes; values written ahead of a commit that never came are cut off again.
    void Reset();
    void NewEmptyRoot();
    void ComputeGaps();
    // Free space may be written only while no reader has the file open: a
    // reader may still read blobs of an older commit from there.
    bool MayReuseFreeSpace() const;
    // Cuts the file back to end (relative to the base) after a failed write,
    // so the space goes back to the file system; tailAtEnd: as it was at end.
    void CutBack(int64_t end, bool tailAtEnd);
};

// Finds and loads the last readable commit (Reader.cpp).
Status LoadStorage(StorageImpl& s);
// Commit and compacted copy (Writer.cpp).
bool CommitStorage(StorageImpl& s);
bool SaveStorage(StorageImpl& s, Stream& out);
// Takes a large byte value into the file before its commit, once the large
// values held in memory for the commit pass holdLimit, so a commit of any
// size needs little memory (Writer.cpp): into free space the last commit does
// not use, else past the end. Past the end, the file then ends with a skip
// mark leading back to the last commit's tail, written before the value, and
// keeps opening there. pos: where the value is, relative to the base. False:
// the value stays in memory.
bool SpillValue(StorageImpl& s, std::string_view value, uint32_t& pos);

}  // namespace mk
