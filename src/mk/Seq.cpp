#include "mk/Seq.h"

#include "mk/StorageImpl.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace mk {

namespace {

double BitsToDouble(const mk::Column& c, uint32_t row) {
    if (c.def.type == 'F') return std::bit_cast<float>(static_cast<uint32_t>(c.ints[row]));
    return std::bit_cast<double>(c.ints[row]);
}

int64_t DoubleToBits(char type, double v) {
    if (type == 'F') return static_cast<int32_t>(std::bit_cast<uint32_t>(static_cast<float>(v)));
    return std::bit_cast<int64_t>(v);
}

template <typename T>
int Order(T a, T b) { return a < b ? -1 : b < a ? 1 : 0; }

// S values are compared as text: up to the first zero byte, letter case ignored.
std::string TextOf(const std::string& raw) { return raw.substr(0, std::min(raw.find('\0'), raw.size())); }

}  // namespace

Seq::Seq(std::shared_ptr<Source> source, std::string name, const std::vector<PropDef>& props, uint32_t rows)
    : source_(std::move(source)), name_(std::move(name)), rows_(rows) {
    cols_.resize(props.size());
    for (size_t i = 0; i < props.size(); ++i) {
        cols_[i].def = props[i];
        InitColumn(cols_[i], rows);
    }
}

void Column::Clear() {
    refs.clear();
    width = 0;
    ints.clear();
    cells.clear();
    pool.clear();
    poolLive = 0;
    subs.clear();
    blob.clear();
}

void Seq::InitColumn(mk::Column& c, uint32_t rows) {
    c.Clear();
    c.dirty = true;
    switch (c.def.type) {
    case 'S': case 'B': c.cells.resize(rows); break;
    case 'V':
        for (uint32_t r = 0; r < rows; ++r) c.subs.push_back(std::make_unique<Seq>(source_, c.def.name, c.def.sub, 0));
        break;
    default: c.ints.assign(rows, 0); break;
    }
}

std::vector<PropDef> Seq::Props() const {
    std::vector<PropDef> out;
    for (const auto& c : cols_) out.push_back(c.def);
    return out;
}

std::string Seq::Description() const { return FormatProps(Props()); }

std::string Seq::ColumnName(int col) const { return col >= 0 && col < ColumnCount() ? cols_[col].def.name : std::string(); }

char Seq::ColumnType(int col) const { return col >= 0 && col < ColumnCount() ? cols_[col].def.type : '\0'; }

int Seq::Column(const std::string& name) const {
    for (size_t i = 0; i < cols_.size(); ++i)
        if (EqualNoCase(cols_[i].def.name, name)) return static_cast<int>(i);
    return -1;
}

bool Seq::Valid(int row, int col, const char* types) const {
    return row >= 0 && uint32_t(row) < rows_ && col >= 0 && col < ColumnCount() && std::strchr(types, cols_[col].def.type);
}

int64_t Seq::GetInt(int row, int col) const { return Valid(row, col, "IL") ? cols_[col].ints[row] : 0; }

double Seq::GetDouble(int row, int col) const { return Valid(row, col, "DF") ? BitsToDouble(cols_[col], row) : 0.0; }

bool Seq::ItemBytes(const mk::Column& c, uint32_t row, std::string& out) const {
    const Cell& cell = c.cells[row];
    if (!cell.inFile) {
        out.assign(c.pool, cell.pos, cell.len);
        return true;
    }
    out.resize(cell.len);
    if (source_->file.ReadAt(source_->base + cell.pos, out.data(), cell.len)) return true;
    out.clear();
    return false;
}

bool Seq::GetBytes(int row, int col, std::string& out) const {
    out.clear();
    if (!Valid(row, col, "SB")) return false;
    if (!ItemBytes(cols_[col], row, out)) return false;
    if (cols_[col].def.type == 'S' && !out.empty() && out.back() == '\0') out.pop_back();
    return true;
}

std::string Seq::GetString(int row, int col) const {
    std::string out;
    if (!GetBytes(row, col, out)) return {};
    return cols_[col].def.type == 'S' ? TextOf(out) : out;
}

View* Seq::GetSubview(int row, int col) { return Valid(row, col, "V") ? cols_[col].subs[row].get() : nullptr; }

void Seq::SetInt(int row, int col, int64_t value) {
    if (!Valid(row, col, "IL")) return;
    auto& c = cols_[col];
    int64_t v = c.def.type == 'I' ? static_cast<int32_t>(value) : value;
    if (c.ints[row] == v) return;
    c.ints[row] = v;
    c.dirty = true;
}

void Seq::SetDouble(int row, int col, double value) {
    if (!Valid(row, col, "DF")) return;
    auto& c = cols_[col];
    int64_t v = DoubleToBits(c.def.type, value);
    if (c.ints[row] == v) return;
    c.ints[row] = v;
    c.dirty = true;
}

void Seq::SetBytes(int row, int col, const std::string& value) {
    if (!Valid(row, col, "SB")) return;
    auto& c = cols_[col];
    bool zero = c.def.type == 'S' && !value.empty();
    size_t len = value.size() + zero;
    const Cell& old = c.cells[row];
    if (!old.inFile && old.len == len && c.pool.compare(old.pos, old.len - zero, value) == 0) return;
    // The replaced bytes stay in the pool, no longer live, until it is compacted.
    const size_t replaced = old.inFile ? 0 : old.len;
    uint32_t pos = 0;
    if (!zero && len > kMemoLength && source_->owner && SpillValue(*source_->owner, value, pos)) {
        c.cells[row] = Cell{pos, static_cast<uint32_t>(len), true};
        c.poolLive -= replaced;
        c.dirty = true;
        return;
    }
    if (c.pool.size() + len > 2 * (c.poolLive - replaced) + (16u << 20)) CompactPool(c);
    if (c.pool.size() + len > UINT32_MAX) return;   // beyond what a file can hold
    Cell cell{static_cast<uint32_t>(c.pool.size()), static_cast<uint32_t>(len), false};
    c.pool += value;
    if (zero) c.pool.push_back('\0');
    c.cells[row] = cell;
    c.poolLive = c.poolLive - replaced + len;
    c.dirty = true;
}

void Seq::SetValue(int row, int col, const Value& value) {
    char t = ColumnType(col);
    if (const auto* i = std::get_if<int64_t>(&value)) {
        if (t == 'D' || t == 'F') SetDouble(row, col, static_cast<double>(*i));
        else SetInt(row, col, *i);
    } else if (const auto* d = std::get_if<double>(&value)) {
        if (t == 'I' || t == 'L') SetInt(row, col, static_cast<int64_t>(*d));
        else SetDouble(row, col, *d);
    } else {
        SetBytes(row, col, std::get<std::string>(value));
    }
}

// Drops pool bytes that no cell refers to any more (values set again before a commit).
void Seq::CompactPool(mk::Column& c) {
    std::string pool;
    for (auto& cell : c.cells) {
        if (cell.inFile) continue;
        uint32_t pos = static_cast<uint32_t>(pool.size());
        pool.append(c.pool, cell.pos, cell.len);
        cell.pos = pos;
    }
    c.pool = std::move(pool);
    c.poolLive = c.pool.size();
}

int Seq::AddRow() {
    for (auto& c : cols_) {
        switch (c.def.type) {
        case 'S': case 'B': c.cells.emplace_back(); break;
        case 'V': c.subs.push_back(std::make_unique<Seq>(source_, c.def.name, c.def.sub, 0)); break;
        default: c.ints.push_back(0); break;
        }
        c.dirty = true;
    }
    return static_cast<int>(rows_++);
}

void Seq::RemoveRow(int row) {
    if (row < 0 || uint32_t(row) >= rows_) return;
    for (auto& c : cols_) {
        switch (c.def.type) {
        case 'S': case 'B':
            if (!c.cells[row].inFile) c.poolLive -= c.cells[row].len;
            c.cells.erase(c.cells.begin() + row);
            break;
        case 'V': c.subs.erase(c.subs.begin() + row); break;
        default: c.ints.erase(c.ints.begin() + row); break;
        }
        c.dirty = true;
    }
    --rows_;
}

int Seq::CompareCell(int row, int col, const Value& value) const {
    const auto& c = cols_[col];
    switch (c.def.type) {
    case 'I': case 'L':
        if (const auto* i = std::get_if<int64_t>(&value)) return Order(c.ints[row], *i);
        if (const auto* d = std::get_if<double>(&value)) return Order(double(c.ints[row]), *d);
        return 1;
    case 'D': case 'F': {
        double mine = BitsToDouble(c, row);
        if (const auto* d = std::get_if<double>(&value)) return Order(mine, *d);
        if (const auto* i = std::get_if<int64_t>(&value)) return Order(mine, double(*i));
        return 1;
    }
    case 'S': case 'B': {
        const auto* s = std::get_if<std::string>(&value);
        if (!s) return 1;
        std::string mine;
        ItemBytes(c, row, mine);
        if (c.def.type == 'S') return CompareNoCase(TextOf(mine), TextOf(*s));
        return mine.compare(*s) < 0 ? -1 : mine == *s ? 0 : 1;
    }
    default: return 1;
    }
}

int Seq::Find(const Criteria& criteria, int start) const {
    for (const auto& [col, v] : criteria)
        if (col < 0 || col >= ColumnCount()) return -1;
    // Integer criteria on integer columns are compared directly: the common case
    // (ids, parents) without going through the general comparison.
    std::vector<std::pair<const std::vector<int64_t>*, int64_t>> direct;
    Criteria general;
    for (const auto& [col, v] : criteria) {
        const auto* i = std::get_if<int64_t>(&v);
        if (i && (cols_[col].def.type == 'I' || cols_[col].def.type == 'L')) direct.emplace_back(&cols_[col].ints, *i);
        else general.emplace_back(col, v);
    }
    uint32_t first = start < 0 ? 0 : uint32_t(start);
    if (first >= rows_) return -1;
    if (direct.size() == 1 && general.empty()) {
        const auto& ints = *direct[0].first;
        auto it = std::find(ints.begin() + first, ints.end(), direct[0].second);
        return it == ints.end() ? -1 : int(it - ints.begin());
    }
    for (uint32_t r = first; r < rows_; ++r) {
        bool all = true;
        for (const auto& [ints, want] : direct) all = all && (*ints)[r] == want;
        for (size_t k = 0; all && k < general.size(); ++k) all = CompareCell(int(r), general[k].first, general[k].second) == 0;
        if (all) return int(r);
    }
    return -1;
}

std::vector<int> Seq::Select(const Criteria& criteria) const {
    std::vector<int> out;
    for (int r = Find(criteria, 0); r >= 0; r = Find(criteria, r + 1)) out.push_back(r);
    return out;
}

int Seq::CompareRows(int a, int b, int col) const {
    const auto& c = cols_[col];
    switch (c.def.type) {
    case 'I': case 'L': return Order(c.ints[a], c.ints[b]);
    case 'D': case 'F': return Order(BitsToDouble(c, a), BitsToDouble(c, b));
    case 'S': case 'B': {
        std::string x, y;
        ItemBytes(c, a, x);
        ItemBytes(c, b, y);
        if (c.def.type == 'S') return CompareNoCase(TextOf(x), TextOf(y));
        return x < y ? -1 : x == y ? 0 : 1;
    }
    default: return 0;
    }
}

std::vector<int> Seq::Sort(std::vector<int> rows, const std::vector<int>& cols) const {
    rows.erase(std::remove_if(rows.begin(), rows.end(), [&](int r) { return r < 0 || uint32_t(r) >= rows_; }), rows.end());
    std::vector<int> keys;
    for (int c : cols)
        if (c >= 0 && c < ColumnCount()) keys.push_back(c);
    std::stable_sort(rows.begin(), rows.end(), [&](int a, int b) {
        for (int c : keys) {
            int o = CompareRows(a, b, c);
            if (o) return o < 0;
        }
        return false;
    });
    return rows;
}

void Seq::Restructure(const std::vector<PropDef>& props) {
    std::vector<mk::Column> next(props.size());
    for (size_t i = 0; i < props.size(); ++i) {
        int old = Column(props[i].name);
        if (old >= 0 && cols_[old].def.type == props[i].type) {
            next[i] = std::move(cols_[old]);
            next[i].def.name = props[i].name;
            if (props[i].type == 'V') {
                next[i].def.sub = props[i].sub;
                for (auto& s : next[i].subs) {
                    s->name_ = props[i].name;
                    s->Restructure(props[i].sub);
                }
            }
        } else {
            // New property, or a stored one bound with another type: it starts empty.
            next[i].def = props[i];
            InitColumn(next[i], rows_);
        }
    }
    cols_ = std::move(next);
}

}  // namespace mk
