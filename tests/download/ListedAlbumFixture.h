#pragma once
// A protocol of the test's own that lists the pictures it is given, and a loopback server that
// answers each image path as a case says: runs of one album whose every picture a test chooses.

#include <gtest/gtest.h>
#include <httplib.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "RecordingView.h"
#include "TestSession.h"
#include "download/DownloadJob.h"
#include "download/RecordStore.h"
#include "runtime/CodePage.h"

namespace ovx::test {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

inline const std::string kJpeg = std::string("\xFF\xD8\xFF\xE0", 4) + "jpeg body";
inline const std::string kPng = std::string("\x89PNG\r\n\x1A\n", 8) + "png body";
inline const std::string kGif = "GIF89a gif body";
inline const std::string kWebp = std::string("RIFF\x10\0\0\0WEBPVP8L", 16) + "webp body";
inline const std::string kMov = std::string("\0\0\0\x14", 4) + "ftypqt  video body";

inline const RecordLayout& Layout() {
    static const RecordLayout layout{Text("-fetch"), Text("pic_id"), 40, false};
    return layout;
}

// One album whose pictures are the items given.
class ListedProtocol : public Protocol {
  public:
    explicit ListedProtocol(std::vector<PhotoItem> items,
                            PhotoCursor::Step last = PhotoCursor::Step::End)
        : items_(std::move(items)), last_(last) {}

    ServiceOutcome ResolveUser(const Text&, const std::optional<Text>&, const RunHooks&,
                               ListedUser&, Text&) override {
        return ServiceOutcome::Done;
    }
    ServiceOutcome ListAlbums(const ListedUser&, const RunHooks&, std::vector<AlbumListing>&,
                              Text&) override {
        return ServiceOutcome::Done;
    }
    std::unique_ptr<PhotoCursor> OpenAlbum(const ListedUser&, const AlbumListing&,
                                           const RunHooks&) override {
        return std::make_unique<Cursor>(items_, last_);
    }
    Text AlbumPageAddress(const ListedUser&) const override { return Text(); }
    Text ImageHeaders() const override { return Text("Referer: https://weibo.com/"); }
    const RecordLayout& Records() const override { return Layout(); }

  private:
    class Cursor : public PhotoCursor {
      public:
        Cursor(const std::vector<PhotoItem>& items, Step last) : items_(items), last_(last) {}
        Step Next(PhotoItem& item) override {
            if (next_ >= items_.size()) return last_;
            item = items_[next_++];
            return Step::Photo;
        }

      private:
        const std::vector<PhotoItem>& items_;
        Step last_;
        std::size_t next_ = 0;
    };
    std::vector<PhotoItem> items_;
    PhotoCursor::Step last_;
};

// How the server answers one path (on any host, or on the host named in `hosts`).
struct Answer {
    int status = 200;
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;
};

class ListedAlbumFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() /
                ("ovx-fetch-" + std::to_string(std::random_device{}()) +
                 std::to_string(std::random_device{}()));
        fs::create_directories(root_ / "records");
        server_.set_keep_alive_timeout(1);
        server_.Get(".*", [this](const httplib::Request& req, httplib::Response& res) {
            if (const auto own = handlers_.find(req.path); own != handlers_.end())
                return own->second(req, res);
            std::string host = req.get_header_value("Host");
            host = host.substr(0, host.find(':'));
            Answer answer;
            {
                std::lock_guard lock(mutex_);
                requests_.push_back(host + req.path);
                cookies_ += req.has_header("Cookie") || req.has_header("X-XSRF-TOKEN");
                auto it = answers_.find(host + req.path);
                if (it == answers_.end()) it = answers_.find(req.path);
                if (it == answers_.end()) {
                    res.status = 404;
                    return;
                }
                answer = it->second;
            }
            res.status = answer.status;
            for (const auto& [name, value] : answer.headers) res.set_header(name, value);
            if (!answer.body.empty()) res.set_content(answer.body, "image/jpeg");
        });
        port_ = server_.bind_to_any_port("127.0.0.1");
        ASSERT_GT(port_, 0);
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        for (int i = 0; i < 500 && !server_.is_running(); ++i) std::this_thread::sleep_for(10ms);
    }
    void TearDown() override {
        server_.stop();
        thread_.join();
        std::error_code ec;
        fs::remove_all(root_, ec);
    }

    void Serve(const std::string& path, Answer answer) {
        std::lock_guard lock(mutex_);
        answers_[path] = std::move(answer);
    }
    std::string Url(const std::string& path, const std::string& host = "127.0.0.1") const {
        return "http://" + host + ":" + std::to_string(port_) + path;
    }
    int Requests(const std::string& hostAndPath) {
        std::lock_guard lock(mutex_);
        return static_cast<int>(std::count(requests_.begin(), requests_.end(), hostAndPath));
    }
    std::vector<std::string> RequestLog() {
        std::lock_guard lock(mutex_);
        return requests_;
    }

    static PhotoItem Picture(const std::string& id, const std::string& address, int position,
                             const std::string& caption = "图") {
        PhotoItem item;
        item.photoId = Text(id);
        item.imageAddress = Text(address);
        item.extension = Text(".jpg");
        item.caption = Utf8ToLocal(caption);
        item.uploadSeconds = 1400000000 - position;
        item.position = position;
        return item;
    }

    DownloadSummary Run(const std::vector<PhotoItem>& items, bool records = true,
                        RecordingView* view = nullptr, JobControl* control = nullptr,
                        PhotoCursor::Step last = PhotoCursor::Step::End) {
        RecordingView own;
        RecordingView& v = view ? *view : own;
        AlbumRow row;
        row.number = Text("1");
        row.name = Utf8ToLocal("相册");
        row.albumKey = Text("key");
        v.AddAlbum(row);
        v.answers.albumOptions.saveLocation = FromPath(root_ / "save");
        v.answers.albumOptions.downloadRecord = records;
        v.answers.albumOptions.parallelImages = parallelImages_;
        v.answers.downloadRecord = records;
        DownloadSetup setup;
        setup.user.userId = Text("42");
        setup.user.userTitle = Utf8ToLocal("用户");
        setup.protocol = std::make_shared<ListedProtocol>(items, last);
        setup.programFolder = FromPath(root_ / "program");
        setup.recordFolder = FromPath(root_ / "records") + Text("/");
        setup.syncFolder = syncFolder_;
        for (int n = 1; n <= 4; ++n)
            setup.imageResolve.push_back("wx" + std::to_string(n) + ".sinaimg.cn:" +
                                         std::to_string(port_) + ":127.0.0.1");
        JobControl ownControl;
        DownloadSummary summary =
            DownloadJob(v, control ? *control : ownControl, session_.Context(), setup).Run();
        log_ = v.Log();
        return summary;
    }

    fs::path Album() const { return root_ / "save" / "用户" / "相册"; }
    std::set<std::string> Files() const {
        std::set<std::string> names;
        std::error_code ec;
        for (auto it = fs::directory_iterator(Album(), ec); !ec && it != fs::directory_iterator();
             it.increment(ec))
            names.insert(it->path().filename().string());
        return names;
    }
    std::vector<std::string> Recorded() {
        RecordEngine engine;
        auto store = RecordStore::ForUser(FromPath(root_ / "records") + Text("/"), Text("42"),
                                          Layout(), {}, engine);
        std::vector<std::string> ids;
        if (!store->OpenForReading()) return ids;
        for (const Text& id : store->AllIds()) ids.push_back(id.bytes());
        store->Close();
        return ids;
    }
    bool Logged(const std::string& line) const { return log_.find(line) != std::string::npos; }

    fs::path root_;
    httplib::Server server_;
    std::thread thread_;
    int port_ = 0;
    std::mutex mutex_;
    std::map<std::string, Answer> answers_;
    // Paths answered by a handler of the test's own (set before the first request).
    std::map<std::string, httplib::Server::Handler> handlers_;
    std::vector<std::string> requests_;
    int cookies_ = 0;
    std::string log_;
    // The runs' folder sync, when a test watches it.
    std::function<bool(const Text& folder)> syncFolder_;
    int parallelImages_ = 1;  // image transfers of the album at once
    TestSession session_;
};

}  // namespace ovx::test
