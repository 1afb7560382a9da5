#pragma once
// What the protocols (and the download's image requests) share: requests through the
// session's governor as a run sees them, and the tries of a page.

#include <functional>

#include "catalogue/Protocol.h"
#include "catalogue/RunHooks.h"
#include "web/GovernedRequest.h"

namespace ovx {

// Tries of a page before it counts as lost.
inline constexpr int kPageTries = 10;

// What the view and the log see of throttling: one log line when an episode starts, a
// countdown through `showWait`, and one line when the service kept refusing.
ThrottleObserver WatchThrottling(const RunHooks& hooks);

// A page or JSON call through the session's governor, with the session's cookies unless the
// options name another store (the visitor's). An outcome
// of GaveUp (the service kept refusing) has been logged.
GovernedAnswer GovernedPage(const SessionContext& session, const RunHooks& hooks, bool paced,
                            const Text& url, WebRequestOptions options = {},
                            const RequestRoutine& routine = {}, const ThrottleJudge& judge = {});
// An image or video through the governor (never paced, no cookies); GaveUp is logged.
GovernedAnswer GovernedImage(RequestGovernor& governor, const RunHooks& hooks, const Text& url,
                             WebRequestComOptions options);

// The verdict of one try at a page.
enum class PageTry { Accepted, Again, Stopped, NotLoggedIn, Refused };

// Makes `attempt` until it says anything but Again, at most kPageTries times, with the run's
// retry wait between tries; Again when every try was. Stops at once when the run is stopped.
PageTry TryPage(const RunHooks& hooks, const std::function<PageTry()>& attempt);

// A page that stayed unreadable: one log line (with the service's message when it gave one)
// and the run's count of lost pages. `albumEnds`: the cursor cannot go past it, so the rest
// of the album is not read; else the album goes on with the next page.
void ReportLostPage(const RunHooks& hooks, int page, const Text& message, bool albumEnds);

}  // namespace ovx
