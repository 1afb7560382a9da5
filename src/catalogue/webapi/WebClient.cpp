#include "catalogue/webapi/WebClient.h"

#include <utility>

#include "catalogue/ProtocolSupport.h"
#include "runtime/CodePage.h"
#include "runtime/StopFlag.h"
#include "runtime/TextOps.h"
#include "web/CookieStore.h"
#include "web/UrlHelpers.h"
#include "web/WebRequest.h"

namespace ovx {
namespace {

// Post ids are 16 digits today; the bound only keeps a hostile answer's id out of addresses.
constexpr std::size_t kPostIdDigits = 32;

}  // namespace

Text Plain(const JsonValue& value, const char* key) {
    const Text text = ReplaceText(value.MemberText(key), Text("\\"), Text());
    return text == Text("null") ? Text() : text;
}

bool IsEndCursor(const Text& cursor) {
    return cursor.empty() || cursor == Text("0");
}

int CompareIds(const Text& a, const Text& b) {
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
    return a.view() < b.view() ? -1 : (a.view() == b.view() ? 0 : 1);
}

bool IsPostId(const Text& mid) {
    return IsAsciiDigits(mid.view(), kPostIdDigits);
}

WebClient::WebClient(Text origin, SessionContext session)
    : origin_(std::move(origin)), session_(session) {}

Text WebClient::XsrfToken() const {
    const Text host = UrlHost(origin_);
    for (const Cookie& c : session_.cookies.List()) {
        if (c.name != "XSRF-TOKEN") continue;
        std::string domain = c.domain;
        if (!domain.empty() && domain[0] == '.') domain.erase(0, 1);
        const std::string& h = host.bytes();
        if (h == domain || (h.size() > domain.size() && h.ends_with("." + domain)))
            return Text(c.value);
    }
    return Text();
}

WebClient::CallResult WebClient::CallOnce(const Text& url, const Text& referer,
                                          const RunHooks& hooks, JsonValue& answer, Text& failure) {
    Text headers = Text(
                       "Accept: application/json, text/plain, */*\r\n"
                       "X-Requested-With: XMLHttpRequest\r\nUser-Agent: ") +
                   Text(kDesktopAgent) + Text("\r\nReferer: ") + origin_ + referer;
    if (const Text token = XsrfToken(); !token.empty())
        headers += Text("\r\nX-XSRF-TOKEN: ") + token;
    const GovernedAnswer reply =
        GovernedPage(session_, hooks, true, url, {.extraHeaders = headers, .noRedirect = true});
    failure = reply.failure;
    if (reply.outcome == GovernedOutcome::GaveUp) return CallResult::Refused;
    if (reply.outcome == GovernedOutcome::Stopped) return CallResult::Stopped;
    if (StopRequested()) return CallResult::Stopped;
    if (!failure.empty()) return CallResult::Unreachable;
    // A JSON call answered with a redirect: the login is gone.
    if (reply.status >= 300 && reply.status < 400) return CallResult::NotLoggedIn;
    if (reply.status != 200 || !answer.Parse(Utf8PageToText(reply.body))) return CallResult::Failed;
    return CallResult::Answer;
}

WebClient::CallResult WebClient::Call(const Text& pathAndQuery, const Text& referer,
                                      const RunHooks& hooks, JsonValue& answer, Text& failure) {
    const Text url = origin_ + pathAndQuery;
    CallResult r = CallOnce(url, referer, hooks, answer, failure);
    if (r != CallResult::Answer || Plain(answer, "ok") != Text("-100")) return r;
    // The site asks for a visit to its front page, which can renew the session's cookies,
    // and a second try; asked again, there is no valid login.
    Text ignored;
    WebRequest(origin_ + Text("/"), {.failure = &ignored, .cookieStore = &session_.cookies});
    if (StopRequested()) return CallResult::Stopped;
    r = CallOnce(url, referer, hooks, answer, failure);
    if (r == CallResult::Answer && Plain(answer, "ok") == Text("-100"))
        return CallResult::NotLoggedIn;
    return r;
}

}  // namespace ovx
