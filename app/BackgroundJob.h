// One piece of long work at a time on a thread of its own, so that the window
// keeps painting; its end is reported back on the window's thread.
#pragma once

#include <QObject>

#include <atomic>
#include <exception>
#include <functional>

class QThread;

namespace kelvaro {

class BackgroundJob : public QObject {
    Q_OBJECT

public:
    explicit BackgroundJob(QObject* parent = nullptr);
    // Waits for a running job (after asking it to stop) before going.
    ~BackgroundJob() override;

    // Runs `work` on a new thread and then `done` on this object's thread
    // with whatever `work` threw (null for none). False while another job
    // runs. A job that sees StopRequested() should return early.
    bool Start(std::function<void()> work, std::function<void(std::exception_ptr)> done);

    bool Busy() const { return thread_ != nullptr; }
    void RequestStop() { stop_ = true; }
    bool StopRequested() const { return stop_; }
    // Blocks until the running job has returned; its `done` is then not run.
    void Wait();

    // Progress of the running job, written by the job, read by the window:
    // Done of Total, and for a valuation its trading days and, once they
    // have started, the figures' revaluations finished (-1 before).
    std::atomic<int> Done{0};
    std::atomic<int> Total{0};
    std::atomic<int> Days{0};
    std::atomic<int> FiguresDone{-1};

signals:
    void Finished();

private:
    QThread* thread_ = nullptr;
    quint64 generation_ = 0; // tells a stale end report from the current job's
    std::atomic<bool> stop_{false};
};

} // namespace kelvaro
