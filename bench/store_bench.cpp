// Benchmarks of the case store (node store part): GetNode and SaveNode of a
// 10 MB node, ChangePassword over 10,000 nodes of 1 KB, Pack of a 1 GB
// database (run only with VAULTLEAF_BENCH_BIG=1, it writes 2 GB to disk).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

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
    if (!db.AddNode(node) || !db.Commit()) return state.SkipWithError("cannot store the node");
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
    for (int i = 0; i < 10000; ++i)
        if (!db.AddNode(MakeNode(db, MixedContent(1024, 100 + i)))) return state.SkipWithError("AddNode failed");
    if (!db.Commit()) return state.SkipWithError("Commit failed");
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
    // Nodes of 1 MB (random and mixed bytes) until the file holds 1 GiB, then
    // every eighth node saved again, so that the pack has dead space to drop.
    std::vector<CaseNode> nodes;
    while (std::filesystem::file_size(path) < (uint64_t{1} << 30)) {
        for (int k = 0; k < 64; ++k) {
            size_t i = nodes.size();
            uint32_t seed = static_cast<uint32_t>(i);
            nodes.push_back(MakeNode(db, i % 2 ? MixedContent(1 << 20, seed) : RandomBytes(1 << 20, seed)));
            if (!db.AddNode(nodes.back())) return state.SkipWithError("AddNode failed");
            nodes.back().SetData("");   // keep memory small
        }
        if (!db.Commit()) return state.SkipWithError("Commit failed");
    }
    for (size_t i = 0; i < nodes.size(); i += 8) {
        nodes[i].SetData(RandomBytes(1 << 20, static_cast<uint32_t>(i)));
        if (!db.SaveNode(nodes[i])) return state.SkipWithError("SaveNode failed");
        nodes[i].SetData("");
    }
    if (!db.Commit()) return state.SkipWithError("Commit failed");
    state.counters["file_MB_before"] = static_cast<double>(std::filesystem::file_size(path)) / (1 << 20);
    for (auto _ : state) {
        if (!db.Pack()) return state.SkipWithError("Pack failed");
    }
    state.counters["file_MB_after"] = static_cast<double>(std::filesystem::file_size(path)) / (1 << 20);
}
BENCHMARK(BM_Pack_1GB)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace

// Benchmarks of the cipher and the LZW codec, each beside its baseline in the
// same run: DES-ECB against OpenSSL's single DES (EVP, legacy provider), LZW on
// 64 MB of mixed text and binary against ncompress's compress/uncompress.
#include <openssl/evp.h>
#include <openssl/provider.h>

#include <fstream>

#include "public/Compress_LZW.h"
#include "public/DES.h"

namespace {

constexpr size_t kDesBytes = 4 << 20;
constexpr size_t kLzwBytes = 64 << 20;
const DesKey kBenchKey = {0x13, 0x34, 0x57, 0x79, 0x9B, 0xBC, 0xDF, 0xF1};

const std::string& LzwData() {
    static const std::string data = MixedContent(kLzwBytes, 64);
    return data;
}

// OpenSSL's DES-ECB over buffer in place; false when the cipher is missing.
class OpenSslDes {
public:
    OpenSslDes() {
        legacy_ = OSSL_PROVIDER_load(nullptr, "legacy");
        default_ = OSSL_PROVIDER_load(nullptr, "default");
        cipher_ = EVP_CIPHER_fetch(nullptr, "DES-ECB", nullptr);
        ctx_ = EVP_CIPHER_CTX_new();
        ok_ = cipher_ && ctx_ && EVP_EncryptInit_ex2(ctx_, cipher_, kBenchKey.data(), nullptr, nullptr) == 1 &&
              EVP_CIPHER_CTX_set_padding(ctx_, 0) == 1;
    }
    ~OpenSslDes() {
        EVP_CIPHER_CTX_free(ctx_);
        EVP_CIPHER_free(cipher_);
        if (legacy_) OSSL_PROVIDER_unload(legacy_);
        if (default_) OSSL_PROVIDER_unload(default_);
    }
    bool Encrypt(std::string& buffer) {
        auto* p = reinterpret_cast<unsigned char*>(buffer.data());
        int written = 0;
        return ok_ && EVP_EncryptUpdate(ctx_, p, &written, p, static_cast<int>(buffer.size())) == 1 &&
               written == static_cast<int>(buffer.size());
    }

private:
    OSSL_PROVIDER* legacy_ = nullptr;
    OSSL_PROVIDER* default_ = nullptr;
    EVP_CIPHER* cipher_ = nullptr;
    EVP_CIPHER_CTX* ctx_ = nullptr;
    bool ok_ = false;
};

void BM_DES_ECB(benchmark::State& state) {
    std::string buffer = RandomBytes(kDesBytes, 3);
    std::string check = buffer;
    OpenSslDes reference;
    DESEncrypt(kBenchKey, reinterpret_cast<uint8_t*>(buffer.data()), buffer.size());
    if (!reference.Encrypt(check) || check != buffer) return state.SkipWithError("differs from OpenSSL DES-ECB");
    for (auto _ : state) {
        DESEncrypt(kBenchKey, reinterpret_cast<uint8_t*>(buffer.data()), buffer.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * int64_t{kDesBytes});
}
BENCHMARK(BM_DES_ECB)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_OpenSSL_DES_ECB(benchmark::State& state) {
    std::string buffer = RandomBytes(kDesBytes, 3);
    OpenSslDes des;
    for (auto _ : state) {
        if (!des.Encrypt(buffer)) return state.SkipWithError("OpenSSL DES-ECB not available");
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * int64_t{kDesBytes});
}
BENCHMARK(BM_OpenSSL_DES_ECB)->Unit(benchmark::kMillisecond)->UseRealTime();

std::string Compressed(const std::string& data) {
    MemoryStream source(data), packed;
    Compress_LZW().Compress(source, packed);
    return packed.Take();
}

void BM_LZW_Compress_64MB(benchmark::State& state) {
    MemoryStream source(LzwData()), packed;
    for (auto _ : state) {
        if (Compress_LZW().Compress(source, packed) != Compress_LZW::Done) return state.SkipWithError("Compress failed");
    }
    state.counters["ratio"] = static_cast<double>(packed.Size()) / static_cast<double>(kLzwBytes);
    state.SetBytesProcessed(state.iterations() * int64_t{kLzwBytes});
}
BENCHMARK(BM_LZW_Compress_64MB)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_LZW_Expand_64MB(benchmark::State& state) {
    MemoryStream packed(Compressed(LzwData())), expanded;
    for (auto _ : state) {
        if (Compress_LZW().Expand(packed, expanded) != Compress_LZW::Done) return state.SkipWithError("Expand failed");
    }
    if (expanded.Bytes() != LzwData()) state.SkipWithError("Expand gave other bytes");
    state.SetBytesProcessed(state.iterations() * int64_t{kLzwBytes});
}
BENCHMARK(BM_LZW_Expand_64MB)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same 64 MB through ncompress's commands (input from the page cache,
// output to /dev/null), timed as wall clock.
class NcompressFiles {
public:
    NcompressFiles() {
        std::ofstream(plain_ = dir_.File("data"), std::ios::binary) << LzwData();
        packed_ = dir_.File("data.Z");
        ok_ = std::system(("compress -c " + plain_ + " > " + packed_).c_str()) == 0;
    }
    bool Run(const std::string& command, const std::string& file) const {
        return ok_ && std::system((command + " -c " + file + " > /dev/null").c_str()) == 0;
    }
    const std::string& Plain() const { return plain_; }
    const std::string& Packed() const { return packed_; }
    double Ratio() const {
        return static_cast<double>(std::filesystem::file_size(packed_)) / static_cast<double>(kLzwBytes);
    }

private:
    BenchFolder dir_;
    std::string plain_, packed_;
    bool ok_ = false;
};

void BM_ncompress_compress_64MB(benchmark::State& state) {
    NcompressFiles files;
    for (auto _ : state) {
        if (!files.Run("compress", files.Plain())) return state.SkipWithError("compress failed (ncompress installed?)");
    }
    state.counters["ratio"] = files.Ratio();
    state.SetBytesProcessed(state.iterations() * int64_t{kLzwBytes});
}
BENCHMARK(BM_ncompress_compress_64MB)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ncompress_uncompress_64MB(benchmark::State& state) {
    NcompressFiles files;
    for (auto _ : state) {
        if (!files.Run("uncompress", files.Packed())) return state.SkipWithError("uncompress failed (ncompress installed?)");
    }
    state.SetBytesProcessed(state.iterations() * int64_t{kLzwBytes});
}
BENCHMARK(BM_ncompress_uncompress_64MB)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
