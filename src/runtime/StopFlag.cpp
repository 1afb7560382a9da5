#include "runtime/StopFlag.h"

namespace ovx {
namespace {
thread_local StopFlag* tCurrent = nullptr;
}

void StopFlag::Raise() {
    {
        std::lock_guard lock(mutex_);
        raised_.store(true, std::memory_order_release);
    }
    wake_.notify_all();
}

void StopFlag::Reset() {
    std::lock_guard lock(mutex_);
    raised_.store(false, std::memory_order_release);
}

bool StopFlag::WaitFor(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return !wake_.wait_for(lock, timeout, [this] { return Raised(); });
}

StopFlag* CurrentStopFlag() { return tCurrent; }

bool StopRequested() { return tCurrent != nullptr && tCurrent->Raised(); }

ScopedStopFlag::ScopedStopFlag(StopFlag* flag) : previous_(tCurrent) { tCurrent = flag; }

ScopedStopFlag::~ScopedStopFlag() { tCurrent = previous_; }

}  // namespace ovx
