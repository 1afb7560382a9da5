#pragma once
// Cooperative stopping. A job owns a StopFlag; the worker thread that runs the job installs it
// with ScopedStopFlag, and every blocking step below (a web request, a wait) asks
// CurrentStopFlag() whether to give up. Raising the flag wakes every wait at once.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

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
    std::atomic<bool> raised_{false};
    std::mutex mutex_;
    std::condition_variable wake_;
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
