#pragma once
// Throttling as the service does it: too many requests within a window ban the paths for a while
// (or for good), each banned request answered 418, some of them with a Retry-After header.

#include <chrono>
#include <deque>
#include <mutex>
#include <string>

#include "Scenario.h"

namespace photoservice {

class RequestThrottle {
  public:
    using Clock = std::chrono::steady_clock;

    explicit RequestThrottle(Throttle rule) : rule_(std::move(rule)) {}

    // For a request to `path` arriving `now`: -1 lets it through; otherwise it is refused,
    // with a Retry-After of that many seconds when positive, without one when 0.
    int Check(const std::string& path, Clock::time_point now);

  private:
    Throttle rule_;
    std::mutex mutex_;
    std::deque<Clock::time_point> recent_;  // requests within the window, oldest first
    bool banned_ = false;
    Clock::time_point banEnd_;
    long banAnswers_ = 0;  // refusals in the current ban
};

}  // namespace photoservice
