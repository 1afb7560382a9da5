#pragma once
// A worker thread with its own stop flag. Every worker is registered process-wide, so that
// the window can ask all of them to stop and wait for them before the process ends.

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include "runtime/StopFlag.h"

namespace ovx {

class WorkerThread {
  public:
    // Starts `routine` at once on a new thread that has this worker's stop flag installed.
    // Null when the thread cannot be created.
    static std::shared_ptr<WorkerThread> Start(std::function<void()> routine);

    // Raises the stop flag of every running worker and waits up to `grace` for them to end,
    // calling `pump` (may be empty) between checks so that calls a worker has posted to this
    // thread can complete. Workers that ended are joined; true when none is left running.
    static bool StopAll(std::chrono::milliseconds grace, const std::function<void()>& pump);
    // Workers started and not yet joined.
    static int RunningCount();

    ~WorkerThread();
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    StopFlag& Stop() { return stop_; }
    bool Finished() const { return finished_.load(std::memory_order_acquire); }
    // Waits for the routine to end; a no-op on the worker's own thread.
    void Join();

  private:
    WorkerThread() = default;

    StopFlag stop_;
    std::atomic<bool> finished_{false};
    std::thread thread_;
};

}  // namespace ovx
