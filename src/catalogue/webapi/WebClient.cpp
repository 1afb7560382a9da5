#include "catalogue/webapi/WebClient.h"

#include <utility>

#include "catalogue/ProtocolSupport.h"
#include "catalogue/webapi/WebVisitor.h"
#include "runtime/CodePage.h"
#include "runtime/Convert.h"
#include "runtime/StopFlag.h"
#include "runtime/TextOps.h"
#include "web/CookieStore.h"
#include "web/UrlHelpers.h"
#include "web/VisitorSession.h"
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

PageTry WebClient::TryOf(CallResult result) {
    switch (result) {
        case CallResult::Answer:
            return PageTry::Accepted;
        case CallResult::Stopped:
            return PageTry::Stopped;
        case CallResult::NotLoggedIn:
        case CallResult::LoginWanted:
            return PageTry::NotLoggedIn;
        case CallResult::Refused:
            return PageTry::Refused;
        default:
            return PageTry::Again;
    }
}

bool WebClient::IsVisitor() const {
    if (session_.visitor == nullptr) return false;
    // The login's cookies first, unless the site did not take them (a new login is tried);
    // without any, the visitor's kept from an earlier run. Without either, the site says
    // whether it wants a visitor by sending the call to its visitor system.
    const std::string sub = CookieFor(session_.cookies, origin_, "SUB");
    if (!sub.empty()) return session_.visitor->IsRejected(sub);
    return session_.visitor->Entered() || HasCookieFor(session_.visitor->Cookies(), origin_, "SUB");
}

CookieStore& WebClient::Store() const {
    if (!IsVisitor()) return session_.cookies;
    session_.visitor->Enter();
    return session_.visitor->Cookies();
}

bool WebClient::IsPassport(const Text& location) const {
    if (session_.visitor == nullptr || location.empty()) return false;
    const Text host = UrlHost(location);
    return !host.empty() && host == UrlHost(session_.visitor->Passport()) &&
           FindText(location, Text("/visitor")) > 0;
}

bool WebClient::BecomeVisitor(bool renew, const RunHooks& hooks, Text& failed, bool quiet) {
    VisitorSession& visitor = *session_.visitor;
    // The login the calls carried is not taken: from here on they carry the visitor's cookies.
    if (const std::string sub = CookieFor(session_.cookies, origin_, "SUB"); !sub.empty())
        visitor.RejectLogin(sub);
    visitor.Enter();
    const bool kept = HasCookieFor(visitor.Cookies(), origin_, "SUB") &&
                      HasCookieFor(visitor.Cookies(), origin_, "SUBP");
    if (kept && !renew) return true;
    // A handshake that failed is not made again for ten minutes.
    if (!kept && visitor.HandshakeFailedRecently()) {
        if (!quiet) hooks.Log("网站的访客身份获取失败（十分钟内已失败过），请先在第一步登录\r\n"_t);
        return false;
    }
    // Cookies that are there but no longer taken are renewed at most once in ten minutes.
    if (kept && !visitor.ClaimRenewal()) {
        hooks.Log("网站要求登录（访客身份已在十分钟内更新过），请先在第一步登录\r\n"_t);
        return false;
    }
    if (failed.empty()) {
        if (MakeVisitorHandshake(visitor, origin_, session_.governor, hooks, routine_, failed))
            return true;
        visitor.NoteHandshakeFailed();
    }
    if (!quiet) hooks.Log("网站的访客身份获取失败（"_t + failed + "），请先在第一步登录\r\n"_t);
    return false;
}

Text WebClient::XsrfToken() const {
    const Text host = UrlHost(origin_);
    for (const Cookie& c : Store().List()) {
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
                                          const RunHooks& hooks, JsonValue& answer, Text& failure,
                                          Text& location) {
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
    const GovernedAnswer reply = GovernedPage(session_, hooks, true, url,
                                              {.extraHeaders = headers,
                                               .noRedirect = true,
                                               .cookieStore = &Store(),
                                               .maxBodyBytes = kMaxJsonAnswerBytes},
                                              routine_, busy);
    failure = reply.failure;
    location = HeaderValue(reply.headers, "Location");
    answer = JsonValue();
    if (reply.outcome == GovernedOutcome::GaveUp) return CallResult::Refused;
    if (reply.outcome == GovernedOutcome::Stopped || StopRequested()) return CallResult::Stopped;
    if (!failure.empty()) return CallResult::Unreachable;
    // A JSON call answered with a redirect: the login is gone.
    if (reply.status >= 300 && reply.status < 400) return CallResult::NotLoggedIn;
    const Text body = Utf8PageToText(reply.body);
    const bool json = answer.Parse(body);
    // A page where JSON was asked for: the site no longer takes the session (a login page, a
    // bot check). An error status with its HTML page is only an error.
    if (!json && reply.status == 200 && LooksLikeHtml(body)) return CallResult::NotLoggedIn;
    const Text message = json ? MessageOf(answer) : Text();
    if (json && AsksToLogIn(message)) return CallResult::LoginWanted;
    if (reply.status != 200) {
        failure = "HTTP "_t + ToText(reply.status) +
                  (message.empty() ? Text() : "（"_t + message + "）"_t);
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
    Text handshakeFailed;
    Text location;
    CallResult r = CallOnce(url, referer, hooks, answer, failure, location);
    const bool sentToPassport = r == CallResult::NotLoggedIn && IsPassport(location);
    if (!sentToPassport && (r != CallResult::Answer || Plain(answer, "ok") != Text("-100")))
        return r;
    if (sentToPassport) {
        // Sent to the visitor system: the session goes on as a visitor (new visitor cookies
        // when the kept ones are no longer taken).
        if (!BecomeVisitor(IsVisitor(), hooks, handshakeFailed)) return CallResult::NotLoggedIn;
    } else {
        // The site asks for a visit to its front page, which can renew the session's cookies,
        // and a second try; asked again, there is no valid login. The visit is paced like a
        // call; with the visitor access at hand its redirect is not followed but looked at.
        const bool visitorAtHand = session_.visitor != nullptr;
        const GovernedAnswer visit = GovernedPage(session_, hooks, true, origin_ + Text("/"),
                                                  {.noRedirect = visitorAtHand,
                                                   .cookieStore = &Store(),
                                                   .maxBodyBytes = kMaxJsonAnswerBytes},
                                                  routine_);
        if (visit.outcome == GovernedOutcome::GaveUp) return CallResult::Refused;
        if (visit.outcome == GovernedOutcome::Stopped || StopRequested())
            return CallResult::Stopped;
        if (visitorAtHand && IsPassport(HeaderValue(visit.headers, "Location")) &&
            !BecomeVisitor(IsVisitor(), hooks, handshakeFailed))
            return CallResult::NotLoggedIn;
    }
    if (StopRequested()) return CallResult::Stopped;
    r = CallOnce(url, referer, hooks, answer, failure, location);
    if (r == CallResult::Answer && Plain(answer, "ok") == Text("-100"))
        return CallResult::NotLoggedIn;
    return r;
}

}  // namespace ovx
