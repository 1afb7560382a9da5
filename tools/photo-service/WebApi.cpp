#include "WebApi.h"

#include <algorithm>
#include <ctime>
#include <iterator>

#include "Images.h"
#include "JsonText.h"

namespace photoservice {
namespace {

const char* kJson = "application/json; charset=utf-8";

bool Digits(const std::string& s) {
    return !s.empty() && s.size() <= 18 && s.find_first_not_of("0123456789") == std::string::npos;
}

// "Tue Dec 08 10:00:00 +0800 2026": the service's local time, UTC+8.
std::string PostTime(std::int64_t seconds) {
    std::time_t t = static_cast<std::time_t>(seconds + 8 * 3600);
    std::tm tm{};
    gmtime_r(&t, &tm);
    char buffer[40];
    std::strftime(buffer, sizeof buffer, "%a %b %d %H:%M:%S +0800 %Y", &tm);
    return buffer;
}

Page Refused(const std::string& msgJson) {
    return {200, "{\"ok\":0,\"msg\":" + msgJson + "}", kJson};
}

std::string Extension(const WebPicture& picture) {
    return "." + picture.ext;
}

}  // namespace

WebApi::WebApi(const Scenario& scenario) : scenario_(scenario) {
    for (const User& user : scenario_.users) {
        std::vector<Item>& wall = walls_[user.uid];
        for (const WebPost& post : user.web.posts) {
            posts_.emplace(post.mid, std::make_pair(&user, &post));
            posts_.emplace(post.mblogid, std::make_pair(&user, &post));
            for (const WebPicture& picture : post.pictures) wall.push_back({&post, &picture});
        }
        for (const WebPost& post : user.web.liked) {
            posts_.emplace(post.mid, std::make_pair(&user, &post));
            posts_.emplace(post.mblogid, std::make_pair(&user, &post));
        }
        for (const WebAlbum& album : user.web.albums) {
            Container& c = containers_[album.containerId];
            c.user = &user;
            c.album = &album;
            for (const WebPost& post : album.posts) {
                posts_.emplace(post.mid, std::make_pair(&user, &post));
                posts_.emplace(post.mblogid, std::make_pair(&user, &post));
                if (post.midOnly) {
                    c.items.push_back({&post, nullptr});
                    continue;
                }
                for (const WebPicture& picture : post.pictures)
                    c.items.push_back({&post, &picture});
            }
        }
    }
}

void WebApi::SetHosts(const std::string& picHost, const std::string& origin) {
    picHost_ = picHost;
    origin_ = origin;
}

std::string WebApi::Json(const std::string& s) const {
    return JsonString(s, scenario_.escapeUnicode);
}

Page WebApi::Answer(const httplib::Request& req, const Fault* fault) const {
    const std::string& path = req.path;
    if (path == "/ajax/profile/info") return ProfileInfo(req);
    if (path == "/ajax/profile/getImageWall") return ImageWall(req, fault);
    if (path == "/ajax/profile/getAlbumDetail") return AlbumDetail(req, fault);
    if (path == "/ajax/statuses/mymblog") return Timeline(req);
    if (path == "/ajax/statuses/show") return Show(req, fault);
    return {404, "{\"ok\":0,\"msg\":\"not found\"}", kJson};
}

const User* WebApi::UserById(const std::string& uid) const {
    if (!Digits(uid)) return nullptr;
    for (const User& user : scenario_.users) {
        if (user.uid == uid) return &user;
    }
    return nullptr;
}

std::string WebApi::UserJson(const User& user) const {
    return "{\"id\":" + user.uid + ",\"idstr\":" + Json(user.uid) +
           ",\"screen_name\":" + Json(user.web.screenName) +
           ",\"profile_url\":" + Json("/u/" + user.uid) +
           ",\"statuses_count\":" + std::to_string(user.web.statusesCount) + "}";
}

Page WebApi::ProfileInfo(const httplib::Request& req) const {
    const User* found = nullptr;
    if (req.has_param("uid")) {
        found = UserById(req.get_param_value("uid"));
    } else {
        bool byCustom = req.has_param("custom");
        std::string wanted = req.get_param_value(byCustom ? "custom" : "screen_name");
        for (const User& user : scenario_.users) {
            const std::string& have = byCustom ? user.web.custom : user.web.screenName;
            if (!wanted.empty() && have == wanted && Digits(user.uid)) {
                found = &user;
                break;
            }
        }
    }
    if (!found) return Refused(Json("用户不存在"));
    return {200, "{\"ok\":1,\"data\":{\"user\":" + UserJson(*found) + "}}", kJson};
}

std::string WebApi::PictureAddress(const WebPicture& picture, const char* size) const {
    return picHost_ + "/" + size + "/" + picture.pid + Extension(picture);
}

std::string WebApi::VideoAddress(const WebPicture& picture) const {
    if (picture.video.empty()) return picHost_ + "/livephoto/" + picture.pid + ".mov";
    std::string video = picture.video;
    std::string port = origin_.substr(origin_.rfind(':') + 1);
    for (std::size_t pos = video.find("{port}"); pos != std::string::npos;
         pos = video.find("{port}")) {
        video.replace(pos, 6, port);
    }
    return video;
}

std::string WebApi::ItemsJson(const std::vector<Item>& items, std::size_t begin,
                              std::size_t end) const {
    std::string out = "[";
    for (std::size_t i = begin; i < end; ++i) {
        const Item& item = items[i];
        out += i > begin ? ",{" : "{";
        if (item.picture) {
            // On the wall a gif is a picture like any other.
            const std::string& type = item.picture->type;
            out += "\"pid\":" + Json(item.picture->pid) + ",\"mid\":" + Json(item.post->mid) +
                   ",\"type\":" + Json(type == "gif" ? "pic" : type);
            if (type == "livephoto") out += ",\"video\":" + Json(VideoAddress(*item.picture));
        } else {
            out += "\"mid\":" + Json(item.post->mid);
        }
        out += "}";
    }
    return out + "]";
}

// One page of a wall or album: the items from the cursor on and the next cursor, "0" at the end.
// Under a fault's cursor every answer is the first page, with a since_id never given before
// ("fresh") or always the same one ("same").
std::optional<std::string> WebApi::ItemPage(const std::vector<Item>& items,
                                            const std::string& cursor, int pageSize,
                                            const Fault* fault, std::size_t& begin) const {
    begin = 0;
    const std::string twist = fault ? fault->cursor : "";
    if (!twist.empty()) {
        std::size_t end = std::min(items.size(), static_cast<std::size_t>(pageSize));
        std::string mid = end ? items[end - 1].post->mid : "1";
        std::uint64_t n = twist == "fresh" ? items.size() + ++freshCursors_ : end;
        return "{\"ok\":1,\"data\":{\"list\":" + ItemsJson(items, 0, end) +
               ",\"since_id\":" + Json(mid + "_" + std::to_string(n));
    }
    if (!cursor.empty() && cursor != "0") {
        std::size_t mark = cursor.rfind('_');
        if (mark == std::string::npos || !Digits(cursor.substr(mark + 1))) return std::nullopt;
        begin = std::stoul(cursor.substr(mark + 1));
        if (begin == 0 || begin >= items.size() ||
            items[begin - 1].post->mid != cursor.substr(0, mark)) {
            return std::nullopt;
        }
    }
    std::size_t end = std::min(items.size(), begin + static_cast<std::size_t>(pageSize));
    std::string next =
        end >= items.size() ? "0" : items[end - 1].post->mid + "_" + std::to_string(end);
    return "{\"ok\":1,\"data\":{\"list\":" + ItemsJson(items, begin, end) +
           ",\"since_id\":" + Json(next);
}

Page WebApi::ImageWall(const httplib::Request& req, const Fault* fault) const {
    const User* user = UserById(req.get_param_value("uid"));
    if (!user) return Refused(Json("用户不存在"));
    std::size_t begin = 0;
    auto out = ItemPage(walls_.at(user->uid), req.get_param_value("sinceid"),
                        scenario_.wallPageSize, fault, begin);
    if (!out) return Refused(Json("参数错误"));
    if (begin == 0 && req.get_param_value("has_album") == "true") {
        *out += ",\"album_list\":[";
        for (std::size_t i = 0; i < user->web.albums.size(); ++i) {
            const WebAlbum& album = user->web.albums[i];
            std::string cover;
            for (const Item& item : containers_.at(album.containerId).items) {
                if (item.picture) {
                    cover = PictureAddress(*item.picture, "orj360");
                    break;
                }
            }
            *out += (i ? ",{" : "{") + std::string("\"containerid\":") + Json(album.containerId) +
                    ",\"pic\":" + Json(cover) + ",\"pic_title\":" + Json(album.title) + "}";
        }
        *out += "]";
    }
    return {200, *out + "}}", kJson};
}

Page WebApi::AlbumDetail(const httplib::Request& req, const Fault* fault) const {
    auto it = containers_.find(req.get_param_value("containerid"));
    if (it == containers_.end() || it->second.user->uid != req.get_param_value("uid"))
        return Refused(Json("相册不存在"));
    std::size_t begin = 0;
    auto out = ItemPage(it->second.items, req.get_param_value("since_id"), scenario_.albumPageSize,
                        fault, begin);
    if (!out) return Refused(Json("参数错误"));
    return {200, *out + "}}", kJson};
}

std::vector<const WebPost*> WebApi::TimelinePage(const User& user, std::size_t page) const {
    // The newest posts within reach, without the pinned ones and those for followers only,
    // and the liked posts among them by date.
    std::vector<const WebPost*> own;
    std::size_t reached = 0;
    for (const WebPost& post : user.web.posts) {
        if (post.pinned) continue;
        if (reached++ >= user.web.timelineReach) break;
        if (!post.followersOnly) own.push_back(&post);
    }
    std::vector<const WebPost*> liked, regular;
    for (const WebPost& post : user.web.liked) liked.push_back(&post);
    std::merge(own.begin(), own.end(), liked.begin(), liked.end(), std::back_inserter(regular),
               [](const WebPost* a, const WebPost* b) { return a->createdAt > b->createdAt; });
    std::vector<const WebPost*> list;
    if (page == 1) {
        for (const WebPost& post : user.web.posts) {
            if (post.pinned && !post.followersOnly) list.push_back(&post);
        }
    }
    std::size_t size = static_cast<std::size_t>(scenario_.timelinePageSize);
    for (std::size_t i = (page - 1) * size; i < regular.size() && i < page * size; ++i)
        list.push_back(regular[i]);
    return list;
}

Page WebApi::Timeline(const httplib::Request& req) const {
    const User* user = UserById(req.get_param_value("uid"));
    if (!user) return Refused(Json("用户不存在"));
    std::string pageText = req.get_param_value("page");
    std::size_t page = Digits(pageText) ? std::stoul(pageText) : 1;
    if (page < 1 || page > 1000000) page = 1;
    auto cursorAfter = [](const std::vector<const WebPost*>& list, std::size_t n) {
        return list.empty() ? std::string() : list.back()->mid + "kp" + std::to_string(n + 1);
    };
    // A later page needs the cursor the page before it gave; without it page 1 comes again.
    if (page > 1 &&
        req.get_param_value("since_id") != cursorAfter(TimelinePage(*user, page - 1), page - 1)) {
        page = 1;
    }
    std::vector<const WebPost*> list = TimelinePage(*user, page);
    std::string out = "{\"ok\":1,\"data\":{\"list\":[";
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (i) out += ",";
        out += PostJson(*user, *list[i], !list[i]->author.empty());
    }
    out += "],\"since_id\":" + Json(cursorAfter(list, page)) +
           ",\"total\":" + std::to_string(user->web.statusesCount) + "}}";
    return {200, out, kJson};
}

Page WebApi::Show(const httplib::Request& req, const Fault* fault) const {
    bool instead = fault && !fault->showInstead.empty();
    auto it = posts_.find(instead ? fault->showInstead : req.get_param_value("id"));
    if (it == posts_.end()) {
        return {200, "{\"ok\":0,\"message\":" + Json("该微博不存在") + ",\"error_code\":20101}",
                kJson};
    }
    const auto& [user, post] = it->second;
    if (post->followersOnly) {
        return {200, "{\"ok\":0,\"message\":" + Json("暂无查看权限") + ",\"error_code\":20112}",
                kJson};
    }
    std::string body = PostJson(*user, *post);
    body.insert(1, "\"ok\":1,");
    return {200, body, kJson};
}

std::string WebApi::AuthorJson(const User& user, const WebPost& post) const {
    if (post.author.empty()) return UserJson(user);
    if (const User* author = UserById(post.author)) return UserJson(*author);
    std::string name = post.authorName.empty() ? "用户" + post.author : post.authorName;
    return "{\"id\":" + post.author + ",\"idstr\":" + Json(post.author) +
           ",\"screen_name\":" + Json(name) + ",\"profile_url\":" + Json("/u/" + post.author) +
           ",\"statuses_count\":0}";
}

std::string WebApi::PostJson(const User& user, const WebPost& post, bool liked) const {
    std::string ids, infos;
    auto image = [&](const WebPicture& p, const char* size) {
        return "{\"url\":" + Json(PictureAddress(p, size)) +
               ",\"width\":" + std::to_string(kImageWidth) +
               ",\"height\":" + std::to_string(kImageHeight) + "}";
    };
    for (const WebPicture& p : post.pictures) {
        ids += (ids.empty() ? "" : ",") + Json(p.pid);
        infos += (infos.empty() ? "" : ",") + Json(p.pid) + ":{\"pid\":" + Json(p.pid) +
                 ",\"type\":" + Json(p.type) + ",\"thumbnail\":" + image(p, "thumb150") +
                 ",\"bmiddle\":" + image(p, "bmiddle") + ",\"large\":" + image(p, "large") +
                 ",\"mw2000\":" + image(p, "mw2000") + ",\"original\":" + image(p, "large") +
                 ",\"largest\":" + image(p, "large");
        if (p.type == "livephoto") infos += ",\"video\":" + Json(VideoAddress(p));
        infos += "}";
    }
    std::string out = "{\"created_at\":" + Json(PostTime(post.createdAt)) + ",\"id\":" + post.mid +
                      ",\"idstr\":" + Json(post.mid) + ",\"mid\":" + Json(post.mid) +
                      ",\"mblogid\":" + Json(post.mblogid) + ",\"user\":" + AuthorJson(user, post) +
                      ",\"text_raw\":" + Json(post.text) +
                      ",\"text\":" + Json(HtmlEscape(post.text)) +
                      ",\"pic_num\":" + std::to_string(post.pictures.size()) + ",\"pic_ids\":[" +
                      ids + "],\"pic_infos\":{" + infos + "}";
    if (post.pinned) {
        switch (post.topStyle) {
            case TopStyle::Number:
                out += ",\"isTop\":1";
                break;
            case TopStyle::Boolean:
                out += ",\"isTop\":true";
                break;
            case TopStyle::String:
                out += ",\"isTop\":\"1\"";
                break;
            case TopStyle::MblogType:
                out += ",\"mblogtype\":2";
                break;
        }
    }
    if (liked) out += ",\"title\":{\"text\":" + Json("赞过") + "}";
    return out + "}";
}

}  // namespace photoservice
