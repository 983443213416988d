#include "search/CaseSearch.h"

#include "db/CaseDB.h"
#include "kellib/Kelcodepage.h"
#include "rtf/RtfCodepage.h"
#include "search/NodeText.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <deque>
#include <new>
#include <system_error>

namespace {

// A batch is what one Step reads from the store at a time: small, so the
// first hits come soon and the store's thread is never held for long.
constexpr size_t kBatchRows = 64;
constexpr size_t kBatchBytes = size_t(1) << 20;

const char* const kBriefcase = "我的公文包";
const char* const kRecycleBin = "回收站";

} // namespace

std::string JoinPath(const SearchHit& hit, const std::string& separator)
{
    std::string joined;
    for (const std::string& caption : hit.Path)
        joined += (joined.empty() ? "" : separator) + caption;
    return joined;
}

struct CaseSearch::Job {
    int row = 0;
    bool read = false;
    SealedNode sealed;
};

// A hit as the pool finds it; its path is made on the store's thread.
struct CaseSearch::Found {
    SearchHit hit;
    int32_t parent = 0;
    std::string caption;   // UTF-8; "?" when it cannot be opened
};

// Batches from the store's thread to the pool. At most limit batches wait,
// so memory stays bounded whatever the store holds.
class CaseSearch::Queue {
public:
    explicit Queue(size_t limit) : limit_(limit) {}

    bool HasRoom()
    {
        std::lock_guard lock(mutex_);
        return batches_.size() < limit_;
    }
    void Push(std::vector<Job> batch)
    {
        std::lock_guard lock(mutex_);
        batches_.push_back(std::move(batch));
        ready_.notify_one();
    }
    // False once closed and empty.
    bool Pop(std::vector<Job>& batch)
    {
        std::unique_lock lock(mutex_);
        ready_.wait(lock, [this] { return closed_ || !batches_.empty(); });
        if (batches_.empty())
            return false;
        batch = std::move(batches_.front());
        batches_.pop_front();
        return true;
    }
    void Close()
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
        ready_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<std::vector<Job>> batches_;
    size_t limit_;
    bool closed_ = false;
};

CaseSearch::CaseSearch(CaseDB& db) : db_(db) {}

CaseSearch::~CaseSearch()
{
    Stop();
    Finish();
}

void CaseSearch::Start(const TextMatcher& matcher, int threads)
{
    Finish();
    matcher_ = std::make_unique<TextMatcher>(matcher);
    stop_ = false;
    done_ = 0;
    hits_ = unreadable_ = 0;
    nextRow_ = 0;
    closed_ = false;
    found_.clear();
    captions_.clear();
    rowOfId_.clear();
    total_ = db_.NodeCount();
    textPreviewExt_ = TextPreviewExtOf(db_);
    const std::vector<int32_t> ids = db_.AllNodeIds();
    for (size_t row = 0; row < ids.size(); ++row)
        rowOfId_.emplace(ids[row], static_cast<int>(row));   // the first row of a repeated id, as the store reads
    if (threads <= 0)
        threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    queue_ = std::make_unique<Queue>(2 * static_cast<size_t>(threads));
    try {
        for (int i = 0; i < threads; ++i) {
            ++running_;
            workers_.emplace_back([this] { Work(); });
        }
    } catch (const std::system_error&) {
        --running_;   // fewer threads than asked; with none, Step tests its batches itself
    }
}

void CaseSearch::Work()
{
    std::vector<Job> batch;
    while (queue_->Pop(batch)) {
        std::vector<Found> found;
        for (const Job& job : batch)
            if (!stop_)
                Test(job, found);
        {
            std::lock_guard lock(foundMutex_);
            std::move(found.begin(), found.end(), std::back_inserter(found_));
        }
        Signal();
    }
    --running_;
    Signal();
}

void CaseSearch::Signal()
{
    {
        std::lock_guard lock(foundMutex_);
        ++signals_;
    }
    signal_.notify_all();
}

void CaseSearch::Wait(int ms)
{
    std::unique_lock lock(foundMutex_);
    signal_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return signals_ != seen_; });
}

bool CaseSearch::Step(const HitFunction& onHit)
{
    if (!queue_)
        return false;
    {
        std::lock_guard lock(foundMutex_);
        seen_ = signals_;
    }
    const int total = total_;
    while (!stop_ && nextRow_ < total && (workers_.empty() || queue_->HasRoom())) {
        std::vector<Job> batch;
        size_t bytes = 0;
        for (; nextRow_ < total && batch.size() < kBatchRows && bytes < kBatchBytes; ++nextRow_) {
            Job& job = batch.emplace_back();
            job.row = nextRow_;
            job.read = db_.ReadSealedRow(nextRow_, job.sealed, true);
            bytes += job.sealed.SealedData.size();
        }
        if (!workers_.empty()) {
            queue_->Push(std::move(batch));
            continue;
        }
        std::vector<Found> found;
        for (const Job& job : batch)
            Test(job, found);
        Hand(std::move(found), onHit);
        break;   // one batch per step without a pool
    }
    if (!closed_ && (stop_ || nextRow_ >= total)) {
        queue_->Close();
        closed_ = true;
    }
    const bool over = closed_ && running_ == 0;
    std::vector<Found> found;
    {
        std::lock_guard lock(foundMutex_);
        found.swap(found_);
    }
    Hand(std::move(found), onHit);
    if (over)
        Finish();
    return !over;
}

SearchSummary CaseSearch::Run(const TextMatcher& matcher, const HitFunction& onHit, int threads)
{
    Start(matcher, threads);
    while (Step(onHit))
        Wait(50);
    return Summary();
}

SearchSummary CaseSearch::Summary() const
{
    return {total_, done_, hits_, unreadable_, stop_.load()};
}

void CaseSearch::Finish()
{
    if (queue_)
        queue_->Close();
    for (std::thread& worker : workers_)
        worker.join();
    workers_.clear();
    queue_.reset();
}

void CaseSearch::Test(const Job& job, std::vector<Found>& found)
{
    Found f;
    SearchHit& hit = f.hit;
    hit.Row = job.row;
    hit.Id = job.sealed.Id;
    hit.Type = job.sealed.Type;
    f.parent = job.sealed.Parent;
    CaseNode node;
    try {
        if (!job.read || !db_.OpenSealedNode(job.sealed, node, true)) {
            hit.Place = SearchHit::kUnreadable;
            CaseNode head;   // the caption may still open when the content does not
            const bool captionOpened = job.read && db_.OpenSealedNode(job.sealed, head, false);
            f.caption = captionOpened ? AnsiToUtf8(head.Caption) : "?";
        } else {
            const std::u32string caption = AnsiText(node.Caption);
            // Most text is stored as it reads: a byte search leaves out most
            // nodes before anything is decoded.
            const auto plain = PlainStoredText(node, textPreviewExt_);
            std::u32string text;
            if (!plain)
                text = ReadableText(node, textPreviewExt_).value_or(std::u32string());
            else if (matcher_->MayMatchBytes(plain->bytes, plain->utf8))
                text = DecodedText(*plain);
            const size_t inText = matcher_->Find(text);
            if (inText != std::u32string::npos) {
                hit.Context = ContextLine(text, inText, matcher_->Length());
            } else if (matcher_->Find(caption) != std::u32string::npos) {
                hit.Place = SearchHit::kCaption;
                hit.Context = Utf32ToUtf8(caption);
            } else {
                ++done_;
                return;
            }
            f.caption = Utf32ToUtf8(caption);
        }
    } catch (const std::bad_alloc&) {
        hit.Place = SearchHit::kUnreadable;
        hit.Context.clear();
        f.caption.assign(1, '?');
    }
    ++done_;
    found.push_back(std::move(f));
}

void CaseSearch::Hand(std::vector<Found> found, const HitFunction& onHit)
{
    for (Found& f : found) {
        if (stop_)
            return;   // nothing more after a stop
        ++hits_;
        if (f.hit.Place == SearchHit::kUnreadable)
            ++unreadable_;
        f.hit.Path = PathOf(f.parent);
        f.hit.Path.push_back(std::move(f.caption));
        if (onHit)
            onHit(f.hit);
    }
}

std::vector<std::string> CaseSearch::PathOf(int32_t parent)
{
    const std::vector<int32_t> walk = db_.Ancestry(parent);
    std::vector<std::string> path;
    for (int32_t id : walk) {
        if (id == kParentTop || id == kParentRecycleBin)
            break;
        auto it = captions_.find(id);
        if (it == captions_.end()) {
            auto row = rowOfId_.find(id);
            SealedNode sealed;
            CaseNode node;
            const bool opened = row != rowOfId_.end() && db_.ReadSealedRow(row->second, sealed, false)
                                && db_.OpenSealedNode(sealed, node, false);
            it = captions_.emplace(id, opened ? AnsiToUtf8(node.Caption) : std::string("?")).first;
        }
        path.push_back(it->second);
    }
    // Off the tree (a missing parent, or parents in a circle) the path starts with "?".
    const int32_t end = walk.empty() ? parent : walk.back();
    path.push_back(end == kParentTop ? std::string(kBriefcase) : end == kParentRecycleBin ? std::string(kRecycleBin) : "?");
    std::reverse(path.begin(), path.end());
    return path;
}
