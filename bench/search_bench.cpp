// The full-text search over a database of VAULTLEAF_BENCH_NODES nodes
// (default 100,000) of 10 KB of text each (1 GB), against reading the same
// contents through the content pipeline on one thread (GetNode with content,
// in a loop), in the same run. The search's counters: speedup over that loop,
// ratio_to_goal (speedup / (0.8 x threads); 1 or more meets the goal),
// first_hit_ms (time from the start to the first hit) and cpu_vs_loop (all
// threads' processor time over the loop's; on a machine shared with other
// work the wall-clock ratios vary from run to run, this one much less).
// VAULTLEAF_BENCH_HTML=1 makes every note an HTML page of the same text, to
// measure what reading the text out of markup costs.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <thread>

#include "db/CaseDB.h"
#include "kellib/Kelcodepage.h"
#include "rtf/RtfCodepage.h"
#include "search/CaseSearch.h"

namespace fs = std::filesystem;

namespace {

constexpr size_t kNodeSize = 10 * 1024;
const char* const kPassword = "bench";

int NodeCount() {
    const char* env = std::getenv("VAULTLEAF_BENCH_NODES");
    return env && std::atoi(env) > 0 ? std::atoi(env) : 100000;
}

bool HtmlNotes() {
    const char* env = std::getenv("VAULTLEAF_BENCH_HTML");
    return env && std::atoi(env) > 0;
}

// The text as a page: a paragraph a line, with a style sheet, attributes,
// bold words and character references as editors write them.
std::string AsHtml(const std::string& text) {
    std::string html = "<html><head><title>note</title><style>p { margin: 0 }</style></head><body><p>";
    bool bold = false;
    for (char c : text) {
        if (c == '\n') {
            html += bold ? "</b></p>\n<p class=\"line\" style=\"color: #333\">" : "</p>\n<p class=\"line\">";
            bold = false;
        } else if (c == ' ') {
            html += bold ? "</b>&nbsp;" : " <b>";
            bold = !bold;
        } else if (c != '\r') {
            html += c;
        }
    }
    return html + (bold ? "</b>" : "") + "&ldquo;&amp;&rdquo;</p></body></html>";
}

// Notes as people write them: Chinese and English words, CR LF lines, in
// the database code page. Nodes take slices of one pool of such text.
std::string TextPool() {
    static const char* const words[] = {"数据库", "笔记", "今天", "会议", "项目", "的", "和", "node ", "store ",
                                        "meeting ", "notes ", "2024 ", "，", "。"};
    std::mt19937 rng(7);
    std::string utf8;
    while (utf8.size() < 4 * 1024 * 1024) {
        utf8 += words[rng() % std::size(words)];
        if (rng() % 12 == 0) utf8 += "\r\n";
    }
    return Utf8ToAnsi(utf8);
}

std::string NodeText(const std::string& pool, std::mt19937& rng, bool withWord) {
    size_t start = rng() % (pool.size() - kNodeSize);
    while (static_cast<unsigned char>(pool[start]) >= 0x80) ++start;   // begin on a whole character
    std::string text = pool.substr(start, kNodeSize);
    if (withWord) text.replace(kNodeSize / 2, 0, " okapi ");
    return text;
}

struct Database {
    std::string root, path;
    int64_t bytes = 0;
    CaseDB db;
    Database() {
        std::string pattern = (fs::temp_directory_path() / "vl-search-XXXXXX").string();
        root = mkdtemp(pattern.data());
        path = root + "/bench.vldb";
        const std::string pool = TextPool();
        std::mt19937 rng(11);
        if (db.Open(path, true) != CaseDB::kOpened || !db.Login(kPassword)) std::abort();
        const int count = NodeCount();
        for (int i = 0; i < count; ++i) {
            CaseNode node;
            node.Id = db.TakeNextId(false);
            node.Parent = i % 100 == 0 ? 0 : node.Id - i % 100;   // folders of 99 notes
            node.Type = i % 100 == 0 ? kNodeFolder : HtmlNotes() ? kNodeHtml : kNodeText;
            node.Caption = "note " + std::to_string(i);
            if (node.Type != kNodeFolder) {
                const std::string text = NodeText(pool, rng, i % 97 == 5);
                node.SetData(node.Type == kNodeHtml ? AsHtml(text) : text);
            }
            bytes += node.DataSize();
            if (!db.AddNode(node)) std::abort();
            if (i % 5000 == 4999 && !db.Commit()) std::abort();
        }
        if (!db.Commit()) std::abort();
        db.Close();
        if (db.OpenReadOnly(path) != CaseDB::kOpened || !db.Login(kPassword)) std::abort();
    }
    ~Database() {
        db.Close();
        fs::remove_all(root);
    }
};

Database& Bench() {
    static Database database;
    return database;
}

double loopSeconds = 0, loopCpuSeconds = 0;

// Processor time of every thread of this process so far.
double ProcessCpuSeconds() {
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void BM_GetNodeLoop(benchmark::State& state) {
    Database& d = Bench();
    const std::vector<int32_t> ids = d.db.AllNodeIds();
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const double cpuStart = ProcessCpuSeconds();
        for (int32_t id : ids) {
            CaseNode node;
            if (!d.db.GetNode(id, node, true)) state.SkipWithError("a node cannot be read");
            benchmark::DoNotOptimize(node.Data());
        }
        loopSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        loopCpuSeconds = ProcessCpuSeconds() - cpuStart;
    }
    state.SetBytesProcessed(state.iterations() * d.bytes);
}

// The part of the loop the search does on the store's thread alone.
void BM_ReadSealedLoop(benchmark::State& state) {
    Database& d = Bench();
    for (auto _ : state)
        for (int row = 0, n = d.db.NodeCount(); row < n; ++row) {
            SealedNode sealed;
            if (!d.db.ReadSealedRow(row, sealed, true)) state.SkipWithError("a row cannot be read");
            benchmark::DoNotOptimize(sealed.SealedData.data());
        }
    state.SetBytesProcessed(state.iterations() * d.bytes);
}

void BM_Search(benchmark::State& state) {
    Database& d = Bench();
    const TextMatcher matcher(Utf8ToUtf32("OKAPI"), {});
    double seconds = 0, cpuSeconds = 0, firstHit = -1;
    int hits = 0;
    for (auto _ : state) {
        CaseSearch search(d.db);
        const auto start = std::chrono::steady_clock::now();
        const double cpuStart = ProcessCpuSeconds();
        firstHit = -1;
        const SearchSummary summary = search.Run(matcher, [&](const SearchHit&) {
            if (firstHit < 0)
                firstHit = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        }, static_cast<int>(state.range(0)));
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        cpuSeconds = ProcessCpuSeconds() - cpuStart;
        hits = summary.Hits;
    }
    state.SetBytesProcessed(state.iterations() * d.bytes);
    const double processors = state.range(0) > 0 ? double(state.range(0)) : std::max(1u, std::thread::hardware_concurrency());
    state.counters["hits"] = hits;
    state.counters["first_hit_ms"] = firstHit;
    state.counters["processors"] = processors;
    if (loopSeconds > 0) {
        state.counters["speedup"] = loopSeconds / seconds;
        state.counters["ratio_to_goal"] = loopSeconds / seconds / (0.8 * processors);
        // Processor time against the loop's: what the search costs beside the
        // loop's own work, whatever else the machine runs meanwhile.
        state.counters["cpu_vs_loop"] = cpuSeconds / loopCpuSeconds;
    }
}

}  // namespace

// The loop runs first: the search's counters compare with it.
BENCHMARK(BM_GetNodeLoop)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(BM_ReadSealedLoop)->Iterations(1)->Unit(benchmark::kSecond);
// Argument: threads of the pool (0: one per processor, the window's choice;
// 1 shows what the search adds to the loop's work on one thread).
BENCHMARK(BM_Search)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
