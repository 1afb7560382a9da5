#pragma once
// One JSON call of the site's web API: the headers a browser's own calls carry (X-XSRF-TOKEN
// once the site has set its cookie), paced and backed off by the session's governor, the
// visit to the site's front page that an `ok:-100` answer asks for, and the judgement of what
// came back. Also the small readers of answer members the web protocol's parts share.

#include "catalogue/JsonValue.h"
#include "catalogue/Protocol.h"

namespace ovx {

// The user agent of the web API's calls and image requests: a current desktop browser.
inline constexpr const char* kDesktopAgent =
    "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
    "Chrome/131.0.0.0 Safari/537.36";

// A member as plain text: the JSON text form without quotes and escaping backslashes (ids,
// cursors and addresses hold none of their own); a missing member or null reads empty.
Text Plain(const JsonValue& value, const char* key);
// A cursor that ends a list: empty or "0".
bool IsEndCursor(const Text& cursor);
// Compares two decimal ids by value (both digits; a longer one is larger).
int CompareIds(const Text& a, const Text& b);
// A post id (mid) as the service gives it: digits only.
bool IsPostId(const Text& mid);

class WebClient {
  public:
    // `origin` is the scheme and host of the site ("https://weibo.com").
    WebClient(Text origin, SessionContext session);

    const Text& Origin() const { return origin_; }

    // One JSON call: its answer, or why there is none.
    enum class CallResult { Answer, Unreachable, NotLoggedIn, Refused, Stopped, Failed };
    // Calls origin + `pathAndQuery` with origin + `referer` as the Referer.
    CallResult Call(const Text& pathAndQuery, const Text& referer, const RunHooks& hooks,
                    JsonValue& answer, Text& failure);

  private:
    CallResult CallOnce(const Text& url, const Text& referer, const RunHooks& hooks,
                        JsonValue& answer, Text& failure);
    Text XsrfToken() const;

    Text origin_;
    SessionContext session_;
};

}  // namespace ovx
