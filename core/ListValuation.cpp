#include "ListValuation.h"

#include "KernelThreads.h"

#include <utility>

namespace kelvaro {

InputTexts RowTexts(const std::vector<std::string>& columns, const InputTexts& shared,
                    const ListRow& row) {
    InputTexts texts = shared;
    for (std::size_t i = 0; i < columns.size() && i < row.Fields.size(); ++i)
        if (!row.Fields[i].empty() && IsInput(columns[i])) texts[columns[i]] = row.Fields[i];
    return texts;
}

ListValuation::ListValuation(std::vector<std::string> columns, InputTexts shared, int jobs,
                             RowValued valued, ListOptions options)
    : columns_(std::move(columns)), shared_(std::move(shared)), valued_(std::move(valued)),
      options_(options), window_(4 * static_cast<std::size_t>(jobs)) {
    for (int i = 0; i < jobs; ++i) workers_.emplace_back([this] { Work(); });
    writer_ = std::thread([this] { HandBack(); });
}

ListValuation::~ListValuation() {
    // Rows still being valued (the output failed) are stopped.
    Cancel();
    {
        std::lock_guard lock(m_);
        closed_ = true;
    }
    workReady_.notify_all();
    for (std::thread& t : workers_) t.join();
    writer_.join();
}

bool ListValuation::Submit(ListRow row) {
    std::unique_lock lock(m_);
    if (options_.HandBack == ListOptions::kInputOrder)
        space_.wait(lock, [this] { return read_ - written_ < window_ || stopped_; });
    if (stopped_) return false;
    queue_.emplace_back(read_++, std::move(row));
    lock.unlock();
    workReady_.notify_one();
    return true;
}

bool ListValuation::Finish() {
    std::unique_lock lock(m_);
    space_.wait(lock, [this] { return written_ == read_ || stopped_; });
    return !stopped_;
}

void ListValuation::Cancel() {
    {
        std::lock_guard lock(m_);
        cancelled_ = true;
        stopped_ = true;
        queue_.clear();
        done_.clear();
    }
    space_.notify_all();
    resultReady_.notify_all();
}

int64_t ListValuation::Failed() const {
    std::lock_guard lock(m_);
    return failed_;
}

int64_t ListValuation::Done() const {
    std::lock_guard lock(m_);
    return static_cast<int64_t>(written_);
}

WarrantRun ListValuation::Value(const ListRow& row) const {
    if (row.Malformed) {
        WarrantRun run;
        run.Status = kInputRefused;
        run.Error = *row.Malformed;
        return run;
    }
    RowOptions options;
    options.VegaRho = options_.VegaRho;
    options.KeepGoing = [this] { return !cancelled_; };
    return ValueWarrant(RowTexts(columns_, shared_, row), options);
}

void ListValuation::Work() {
    // Each worker values whole warrants: one roll-back on one thread.
    UseKernelThreadsOnThisThread(false);
    for (;;) {
        std::unique_lock lock(m_);
        workReady_.wait(lock, [this] { return closed_ || !queue_.empty(); });
        if (queue_.empty()) return;
        auto [seq, row] = std::move(queue_.front());
        queue_.pop_front();
        lock.unlock();
        WarrantRun run = Value(row);
        lock.lock();
        if (cancelled_) continue;
        done_.emplace(seq, Valued{std::move(row), std::move(run)});
        lock.unlock();
        resultReady_.notify_all();
    }
}

// Whether a row can be handed back: the next in input order, or any.
// Rows finish while the lock is let go for handing back, so a wait must
// look rather than trust a wake-up.
bool ListValuation::NextDone() const {
    if (options_.HandBack == ListOptions::kAsFinished) return !done_.empty();
    return !done_.empty() && done_.begin()->first == written_;
}

// Hands back the valued rows that may go, outside the lock.
void ListValuation::HandBack() {
    const bool inOrder = options_.HandBack == ListOptions::kInputOrder;
    std::unique_lock lock(m_);
    for (;;) {
        resultReady_.wait(lock, [this] { return closed_ || cancelled_ || NextDone(); });
        if (closed_ || cancelled_) return;
        std::vector<Valued> next;
        for (auto it = done_.begin();
             it != done_.end() && (!inOrder || it->first == written_ + next.size());
             it = done_.erase(it))
            next.push_back(std::move(it->second));
        lock.unlock();
        std::size_t handed = 0;
        int64_t failed = 0;
        bool ok = true;
        for (const Valued& v : next) {
            if (cancelled_) break;
            ok = valued_(v.Row, v.Run);
            ++handed;
            failed += v.Run.Status != kValued;
            if (!ok) break;
        }
        lock.lock();
        written_ += handed;
        failed_ += failed;
        stopped_ = stopped_ || !ok;
        space_.notify_all();
        if (!ok) return;
    }
}

} // namespace kelvaro
