#pragma once
// Cooperative stopping. A job owns a StopFlag; the worker thread that runs the job installs it
// with ScopedStopFlag, and every blocking step below (a web request, a wait) asks
// CurrentStopFlag() whether to give up. Raising the flag wakes every wait at once.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

namespace ovx {

class StopFlag {
public:
    void Raise();
    // Lowers the flag again, for a job object that is reused.
    void Reset();
    bool Raised() const { return raised_.load(std::memory_order_acquire); }
    // Waits up to `timeout`; false when the flag was raised before or during the wait.
    bool WaitFor(std::chrono::milliseconds timeout);

private:
    friend class StopFlagFollower;
    std::atomic<bool> raised_{false};
    std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<StopFlag*> followers_;  // raised with this one (StopFlagFollower)
};

// While it lives, raising `leader` raises `follower` too (at once when the leader is raised
// already): work of a job's own that can also be ended without ending the job. A null leader
// leads nothing. The leader must outlive this object.
class StopFlagFollower {
public:
    StopFlagFollower(StopFlag* leader, StopFlag& follower);
    ~StopFlagFollower();
    StopFlagFollower(const StopFlagFollower&) = delete;
    StopFlagFollower& operator=(const StopFlagFollower&) = delete;

private:
    StopFlag* leader_;
    StopFlag& follower_;
};

// The flag installed on the calling thread, or nullptr.
StopFlag* CurrentStopFlag();
// True when the calling thread's job has been asked to stop.
bool StopRequested();

// Installs a flag on the calling thread for the lifetime of this object.
class ScopedStopFlag {
public:
    explicit ScopedStopFlag(StopFlag* flag);
    ~ScopedStopFlag();
    ScopedStopFlag(const ScopedStopFlag&) = delete;
    ScopedStopFlag& operator=(const ScopedStopFlag&) = delete;

private:
    StopFlag* previous_;
};

}  // namespace ovx
