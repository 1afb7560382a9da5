#include "web/PumpingDelay.h"

#include <memory>
#include <mutex>

#include "runtime/StopFlag.h"

namespace ovx {
namespace {

std::mutex gHandlerMutex;
std::shared_ptr<const PumpingHandler> gHandler;

// The handler for the calling thread, or null.
std::shared_ptr<const PumpingHandler> HandlerForThisThread() {
    std::lock_guard lock(gHandlerMutex);
    if (gHandler && gHandler->thread == std::this_thread::get_id()) return gHandler;
    return nullptr;
}

std::chrono::milliseconds ToDuration(long long amount, int unit) {
    if (amount <= 0) return std::chrono::milliseconds(0);
    static constexpr long long kMultiplier[] = {1, 1000, 60000, 3600000};
    long long multiplier = unit >= 1 && unit <= 3 ? kMultiplier[unit] : 1;
    // Capped at about a hundred years rather than overflowing.
    constexpr long long kMax = 100LL * 365 * 24 * 3600000;
    long long ms = amount > kMax / multiplier ? kMax : amount * multiplier;
    return std::chrono::milliseconds(ms);
}

}  // namespace

bool PumpingDelay(long long amount, int unit) {
    std::chrono::milliseconds duration = ToDuration(amount, unit);
    if (auto handler = HandlerForThisThread(); handler && handler->wait) {
        handler->wait(duration);
    } else if (StopFlag* flag = CurrentStopFlag()) {
        flag->WaitFor(duration);
    } else {
        std::this_thread::sleep_for(duration);
    }
    return true;
}

bool PumpingDelay(long long amount, DelayUnit unit) {
    return PumpingDelay(amount, static_cast<int>(unit));
}

void PumpPendingInput() {
    if (auto handler = HandlerForThisThread(); handler && handler->pump) handler->pump();
}

void SetPumpingDelayHandler(PumpingHandler handler) {
    auto installed = handler.wait || handler.pump
                         ? std::make_shared<const PumpingHandler>(std::move(handler))
                         : nullptr;
    std::lock_guard lock(gHandlerMutex);
    gHandler = std::move(installed);
}

}  // namespace ovx
