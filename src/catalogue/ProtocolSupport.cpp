#include "catalogue/ProtocolSupport.h"

#include "runtime/Convert.h"
#include "runtime/StopFlag.h"
#include "web/PumpingDelay.h"

namespace ovx {
namespace {

Text Seconds(std::chrono::milliseconds wait) {
    return ToText(static_cast<int>((wait.count() + 999) / 1000));
}

void LogGaveUp(const RunHooks& hooks, const GovernedAnswer& answer) {
    if (answer.outcome != GovernedOutcome::GaveUp) return;
    hooks.Log("服务一直拒绝请求（HTTP "_t + ToText(answer.status) +
              "），本次下载到此为止；已保存的都已记录，下次运行从这里继续\r\n"_t);
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

GovernedAnswer GovernedPage(const SessionContext& session, const RunHooks& hooks, bool paced,
                            const Text& url, WebRequestOptions options,
                            const RequestRoutine& routine, const ThrottleJudge& judge) {
    if (options.cookieStore == nullptr) options.cookieStore = &session.cookies;
    GovernedAnswer answer = GovernedWebRequest(session.governor, WatchThrottling(hooks), paced, url,
                                               options, routine, judge);
    LogGaveUp(hooks, answer);
    return answer;
}

GovernedAnswer GovernedImage(RequestGovernor& governor, const RunHooks& hooks, const Text& url,
                             WebRequestComOptions options) {
    GovernedAnswer answer = GovernedImageRequest(governor, WatchThrottling(hooks), url, options);
    LogGaveUp(hooks, answer);
    return answer;
}

PageTry TryPage(const RunHooks& hooks, const std::function<PageTry()>& attempt) {
    for (int k = 1; k <= kPageTries; ++k) {
        if (!hooks.Checkpoint()) return PageTry::Stopped;
        const PageTry verdict = attempt();
        if (verdict != PageTry::Again) return verdict;
        PumpingDelay(hooks.pageRetryWait.count(), DelayUnit::Milliseconds);
        if (StopRequested()) return PageTry::Stopped;
    }
    return PageTry::Again;
}

void ReportLostPage(const RunHooks& hooks, int page, const Text& message, bool albumEnds) {
    hooks.Log("相册《"_t + hooks.albumTitle + "》第"_t + ToText(page) + "页读取失败"_t +
              (message.empty() ? Text() : Text("（") + message + Text("）")) +
              (albumEnds ? "，本相册余下的照片未能读取，下次运行再试\r\n"_t : "，已跳过\r\n"_t));
    if (hooks.pageLost) hooks.pageLost();
}

}  // namespace ovx
