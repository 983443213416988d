// Benchmarks of the case store (node store part): GetNode and SaveNode of a
// 10 MB node, ChangePassword over 10,000 nodes of 1 KB, Pack of a 1 GB
// database (run only with VAULTLEAF_BENCH_BIG=1, it writes 2 GB to disk).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "db/CaseDB.h"

namespace {

// Mixed content: runs of text interleaved with random binary stretches.
std::string MixedContent(size_t size, uint32_t seed) {
    std::mt19937 rng(seed);
    static const std::string words[] = {"的 ", "node ", "store ", "数据库 ", "content\r\n", "<p>", "1234 "};
    std::string out;
    out.reserve(size);
    while (out.size() < size) {
        if (rng() % 4 == 0) {
            for (int i = 0; i < 256; ++i) out += static_cast<char>(rng());
        } else {
            for (int i = 0; i < 64; ++i) out += words[rng() % 7];
        }
    }
    out.resize(size);
    return out;
}

std::string RandomBytes(size_t size, uint32_t seed) {
    std::mt19937 rng(seed);
    std::string out(size, '\0');
    for (auto& c : out) c = static_cast<char>(rng());
    return out;
}

class BenchFolder {
public:
    BenchFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "vl-bench-XXXXXX").string();
        path_ = mkdtemp(pattern.data());
    }
    ~BenchFolder() { std::filesystem::remove_all(path_); }
    std::string File(const char* name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

bool OpenNew(CaseDB& db, const std::string& path, const std::string& password) {
    return db.Open(path, true) == CaseDB::kOpened && db.Login(password);
}

CaseNode MakeNode(CaseDB& db, std::string content) {
    CaseNode node;
    node.Id = db.TakeNextId(false);
    node.Type = kNodeFile;
    node.Caption = "bench";
    node.SetData(std::move(content));
    return node;
}

void BM_GetNode_10MB(benchmark::State& state) {
    BenchFolder dir;
    CaseDB db;
    if (!OpenNew(db, dir.File("get.vldb"), "pw")) return state.SkipWithError("cannot create the database");
    CaseNode node = MakeNode(db, MixedContent(10 << 20, 1));
    db.AddNode(node);
    db.Commit();
    for (auto _ : state) {
        CaseNode read;
        if (!db.GetNode(node.Id, read, true)) return state.SkipWithError("GetNode failed");
        benchmark::DoNotOptimize(read.Data());
    }
    state.SetBytesProcessed(state.iterations() * (int64_t{10} << 20));
}
BENCHMARK(BM_GetNode_10MB)->Unit(benchmark::kMillisecond);

void BM_SaveNode_10MB(benchmark::State& state) {
    BenchFolder dir;
    CaseDB db;
    if (!OpenNew(db, dir.File("save.vldb"), "pw")) return state.SkipWithError("cannot create the database");
    CaseNode node = MakeNode(db, MixedContent(10 << 20, 2));
    bool commit = state.range(0) != 0;
    for (auto _ : state) {
        if (!db.SaveNode(node) || (commit && !db.Commit())) return state.SkipWithError("SaveNode failed");
    }
    state.SetLabel(commit ? "with commit" : "without commit");
    state.SetBytesProcessed(state.iterations() * (int64_t{10} << 20));
}
BENCHMARK(BM_SaveNode_10MB)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_ChangePassword_10000x1KB(benchmark::State& state) {
    BenchFolder dir;
    CaseDB db;
    if (!OpenNew(db, dir.File("passwd.vldb"), "a")) return state.SkipWithError("cannot create the database");
    for (int i = 0; i < 10000; ++i) db.AddNode(MakeNode(db, MixedContent(1024, 100 + i)));
    db.Commit();
    unsigned char cancel = 0;
    bool forward = true;
    for (auto _ : state) {
        bool changed = forward ? db.ChangePassword("a", "b", cancel, {}) : db.ChangePassword("b", "a", cancel, {});
        if (!changed) return state.SkipWithError("ChangePassword failed");
        forward = !forward;
    }
}
BENCHMARK(BM_ChangePassword_10000x1KB)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_Pack_1GB(benchmark::State& state) {
    if (!std::getenv("VAULTLEAF_BENCH_BIG")) return state.SkipWithError("set VAULTLEAF_BENCH_BIG=1 to run");
    BenchFolder dir;
    CaseDB db;
    const std::string path = dir.File("pack.vldb");
    if (!OpenNew(db, path, "pw")) return state.SkipWithError("cannot create the database");
    // 1 GB of content: half random bytes, half mixed text and binary.
    for (int i = 0; i < 1024; ++i) {
        CaseNode node = MakeNode(db, i % 2 ? MixedContent(1 << 20, i) : RandomBytes(1 << 20, i));
        db.AddNode(node);
        if (i % 64 == 63) db.Commit();
    }
    db.Commit();
    state.counters["file_MB_before"] = static_cast<double>(std::filesystem::file_size(path)) / (1 << 20);
    for (auto _ : state) {
        if (!db.Pack()) return state.SkipWithError("Pack failed");
    }
    state.counters["file_MB_after"] = static_cast<double>(std::filesystem::file_size(path)) / (1 << 20);
}
BENCHMARK(BM_Pack_1GB)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace
