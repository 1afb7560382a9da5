#include "app/WorkerThread.h"

#include <algorithm>
#include <mutex>
#include <system_error>
#include <vector>

namespace ovx {
namespace {

std::mutex registryMutex;
std::vector<std::shared_ptr<WorkerThread>>& Registry() {
    static auto* workers = new std::vector<std::shared_ptr<WorkerThread>>();  // outlives exit
    return *workers;
}

// Drops the workers that have finished (joining them) and returns those still running.
std::vector<std::shared_ptr<WorkerThread>> ReapFinished() {
    std::vector<std::shared_ptr<WorkerThread>> finished, running;
    {
        std::lock_guard lock(registryMutex);
        auto& all = Registry();
        for (auto& w : all) (w->Finished() ? finished : running).push_back(w);
        all = running;
    }
    for (auto& w : finished) w->Join();
    return running;
}

}  // namespace

std::shared_ptr<WorkerThread> WorkerThread::Start(std::function<void()> routine) {
    ReapFinished();
    std::shared_ptr<WorkerThread> worker(new WorkerThread());
    WorkerThread* raw = worker.get();
    try {
        worker->thread_ = std::thread([raw, routine = std::move(routine)] {
            {
                ScopedStopFlag scoped(&raw->stop_);
                if (routine) routine();
            }
            raw->finished_.store(true, std::memory_order_release);
        });
    } catch (const std::system_error&) {
        return nullptr;
    }
    std::lock_guard lock(registryMutex);
    Registry().push_back(worker);
    return worker;
}

bool WorkerThread::StopAll(std::chrono::milliseconds grace, const std::function<void()>& pump) {
    {
        std::lock_guard lock(registryMutex);
        for (auto& w : Registry()) w->stop_.Raise();
    }
    const auto deadline = std::chrono::steady_clock::now() + grace;
    for (;;) {
        if (ReapFinished().empty()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        if (pump) pump();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

int WorkerThread::RunningCount() {
    return static_cast<int>(ReapFinished().size());
}

void WorkerThread::Join() {
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

WorkerThread::~WorkerThread() {
    // The registry holds every worker until it is joined; a worker still running here is one
    // the process gave up on at exit.
    if (thread_.joinable()) {
        if (Finished() && thread_.get_id() != std::this_thread::get_id())
            thread_.join();
        else
            thread_.detach();
    }
}

}  // namespace ovx
