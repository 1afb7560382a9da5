#pragma once
// Waits that keep the caller responsive. On a worker thread a wait ends early when the
// thread's job is asked to stop (runtime/StopFlag.h); on the window's thread the window
// installs a handler that keeps its event loop running during the wait.

#include <chrono>
#include <functional>
#include <thread>

namespace ovx {

// Units of PumpingDelay's amount.
enum class DelayUnit { Milliseconds = 0, Seconds = 1, Minutes = 2, Hours = 3 };

// Waits `amount` units (unit 0 milliseconds, 1 seconds, 2 minutes, 3 hours; any other unit
// counts as milliseconds; a negative amount as 0). Returns true once the time has passed or
// the wait was cut short by a stop; callers that care ask StopRequested() afterwards.
bool PumpingDelay(long long amount, int unit = 0);
bool PumpingDelay(long long amount, DelayUnit unit);

// Lets the calling thread's pending events run once, where a handler is installed for it;
// elsewhere it does nothing.
void PumpPendingInput();

// What the window installs for its own thread: `wait` runs a local event loop for the given
// time, `pump` processes pending events once. Either may be empty.
struct PumpingHandler {
    std::thread::id thread;
    std::function<void(std::chrono::milliseconds)> wait;
    std::function<void()> pump;
};

// Installs the handler process-wide (replacing any previous one); calls made on
// `handler.thread` then go through it. A default-constructed handler removes it.
void SetPumpingDelayHandler(PumpingHandler handler);

}  // namespace ovx
