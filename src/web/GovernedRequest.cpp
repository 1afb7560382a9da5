#include "web/GovernedRequest.h"

namespace ovx {

GovernedAnswer GovernedWebRequest(RequestGovernor& governor, const ThrottleObserver& observer,
                                  bool paced, const Text& url, WebRequestOptions options) {
    GovernedAnswer answer;
    options.returnedHeaders = &answer.headers;
    options.statusCode = &answer.status;
    options.failure = &answer.failure;
    answer.outcome = governor.Run(
        [&] {
            answer.status = 0;
            answer.headers = Text();
            answer.failure = Text();
            answer.body = WebRequest(url, options);
            return Attempt{answer.status,
                           RequestGovernor::RetryAfterSeconds(answer.headers.view())};
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
