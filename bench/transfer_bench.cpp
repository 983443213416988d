// Import and export of a folder tree (VAULTLEAF_BENCH_FILES files of 100 KB,
// default 10,000 = 1 GB) against the shell pipeline doing the same work with
// standard tools: tar -c | compress | openssl enc -des-ecb into one file, and
// openssl enc -d | uncompress | tar -x back. All four run in one process on
// the same disk; the counter peak_rss_mb is this process's peak memory. A
// commit is flushed to disk, so the archive is also timed with its flush.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "db/CaseDB.h"
#include "transfer/ExportFiles.h"
#include "transfer/ImportFiles.h"

namespace fs = std::filesystem;

namespace {

constexpr size_t kFileSize = 100 * 1024;
const char* const kDesKey = "0123456789abcdef";

int FileCount() {
    const char* env = std::getenv("VAULTLEAF_BENCH_FILES");
    return env && std::atoi(env) > 0 ? std::atoi(env) : 10000;
}

// Text-like content (what notes and documents hold) with binary stretches.
std::string Content(uint32_t seed) {
    std::mt19937 rng(seed);
    static const std::string words[] = {"的 ", "node ", "store ", "数据库 ", "content\r\n", "<p>", "1234 "};
    std::string out;
    while (out.size() < kFileSize) {
        if (rng() % 4 == 0)
            for (int i = 0; i < 256; ++i) out += static_cast<char>(rng());
        else
            for (int i = 0; i < 64; ++i) out += words[rng() % 7];
    }
    out.resize(kFileSize);
    return out;
}

// The tree: 100 folders of FileCount()/100 files, made once.
struct Workspace {
    std::string root, src, db, archive;
    Workspace() {
        std::string pattern = (fs::temp_directory_path() / "vl-transfer-XXXXXX").string();
        root = mkdtemp(pattern.data());
        src = root + "/src";
        db = root + "/bench.vldb";
        archive = root + "/archive.tar.Z.des";
        const int files = FileCount();
        for (int i = 0; i < files; ++i) {
            std::string dir = src + "/folder " + std::to_string(i % 100);
            fs::create_directories(dir);
            std::ofstream(dir + "/file " + std::to_string(i) + ".dat", std::ios::binary) << Content(i);
        }
    }
    ~Workspace() { fs::remove_all(root); }
    int64_t Bytes() const { return int64_t(FileCount()) * kFileSize; }
};

Workspace& Space() {
    static Workspace space;
    return space;
}

void Shell(benchmark::State& state, const std::string& command) {
    if (std::system(command.c_str()) != 0) state.SkipWithError(("failed: " + command).c_str());
}

void Finish(benchmark::State& state) {
    state.SetBytesProcessed(state.iterations() * Space().Bytes());
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_rss_mb"] = double(usage.ru_maxrss) / 1024.0;
}

void BM_ImportTree(benchmark::State& state) {
    Workspace& w = Space();
    for (auto _ : state) {
        fs::remove(w.db);
        CaseDB db;
        if (db.Open(w.db, true) != CaseDB::kOpened || !db.Login("pw")) return state.SkipWithError("no database");
        auto root = CollectFiles({KELFileItem(w.src, 0x10)}, "*.*");
        ImportRun run(db);
        if (ImportAll(run, *root, 0, [](const std::string&) { return false; }) != ImportOutcome::kDone)
            state.SkipWithError(run.lastError.c_str());
    }
    Finish(state);
}

void BM_ExportTree(benchmark::State& state) {
    Workspace& w = Space();
    CaseDB db;
    if (db.Open(w.db, false) != CaseDB::kOpened || !db.Login("pw")) return state.SkipWithError("import first");
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove_all(w.root + "/out");
        fs::create_directories(w.root + "/out");
        state.ResumeTiming();
        ExportRun run(db, ExportOptions{});
        for (int32_t id : db.GetChildren(0))
            if (!ExportNode(run, id, w.root + "/out", true)) state.SkipWithError(run.lastError.c_str());
    }
    Finish(state);
}

std::string ArchiveCommand(const Workspace& w) {
    return "tar -c -C '" + w.src + "' . | compress | openssl enc -des-ecb -K " + kDesKey +
           " -provider legacy -provider default -out '" + w.archive + "'";
}

void BM_ShellArchive(benchmark::State& state) {
    Space();   // the tree is made before the timing starts
    for (auto _ : state) Shell(state, ArchiveCommand(Space()));
    Finish(state);
}

// The same pipeline made as durable as a commit: the archive is flushed to disk.
void BM_ShellArchiveSynced(benchmark::State& state) {
    for (auto _ : state) Shell(state, ArchiveCommand(Space()) + " && sync '" + Space().archive + "'");
    Finish(state);
}

void BM_ShellExtract(benchmark::State& state) {
    Workspace& w = Space();
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove_all(w.root + "/shell-out");
        fs::create_directories(w.root + "/shell-out");
        state.ResumeTiming();
        Shell(state, "openssl enc -d -des-ecb -K " + std::string(kDesKey) + " -provider legacy -provider default -in '" +
                         w.archive + "' | uncompress | tar -x -C '" + w.root + "/shell-out'");
    }
    Finish(state);
}

}  // namespace

BENCHMARK(BM_ShellArchive)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_ShellArchiveSynced)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_ImportTree)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_ShellExtract)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_ExportTree)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(2);
