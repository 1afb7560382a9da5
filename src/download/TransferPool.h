#pragma once
// A few threads of an album's own on which its image and video fetches run side by side,
// started in the order they are given. Their transfers share one TransferHub. The pool has a
// stop flag of its own, installed on its threads and raised with the run's: Cancel() ends the
// pool's work without stopping the run.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "runtime/StopFlag.h"
#include "web/TransferHub.h"

namespace ovx {

class TransferPool {
  public:
    // Submitted work: done once it has run.
    class Ticket {
        friend class TransferPool;
        bool done_ = false;
    };

    TransferPool(int threads, StopFlag& runStop);
    // Cancels what is left and joins the threads.
    ~TransferPool();
    TransferPool(const TransferPool&) = delete;
    TransferPool& operator=(const TransferPool&) = delete;

    // Queues the work; `ticket` must live until it is done.
    void Submit(std::function<void()> work, Ticket& ticket);
    bool Done(const Ticket& ticket);
    // Waits until the ticket's work has run, at most `timeout`; true when it has. Work that is
    // already running ends within its own bounds (at once after a stop or Cancel); queued
    // work then runs stopped.
    bool WaitFor(const Ticket& ticket, std::chrono::milliseconds timeout);
    // Every transfer of the pool ends at once; work not yet begun runs with the stop raised.
    void Cancel();

    TransferHub& Hub() { return hub_; }

  private:
    struct Queued {
        std::function<void()> work;
        Ticket* ticket;
    };
    void Serve();

    StopFlag stop_;
    StopFlagFollower follower_;
    TransferHub hub_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Queued> queue_;
    bool quit_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace ovx
