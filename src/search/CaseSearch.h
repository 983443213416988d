// The full-text search over every node of an open, logged-in store: its
// caption and its readable text (NodeText). The store is not thread-safe:
// only the thread that starts the search touches it, reading the sealed rows
// in small batches in Step, while a pool of threads opens, decodes and tests
// them. A node that cannot be opened is a hit of its own kind and the search
// goes on.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "search/TextMatch.h"

class CaseDB;

struct SearchHit {
    enum Where { kCaption, kContent, kUnreadable };
    int Row = 0;   // position in the store's row order: sorts hits the same way every run
    int32_t Id = 0;
    int Type = 0;
    Where Place = kContent;
    // Captions (UTF-8) from the top item ("我的公文包" or "回收站") down to the
    // node; "?" for one that cannot be read.
    std::vector<std::string> Path;
    std::string Context;   // the line around the match (UTF-8); the caption for a caption match
};

// The path joined with separator.
std::string JoinPath(const SearchHit& hit, const std::string& separator);

struct SearchSummary {
    int Total = 0;        // nodes in the store
    int Done = 0;         // nodes searched
    int Hits = 0;         // hits of any kind
    int Unreadable = 0;   // of them, nodes that could not be opened
    bool Stopped = false;
};

class CaseSearch {
public:
    using HitFunction = std::function<void(const SearchHit&)>;

    explicit CaseSearch(CaseDB& db);
    ~CaseSearch();   // stops and waits for the pool
    CaseSearch(const CaseSearch&) = delete;
    CaseSearch& operator=(const CaseSearch&) = delete;

    // Starts the pool (threads 0: one per processor). The calling thread then
    // calls Step until it returns false, and uses the store only in between.
    void Start(const TextMatcher& matcher, int threads = 0);
    // Reads rows while the pool has room and hands the hits found so far to
    // onHit, on this thread. False once the search is over (every node done,
    // or stopped) and every hit handed over.
    bool Step(const HitFunction& onHit);
    // Waits until Step has new work, at most ms milliseconds.
    void Wait(int ms);
    // Start, then Step and Wait until the end.
    SearchSummary Run(const TextMatcher& matcher, const HitFunction& onHit, int threads = 0);

    // Any thread, any moment: the pool skips what is left, Step ends soon.
    void Stop() { stop_ = true; }
    // Progress, from any thread.
    int Done() const { return done_; }
    int Total() const { return total_; }
    SearchSummary Summary() const;

private:
    struct Job;
    struct Found;
    class Queue;

    void Work();
    void Test(const Job& job, std::vector<Found>& found);
    void Hand(std::vector<Found> found, const HitFunction& onHit);
    std::vector<std::string> PathOf(int32_t parent);
    void Signal();
    void Finish();

    CaseDB& db_;
    std::unique_ptr<TextMatcher> matcher_;
    std::string textPreviewExt_;
    std::unique_ptr<Queue> queue_;
    std::vector<std::thread> workers_;
    int nextRow_ = 0;
    bool closed_ = false;
    std::atomic<bool> stop_{false};
    std::atomic<int> done_{0};
    std::atomic<int> total_{0};
    std::atomic<int> running_{0};   // workers not yet ended
    int hits_ = 0, unreadable_ = 0;

    std::mutex foundMutex_;
    std::vector<Found> found_;   // hits of the pool not yet handed over
    std::condition_variable signal_;
    uint64_t signals_ = 0, seen_ = 0;   // under foundMutex_

    // Store-thread side: row of each id, and the caption (UTF-8) of each
    // node a path went through.
    std::unordered_map<int32_t, int> rowOfId_;
    std::unordered_map<int32_t, std::string> captions_;
};
