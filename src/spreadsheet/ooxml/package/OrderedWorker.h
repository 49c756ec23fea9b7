#pragma once
// Runs tasks one after another, in the order they were handed in, on a second thread, so that
// the thread producing them (the sheet parser) and the one consuming them (the compressor) use
// both cores. Work waiting in the queue is bounded in bytes: a producer faster than the worker
// waits instead of buffering a whole part. The first task that throws stops the worker; its
// exception is rethrown to the producer at its next call, and the tasks after it never run.
// Where no thread can be started the tasks run at once on the caller's thread.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

namespace quillory::spreadsheet::ooxml {

class OrderedWorker {
public:
    enum class Mode { Background, Inline };

    explicit OrderedWorker(std::size_t maxQueuedBytes, Mode mode = Mode::Background);
    // Drops the tasks not yet run and waits for the one running: no thread outlives the worker.
    ~OrderedWorker();
    OrderedWorker(const OrderedWorker&) = delete;
    OrderedWorker& operator=(const OrderedWorker&) = delete;

    // Queues `task`, which holds about `bytes` of data; waits while the queue is full. Rethrows
    // the failure of an earlier task.
    void submit(std::function<void()> task, std::size_t bytes);
    // Waits until every queued task has run; rethrows the failure of any of them.
    void drain();
    bool background() const { return thread_.joinable(); }

private:
    struct Task {
        std::function<void()> run;
        std::size_t bytes = 0;
    };
    void loop();
    void rethrowFailure();

    const std::size_t maxQueuedBytes_;
    std::mutex mutex_;
    std::condition_variable workAvailable_;
    std::condition_variable spaceAvailable_;
    std::deque<Task> queue_;
    std::size_t queuedBytes_ = 0;
    bool running_ = false; // a task is being run by the worker
    bool stopping_ = false;
    std::exception_ptr failure_;
    std::thread thread_;
};

} // namespace quillory::spreadsheet::ooxml
