// Storage engine workloads: 100,000 rows of the Case layout, and (with
// VAULTLEAF_BENCH_LARGE=1 in the environment) a 1 GB file of 4 MB contents.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "mk/FileIo.h"
#include "mk/Storage.h"

namespace {

const char* kCase = "Case[Id:I,Parent:I,Order:I,Type:I,Caption:B,Created:D,Modified:D,Attribute:S,Data:B]";
const int kRows = 100000;
const int kLargeRows = 256;
const size_t kLargeValue = 4 << 20;

enum { Id, Parent, Order, Type, Caption, Created, Modified, Attribute, Data };

std::string TempPath(const char* name) {
    return (std::filesystem::temp_directory_path() / (std::string("vl-mkbench-") + std::to_string(getpid()) + "-" + name)).string();
}

// Byte i is (7 * i + seed) mod 251: a slice of one precomputed period-251 run
// (7 * 36 = 1 mod 251), so making test data costs next to nothing.
std::string Pattern(size_t n, int seed) {
    static std::string run;
    if (run.size() < n + 251) {
        run.resize(n + 251);
        for (size_t i = 0; i < run.size(); ++i) run[i] = char(7 * i % 251);
    }
    return run.substr(size_t(seed % 251) * 36 % 251, n);
}

void FillRow(mk::View* c, int i, size_t dataSize) {
    int r = c->AddRow();
    c->SetInt(r, Id, i + 1);
    c->SetInt(r, Parent, i / 100);
    c->SetInt(r, Order, (int64_t(i) * 7919) % kRows);
    c->SetInt(r, Type, i % 5);
    c->SetBytes(r, Caption, Pattern(16, i));
    c->SetDouble(r, Created, 45000.0 + i / 1000.0);
    c->SetDouble(r, Modified, 45000.5 + i / 1000.0);
    c->SetBytes(r, Data, Pattern(dataSize, i));
}

// Builds the file with rows rows of dataSize contents.
void Build(const std::string& path, int rows, size_t dataSize) {
    std::filesystem::remove(path);
    mk::Storage s;
    s.Open(path);
    mk::View* c = s.GetAs(kCase);
    for (int i = 0; i < rows; ++i) {
        FillRow(c, i, dataSize);
        if (dataSize > (1 << 20) && i % 16 == 15) s.Commit();   // keeps memory bounded
    }
    s.Commit();
}

const std::string& CaseFile() {
    static std::string path = [] {
        std::string p = TempPath("case.mk");
        Build(p, kRows, 1024);
        return p;
    }();
    return path;
}

long ResidentKb() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

void BM_AddAllAndCommit(benchmark::State& state) {
    std::string path = TempPath("add.mk");
    for (auto _ : state) Build(path, kRows, 1024);
    state.counters["file_MB"] = double(std::filesystem::file_size(path)) / 1e6;
    std::filesystem::remove(path);
}
BENCHMARK(BM_AddAllAndCommit)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_Reopen(benchmark::State& state) {
    const std::string& path = CaseFile();
    for (auto _ : state) {
        mk::Storage s;
        s.Open(path);
        benchmark::DoNotOptimize(s.GetAs(kCase)->RowCount());
    }
}
BENCHMARK(BM_Reopen)->Unit(benchmark::kMillisecond);

struct Opened {
    mk::Storage storage;
    mk::View* view;
    Opened() {
        storage.Open(CaseFile(), true);
        view = storage.GetAs(kCase);
    }
};

Opened& Shared() {
    static Opened opened;
    return opened;
}

void BM_FindById(benchmark::State& state) {
    mk::View* c = Shared().view;
    int64_t id = 1;
    for (auto _ : state) {
        benchmark::DoNotOptimize(c->Find({{Id, id}}));
        id = id * 48271 % kRows + 1;
    }
}
BENCHMARK(BM_FindById)->Unit(benchmark::kMicrosecond);

void BM_SelectByParent(benchmark::State& state) {
    mk::View* c = Shared().view;
    int64_t parent = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(c->Select({{Parent, parent}}));
        parent = (parent + 337) % (kRows / 100);
    }
}
BENCHMARK(BM_SelectByParent)->Unit(benchmark::kMicrosecond);

void BM_SortByOrderThenId(benchmark::State& state) {
    mk::View* c = Shared().view;
    std::vector<int> rows(kRows);
    for (int i = 0; i < kRows; ++i) rows[i] = i;
    for (auto _ : state) benchmark::DoNotOptimize(c->Sort(rows, {Order, Id}));
}
BENCHMARK(BM_SortByOrderThenId)->Unit(benchmark::kMillisecond);

// Overwrites one row's contents and commits; reports the bytes the commit wrote.
void OverwriteAndCommit(benchmark::State& state, const std::string& path, size_t dataSize) {
    mk::Storage s;
    s.Open(path);
    mk::View* c = s.GetAs(kCase);
    int64_t written = 0;
    int round = 0;
    for (auto _ : state) {
        c->SetBytes(round % c->RowCount(), Data, Pattern(dataSize, 1000 + round));
        ++round;
        mk::SetWriteLimit({});
        s.Commit();
        written += mk::WriteByteCount();
    }
    state.counters["bytes_written"] = double(written) / double(state.iterations());
}

void BM_OverwriteOneDataAndCommit(benchmark::State& state) {
    std::string path = TempPath("overwrite.mk");
    std::filesystem::copy_file(CaseFile(), path, std::filesystem::copy_options::overwrite_existing);
    OverwriteAndCommit(state, path, 1024);
    std::filesystem::remove(path);
}
BENCHMARK(BM_OverwriteOneDataAndCommit)->Unit(benchmark::kMillisecond);

const std::string& LargeFile() {
    static std::string path = [] {
        std::string p = TempPath("large.mk");
        Build(p, kLargeRows, kLargeValue);
        return p;
    }();
    return path;
}

void BM_LargeOpen(benchmark::State& state) {
    const std::string& path = LargeFile();
    long rss = 0;
    for (auto _ : state) {
        long before = ResidentKb();
        mk::Storage s;
        s.Open(path);
        benchmark::DoNotOptimize(s.GetAs(kCase)->RowCount());
        rss = std::max(rss, ResidentKb() - before);
    }
    state.counters["file_MB"] = double(std::filesystem::file_size(path)) / 1e6;
    state.counters["resident_delta_KB"] = double(rss);
}

void BM_LargeSmallCommit(benchmark::State& state) {
    mk::Storage s;
    s.Open(LargeFile());
    mk::View* c = s.GetAs(kCase);
    int64_t written = 0;
    int round = 0;
    for (auto _ : state) {
        c->SetInt(round % kLargeRows, Order, 1000 + round);
        ++round;
        mk::SetWriteLimit({});
        s.Commit();
        written += mk::WriteByteCount();
    }
    state.counters["bytes_written"] = double(written) / double(state.iterations());
}

struct Cleanup {
    ~Cleanup() {
        std::error_code ec;
        std::filesystem::remove(TempPath("case.mk"), ec);
        std::filesystem::remove(TempPath("large.mk"), ec);
    }
} cleanup;

// The 1 GB workloads take a while to set up; they run only when asked for.
const bool kLargeRegistered = [] {
    if (!std::getenv("VAULTLEAF_BENCH_LARGE")) return false;
    benchmark::RegisterBenchmark("BM_LargeOpen", BM_LargeOpen)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BM_LargeSmallCommit", BM_LargeSmallCommit)->Unit(benchmark::kMillisecond);
    return true;
}();

}  // namespace
