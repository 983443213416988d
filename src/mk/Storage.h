// Storage engine for files in the Metakit 2.4 format.
//
// A Storage is one file: a root row whose properties are the top-level views.
// Views are bound by description strings ("Name[Prop:T,...]"); binding a
// description that differs from the stored one restructures the view the way
// the original library does. Changes stay in memory until commit(), which
// writes only what changed and makes it current with one final small write.
//
// Nothing here throws; failures are results.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace mk {

class View;
class StorageImpl;

// Abstract byte stream for SaveTo and for callers that derive their own.
class Stream {
public:
    virtual ~Stream() = default;
    // Reads up to len bytes; returns the count read (0 at the end), -1 on error.
    virtual long Read(void* buffer, long len) = 0;
    // Writes len bytes; returns false when not all of them were written.
    virtual bool Write(const void* buffer, long len) = 0;
};

enum class Status {
    Ok = 0,        // opened at the last complete commit (or an empty storage)
    Recovered,     // the end of the file was damaged; opened at an earlier commit
    IoError,       // the file could not be opened or read
    OldFormat,     // pre-2.3 file generation: recognised and refused
    Corrupt,       // Metakit header found but nothing readable
};

// A value to compare or store: I/L as int64, D/F as double, S/B as bytes.
using Value = std::variant<int64_t, double, std::string>;
// Column index and value, for find and select.
using Criteria = std::vector<std::pair<int, Value>>;

// What a reader learns about the file itself (for dumps and tools).
struct FileInfo {
    int64_t fileSize = 0;
    bool metakitData = false;   // false: no Metakit data, empty storage
    bool oldFormat = false;     // pre-2.3 generation
    bool littleEndian = true;
    int64_t baseOffset = 0;
};

class Storage {
public:
    Storage();
    ~Storage();
    Storage(const Storage&) = delete;
    Storage& operator=(const Storage&) = delete;

    // Opens path; read-write creates a missing file at once as a 0-byte file,
    // and writes nothing until a commit has something to write. Read-only
    // never writes; a missing file is then an IoError. A reader keeps the
    // commit it opened at while a writer commits (see LockRange in FileIo.h);
    // the writer then writes no free space, only past the end.
    Status Open(const std::string& path, bool readOnly = false);
    void Close();
    bool IsOpen() const;
    bool Recovered() const;          // last Open returned Status::Recovered
    const FileInfo& Info() const;

    // Binds a top-level view by "Name[Prop:T,...]", restructuring when the
    // stored description differs. Returns nullptr for a malformed description.
    // The pointer stays valid until Rollback or Close.
    View* GetAs(const std::string& description);
    int ViewCount() const;
    View* ViewAt(int index);
    View* ViewNamed(const std::string& name);   // letter case ignored
    std::string Description() const;           // root structure string

    // A commit that fails leaves the file as long as it was before it (and at
    // the last commit); the changes stay for another commit or a rollback.
    bool Commit();
    // errno of the write or flush that made the last Commit fail (ENOSPC: the
    // disk is full); 0 when it failed for another reason or did not fail.
    int LastError() const;
    // Large byte values (over 10,000 bytes) set for the coming commit are held
    // in memory up to this many bytes (32 MiB unless set); later ones go to the
    // file at once, into free space or past its end. A rollback or a close
    // without commit cuts off what went past the end. Kept across Open and
    // Rollback.
    void SetMemoryLimit(int64_t bytes);
    // Returns to the last commit. Every View pointer is stale afterwards.
    bool Rollback();
    // Writes a complete compacted image of the storage.
    bool SaveTo(Stream& out);

private:
    std::unique_ptr<StorageImpl> impl_;
};

class View {
public:
    virtual ~View() = default;

    virtual std::string Name() const = 0;
    virtual std::string Description() const = 0;   // "Prop:T,..." as stored
    virtual int RowCount() const = 0;
    virtual int ColumnCount() const = 0;
    virtual std::string ColumnName(int col) const = 0;
    virtual char ColumnType(int col) const = 0;      // 'I','L','F','D','S','B','V'
    virtual int Column(const std::string& name) const = 0;  // letter case ignored; -1

    // Getters return 0 / 0.0 / "" for out-of-range rows or wrong column types.
    virtual int64_t GetInt(int row, int col) const = 0;
    virtual double GetDouble(int row, int col) const = 0;
    // S without its terminating zero, B as stored. Large values are read from
    // the file here; false when that read fails (damaged file).
    virtual bool GetBytes(int row, int col, std::string& out) const = 0;
    virtual std::string GetString(int row, int col) const = 0;
    virtual View* GetSubview(int row, int col) = 0;

    virtual void SetInt(int row, int col, int64_t value) = 0;
    virtual void SetDouble(int row, int col, double value) = 0;
    virtual void SetBytes(int row, int col, const std::string& value) = 0;
    virtual void SetValue(int row, int col, const Value& value) = 0;

    virtual int AddRow() = 0;                 // appends an empty row, returns its index
    virtual void RemoveRow(int row) = 0;      // later rows move up

    // First row at or after start matching every criterion; -1 when none.
    virtual int Find(const Criteria& criteria, int start = 0) const = 0;
    virtual std::vector<int> Select(const Criteria& criteria) const = 0;
    // Stable ascending sort of the given rows on the given columns.
    virtual std::vector<int> Sort(std::vector<int> rows, const std::vector<int>& cols) const = 0;
};

}  // namespace mk
