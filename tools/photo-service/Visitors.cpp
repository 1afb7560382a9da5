#include "Visitors.h"

#include <cstdio>
#include <ctime>
#include <random>

#include "JsonText.h"

namespace photoservice {
namespace {

const char* kScript = "application/javascript; charset=utf-8";
const char* kHtml = "text/html; charset=utf-8";
constexpr long kSucceeded = 20000000;

std::string RandomHex(int groups) {
    std::random_device device;
    std::string out;
    for (int i = 0; i < groups; ++i) {
        char buffer[12];
        std::snprintf(buffer, sizeof buffer, "%08x", device());
        out += buffer;
    }
    return out;
}

// A JSONP answer: CALLBACK({...});
Page Callback(const std::string& name, long retcode, const std::string& msg,
              const std::string& dataMembers) {
    return {200,
            name + "({\"retcode\":" + std::to_string(retcode) + ",\"msg\":" + JsonString(msg) +
                ",\"data\":{" + dataMembers + "}});",
            kScript};
}

Page BadRequest() {
    return {400, "<html><body><h1>400</h1><p>参数错误</p></body></html>", kHtml};
}

Page ServerError() {
    return {500, "<html><body><h1>500</h1></body></html>", kHtml};
}

// A year from now, as an Expires attribute wants it.
std::string NextYear() {
    std::time_t t = std::time(nullptr) + 365 * 24 * 3600;
    std::tm tm{};
    gmtime_r(&t, &tm);
    char buffer[40];
    std::strftime(buffer, sizeof buffer, "%a, %d %b %Y %H:%M:%S GMT", &tm);
    return buffer;
}

}  // namespace

Page Visitors::Answer(const httplib::Request& req, httplib::Response& res,
                      const std::string& home) {
    const bool post = req.method == "POST";
    if (post && req.path == "/visitor/genvisitor2") return Generate(req, true);
    if (post && req.path == "/visitor/genvisitor") return Generate(req, false);
    if (post || req.path != "/visitor/visitor") return {404, "", ""};

    const std::string a = req.get_param_value("a");
    if (a == "enter") {
        // What a browser gets: a page whose script makes the handshake.
        return {200,
                "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">\n"
                "<title>Sina Visitor System</title></head>\n<body></body></html>\n",
                kHtml};
    }
    const std::string tid = req.get_param_value("t");
    std::lock_guard lock(mutex_);
    auto it = tickets_.find(tid);
    if (a == "crossdomain") {
        if (it == tickets_.end() || it->second.sub.empty() ||
            it->second.sub != req.get_param_value("s") ||
            it->second.subp != req.get_param_value("sp")) {
            return BadRequest();
        }
        Activate(it->second.sub, it->second.subp, res);
        tickets_.erase(it);
        std::string url = req.get_param_value("url");
        res.set_header("Location", url.empty() ? home : url);
        return {302, "", ""};
    }
    if (a == "incarnate") {
        if (it == tickets_.end() || !it->second.sub.empty()) return BadRequest();
        std::string sub = "_2AkMV" + RandomHex(3),
                    subp = "0033WrSXqPxfM72-Ws9jqgMF55529P9D9W" + RandomHex(2);
        Activate(sub, subp, res);
        tickets_.erase(it);
        std::string cb = req.has_param("cb") ? req.get_param_value("cb") : "cross_domain";
        return Callback(cb, kSucceeded, "succ",
                        "\"sub\":" + JsonString(sub) + ",\"subp\":" + JsonString(subp));
    }
    return BadRequest();
}

Page Visitors::Generate(const httplib::Request& req, bool current) {
    const std::string& rule = current ? rules_.current : rules_.older;
    std::string cb = req.has_param("cb") ? req.get_param_value("cb")
                     : current           ? "visitor_gray_callback"
                                         : "gen_callback";
    if (rule == "error") return ServerError();
    if (rule == "refuse") return Callback(cb, 50000000, "fail", "");
    std::string tid = RandomHex(4);
    std::lock_guard lock(mutex_);
    if (!current) {
        tickets_[tid] = {};
        return Callback(cb, kSucceeded, "succ",
                        "\"tid\":" + JsonString(tid) + ",\"new_tid\":true,\"confidence\":95");
    }
    Ticket& ticket = tickets_[tid];
    ticket.sub = "_2AkMW" + RandomHex(3);
    ticket.subp = "0033WrSXqPxfM72-Ws9jqgMF55529P9D9W" + RandomHex(2);
    return Callback(cb, kSucceeded, "succ",
                    "\"tid\":" + JsonString(tid) + ",\"new_tid\":true,\"sub\":" +
                        JsonString(ticket.sub) + ",\"subp\":" + JsonString(ticket.subp));
}

void Visitors::Activate(const std::string& sub, const std::string& subp, httplib::Response& res) {
    visitors_[sub] = {subp, Clock::now(), 0};
    // No Domain attribute: the cookies belong to the host the client asked.
    const std::string attributes = "; Expires=" + NextYear() + "; Path=/";
    res.set_header("Set-Cookie", "SUB=" + sub + attributes + "; HttpOnly");
    res.set_header("Set-Cookie", "SUBP=" + subp + attributes);
}

Visitors::Standing Visitors::Check(const std::string& sub, const std::string& subp, bool call) {
    if (sub.empty()) return Standing::None;
    if (rules_.revoked.count(sub)) return Standing::Stale;
    std::lock_guard lock(mutex_);
    auto it = visitors_.find(sub);
    if (it == visitors_.end()) {
        if (!rules_.accepted.count(sub)) return Standing::None;
        it = visitors_.emplace(sub, Visitor{"", Clock::now(), 0}).first;
    }
    Visitor& v = it->second;
    if (subp.empty() || (!v.subp.empty() && subp != v.subp)) return Standing::None;
    bool expired = (rules_.expireSeconds > 0 &&
                    Clock::now() - v.since >= std::chrono::seconds(rules_.expireSeconds)) ||
                   (rules_.expireCalls > 0 && v.calls >= rules_.expireCalls);
    if (expired) return Standing::Stale;
    if (call) ++v.calls;
    return Standing::Valid;
}

}  // namespace photoservice
