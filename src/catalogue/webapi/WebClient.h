#pragma once
// One JSON call of the site's web API: the headers a browser's own calls carry (X-XSRF-TOKEN
// once the site has set its cookie), paced and backed off by the session's governor, the
// visit to the site's front page that an `ok:-100` answer asks for, and the judgement of what
// came back. Also the small readers of answer members the web protocol's parts share.

#include <cstddef>

#include "catalogue/JsonValue.h"
#include "catalogue/Protocol.h"
#include "web/GovernedRequest.h"

namespace ovx {

// The user agent of the web API's calls and image requests: a current desktop browser.
inline constexpr const char* kDesktopAgent =
    "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
    "Chrome/131.0.0.0 Safari/537.36";

// A JSON answer larger than this is refused as it arrives: a failed call.
inline constexpr std::size_t kMaxJsonAnswerBytes = std::size_t{8} << 20;

// A member as plain text: the JSON text form without quotes and escaping backslashes (ids,
// cursors and addresses hold none of their own); a missing member or null reads empty.
Text Plain(const JsonValue& value, const char* key);
// A cursor that ends a list: empty or "0".
bool IsEndCursor(const Text& cursor);
// Compares two decimal ids by value (both digits; a longer one is larger).
int CompareIds(const Text& a, const Text& b);
// A post id (mid) as the service gives it: digits only.
bool IsPostId(const Text& mid);
// True for the service's ways of saying yes: 1, true, "1", "true".
bool IsTrue(const JsonValue& value, const char* key);

enum class PageTry;

class WebClient {
  public:
    // `origin` is the scheme and host of the site ("https://weibo.com"). `routine` makes the
    // requests (empty: WebRequest); tests give a stand-in for the site.
    WebClient(Text origin, SessionContext session, RequestRoutine routine = {});

    const Text& Origin() const { return origin_; }

    // What one call came to.
    enum class CallResult {
        Answer,       // `ok:1`: the answer is the caller's
        Declined,     // `ok:0` in other words than the ones below: `failure` has its message,
                      // `answer` the whole (error codes)
        Failed,       // an HTTP error, not JSON, too large, no `ok`: `failure` says which
        Unreachable,  // nothing arrived: `failure` names the host and the reason
        NotLoggedIn,  // a redirect, an HTML page, or `ok:-100` twice (after the visitor
                      // access, when the session has it, did not help)
        LoginWanted,  // the answer says in words that this call needs a login ("请登录")
        Refused,  // the service kept refusing (throttling, also "频繁", "拥堵", "稍后再试")
        Stopped,
    };
    // Calls origin + `pathAndQuery` with origin + `referer` as the Referer.
    CallResult Call(const Text& pathAndQuery, const Text& referer, const RunHooks& hooks,
                    JsonValue& answer, Text& failure);

    // The text of an `ok:0` answer: `msg`, else `message`.
    static Text MessageOf(const JsonValue& answer);
    // True for an `ok:0` text that says the service is busy.
    static bool SaysBusy(const Text& message);
    // True for an `ok:0` text that asks to log in.
    static bool AsksToLogIn(const Text& message);

    // True once the session goes on with the site's visitor access instead of a login.
    bool IsVisitor() const;

    // What a call's result is to the tries of a page: an answer is taken, a stop, a lost
    // login and a service that keeps refusing end the tries, anything else is tried again.
    static PageTry TryOf(CallResult result);

  private:
    CallResult CallOnce(const Text& url, const Text& referer, const RunHooks& hooks,
                        JsonValue& answer, Text& failure, Text& location);
    // The cookies the calls carry: the login's, or the visitor's once the session is one.
    CookieStore& Store() const;
    // True when `location` (a redirect's target) is the visitor system.
    bool IsPassport(const Text& location) const;
    // The session goes on as a visitor: with its kept visitor cookies, or new ones from the
    // handshake when they are missing or `renew` (at most once in ten minutes). False when
    // there are none to go on with (logged).
    // `failed`, when set, is what an earlier handshake of this call said: it is not made again.
    // `quiet`: a failure is not logged (the call goes out anyway).
    bool BecomeVisitor(bool renew, const RunHooks& hooks, Text& failed, bool quiet = false);
    Text XsrfToken() const;

    Text origin_;
    SessionContext session_;
    RequestRoutine routine_;
};

}  // namespace ovx
