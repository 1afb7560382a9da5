#include "catalogue/webapi/WebClient.h"

#include <utility>

#include "catalogue/ProtocolSupport.h"
#include "runtime/CodePage.h"
#include "runtime/Convert.h"
#include "runtime/StopFlag.h"
#include "runtime/TextOps.h"
#include "web/CookieStore.h"
#include "web/UrlHelpers.h"
#include "web/WebRequest.h"

namespace ovx {
namespace {

// Post ids are 16 digits today; the bound only keeps a hostile answer's id out of addresses.
constexpr std::size_t kPostIdDigits = 32;

// An HTML page (a login page, a bot check) where JSON was asked for.
bool LooksLikeHtml(const Text& body) {
    const std::string_view v = TrimAsciiSpaces(body.view().substr(0, 512));
    std::string_view start = v;
    while (!start.empty() && (start.front() == '\n' || start.front() == '\r'))
        start.remove_prefix(1);
    return StartsWithNoCase(start, "<!doctype html") || StartsWithNoCase(start, "<html") ||
           StartsWithNoCase(start, "<head") || StartsWithNoCase(start, "<body");
}

bool Contains(const Text& text, const char* part) {
    return FindText(text, Utf8ToLocal(part)) > 0;
}

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

bool IsTrue(const JsonValue& value, const char* key) {
    const Text v = Plain(value, key);
    return v == Text("1") || v == Text("true");
}

Text WebClient::MessageOf(const JsonValue& answer) {
    Text message = answer.MemberString("msg");
    if (message.empty()) message = answer.MemberString("message");
    return message;
}

bool WebClient::SaysBusy(const Text& message) {
    return Contains(message, "频繁") || Contains(message, "拥堵") || Contains(message, "稍后再试");
}

bool WebClient::AsksToLogIn(const Text& message) {
    return Contains(message, "请登录");
}

WebClient::WebClient(Text origin, SessionContext session, RequestRoutine routine)
    : origin_(std::move(origin)), session_(session), routine_(std::move(routine)) {}

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
    // An answer that says in words that the service is busy is waited out like a 418.
    const ThrottleJudge busy = [](const GovernedAnswer& a) {
        if (a.status != 200 || a.body.size() > 4096) return false;
        JsonValue small;
        return small.Parse(Utf8PageToText(a.body)) && Plain(small, "ok") == Text("0") &&
               !AsksToLogIn(MessageOf(small)) && SaysBusy(MessageOf(small));
    };
    const GovernedAnswer reply = GovernedPage(
        session_, hooks, true, url,
        {.extraHeaders = headers, .noRedirect = true, .maxBodyBytes = kMaxJsonAnswerBytes},
        routine_, busy);
    failure = reply.failure;
    answer = JsonValue();
    if (reply.outcome == GovernedOutcome::GaveUp) return CallResult::Refused;
    if (reply.outcome == GovernedOutcome::Stopped || StopRequested()) return CallResult::Stopped;
    if (!failure.empty()) return CallResult::Unreachable;
    // A JSON call answered with a redirect: the login is gone.
    if (reply.status >= 300 && reply.status < 400) return CallResult::NotLoggedIn;
    const Text body = Utf8PageToText(reply.body);
    const bool json = answer.Parse(body);
    if (!json && LooksLikeHtml(body)) return CallResult::NotLoggedIn;
    const Text message = json ? MessageOf(answer) : Text();
    if (json && AsksToLogIn(message)) return CallResult::NotLoggedIn;
    if (reply.status != 200) {
        failure = "HTTP "_t + ToText(reply.status) +
                  (message.empty() ? Text() : Text("（") + message + Text("）"));
        return CallResult::Failed;
    }
    if (!json) {
        failure = "答复不是 JSON"_t;
        return CallResult::Failed;
    }
    const Text ok = Plain(answer, "ok");
    if (ok == Text("1")) return CallResult::Answer;
    if (ok == Text("0") || ok == Text("-100")) {
        failure = message;
        return ok == Text("0") ? CallResult::Declined : CallResult::Answer;
    }
    failure = "答复中没有 ok"_t;
    return CallResult::Failed;
}

WebClient::CallResult WebClient::Call(const Text& pathAndQuery, const Text& referer,
                                      const RunHooks& hooks, JsonValue& answer, Text& failure) {
    const Text url = origin_ + pathAndQuery;
    CallResult r = CallOnce(url, referer, hooks, answer, failure);
    if (r != CallResult::Answer || Plain(answer, "ok") != Text("-100")) return r;
    // The site asks for a visit to its front page, which can renew the session's cookies,
    // and a second try; asked again, there is no valid login. The visit is paced like a call.
    const GovernedAnswer visit = GovernedPage(session_, hooks, true, origin_ + Text("/"),
                                              {.maxBodyBytes = kMaxJsonAnswerBytes}, routine_);
    if (visit.outcome == GovernedOutcome::GaveUp) return CallResult::Refused;
    if (visit.outcome == GovernedOutcome::Stopped || StopRequested()) return CallResult::Stopped;
    r = CallOnce(url, referer, hooks, answer, failure);
    if (r == CallResult::Answer && Plain(answer, "ok") == Text("-100"))
        return CallResult::NotLoggedIn;
    return r;
}

}  // namespace ovx
