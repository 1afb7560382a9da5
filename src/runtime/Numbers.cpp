#include "runtime/Numbers.h"

#include <atomic>
#include <chrono>
#include <climits>
#include <cmath>

namespace ovx {
namespace {

thread_local std::uint32_t t_randomState = 1;
// Shared by every thread's unseeded SeedRandom so that seedings in the same millisecond differ.
std::atomic<std::uint32_t> g_seedCounter{0};

std::uint32_t TickMilliseconds() {
    auto since = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

int Draw() {
    t_randomState = t_randomState * 214013u + 2531011u;
    return static_cast<int>((t_randomState >> 16) & 0x7FFF);
}

}  // namespace

int BitOr(std::initializer_list<int> values) {
    int result = 0;
    for (int v : values) result |= v;
    return result;
}

int FloorInt(double value) {
    if (std::isnan(value)) return 0;
    double whole = std::trunc(value);
    double fraction = value - whole;
    if (std::fabs(fraction) > 0.999999999999) value = whole + (value < 0 ? -1.0 : 1.0);
    double floored = std::floor(value);
    if (floored <= static_cast<double>(INT_MIN)) return INT_MIN;
    if (floored >= static_cast<double>(INT_MAX)) return INT_MAX;
    return static_cast<int>(floored);
}

void SeedRandom(std::optional<std::uint32_t> seed) {
    if (seed) {
        t_randomState = *seed;
        return;
    }
    std::uint32_t tick = TickMilliseconds();
    std::uint32_t counter = g_seedCounter.load(std::memory_order_relaxed);
    while (!g_seedCounter.compare_exchange_weak(counter, counter + ((tick + counter) & 0xFF) + 100,
                                                std::memory_order_relaxed)) {
    }
    t_randomState = tick + counter;
}

int RandomInt(std::optional<int> min, std::optional<int> max) {
    int a = min ? std::max(*min, 0) : 0;
    int b = max ? std::max(*max, 0) : INT_MAX;
    int low = std::min(a, b);
    int high = std::max(a, b);
    if (low == high) return low;
    int span = high - low;  // at most INT_MAX
    if (span == INT_MAX) --span;
    return low + Draw() % (span + 1);
}

}  // namespace ovx
