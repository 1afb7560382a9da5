#pragma once
// One request through a session's governor: made, and made again while the answer is a
// throttling answer (waited out as the governor says). Both request routines have a form.

#include <functional>

#include "runtime/Text.h"
#include "web/RequestGovernor.h"
#include "web/WebRequest.h"
#include "web/WebRequestCom.h"

namespace ovx {

// What the last try of a governed request got.
struct GovernedAnswer {
    GovernedOutcome outcome = GovernedOutcome::Answered;
    int status = 0;  // 0: no answer arrived
    Bytes body;
    Text headers;  // the raw response headers
    Text failure;  // why no answer arrived (host and reason); empty when one did
};

// WebRequest through the governor; `options` gets its status, headers and failure members
// set to the answer's. Paced requests wait their turn first.
GovernedAnswer GovernedWebRequest(RequestGovernor& governor, const ThrottleObserver& observer,
                                  bool paced, const Text& url, WebRequestOptions options);

// The routine a governed request makes: WebRequest, or a test's stand-in for it.
using RequestRoutine = std::function<Bytes(const Text& url, const WebRequestOptions& options)>;
// True for an answer that asks to slow down in words rather than by its status (a 200 whose
// body says the service is busy): the governor waits it out like a throttling status.
using ThrottleJudge = std::function<bool(const GovernedAnswer& answer)>;
// As above, with the routine (empty: WebRequest) and the judge (empty: statuses only).
GovernedAnswer GovernedWebRequest(RequestGovernor& governor, const ThrottleObserver& observer,
                                  bool paced, const Text& url, WebRequestOptions options,
                                  const RequestRoutine& routine, const ThrottleJudge& judge);
// WebRequestCom (images and videos) through the governor, never paced.
GovernedAnswer GovernedImageRequest(RequestGovernor& governor, const ThrottleObserver& observer,
                                    const Text& url, WebRequestComOptions options);

}  // namespace ovx
