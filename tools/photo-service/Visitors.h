#pragma once
// The site's visitor system as its passport serves it: the current handshake (genvisitor2, then
// a=crossdomain), the older one (genvisitor, then a=incarnate), and what the visitor cookies it
// hands out are worth afterwards.

#include <httplib.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>

#include "Scenario.h"
#include "WebApi.h"

namespace photoservice {

class Visitors {
  public:
    using Clock = std::chrono::steady_clock;
    enum class Standing { None, Valid, Stale };

    explicit Visitors(const VisitorRules& rules) : rules_(rules) {}

    // The passport's paths: /visitor/genvisitor2, /visitor/genvisitor and /visitor/visitor.
    static bool IsPassportPath(const std::string& path) {
        return path == "/visitor/genvisitor2" || path == "/visitor/genvisitor" ||
               path == "/visitor/visitor";
    }
    // Answers a passport request; the cookies and the redirect go onto `res`. `home` is where
    // a crossdomain call without a url sends the browser.
    Page Answer(const httplib::Request& req, httplib::Response& res, const std::string& home);

    // What the cookies SUB and SUBP are worth; `call` counts a web API call made with them.
    Standing Check(const std::string& sub, const std::string& subp, bool call);

  private:
    struct Ticket {
        std::string sub, subp;  // empty: a ticket of the older handshake, for a=incarnate
    };
    struct Visitor {
        std::string subp;  // empty: any (an accepted value)
        Clock::time_point since;
        std::int64_t calls = 0;
    };

    Page Generate(const httplib::Request& req, bool current);
    // Makes sub and subp cookies that serve from now on.
    void Activate(const std::string& sub, const std::string& subp, httplib::Response& res);

    const VisitorRules& rules_;
    std::mutex mutex_;
    std::map<std::string, Ticket> tickets_;    // by tid
    std::map<std::string, Visitor> visitors_;  // by SUB
};

}  // namespace photoservice
