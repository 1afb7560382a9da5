#include "PhotoService.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <random>

#include "Images.h"
#include "JsonText.h"
#include "ScenarioReader.h"

namespace photoservice {
namespace {

const char* kHtml = "text/html; charset=utf-8";
const char* kJson = "application/json; charset=utf-8";

std::string HtmlDocument(const std::string& title, const std::string& head,
                         const std::string& body) {
    return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">\n<title>" + title + "</title>\n" +
           head + "</head>\n<body>\n" + body + "\n</body></html>\n";
}

bool AllDigits(const std::string& s) {
    if (s.empty() || s.size() > 18) return false;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

// A query value read as a positive integer, or `fallback`.
long PositiveParam(const httplib::Request& req, const char* key, long fallback, long max) {
    std::string v = req.get_param_value(key);
    if (!AllDigits(v)) return fallback;
    long n = std::stol(v);
    return n < 1 ? fallback : n > max ? max : n;
}

// "2014-05-14 00:53:20": the service's local time, UTC+8.
std::string CreatedAt(std::int64_t seconds) {
    std::time_t t = static_cast<std::time_t>(seconds + 8 * 3600);
    std::tm tm{};
    gmtime_r(&t, &tm);
    char buffer[32];
    std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M:%S", &tm);
    return buffer;
}

// Percent-encodes everything but unreserved characters, for a query value.
std::string PercentEncode(const std::string& s) {
    std::string out;
    for (unsigned char c : s) {
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
            out.push_back(static_cast<char>(c));
        } else {
            char buffer[4];
            std::snprintf(buffer, sizeof buffer, "%%%02X", c);
            out += buffer;
        }
    }
    return out;
}

std::string Cookie(const httplib::Request& req, const std::string& name) {
    for (std::size_t n = 0; n < req.get_header_value_count("Cookie"); ++n) {
        std::string header = req.get_header_value("Cookie", n);
        std::size_t pos = 0;
        while (pos < header.size()) {
            std::size_t end = header.find(';', pos);
            if (end == std::string::npos) end = header.size();
            std::string part = header.substr(pos, end - pos);
            std::size_t first = part.find_first_not_of(' ');
            if (first != std::string::npos) part.erase(0, first);
            if (part.compare(0, name.size() + 1, name + "=") == 0)
                return part.substr(name.size() + 1);
            pos = end + 1;
        }
    }
    return {};
}

// The name the request's Host header gives, without the port, in lower case.
std::string HostName(const httplib::Request& req) {
    std::string host = req.get_header_value("Host");
    std::size_t colon = host.rfind(':');
    if (colon != std::string::npos && host.find(']', colon) == std::string::npos) host.erase(colon);
    for (char& c : host) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return host;
}

// /SIZE/NAME.EXT with a picture's or a video's extension, served here or not.
bool IsImagePath(const std::string& path) {
    std::size_t slash = path.find('/', 1), dot = path.rfind('.');
    if (slash == std::string::npos || path.find('/', slash + 1) != std::string::npos ||
        dot == std::string::npos || dot < slash) {
        return false;
    }
    static const std::set<std::string> kExtensions = {"jpg", "jpeg", "gif", "png", "webp", "mov"};
    return kExtensions.count(path.substr(dot + 1)) > 0;
}

const std::string& Spaces() {
    static const std::string spaces(64 * 1024, ' ');
    return spaces;
}

}  // namespace

PhotoService::PhotoService(Scenario scenario)
    : scenario_(std::move(scenario)),
      webApi_(scenario_),
      throttle_(scenario_.throttle),
      visitors_(scenario_.visitors) {
    faultSeen_.assign(scenario_.faults.size(), 0);
    okMinus100Left_ = scenario_.okMinus100;
    for (const User& user : scenario_.users) {
        for (const Album& album : user.albums) {
            for (const Photo& photo : album.photos) {
                images_[photo.picName] = {album.seq * 1000 + photo.number,
                                          std::to_string(photo.number), photo.gif ? "gif" : "jpg"};
            }
            if (album.photos.empty()) {
                images_["cover" + album.albumId + ".jpg"] = {
                    album.seq * 1000, "-" + std::to_string(album.seq), "jpg"};
            }
        }
        auto add = [this](const std::vector<WebPost>& posts) {
            for (const WebPost& post : posts) {
                for (const WebPicture& p : post.pictures) {
                    images_[p.pid + "." + p.ext] = {p.seed, p.label, p.format};
                    if (p.type == "livephoto") videos_.insert(p.pid + ".mov");
                }
            }
        };
        add(user.web.posts);
        add(user.web.liked);
        for (const WebAlbum& album : user.web.albums) add(album.posts);
    }
    server_.set_read_timeout(10, 0);
    server_.set_write_timeout(10, 0);
    server_.set_keep_alive_timeout(5);
    server_.set_keep_alive_max_count(1000);
    // A kept-alive connection holds one of the pool's threads: enough of them that a client's
    // parallel image transfers (up to 8) never leave its page requests waiting for a thread.
    server_.new_task_queue = [] { return new httplib::ThreadPool(32); };
    // Headers and body go out in separate writes; without this each answer on a kept-alive
    // connection waits for the client's delayed acknowledgement.
    server_.set_tcp_nodelay(true);
    auto handler = [this](const httplib::Request& req, httplib::Response& res) {
        Handle(req, res);
    };
    server_.Get(".*", handler);
    server_.Post(".*", handler);
}

PhotoService::~PhotoService() {
    if (requestLog_) std::fclose(requestLog_);
}

bool PhotoService::OpenRequestLog(const std::string& path) {
    std::lock_guard lock(mutex_);
    if (requestLog_) std::fclose(requestLog_);
    requestLog_ = std::fopen(path.c_str(), "a");
    return requestLog_ != nullptr;
}

void PhotoService::LogRequest(const httplib::Request& req, int status, double seconds,
                              const std::string& extra) {
    std::lock_guard lock(mutex_);
    if (!requestLog_) return;
    std::string query;
    for (const auto& [key, value] : req.params) {
        query += (query.empty() ? "?" : "&") + key + "=" + value;
    }
    // Line breaks in a decoded query would split the line.
    for (char& c : query) {
        if (c == '\n' || c == '\r') c = ' ';
    }
    std::fprintf(requestLog_, "%s %s%s %d %.3f%s\n", req.method.c_str(), req.path.c_str(),
                 query.c_str(), status, seconds, extra.c_str());
    std::fflush(requestLog_);
}

std::string PhotoService::WithPort(std::string host) const {
    for (std::size_t pos = host.find("{port}"); pos != std::string::npos;
         pos = host.find("{port}")) {
        host.replace(pos, 6, std::to_string(port_));
    }
    return host;
}

std::string PhotoService::PicHostOf(const Album& album) const {
    return album.picHost.empty() ? picHost_ : WithPort(album.picHost);
}

int PhotoService::Bind(int port) {
    int bound = port == 0 ? server_.bind_to_any_port("127.0.0.1")
                          : (server_.bind_to_port("127.0.0.1", port) ? port : -1);
    if (bound <= 0) return -1;
    port_ = bound;
    picHost_ = WithPort(scenario_.picHost.empty() ? "http://127.0.0.1:{port}" : scenario_.picHost);
    origin_ = "http://127.0.0.1:" + std::to_string(port_);
    referer_ = WithPort(scenario_.requireReferer);
    webApi_.SetHosts(picHost_, origin_);
    return bound;
}

bool PhotoService::Run() {
    return server_.listen_after_bind();
}

void PhotoService::Stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    server_.stop();
}

bool PhotoService::Delay(int ms) {
    std::unique_lock lock(mutex_);
    return !wake_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stopping_; });
}

std::string PhotoService::JsonStringFor(const std::string& s) const {
    return JsonString(s, scenario_.escapeUnicode);
}

const Fault* PhotoService::ActiveFault(const httplib::Request& req) {
    std::lock_guard lock(mutex_);
    const Fault* active = nullptr;
    for (std::size_t i = 0; i < scenario_.faults.size(); ++i) {
        const Fault& f = scenario_.faults[i];
        bool pathMatches =
            f.prefix ? req.path.compare(0, f.path.size(), f.path) == 0 : req.path == f.path;
        if (!pathMatches || (!f.host.empty() && f.host != HostName(req))) continue;
        bool queryMatches = true;
        for (const auto& [key, value] : f.query) {
            if (req.get_param_value(key.c_str()) != value) queryMatches = false;
        }
        if (!queryMatches) continue;
        int seen = ++faultSeen_[i];
        if (!active && seen > f.skip && (f.times < 0 || seen <= f.skip + f.times)) active = &f;
    }
    return active;
}

bool PhotoService::LoggedIn(const httplib::Request& req) {
    if (!scenario_.requireLogin) return true;
    std::string sub = Cookie(req, "SUB");
    if (sub.empty()) return false;
    if (!scenario_.session.empty() && sub == scenario_.session) return true;
    std::lock_guard lock(mutex_);
    return sessions_.count(sub) > 0;
}

void PhotoService::Handle(const httplib::Request& req, httplib::Response& res) {
    const auto arrival = std::chrono::steady_clock::now();
    const double seconds = std::chrono::duration<double>(arrival - start_).count();
    std::string extra;
    if (WebApi::IsApiPath(req.path)) {
        extra = " xsrf=" + CheckXsrf(req, res);
    } else if (IsImagePath(req.path)) {
        extra = " host=" + HostName(req) +
                " cookie=" + (req.has_header("Cookie") ? "sent" : "none") +
                " xsrf=" + (req.has_header("X-XSRF-TOKEN") ? "sent" : "none");
    }

    if (int retryAfter = throttle_.Check(req.path, arrival); retryAfter >= 0) {
        res.status = 418;
        if (retryAfter > 0) res.set_header("Retry-After", std::to_string(retryAfter));
        res.set_content(HtmlDocument("418", "", "<h1>418</h1>"), kHtml);
        LogRequest(req, res.status, seconds, extra);
        return;
    }
    const Fault* fault = ActiveFault(req);
    std::string action = fault ? fault->action : "";
    Page page;
    if (action == "empty") {
        page = {200, "", kHtml};
    } else if (action == "html") {
        page = {200, HtmlDocument("访问过于频繁", "", "<h1>请稍后再试</h1>"), kHtml};
    } else if (action == "status") {
        std::string code = std::to_string(fault->status);
        page = {fault->status, HtmlDocument(code, "", "<h1>" + code + "</h1>"), kHtml};
    } else if (action == "body") {
        page = {fault->statusGiven ? fault->status : 200, fault->body,
                fault->contentType.empty() ? kJson : fault->contentType};
    } else {
        page = Dispatch(req, res, fault);
    }
    if ((action == "status" || action == "body") && fault->retryAfter >= 0)
        res.set_header("Retry-After", std::to_string(fault->retryAfter));
    if (fault) {
        for (const auto& [name, value] : fault->headers) {
            res.headers.erase(name);
            res.set_header(name, Expand(value, req));
        }
    }
    LogRequest(req, page.status, seconds, extra);
    if (fault && fault->delayMs > 0) Delay(fault->delayMs);
    res.status = page.status;
    if (action == "truncate" && !page.body.empty()) {
        // Announce the whole length, send part of it and drop the connection.
        std::size_t keep = fault->keepBytes < 0
                               ? page.body.size() / 2
                               : std::min<std::size_t>(static_cast<std::size_t>(fault->keepBytes),
                                                       page.body.size() - 1);
        auto body = std::make_shared<std::string>(std::move(page.body));
        res.set_content_provider(
            body->size(), page.contentType,
            [body, keep](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                if (offset < keep) sink.write(body->data() + offset, keep - offset);
                return offset < keep;
            });
        return;
    }
    if (action == "endless") {
        // The answer but its last byte, then spaces until the client hangs up.
        if (!page.body.empty()) page.body.pop_back();
        Stream stream{std::move(page.body), 0, "", true,
                      fault->bytesPerSecond > 0 ? fault->bytesPerSecond : 1000};
        Send(res, page.contentType.empty() ? kJson : page.contentType, std::move(stream));
        return;
    }
    if (fault && action.empty() && !page.body.empty() &&
        (fault->bytesPerSecond > 0 || fault->padBytes > page.body.size())) {
        Stream stream{std::move(page.body), 0, "", false, fault->bytesPerSecond};
        if (fault->padBytes > stream.head.size()) {
            // A JSON object gets a member of spaces first, anything else trailing spaces.
            std::string& body = stream.head;
            if (body.size() > 1 && body.front() == '{') {
                stream.tail = (body[1] == '}' ? "\"" : "\",") + body.substr(1);
                body = "{\"_pad\":\"";
            }
            std::size_t used = stream.head.size() + stream.tail.size();
            stream.fill = fault->padBytes > used ? fault->padBytes - used : 0;
        }
        Send(res, page.contentType, std::move(stream));
        return;
    }
    if (!page.contentType.empty()) res.set_content(page.body, page.contentType);
}

void PhotoService::Send(httplib::Response& res, const std::string& contentType, Stream stream) {
    auto s = std::make_shared<Stream>(std::move(stream));
    // With a rate, a tenth of it every 100 ms; without, pieces of 64 KiB.
    std::size_t slice =
        s->bytesPerSecond > 0
            ? std::max<std::size_t>(1, static_cast<std::size_t>(s->bytesPerSecond) / 10)
            : Spaces().size();
    auto write = [this, s, slice](std::size_t pos, httplib::DataSink& sink) {
        if (pos > 0 && s->bytesPerSecond > 0 && !Delay(100)) return false;
        const std::size_t head = s->head.size(), filled = head + s->fill,
                          end = filled + s->tail.size();
        for (std::size_t left = slice; left > 0;) {
            const char* data = Spaces().data();
            std::size_t available = Spaces().size();
            if (pos < head) {
                data = s->head.data() + pos;
                available = head - pos;
            } else if (!s->endless && pos < filled) {
                available = std::min(available, filled - pos);
            } else if (!s->endless && pos < end) {
                data = s->tail.data() + (pos - filled);
                available = end - pos;
            } else if (!s->endless) {
                break;
            }
            std::size_t n = std::min(left, available);
            if (!sink.write(data, n)) return false;
            pos += n;
            left -= n;
        }
        return true;
    };
    if (s->endless) {
        res.set_chunked_content_provider(contentType, write);
        return;
    }
    std::size_t size = s->head.size() + s->fill + s->tail.size();
    res.set_content_provider(size, contentType,
                             [write](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                                 return write(offset, sink);
                             });
}

std::string PhotoService::Expand(const std::string& value, const httplib::Request& req) const {
    return Replace(Replace(WithPort(value), "{origin}", origin_), "{host}",
                   req.get_header_value("Host"));
}

std::string PhotoService::CheckXsrf(const httplib::Request& req, httplib::Response& res) {
    std::string cookie = Cookie(req, "XSRF-TOKEN");
    std::string header = req.get_header_value("X-XSRF-TOKEN");
    std::lock_guard lock(mutex_);
    bool known = !cookie.empty() && xsrfTokens_.count(cookie) > 0;
    if (!known) {
        std::random_device device;
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%08x%08x%08x", device(), device(), device());
        xsrfTokens_.insert(buffer);
        res.set_header("Set-Cookie", std::string("XSRF-TOKEN=") + buffer + "; Path=/");
    }
    if (header.empty()) return "none";
    return known && header == cookie ? "match" : "wrong";
}

bool PhotoService::RefererAccepted(const httplib::Request& req) const {
    return referer_.empty() || req.get_header_value("Referer").rfind(referer_, 0) == 0;
}

std::string PhotoService::PassportAddress(const std::string& back) {
    long visit = 0;
    {
        std::lock_guard lock(mutex_);
        visit = ++passportVisits_;
    }
    return origin_ + "/visitor/visitor?entry=miniblog&a=enter&url=" + PercentEncode(back) +
           "&domain=weibo.com&ua=&_rand=" + std::to_string(std::time(nullptr)) + "." +
           std::to_string(visit);
}

Page PhotoService::WebCall(const httplib::Request& req, httplib::Response& res,
                           const Fault* fault) {
    std::string back = origin_ + "/login.php?url=" + PercentEncode(origin_ + req.target);
    if (!LoggedIn(req)) {
        if (!scenario_.visitors.enabled) {
            res.set_header("Location", back);
            return {302, "", ""};
        }
        // Visitor cookies: none or unknown ones send the call to the passport; stale ones ask
        // for a visit to the site; good ones open all but the timeline.
        switch (visitors_.Check(Cookie(req, "SUB"), Cookie(req, "SUBP"), true)) {
            case Visitors::Standing::None:
                res.set_header("Location", PassportAddress(origin_ + req.target));
                return {302, "", ""};
            case Visitors::Standing::Stale:
                return {200, "{\"ok\":-100,\"url\":" + Json(back) + "}", kJson};
            case Visitors::Standing::Valid:
                break;
        }
        if (req.path == "/ajax/statuses/mymblog")
            return {403, "{\"ok\":0,\"message\":" + Json("前方有点拥堵，请登录后使用") + "}",
                    kJson};
    }
    Page page = webApi_.Answer(req, fault);
    if (page.status == 200 && page.body.rfind("{\"ok\":1", 0) == 0) {
        std::lock_guard lock(mutex_);
        if (okMinus100Left_ != 0) {
            if (okMinus100Left_ > 0) --okMinus100Left_;
            return {200, "{\"ok\":-100,\"url\":" + Json(back) + "}", kJson};
        }
    }
    return page;
}

Page PhotoService::Image(const ImageRef& image) const {
    if (image.format == "gif")
        return {200, MakeGif(image.seed, image.label, scenario_.imageBytes), "image/gif"};
    if (image.format == "png") return {200, MakePng(image.seed, image.label), "image/png"};
    if (image.format == "webp") return {200, MakeWebp(image.seed, image.label), "image/webp"};
    return {200, MakeJpeg(image.seed, image.label, scenario_.imageBytes), "image/jpeg"};
}

Page PhotoService::Dispatch(const httplib::Request& req, httplib::Response& res,
                            const Fault* fault) {
    const std::string& path = req.path;
    if (scenario_.visitors.enabled && Visitors::IsPassportPath(path)) {
        Page page = visitors_.Answer(req, res, origin_ + "/");
        if (page.status == 404) return {404, HtmlDocument("404", "", "<h1>404</h1>"), kHtml};
        return page;
    }
    if (req.method == "POST") {
        if (path != "/login") return {404, HtmlDocument("404", "", "<h1>404</h1>"), kHtml};
        std::string user = req.get_param_value("username");
        if (user.empty()) return LoginPage("请输入用户名");
        std::string token;
        {
            std::random_device device;
            char buffer[40];
            std::snprintf(buffer, sizeof buffer, "_2A%08x%08x%08x", device(), device(), device());
            token = buffer;
            std::lock_guard lock(mutex_);
            sessions_.insert(token);
        }
        res.set_header("Set-Cookie", "SUB=" + token + "; Path=/; HttpOnly");
        res.set_header("Location", "/");
        return {302, "", ""};
    }
    if (path == "/") {
        {
            // A visit to the site renews the session: the web API answers again.
            std::lock_guard lock(mutex_);
            if (okMinus100Left_ > 0) okMinus100Left_ = 0;
        }
        bool loggedIn = LoggedIn(req);
        if (!loggedIn && scenario_.visitors.enabled &&
            visitors_.Check(Cookie(req, "SUB"), Cookie(req, "SUBP"), false) !=
                Visitors::Standing::Valid) {
            res.set_header("Location", PassportAddress(origin_ + "/"));
            return {302, "", ""};
        }
        return RootPage(loggedIn);
    }
    if (path == "/login" || path == "/login.php") return LoginPage("");
    if (WebApi::IsApiPath(path)) return WebCall(req, res, fault);
    if (path == "/logout") {
        res.set_header("Set-Cookie", "SUB=; Path=/; Max-Age=0");
        res.set_header("Location", "/");
        return {302, "", ""};
    }
    if (path == "/version") return {200, scenario_.versionPage, kHtml};
    if (path == "/albums/get_all") return LoggedIn(req) ? AlbumList(req) : LoginPage("");
    if (path == "/photos/get_all") return LoggedIn(req) ? PhotoList(req) : LoginPage("");

    // The image hosts' stand-in for a deleted picture.
    if (path.rfind("/images/default_", 0) == 0 && path.size() > 20 &&
        path.compare(path.size() - 4, 4, ".gif") == 0 && path.find('/', 8) == std::string::npos) {
        return {200, MakeGif(0, "---", 8800), "image/gif"};
    }
    // Images: /<size>/<name>, e.g. /large/abc.jpg and /thumb300/abc.jpg; live-photo videos.
    std::size_t slash = path.find('/', 1);
    if (slash != std::string::npos && path.find('/', slash + 1) == std::string::npos) {
        std::string name = path.substr(slash + 1);
        auto it = images_.find(name);
        bool video = videos_.count(name) > 0;
        if ((it != images_.end() || video) && !RefererAccepted(req))
            return {403, HtmlDocument("403", "", "<h1>403 Forbidden</h1>"), kHtml};
        if (video) return {200, MakeVideo(name), "video/quicktime"};
        if (it != images_.end()) return Image(it->second);
    }
    // Home pages: /u/<uid>, /<name>, /n/<screen name>, /profile/<uid>; album pages:
    // /<uid>/albums/.
    std::string key;
    bool albums = false;
    if (path.compare(0, 3, "/u/") == 0) {
        key = path.substr(3);
    } else if (path.compare(0, 9, "/profile/") == 0) {
        key = path.substr(9);
    } else if (path.compare(0, 3, "/n/") == 0 && path.size() > 3) {
        for (const User& user : scenario_.users) {
            if (user.web.screenName == path.substr(3)) key = user.uid;
        }
    } else if (slash == std::string::npos) {
        key = path.substr(1);
    } else if (path.compare(slash, std::string::npos, "/albums/") == 0 ||
               path.compare(slash, std::string::npos, "/albums") == 0) {
        key = path.substr(1, slash - 1);
        albums = true;
    }
    if (const User* user = key.empty() ? nullptr : scenario_.FindUser(key)) {
        if (!LoggedIn(req)) return LoginPage("");
        return albums ? AlbumPage(*user) : HomePage(*user);
    }
    return {404, HtmlDocument("404", "", "<h1>404</h1><p>没有这个页面</p>"), kHtml};
}

Page PhotoService::LoginPage(const std::string& note) const {
    std::string body = "<h1>登录微博</h1>\n" +
                       (note.empty() ? std::string() : "<p class=\"note\">" + note + "</p>\n") +
                       "<form method=\"post\" action=\"/login\">\n"
                       "<p>用户名 <input name=\"username\"></p>\n"
                       "<p>密码 <input name=\"password\" type=\"password\"></p>\n"
                       "<p><button type=\"submit\">登录</button></p>\n</form>";
    return {200, HtmlDocument("微博-随时随地发现新鲜事", "", body), kHtml};
}

Page PhotoService::RootPage(bool loggedIn) const {
    std::string body = "<h1>微博</h1>\n<p>";
    body += loggedIn ? "已登录。 <a href=\"/logout\">退出</a>" : "<a href=\"/login\">登录</a>";
    body += "</p>\n<ul>\n";
    for (const User& user : scenario_.users) {
        std::string path = user.name.empty() ? "/u/" + user.uid : "/" + user.name;
        body += "<li><a href=\"" + path + "\">" + HtmlEscape(user.title) + "</a></li>\n";
    }
    body += "</ul>";
    return {200, HtmlDocument("微博-随时随地发现新鲜事", "", body), kHtml};
}

Page PhotoService::HomePage(const User& user) const {
    std::string script = "<script type=\"text/javascript\">\n";
    const std::string& id = user.markerValue.empty() ? user.uid : user.markerValue;
    if (user.noMarker) {
        // The current site: an application that reads everything through the web API.
        script += "var app = document.getElementById('app');\n";
    } else if (user.ownerUidMarker) {
        script += "var page = {page_id: 100505" + user.uid + ", owner_uid: " + id +
                  ", domain: 100505};\n";
    } else {
        script += "var $CONFIG = {};\n$CONFIG['oid']='" + id + "';\n$CONFIG['page_id']='100505" +
                  user.uid + "';\n$CONFIG['islogin']='1';\n";
    }
    script += "</script>\n";
    std::string body = "<h1>" + HtmlEscape(user.title) + "</h1>\n<p><a href=\"/" + user.uid +
                       "/albums/\">相册</a> (" + std::to_string(user.albums.size()) + ")</p>";
    if (user.noMarker) body = "<div id=\"app\"></div>\n<h1>" + HtmlEscape(user.title) + "</h1>";
    return {200, HtmlDocument(HtmlEscape(user.title), script, body), kHtml};
}

Page PhotoService::AlbumPage(const User& user) const {
    std::string body = "<h1>" + HtmlEscape(user.title) + " 的相册</h1>\n<ul>\n";
    for (const Album& album : user.albums) {
        std::string cover = CoverAddress(album);
        body += "<li>";
        if (!cover.empty()) body += "<img src=\"" + HtmlEscape(cover) + "\" width=\"80\"> ";
        body += HtmlEscape(album.caption) + " (" + std::to_string(album.photos.size()) + ")</li>\n";
    }
    body += "</ul>";
    return {200, HtmlDocument(HtmlEscape(user.title) + "的相册", "", body), kHtml};
}

std::string PhotoService::CoverAddress(const Album& album) const {
    if (album.cover != "auto") return album.cover;
    std::string name =
        album.photos.empty() ? "cover" + album.albumId + ".jpg" : album.photos.front().picName;
    return PicHostOf(album) + "/thumb300/" + name;
}

Page PhotoService::AlbumList(const httplib::Request& req) const {
    const User* user = scenario_.FindUser(req.get_param_value("uid"));
    std::size_t total = user ? user->albums.size() : 0;
    std::size_t shown = std::min<std::size_t>(
        total, static_cast<std::size_t>(PositiveParam(req, "count", 20, 100000)));
    std::string out =
        "{\"result\":true,\"code\":0,\"msg\":\"\",\"data\":{\"total\":" + std::to_string(total) +
        ",\"album_list\":[";
    for (std::size_t i = 0; i < shown; ++i) {
        const Album& a = user->albums[i];
        std::string count = a.reportedCount.value_or(std::to_string(a.photos.size()));
        std::vector<std::pair<std::string, std::string>> members = {
            {"album_id", Json(a.albumId)},
            {"uid", Json(user->uid)},
            {"caption", Json(a.caption)},
            {"description", "\"\""},
            {"type", a.typeIsNumber ? a.type : Json(a.type)},
            {"cover_pic", Json(CoverAddress(a))},
            {"count", "{\"photos\":" + (AllDigits(count) ? count : Json(count)) +
                          ",\"likes\":0,\"comments\":0}"},
            {"is_private", "false"},
            {"updated_at",
             std::to_string(a.photos.empty() ? 1300000000 : a.photos.front().timestamp)},
        };
        out += i ? ",{" : "{";
        bool first = true;
        for (const auto& [name, value] : members) {
            if (a.omitAlbumMembers.count(name)) continue;
            out += (first ? "\"" : ",\"") + name + "\":" + value;
            first = false;
        }
        out += "}";
    }
    out += "]}}";
    return {200, out, kJson};
}

Page PhotoService::PhotoList(const httplib::Request& req) const {
    const User* user = scenario_.FindUser(req.get_param_value("uid"));
    std::string albumId = req.get_param_value("album_id");
    const Album* album = nullptr;
    for (std::size_t i = 0; user && i < user->albums.size(); ++i) {
        if (user->albums[i].albumId == albumId) album = &user->albums[i];
    }
    std::size_t count = static_cast<std::size_t>(PositiveParam(req, "count", 20, 1000));
    std::size_t page = static_cast<std::size_t>(PositiveParam(req, "page", 1, 1000000));
    std::size_t total = album ? album->photos.size() : 0;
    std::string out =
        "{\"result\":true,\"code\":0,\"msg\":\"\",\"data\":{\"album_id\":" + Json(albumId) +
        ",\"total\":" + std::to_string(total) + ",\"photo_list\":[";
    std::size_t begin = (page - 1) * count;
    for (std::size_t i = begin; i < total && i < begin + count; ++i) {
        const Photo& p = album->photos[i];
        std::int64_t timestamp =
            album->timestampsInMilliseconds ? p.timestamp * 1000 + p.number % 1000 : p.timestamp;
        std::string pid = p.picName.substr(0, p.picName.rfind('.'));
        std::vector<std::pair<std::string, std::string>> members = {
            {"photo_id", Json(p.photoId)},
            {"pic_pid", Json(pid)},
            {"album_id", Json(album->albumId)},
            {"uid", Json(user->uid)},
            {"type", album->typeIsNumber ? album->type : Json(album->type)},
            {"caption", Json(p.caption)},
            {"caption_render", Json(p.caption)},
            {"created_at", Json(CreatedAt(p.timestamp))},
            {"timestamp", std::to_string(timestamp)},
            {"pic_host", Json(PicHostOf(*album))},
            {"pic_name", Json(p.picName)},
            {"pic_type", "0"},
            {"is_private", "false"},
        };
        out += i > begin ? ",{" : "{";
        bool first = true;
        for (const auto& [name, value] : members) {
            if (album->omitPhotoMembers.count(name)) continue;
            out += (first ? "\"" : ",\"") + name + "\":" + value;
            first = false;
        }
        out += "}";
    }
    out += "]}}";
    return {200, out, kJson};
}

}  // namespace photoservice
