#include "catalogue/Protocol.h"

#include "runtime/Convert.h"

namespace ovx {
namespace {

Text Seconds(std::chrono::milliseconds wait) {
    return ToText(static_cast<int>((wait.count() + 999) / 1000));
}

}  // namespace

ThrottleObserver WatchThrottling(const RunHooks& hooks) {
    ThrottleObserver observer;
    observer.started = [&hooks](int status, std::chrono::milliseconds wait) {
        hooks.Log("服务限流（HTTP "_t + ToText(status) + "），"_t + Seconds(wait) +
                  " 秒后重试\r\n"_t);
    };
    observer.tick = [&hooks](int status, int secondsLeft, int k) {
        if (hooks.showWait) {
            hooks.showWait("服务限流（HTTP "_t + ToText(status) + "），"_t + ToText(secondsLeft) +
                           " 秒后重试（第 "_t + ToText(k) + " 次）"_t);
        }
    };
    observer.ended = [&hooks](GovernedOutcome, int) {
        if (hooks.showWait) hooks.showWait(Text());
    };
    return observer;
}

bool Governed(RequestGovernor* governor, const RunHooks& hooks, bool paced,
              const std::function<Attempt()>& perform, bool& refused) {
    refused = false;
    if (governor == nullptr) {
        perform();
        return true;
    }
    int last = 0;
    const GovernedOutcome outcome = governor->Run(
        [&] {
            const Attempt attempt = perform();
            last = attempt.status;
            return attempt;
        },
        WatchThrottling(hooks), paced);
    if (outcome == GovernedOutcome::GaveUp) {
        refused = true;
        hooks.Log("服务一直拒绝请求（HTTP "_t + ToText(last) +
                  "），本次下载到此为止；已保存的都已记录，下次运行从这里继续\r\n"_t);
    }
    return outcome == GovernedOutcome::Answered;
}

}  // namespace ovx
