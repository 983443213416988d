// In-memory form of a view: one Column per property, loaded from the file at
// open except large byte values, which stay in the file until asked for.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "mk/FileIo.h"
#include "mk/Format.h"
#include "mk/Storage.h"

namespace mk {

// Position and size of a blob, relative to the storage's header.
struct Ref {
    uint32_t size = 0;
    uint32_t pos = 0;
    bool operator==(const Ref&) const = default;
};

class StorageImpl;

// Where lazily read values come from.
struct Source {
    File file;
    int64_t base = 0;
    bool littleEndian = true;
    StorageImpl* owner = nullptr;   // takes large values before their commit; null when stale
};

// One S or B item: raw stored bytes (S with its terminating zero), either in
// its column's pool of inline bytes or still in the file as a separate blob (memo).
struct Cell {
    uint32_t pos = 0;   // in the pool, or in the file when inFile
    uint32_t len = 0;
    bool inFile = false;
    uint32_t Length() const { return len; }
};

class Seq;

struct Column {
    PropDef def;
    bool dirty = false;          // content differs from what the file holds
    std::vector<Ref> refs;       // as stored: 1 for I L F D V, 3 (data, sizes, memo) for S B
    int width = 0;               // I and F: current packing width, never shrinks
    std::vector<int64_t> ints;   // I, L, F (bit pattern), D (bit pattern)
    std::vector<Cell> cells;     // S, B
    std::string pool;            // S, B: bytes of the items held in memory
    size_t poolLive = 0;         // bytes of the pool that cells still refer to
    std::vector<std::unique_ptr<Seq>> subs;   // V
    std::string blob;            // V: the stored bytes of the subview column

    // Drops every value and what is known of the stored column (not def, dirty or staged).
    void Clear();

    // Results of the commit being prepared, applied when it succeeds.
    struct Staged {
        std::vector<Ref> refs;
        int width = 0;
        std::string blob;
        bool rewritten = false;      // S, B: cells and pool below replace the current ones
        std::vector<Cell> cells;
        std::string pool;
    } staged;
};

class Seq : public View {
public:
    Seq(std::shared_ptr<Source> source, std::string name, const std::vector<PropDef>& props, uint32_t rows);

    std::string Name() const override { return name_; }
    std::string Description() const override;
    int RowCount() const override { return static_cast<int>(rows_); }
    int ColumnCount() const override { return static_cast<int>(cols_.size()); }
    std::string ColumnName(int col) const override;
    char ColumnType(int col) const override;
    int Column(const std::string& name) const override;

    int64_t GetInt(int row, int col) const override;
    double GetDouble(int row, int col) const override;
    bool GetBytes(int row, int col, std::string& out) const override;
    std::string GetString(int row, int col) const override;
    View* GetSubview(int row, int col) override;

    void SetInt(int row, int col, int64_t value) override;
    void SetDouble(int row, int col, double value) override;
    void SetBytes(int row, int col, const std::string& value) override;
    void SetValue(int row, int col, const Value& value) override;

    int AddRow() override;
    void RemoveRow(int row) override;

    int Find(const Criteria& criteria, int start = 0) const override;
    std::vector<int> Select(const Criteria& criteria) const override;
    std::vector<int> Sort(std::vector<int> rows, const std::vector<int>& cols) const override;

    // Engine internals.
    std::vector<mk::Column>& Columns() { return cols_; }
    const std::vector<mk::Column>& Columns() const { return cols_; }
    uint32_t Rows() const { return rows_; }
    void SetRows(uint32_t rows) { rows_ = rows; }
    std::vector<PropDef> Props() const;
    // Adapts to a new property list: matched names keep their data.
    void Restructure(const std::vector<PropDef>& props);
    // Raw stored item bytes of an S/B cell.
    bool ItemBytes(const mk::Column& c, uint32_t row, std::string& out) const;
    const std::shared_ptr<Source>& GetSource() const { return source_; }

private:
    bool Valid(int row, int col, const char* types) const;
    int CompareCell(int row, int col, const Value& value) const;
    int CompareRows(int a, int b, int col) const;
    void InitColumn(mk::Column& c, uint32_t rows);
    void CompactPool(mk::Column& c);

    std::shared_ptr<Source> source_;
    std::string name_;
    std::vector<mk::Column> cols_;
    uint32_t rows_ = 0;
};

}  // namespace mk
