#include "catalogue/webapi/WebVisitor.h"

#include "catalogue/JsonValue.h"
#include "catalogue/ProtocolSupport.h"
#include "catalogue/webapi/WebClient.h"
#include "runtime/CodePage.h"
#include "runtime/TextOps.h"
#include "web/ScriptHelpers.h"
#include "web/UrlHelpers.h"

namespace ovx {
namespace {

constexpr const char* kSucceeded = "20000000";
constexpr std::size_t kMaxHandshakeBytes = 64 * 1024;

// The JSON inside a JSONP answer: `callback({...});`.
bool ParseJsonp(const Bytes& body, JsonValue& json) {
    const Text text = Utf8PageToText(body);
    const std::string_view v = text.view();
    const std::size_t open = v.find('(');
    const std::size_t close = v.rfind(')');
    if (open == std::string_view::npos || close == std::string_view::npos || close <= open)
        return false;
    return json.Parse(Text(v.substr(open + 1, close - open - 1)));
}

class Handshake {
  public:
    Handshake(VisitorSession& visitor, const Text& origin, RequestGovernor& governor,
              const RunHooks& hooks, const RequestRoutine& routine)
        : visitor_(visitor),
          origin_(origin),
          governor_(governor),
          hooks_(hooks),
          routine_(routine) {}

    // The current form: genvisitor2, then the cross-domain visit whose answer sets the
    // cookies (its redirect not followed).
    bool Current(Text& failure) {
        JsonValue reply;
        const Text form =
            Text(
                "cb=visitor_gray_callback&ver=20250916&tid=&from=weibo&webdriver=false"
                "&return_url=") +
            EncodeQueryValue(origin_ + Text("/"));
        if (!Ask(kMethodPost, Text("/visitor/genvisitor2"), form, reply, failure)) return false;
        const JsonValue data = reply.Member("data");
        const Text tid = Plain(data, "tid"), sub = Plain(data, "sub"), subp = Plain(data, "subp");
        if (tid.empty() || sub.empty() || subp.empty()) {
            failure = Text("genvisitor2: no tid, sub or subp");
            return false;
        }
        const Text query = Text("/visitor/visitor?a=crossdomain&t=") + EncodeQueryValue(tid) +
                           Text("&sp=") + EncodeQueryValue(subp) + Text("&s=") +
                           EncodeQueryValue(sub) + Text("&from=weibo&_rand=") + RandomFraction17() +
                           Text("&url=") + EncodeQueryValue(origin_ + Text("/"));
        Send(kMethodGet, query, Text(), failure);
        return Arrived(Text("crossdomain"), failure);
    }

    // The older form: genvisitor, then incarnate, whose JSONP answer sets the cookies.
    bool Older(Text& failure) {
        JsonValue reply;
        const Text form = Text(
            "cb=gen_callback&fp=%7B%22os%22%3A%221%22%2C%22browser%22%3A%22Chrome140%2C0%2C0%2C0"
            "%22%2C%22fonts%22%3A%22undefined%22%2C%22screenInfo%22%3A%221920*1080*24%22%2C%22"
            "plugins%22%3A%22%22%7D");
        if (!Ask(kMethodPost, Text("/visitor/genvisitor"), form, reply, failure)) return false;
        const Text tid = Plain(reply.Member("data"), "tid");
        if (tid.empty()) {
            failure = Text("genvisitor: no tid");
            return false;
        }
        const Text query = Text("/visitor/visitor?a=incarnate&t=") + EncodeQueryValue(tid) +
                           Text("&w=2&c=095&gc=&cb=cross_domain&from=weibo&_rand=") +
                           RandomFraction17();
        JsonValue incarnate;
        if (!Ask(kMethodGet, query, Text(), incarnate, failure)) return false;
        return Arrived(Text("incarnate"), failure);
    }

  private:
    // One request to the passport; its body.
    Bytes Send(int method, const Text& pathAndQuery, const Text& form, Text& failure) {
        const Text url = visitor_.Passport() + pathAndQuery;
        WebRequestOptions options{.method = method,
                                  .postText = form,
                                  .extraHeaders = Text("Referer: ") + visitor_.Passport() +
                                                  Text("/visitor/visitor?entry=miniblog&a=enter"),
                                  .noRedirect = true,
                                  .cookieStore = &visitor_.Cookies(),
                                  .maxBodyBytes = kMaxHandshakeBytes};
        if (method == kMethodPost)
            options.extraHeaders += Text("\r\nContent-Type: application/x-www-form-urlencoded");
        const GovernedAnswer answer = GovernedWebRequest(governor_, WatchThrottling(hooks_), true,
                                                         url, options, routine_, {});
        if (answer.outcome != GovernedOutcome::Answered) {
            failure = Text("stopped or refused");
            return {};
        }
        if (!answer.failure.empty()) failure = answer.failure;
        return answer.body;
    }

    // A request whose JSONP answer must carry the success code.
    bool Ask(int method, const Text& pathAndQuery, const Text& form, JsonValue& reply,
             Text& failure) {
        Text why;
        const Bytes body = Send(method, pathAndQuery, form, why);
        const Text step = Text(pathAndQuery.view().substr(0, pathAndQuery.view().find('?')));
        if (!why.empty()) {
            failure = step + Text(": ") + why;
            return false;
        }
        if (!ParseJsonp(body, reply)) {
            failure = step + Text(": not a JSONP answer");
            return false;
        }
        const Text code = Plain(reply, "retcode");
        if (code != Text(kSucceeded)) {
            failure = step + Text(": retcode ") + (code.empty() ? Text("none") : code);
            return false;
        }
        return true;
    }

    bool Arrived(const Text& step, Text& failure) {
        if (HasCookieFor(visitor_.Cookies(), origin_, "SUB") &&
            HasCookieFor(visitor_.Cookies(), origin_, "SUBP"))
            return true;
        if (failure.empty()) failure = step + Text(": no SUB and SUBP cookies");
        return false;
    }

    VisitorSession& visitor_;
    const Text& origin_;
    RequestGovernor& governor_;
    const RunHooks& hooks_;
    const RequestRoutine& routine_;
};

}  // namespace

bool HasCookieFor(const CookieStore& store, const Text& origin, const char* name) {
    const std::string host = UrlHost(origin).bytes();
    for (const Cookie& c : store.List()) {
        if (c.name != name || c.value.empty()) continue;
        std::string domain = c.domain;
        if (!domain.empty() && domain[0] == '.') domain.erase(0, 1);
        if (host == domain || (host.size() > domain.size() && host.ends_with("." + domain)))
            return true;
    }
    return false;
}

bool MakeVisitorHandshake(VisitorSession& visitor, const Text& origin, RequestGovernor& governor,
                          const RunHooks& hooks, const RequestRoutine& routine, Text& failure) {
    Handshake handshake(visitor, origin, governor, hooks, routine);
    Text current;
    bool made = handshake.Current(current);
    if (!made) {
        Text older;
        made = handshake.Older(older);
        if (!made) failure = current + Text("; ") + older;
    }
    if (made) visitor.Save();
    return made;
}

}  // namespace ovx
