#pragma once
// The site's visitor system: the handshakes that give a session without a login the visitor
// cookies `SUB` and `SUBP` for the site. The current handshake first, the older one when it
// fails; each request bounded, none repeated in a loop.

#include "catalogue/RunHooks.h"
#include "web/GovernedRequest.h"
#include "web/VisitorSession.h"

namespace ovx {

// Makes the handshake for the site at `origin` into the visitor session's cookie store and
// saves them; false (with `failure` saying why) when neither handshake gave the cookies.
// `routine` makes the requests (empty: WebRequest).
bool MakeVisitorHandshake(VisitorSession& visitor, const Text& origin, RequestGovernor& governor,
                          const RunHooks& hooks, const RequestRoutine& routine, Text& failure);

// True when `store` holds a cookie `name` for the host of `origin`.
bool HasCookieFor(const CookieStore& store, const Text& origin, const char* name);

}  // namespace ovx
