#include "download/JobControl.h"

namespace ovx {

void JobControl::Pause() {
    std::lock_guard lock(mutex_);
    paused_.store(true, std::memory_order_release);
}

void JobControl::Continue() {
    {
        std::lock_guard lock(mutex_);
        paused_.store(false, std::memory_order_release);
    }
    wake_.notify_all();
}

void JobControl::Stop() {
    stop_.Raise();
    // Take the lock so a worker between its check and its wait cannot miss the wake-up.
    { std::lock_guard lock(mutex_); }
    wake_.notify_all();
}

bool JobControl::Checkpoint() {
    return Checkpoint(nullptr);
}

bool JobControl::Checkpoint(const std::function<void()>& beforeHolding) {
    std::unique_lock lock(mutex_);
    auto running = [this] { return !paused_.load(std::memory_order_acquire) || stop_.Raised(); };
    if (beforeHolding && !running()) {
        lock.unlock();
        beforeHolding();
        lock.lock();
    }
    wake_.wait(lock, running);
    return !stop_.Raised();
}

}  // namespace ovx
