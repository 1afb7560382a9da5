#pragma once
// A session of a test's own: an empty cookie store and a governor that does not pace (the
// back-off on throttling answers stays as the defaults have it). Header-only.

#include <chrono>

#include "catalogue/Protocol.h"
#include "web/CookieStore.h"
#include "web/RequestGovernor.h"

namespace ovx::test {

struct TestSession {
    explicit TestSession(GovernorSettings pacing = Unpaced()) : governor(pacing) {}

    static GovernorSettings Unpaced() {
        GovernorSettings s;
        s.interval = std::chrono::milliseconds(0);
        return s;
    }

    SessionContext Context() { return SessionContext{cookies, governor}; }

    CookieStore cookies;
    RequestGovernor governor;
};

}  // namespace ovx::test
