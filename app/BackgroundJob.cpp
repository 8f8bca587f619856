#include "BackgroundJob.h"

#include <QThread>

#include <memory>

namespace kelvaro {

BackgroundJob::BackgroundJob(QObject* parent) : QObject(parent) {}

BackgroundJob::~BackgroundJob() {
    RequestStop();
    Wait();
}

bool BackgroundJob::Start(std::function<void()> work,
                          std::function<void(std::exception_ptr)> done) {
    if (thread_ != nullptr) return false;
    stop_ = false;
    Done = 0;
    Total = 0;
    Days = 0;
    FiguresDone = -1;
    auto error = std::make_shared<std::exception_ptr>();
    thread_ = QThread::create([work = std::move(work), error] {
        try {
            work();
        } catch (...) {
            *error = std::current_exception();
        }
    });
    // Queued to this object's thread; dropped if this object is gone.
    const quint64 generation = ++generation_;
    connect(thread_, &QThread::finished, this, [this, done = std::move(done), error, generation] {
        if (generation != generation_ || thread_ == nullptr) return; // Wait() has taken it
        QThread* thread = std::exchange(thread_, nullptr);
        thread->wait();
        thread->deleteLater();
        done(*error);
        emit Finished();
    });
    thread_->start();
    return true;
}

void BackgroundJob::Wait() {
    if (thread_ == nullptr) return;
    QThread* thread = std::exchange(thread_, nullptr);
    thread->wait();
    delete thread;
}

} // namespace kelvaro
