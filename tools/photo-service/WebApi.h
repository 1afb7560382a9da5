#pragma once
// The service's current web API over a scenario: profile, photo wall, special albums, the
// timeline and single posts, as JSON. Login, cookies and faults are the caller's business.

#include <httplib.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "Scenario.h"

namespace photoservice {

// One answer: status, body and content type (no content type: the body is not set).
struct Page {
    int status = 200;
    std::string body;
    std::string contentType;
};

class WebApi {
  public:
    // `scenario` must outlive this object and stay unchanged.
    explicit WebApi(const Scenario& scenario);

    // `picHost` prefixes picture addresses, `origin` ("http://127.0.0.1:PORT") this service's.
    void SetHosts(const std::string& picHost, const std::string& origin);

    static bool IsApiPath(const std::string& path) { return path.rfind("/ajax/", 0) == 0; }
    // Answers one /ajax/ call; `fault` (may be null) can twist the answer: its cursor and
    // show_instead.
    Page Answer(const httplib::Request& req, const Fault* fault = nullptr) const;

    // A live photo's video address when this service serves it.
    std::string VideoAddress(const WebPicture& picture) const;

  private:
    struct Item {
        const WebPost* post = nullptr;
        const WebPicture* picture = nullptr;  // none: an album item with only the post's mid
    };
    struct Container {
        const User* user = nullptr;
        const WebAlbum* album = nullptr;
        std::vector<Item> items;
    };

    Page ProfileInfo(const httplib::Request& req) const;
    Page ImageWall(const httplib::Request& req, const Fault* fault) const;
    Page AlbumDetail(const httplib::Request& req, const Fault* fault) const;
    Page Timeline(const httplib::Request& req) const;
    Page Show(const httplib::Request& req, const Fault* fault) const;

    const User* UserById(const std::string& uid) const;
    std::vector<const WebPost*> TimelinePage(const User& user, std::size_t page) const;
    std::string ItemsJson(const std::vector<Item>& items, std::size_t begin, std::size_t end) const;
    std::optional<std::string> ItemPage(const std::vector<Item>& items, const std::string& cursor,
                                        int pageSize, const Fault* fault, std::size_t& begin) const;
    // `liked`: as a liked post in the user's timeline.
    std::string PostJson(const User& user, const WebPost& post, bool liked = false) const;
    std::string AuthorJson(const User& user, const WebPost& post) const;
    std::string PictureAddress(const WebPicture& picture, const char* size) const;
    std::string UserJson(const User& user) const;
    std::string Json(const std::string& s) const;

    const Scenario& scenario_;
    std::string picHost_;
    std::string origin_;
    std::map<std::string, std::vector<Item>> walls_;                       // by uid
    std::map<std::string, Container> containers_;                          // by container id
    std::map<std::string, std::pair<const User*, const WebPost*>> posts_;  // by mid and mblogid
    mutable std::atomic<std::uint64_t> freshCursors_{0};
};

}  // namespace photoservice
