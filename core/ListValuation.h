// A list of warrants valued on a pool of threads, each row as ValueWarrant
// values it alone. kelvaro --batch has them handed back in input order as
// soon as it and every row before it are done, so that it streams them and
// holds only the rows in flight; the list window has each handed back as it
// finishes, and cancels the rest when it closes.
#pragma once

#include "WarrantValuation.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace kelvaro {

// One row of the list: its fields by the list's columns (an empty field
// takes the shared text), or why it could not be read.
struct ListRow {
    int64_t Line = 0;
    std::vector<std::string> Fields;
    std::optional<std::string> Malformed; // valued as an InputError with this message
};

// The row's inputs: its fields in the input columns over `shared` (an empty
// field, and a column that is no input, leave the shared text).
InputTexts RowTexts(const std::vector<std::string>& columns, const InputTexts& shared,
                    const ListRow& row);

// How a list is valued and handed back.
struct ListOptions {
    enum Order {
        kInputOrder, // each row once it and every row before it are done
        kAsFinished, // each row as soon as it is done
    };
    Order HandBack = kInputOrder;
    // ValueWarrant's options: vega and rho (RowOptions::VegaRho). A row is
    // also stopped by Cancel.
    bool VegaRho = true;
};

class ListValuation {
public:
    // Called on one thread for each row (in the order ListOptions asks).
    // Returning false stops the list: Submit and Finish return false from
    // then on.
    using RowValued = std::function<bool(const ListRow& row, const WarrantRun& run)>;

    // Rows are read by `columns` (list columns, see RowTexts) over `shared`
    // (the texts of every row's other inputs), on `jobs` threads.
    ListValuation(std::vector<std::string> columns, InputTexts shared, int jobs, RowValued valued,
                  ListOptions options = {});
    ~ListValuation();

    ListValuation(const ListValuation&) = delete;
    ListValuation& operator=(const ListValuation&) = delete;

    // Queues a row; in input order once fewer than 4 per thread are between
    // being queued and handed back (as finished, at once: the caller holds
    // every row anyway).
    bool Submit(ListRow row);
    // Waits until every queued row is handed back.
    bool Finish();
    // Stops the list from any thread: rows queued are dropped, rows being
    // valued stop at their next trading day, and no row is handed back
    // after the one being handed back, if any, returns. Submit and Finish
    // return false from then on; the destructor waits for the threads.
    void Cancel();

    int64_t Failed() const; // rows handed back with a status other than kValued
    int64_t Done() const;   // rows handed back

private:
    struct Valued {
        ListRow Row;
        WarrantRun Run;
    };

    void Work();
    WarrantRun Value(const ListRow& row) const;
    bool NextDone() const;
    void HandBack();

    const std::vector<std::string> columns_;
    const InputTexts shared_;
    const RowValued valued_;
    const ListOptions options_;
    const std::size_t window_;
    mutable std::mutex m_;
    std::condition_variable workReady_, resultReady_, space_;
    std::deque<std::pair<std::size_t, ListRow>> queue_;
    std::map<std::size_t, Valued> done_;
    std::size_t read_ = 0, written_ = 0;
    int64_t failed_ = 0;
    bool closed_ = false, stopped_ = false;
    std::atomic<bool> cancelled_ = false;
    std::vector<std::thread> workers_;
    std::thread writer_;
};

} // namespace kelvaro
