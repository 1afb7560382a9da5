#pragma once
// The stand-in photo service: home pages, login, the album- and photo-list JSON endpoints,
// images and a version page, with the faults a scenario asks for.

#include <httplib.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "Scenario.h"

namespace photoservice {

class PhotoService {
  public:
    explicit PhotoService(Scenario scenario);
    ~PhotoService();

    // Appends one line per request, as it arrives ("GET /path?query"), to this file.
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
        bool gif = false;
    };
    struct Page {
        int status = 200;
        std::string body;
        std::string contentType;
    };

    void Handle(const httplib::Request& req, httplib::Response& res);
    void HandleFaults(const httplib::Request& req, httplib::Response& res);
    Page Dispatch(const httplib::Request& req, httplib::Response& res);
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
    void LogRequest(const httplib::Request& req);
    std::string Json(const std::string& s) const { return JsonStringFor(s); }
    std::string JsonStringFor(const std::string& s) const;

    Scenario scenario_;
    std::string picHost_;
    int port_ = 0;
    std::FILE* requestLog_ = nullptr;         // guarded by mutex_
    std::map<std::string, ImageRef> images_;  // by picture name
    httplib::Server server_;

    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::set<std::string> sessions_;
    std::vector<int> faultSeen_;
};

}  // namespace photoservice
