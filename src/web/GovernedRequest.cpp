#include "web/GovernedRequest.h"

#include <utility>

namespace ovx {

namespace {

// What the governor is told of an answer a judge takes for throttling.
constexpr int kThrottledInWords = 429;

}  // namespace

GovernedAnswer GovernedWebRequest(RequestGovernor& governor, const ThrottleObserver& observer,
                                  bool paced, const Text& url, WebRequestOptions options) {
    return GovernedWebRequest(governor, observer, paced, url, std::move(options), {}, {});
}

GovernedAnswer GovernedWebRequest(RequestGovernor& governor, const ThrottleObserver& observer,
                                  bool paced, const Text& url, WebRequestOptions options,
                                  const RequestRoutine& routine, const ThrottleJudge& judge) {
    GovernedAnswer answer;
    options.returnedHeaders = &answer.headers;
    options.statusCode = &answer.status;
    options.failure = &answer.failure;
    answer.outcome = governor.Run(
        [&] {
            answer.status = 0;
            answer.headers = Text();
            answer.failure = Text();
            answer.body = routine ? routine(url, options) : WebRequest(url, options);
            const std::optional<int> retryAfter =
                RequestGovernor::RetryAfterSeconds(answer.headers.view());
            if (judge && !RequestGovernor::IsThrottling(answer.status) && judge(answer))
                return Attempt{kThrottledInWords, retryAfter};
            return Attempt{answer.status, retryAfter};
        },
        observer, paced);
    return answer;
}

GovernedAnswer GovernedImageRequest(RequestGovernor& governor, const ThrottleObserver& observer,
                                    const Text& url, WebRequestComOptions options) {
    GovernedAnswer answer;
    options.returnedHeaders = &answer.headers;
    options.statusCode = &answer.status;
    options.failure = &answer.failure;
    answer.outcome = governor.Run(
        [&] {
            answer.status = 0;
            answer.headers = Text();
            answer.failure = Text();
            answer.body = WebRequestCom(url, options);
            return Attempt{answer.status,
                           RequestGovernor::RetryAfterSeconds(answer.headers.view())};
        },
        observer, false);
    return answer;
}

}  // namespace ovx
