#include "download/TransferPool.h"

#include <utility>

namespace ovx {

TransferPool::TransferPool(int threads, StopFlag& runStop) : follower_(&runStop, stop_) {
    for (int i = 0; i < threads; ++i) threads_.emplace_back([this] { Serve(); });
}

TransferPool::~TransferPool() {
    Cancel();
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    changed_.notify_all();
    for (std::thread& t : threads_) t.join();
}

void TransferPool::Submit(std::function<void()> work, Ticket& ticket) {
    {
        std::lock_guard lock(mutex_);
        ticket.done_ = false;
        queue_.push_back({std::move(work), &ticket});
    }
    changed_.notify_all();
}

bool TransferPool::Done(const Ticket& ticket) {
    std::lock_guard lock(mutex_);
    return ticket.done_;
}

bool TransferPool::WaitFor(const Ticket& ticket, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return ticket.done_; });
}

void TransferPool::Cancel() {
    stop_.Raise();
}

void TransferPool::Serve() {
    ScopedStopFlag installed(&stop_);
    for (;;) {
        Queued next;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [&] { return quit_ || !queue_.empty(); });
            if (queue_.empty()) return;
            next = std::move(queue_.front());
            queue_.pop_front();
        }
        next.work();
        {
            std::lock_guard lock(mutex_);
            next.ticket->done_ = true;
        }
        changed_.notify_all();
    }
}

}  // namespace ovx
