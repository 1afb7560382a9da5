#include "RequestThrottle.h"

#include <algorithm>
#include <cmath>

namespace photoservice {

int RequestThrottle::Check(const std::string& path, Clock::time_point now) {
    if (!rule_.enabled) return -1;
    if (std::none_of(rule_.paths.begin(), rule_.paths.end(),
                     [&](const PathPattern& p) { return p.Matches(path); })) {
        return -1;
    }
    std::lock_guard lock(mutex_);
    if (banned_ && !rule_.forever && now >= banEnd_) banned_ = false;
    if (!banned_) {
        auto window = std::chrono::duration<double>(rule_.windowSeconds);
        recent_.push_back(now);
        while (now - recent_.front() >= window) recent_.pop_front();
        if (static_cast<long>(recent_.size()) <= rule_.maxRequests) return -1;
        // Requests during a ban do not count; the window starts afresh when it lifts.
        banned_ = true;
        banEnd_ = now + std::chrono::duration_cast<Clock::duration>(
                            std::chrono::duration<double>(rule_.banSeconds));
        banAnswers_ = 0;
        recent_.clear();
    }
    ++banAnswers_;
    if (rule_.retryAfterEvery <= 0 || banAnswers_ % rule_.retryAfterEvery != 0) return 0;
    double left =
        rule_.forever ? rule_.banSeconds : std::chrono::duration<double>(banEnd_ - now).count();
    return std::max(1, static_cast<int>(std::ceil(left)));
}

}  // namespace photoservice
