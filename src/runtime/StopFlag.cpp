#include "runtime/StopFlag.h"

#include <algorithm>

namespace ovx {
namespace {
thread_local StopFlag* tCurrent = nullptr;
}

void StopFlag::Raise() {
    {
        std::lock_guard lock(mutex_);
        raised_.store(true, std::memory_order_release);
        // Under the lock: a follower is not unhooked (and gone) while it is raised.
        for (StopFlag* f : followers_) f->Raise();
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

StopFlagFollower::StopFlagFollower(StopFlag* leader, StopFlag& follower)
    : leader_(leader), follower_(follower) {
    if (leader_ == nullptr) return;
    bool raised = false;
    {
        std::lock_guard lock(leader_->mutex_);
        leader_->followers_.push_back(&follower_);
        raised = leader_->Raised();
    }
    if (raised) follower_.Raise();
}

StopFlagFollower::~StopFlagFollower() {
    if (leader_ == nullptr) return;
    std::lock_guard lock(leader_->mutex_);
    auto& f = leader_->followers_;
    f.erase(std::find(f.begin(), f.end(), &follower_));
}

StopFlag* CurrentStopFlag() { return tCurrent; }

bool StopRequested() { return tCurrent != nullptr && tCurrent->Raised(); }

ScopedStopFlag::ScopedStopFlag(StopFlag* flag) : previous_(tCurrent) { tCurrent = flag; }

ScopedStopFlag::~ScopedStopFlag() { tCurrent = previous_; }

}  // namespace ovx
