#pragma once
// Pause, continue and stop of a download run, cooperative: the worker calls Checkpoint()
// before every request, file write and record operation. Checkpoint() holds the worker while
// the run is paused and reports a stop; raising stop also cuts every wait and transfer of the
// worker short (it owns the StopFlag the worker installs).

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>

#include "runtime/StopFlag.h"

namespace ovx {

class JobControl {
  public:
    void Pause();
    void Continue();
    void Stop();

    bool Paused() const { return paused_.load(std::memory_order_acquire); }
    bool Stopped() const { return stop_.Raised(); }

    // On the worker: waits while paused; false once a stop has been asked for.
    bool Checkpoint();
    // The same; `beforeHolding` runs (without the lock) once before the worker is held by a
    // pause, so that what the worker has pending is not held for as long as the pause lasts.
    bool Checkpoint(const std::function<void()>& beforeHolding);

    // The flag to install on the worker thread (ScopedStopFlag).
    StopFlag& Flag() { return stop_; }

  private:
    StopFlag stop_;
    std::atomic<bool> paused_{false};
    std::mutex mutex_;
    std::condition_variable wake_;
};

}  // namespace ovx
