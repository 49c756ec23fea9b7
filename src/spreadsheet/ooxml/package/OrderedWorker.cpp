#include "spreadsheet/ooxml/package/OrderedWorker.h"

#include <system_error>

namespace quillory::spreadsheet::ooxml {

OrderedWorker::OrderedWorker(std::size_t maxQueuedBytes, Mode mode)
    : maxQueuedBytes_(maxQueuedBytes) {
    if (mode == Mode::Inline) {
        return;
    }
    try {
        thread_ = std::thread([this] { loop(); });
    } catch (const std::system_error&) {
        // No thread to be had (resource limits): the work still gets done, only on one core.
    }
}

OrderedWorker::~OrderedWorker() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        queue_.clear();
    }
    workAvailable_.notify_all();
    spaceAvailable_.notify_all();
    if (thread_.joinable()) {
        thread_.join();
    }
}

void OrderedWorker::rethrowFailure() {
    if (failure_) {
        std::rethrow_exception(failure_);
    }
}

void OrderedWorker::submit(std::function<void()> task, std::size_t bytes) {
    if (!thread_.joinable()) {
        rethrowFailure();
        try {
            task();
        } catch (...) {
            failure_ = std::current_exception();
            throw;
        }
        return;
    }
    std::unique_lock lock(mutex_);
    // A task larger than the whole budget still goes in once the queue is empty.
    spaceAvailable_.wait(lock, [&] {
        return failure_ || queue_.empty() || queuedBytes_ + bytes <= maxQueuedBytes_;
    });
    rethrowFailure();
    queue_.push_back(Task{std::move(task), bytes});
    queuedBytes_ += bytes;
    lock.unlock();
    workAvailable_.notify_one();
}

void OrderedWorker::drain() {
    if (!thread_.joinable()) {
        rethrowFailure();
        return;
    }
    std::unique_lock lock(mutex_);
    spaceAvailable_.wait(lock, [&] { return failure_ || (queue_.empty() && !running_); });
    rethrowFailure();
}

void OrderedWorker::loop() {
    std::unique_lock lock(mutex_);
    for (;;) {
        workAvailable_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
        if (stopping_) {
            return;
        }
        Task task = std::move(queue_.front());
        queue_.pop_front();
        running_ = true;
        lock.unlock();
        std::exception_ptr failure;
        try {
            task.run();
        } catch (...) {
            failure = std::current_exception();
        }
        task.run = nullptr; // frees the task's data outside the lock
        lock.lock();
        running_ = false;
        queuedBytes_ -= task.bytes;
        if (failure) {
            failure_ = failure;
            queue_.clear();
            queuedBytes_ = 0;
        }
        spaceAvailable_.notify_all();
        if (failure_) {
            // Nothing more runs; the producer learns of the failure at its next call.
            workAvailable_.wait(lock, [&] { return stopping_; });
            return;
        }
    }
}

} // namespace quillory::spreadsheet::ooxml
