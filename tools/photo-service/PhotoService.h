#pragma once
// The stand-in photo service: home pages, login, the album- and photo-list JSON endpoints, the
// current web API, images and a version page, with the faults a scenario asks for.

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "RequestThrottle.h"
#include "Scenario.h"
#include "Visitors.h"
#include "WebApi.h"

namespace photoservice {

class PhotoService {
  public:
    explicit PhotoService(Scenario scenario);
    ~PhotoService();

    // Appends one line per request, as it arrives, to this file:
    // "GET /path?query STATUS SECONDS" (seconds since the start, to the millisecond), for
    // the web API " xsrf=none|match|wrong" (the X-XSRF-TOKEN header against the cookie), and
    // for pictures and videos " host=NAME cookie=none|sent xsrf=none|sent".
    bool OpenRequestLog(const std::string& path);

    // Binds 127.0.0.1 on `port` (0: a free one); returns the port or -1.
    int Bind(int port);
    // Serves until Stop(); false when the server could not run.
    bool Run();
    // Ends Run() and cuts running delays short. Safe from any thread.
    void Stop();

  private:
    struct ImageRef {
        int seed = 0;
        std::string label;
        std::string format;  // "jpg", "gif", "png" or "webp"
    };
    // An answer sent as it is made: `head`, `fill` spaces (without end when `endless`), `tail`.
    struct Stream {
        std::string head;
        std::size_t fill = 0;
        std::string tail;
        bool endless = false;
        long bytesPerSecond = 0;  // 0: as fast as it goes
    };
    void Handle(const httplib::Request& req, httplib::Response& res);
    Page Dispatch(const httplib::Request& req, httplib::Response& res, const Fault* fault);
    Page WebCall(const httplib::Request& req, httplib::Response& res, const Fault* fault);
    Page Image(const ImageRef& image) const;
    void Send(httplib::Response& res, const std::string& contentType, Stream stream);
    // Where a request without valid visitor cookies is sent: the passport's entry page.
    std::string PassportAddress(const std::string& back);
    std::string Expand(const std::string& value, const httplib::Request& req) const;
    // Sets the XSRF-TOKEN cookie when the request has none of ours; says how the header matched.
    std::string CheckXsrf(const httplib::Request& req, httplib::Response& res);
    bool RefererAccepted(const httplib::Request& req) const;
    const Fault* ActiveFault(const httplib::Request& req);
    bool LoggedIn(const httplib::Request& req);
    // Waits `ms`; false when the service stops first.
    bool Delay(int ms);

    Page LoginPage(const std::string& note) const;
    Page RootPage(bool loggedIn) const;
    Page HomePage(const User& user) const;
    Page AlbumPage(const User& user) const;
    Page AlbumList(const httplib::Request& req) const;
    Page PhotoList(const httplib::Request& req) const;
    std::string CoverAddress(const Album& album) const;
    std::string PicHostOf(const Album& album) const;
    std::string WithPort(std::string host) const;
    void LogRequest(const httplib::Request& req, int status, double seconds,
                    const std::string& extra);
    std::string Json(const std::string& s) const { return JsonStringFor(s); }
    std::string JsonStringFor(const std::string& s) const;

    Scenario scenario_;
    std::string picHost_;
    int port_ = 0;
    std::FILE* requestLog_ = nullptr;         // guarded by mutex_
    std::map<std::string, ImageRef> images_;  // by picture name
    std::set<std::string> videos_;            // live-photo videos, by name
    std::string origin_;                      // "http://127.0.0.1:PORT"
    std::string referer_;                     // the Referer images need; empty: none
    WebApi webApi_;
    RequestThrottle throttle_;
    Visitors visitors_;
    const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    httplib::Server server_;

    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::set<std::string> sessions_;
    std::vector<int> faultSeen_;
    int okMinus100Left_ = 0;  // -1: every call
    long passportVisits_ = 0;
    std::set<std::string> xsrfTokens_;
};

}  // namespace photoservice
