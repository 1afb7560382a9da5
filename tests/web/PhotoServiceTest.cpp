// Runs the built photo-service as a child process and talks plain HTTP to it.

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <json-c/json.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <csetjmp>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <vector>
// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>

#include "../support/ServiceProcess.h"

namespace {

using ovx::test::kServicePath;
using ovx::test::ServiceProcess;

struct JsonDeleter {
    void operator()(json_object* o) const { json_object_put(o); }
};
using Json = std::unique_ptr<json_object, JsonDeleter>;

Json Parse(const std::string& text) {
    return Json(json_tokener_parse(text.c_str()));
}

json_object* At(json_object* o, std::initializer_list<const char*> path) {
    for (const char* key : path) {
        json_object* next = nullptr;
        if (!o || !json_object_object_get_ex(o, key, &next)) return nullptr;
        o = next;
    }
    return o;
}

std::string Str(json_object* o, const char* key) {
    json_object* v = At(o, {key});
    return v ? json_object_get_string(v) : "(missing)";
}

struct Picture {
    int width = 0, height = 0;
    std::vector<std::uint32_t> rgb;  // 0xRRGGBB per pixel
};

struct JpegError {
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
};

// Decodes a JPEG with libjpeg; an empty picture when it is not one.
Picture DecodeJpeg(const std::string& bytes) {
    Picture pic;
    jpeg_decompress_struct cinfo{};
    JpegError err{};
    cinfo.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = [](j_common_ptr c) {
        std::longjmp(reinterpret_cast<JpegError*>(c->err)->jump, 1);
    };
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return {};
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    std::vector<unsigned char> row(cinfo.output_width * 3);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW rows[1] = {row.data()};
        jpeg_read_scanlines(&cinfo, rows, 1);
        for (std::size_t x = 0; x < cinfo.output_width; ++x) {
            pic.rgb.push_back(std::uint32_t{row[3 * x]} << 16 | std::uint32_t{row[3 * x + 1]} << 8 |
                              row[3 * x + 2]);
        }
    }
    pic.width = static_cast<int>(cinfo.output_width);
    pic.height = static_cast<int>(cinfo.output_height);
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return pic;
}

// Decodes the first frame of a GIF with a global colour table; empty when malformed.
Picture DecodeGif(const std::string& b) {
    auto u8 = [&](std::size_t i) { return i < b.size() ? static_cast<unsigned char>(b[i]) : 0u; };
    auto u16 = [&](std::size_t i) { return static_cast<int>(u8(i) | u8(i + 1) << 8); };
    if (b.compare(0, 6, "GIF89a") != 0 || !(u8(10) & 0x80)) return {};
    std::size_t paletteSize = std::size_t{2} << (u8(10) & 7), pos = 13 + 3 * paletteSize;
    std::vector<std::uint32_t> palette;
    for (std::size_t i = 0; i < paletteSize; ++i)
        palette.push_back(u8(13 + 3 * i) << 16 | u8(14 + 3 * i) << 8 | u8(15 + 3 * i));
    while (u8(pos) == 0x21) {  // extensions: skip their sub-blocks
        pos += 2;
        while (pos < b.size() && u8(pos)) pos += u8(pos) + 1;
        ++pos;
    }
    if (u8(pos) != 0x2C) return {};
    Picture pic;
    pic.width = u16(pos + 5);
    pic.height = u16(pos + 7);
    int minCode = static_cast<int>(u8(pos + 10));
    pos += 11;
    std::string data;
    while (pos < b.size() && u8(pos)) {
        data.append(b, pos + 1, u8(pos));
        pos += u8(pos) + 1;
    }
    if (u8(pos + 1) != 0x3B || minCode < 2 || minCode > 8) return {};
    // LZW: dictionary entries as (prefix, last byte).
    const int clear = 1 << minCode, end = clear + 1;
    std::vector<std::pair<int, unsigned char>> dict;
    auto expand = [&](int code, std::vector<unsigned char>& out) {
        std::size_t start = out.size();
        while (code >= 0) {
            out.push_back(dict[static_cast<std::size_t>(code)].second);
            code = dict[static_cast<std::size_t>(code)].first;
        }
        std::reverse(out.begin() + static_cast<long>(start), out.end());
    };
    std::vector<unsigned char> indexes;
    std::size_t bit = 0;
    int size = minCode + 1, previous = -1;
    while (bit + static_cast<std::size_t>(size) <= data.size() * 8) {
        int code = 0;
        for (int k = 0; k < size; ++k, ++bit)
            code |= ((static_cast<unsigned char>(data[bit / 8]) >> (bit % 8)) & 1) << k;
        if (code == clear) {
            dict.clear();
            for (int i = 0; i < clear + 2; ++i) dict.push_back({-1, static_cast<unsigned char>(i)});
            size = minCode + 1;
            previous = -1;
            continue;
        }
        if (code == end) break;
        if (dict.empty() || code > static_cast<int>(dict.size())) return {};
        std::vector<unsigned char> chars;
        if (code < static_cast<int>(dict.size())) {
            expand(code, chars);
            if (previous >= 0) dict.push_back({previous, chars[0]});
        } else {
            if (previous < 0) return {};
            expand(previous, chars);
            chars.push_back(chars[0]);
            dict.push_back({previous, chars[0]});
        }
        indexes.insert(indexes.end(), chars.begin(), chars.end());
        previous = code;
        if (static_cast<int>(dict.size()) == (1 << size) && size < 12) ++size;
    }
    if (indexes.size() !=
        static_cast<std::size_t>(pic.width) * static_cast<std::size_t>(pic.height))
        return {};
    for (unsigned char i : indexes) pic.rgb.push_back(palette[i < palette.size() ? i : 0]);
    return pic;
}

std::set<std::uint32_t> Colours(const Picture& p) {
    return {p.rgb.begin(), p.rgb.end()};
}

// A function of a system library, looked up at run time; null without the library.
template <typename F>
F* SystemFunction(const char* library, const char* name) {
    void* handle = dlopen(library, RTLD_NOW);
    return handle ? reinterpret_cast<F*>(dlsym(handle, name)) : nullptr;
}

// The width of a 120-row image as a decoder sees it: a WebP through libwebp; a PNG whose chunk
// checksums hold and whose image data zlib inflates to a filter byte and a byte a pixel a row.
// 0 when malformed, -1 without the library.
int DecodedWidth(const std::string& type, const std::string& b) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(b.data());
    if (type == "image/gif") return DecodeGif(b).height == 120 ? DecodeGif(b).width : 0;
    if (type == "image/jpeg") return DecodeJpeg(b).height == 120 ? DecodeJpeg(b).width : 0;
    if (type == "image/webp") {
        using Decode = unsigned char*(const unsigned char*, std::size_t, int*, int*);
        auto* decode = SystemFunction<Decode>("libwebp.so.7", "WebPDecodeRGB");
        auto* release = SystemFunction<void(void*)>("libwebp.so.7", "WebPFree");
        if (!decode || !release) return -1;
        int width = 0, height = 0;
        unsigned char* rgb = decode(bytes, b.size(), &width, &height);
        release(rgb);
        return rgb && height == 120 ? width : 0;
    }
    using Crc = unsigned long(unsigned long, const unsigned char*, unsigned);
    using Inflate = int(unsigned char*, unsigned long*, const unsigned char*, unsigned long);
    auto* crc32 = SystemFunction<Crc>("libz.so.1", "crc32");
    auto* inflate = SystemFunction<Inflate>("libz.so.1", "uncompress");
    if (!crc32 || !inflate) return -1;
    auto be32 = [&](std::size_t i) {
        return i + 4 > b.size()
                   ? 0u
                   : std::uint32_t{bytes[i]} << 24 | std::uint32_t{bytes[i + 1]} << 16 |
                         std::uint32_t{bytes[i + 2]} << 8 | bytes[i + 3];
    };
    std::string data;
    for (std::size_t pos = 8; pos + 12 <= b.size(); pos += 12 + be32(pos)) {
        std::uint32_t n = be32(pos);
        if (pos + 12 + n > b.size() || crc32(0, bytes + pos + 4, n + 4) != be32(pos + 8 + n))
            return 0;
        if (b.compare(pos + 4, 4, "IDAT") == 0) data += b.substr(pos + 8, n);
    }
    const std::uint32_t width = be32(16), height = be32(20);
    std::vector<unsigned char> rows((width + 1) * height + 1);
    unsigned long size = rows.size();
    bool inflated = inflate(rows.data(), &size, reinterpret_cast<const unsigned char*>(data.data()),
                            data.size()) == 0 &&
                    size == rows.size() - 1;
    return inflated && height == 120 ? static_cast<int>(width) : 0;
}

const char* kScenario = R"({
  "users": [
    {"uid": "1642591402", "name": "lvxing", "title": "旅行&的微博",
     "albums": [
       {"caption": "云南/之旅 😀", "type": 3,
        "photos": {"count": 250, "per_post": 3, "caption": "第{post}站", "newest": 1400000000, "step": 600,
                   "gif_every": 7}},
       {"caption": "空", "photos": []},
       {"caption": "缺", "type": "5", "timestamp_ms": true, "omit": ["caption_render"],
        "album_omit": ["cover_pic"],
        "photos": [{"caption": "a", "timestamp": 1300000000}, {"caption": "b\n100%", "timestamp": 1390000000}]}
     ]},
    {"uid": "2803301701", "title": "报", "marker": "owner_uid"}
  ],
  "version_page": "#weibo@@3.1#weibo"
})";

class PhotoService : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!kServicePath) GTEST_SKIP() << "photo-service is not built";
    }

    std::unique_ptr<httplib::Client> Client(int port) {
        auto client = std::make_unique<httplib::Client>("127.0.0.1", port);
        client->set_connection_timeout(10);
        client->set_read_timeout(30);
        return client;
    }

    // Logs in and returns the session cookie header.
    std::string Login(httplib::Client& client) {
        auto res = client.Post("/login", "username=tester&password=x",
                               "application/x-www-form-urlencoded");
        if (!res || res->status != 302) return {};
        std::string cookie = res->get_header_value("Set-Cookie");
        return cookie.substr(0, cookie.find(';'));
    }
};

TEST_F(PhotoService, LoginGatesHomePagesAndTheJsonEndpoints) {
    ServiceProcess service;
    int port = service.Start(kScenario);
    ASSERT_GT(port, 0) << service.Output();
    auto client = Client(port);

    auto root = client->Get("/");
    ASSERT_TRUE(root);
    EXPECT_NE(root->body.find("href=\"/login\""), std::string::npos);
    EXPECT_NE(root->body.find("href=\"/lvxing\""), std::string::npos);
    EXPECT_NE(root->body.find("href=\"/u/2803301701\""), std::string::npos);

    for (const char* path :
         {"/u/1642591402", "/albums/get_all?uid=1642591402&count=6355",
          "/photos/get_all?uid=1642591402&album_id=3500000000000001&count=100&page=1"}) {
        auto res = client->Get(path);
        ASSERT_TRUE(res) << path;
        EXPECT_EQ(res->status, 200);
        EXPECT_NE(res->body.find("action=\"/login\""), std::string::npos) << path;
        EXPECT_EQ(res->body.find("oid"), std::string::npos) << path;
        EXPECT_EQ(res->body.find("album_list"), std::string::npos) << path;
    }
    auto refused = client->Post("/login", "username=", "application/x-www-form-urlencoded");
    ASSERT_TRUE(refused);
    EXPECT_FALSE(refused->has_header("Set-Cookie"));
    // A made-up session is no session.
    auto forged = client->Get("/u/1642591402", {{"Cookie", "SUB=forged"}});
    EXPECT_EQ(forged->body.find("$CONFIG"), std::string::npos);

    std::string cookie = Login(*client);
    ASSERT_EQ(cookie.rfind("SUB=", 0), 0u) << cookie;
    httplib::Headers session = {{"Cookie", "other=1; " + cookie}};
    for (const char* path : {"/u/1642591402", "/lvxing"}) {
        auto home = client->Get(path, session);
        ASSERT_TRUE(home);
        EXPECT_NE(home->body.find("$CONFIG['oid']='1642591402'"), std::string::npos);
        EXPECT_NE(home->body.find("<title>旅行&amp;的微博</title>"), std::string::npos);
    }
    auto other = client->Get("/u/2803301701", session);
    EXPECT_NE(other->body.find("owner_uid: 2803301701,"), std::string::npos);
    EXPECT_EQ(other->body.find("$CONFIG['oid']"), std::string::npos);
    EXPECT_NE(other->body.find("<title>报</title>"), std::string::npos);
    EXPECT_EQ(client->Get("/u/999", session)->status, 404);
    EXPECT_EQ(client->Get("/version")->body, "#weibo@@3.1#weibo");

    EXPECT_EQ(service.Stop(SIGTERM), 0);
}

TEST_F(PhotoService, AlbumAndPhotoListsHaveTheServicesShape) {
    ServiceProcess service;
    int port = service.Start(kScenario);
    ASSERT_GT(port, 0) << service.Output();
    auto client = Client(port);
    httplib::Headers session = {{"Cookie", Login(*client)}};

    auto albums = client->Get("/albums/get_all?uid=1642591402&count=6355", session);
    ASSERT_TRUE(albums);
    // Escaped the way the real service writes: \uXXXX for non-ASCII, "\/" for '/'.
    EXPECT_NE(albums->body.find(R"("caption":"\u4e91\u5357\/\u4e4b\u65c5 \ud83d\ude00")"),
              std::string::npos);
    EXPECT_NE(albums->body.find(R"("cover_pic":"http:\/\/127.0.0.1:)" + std::to_string(port) +
                                R"(\/thumb300\/)"),
              std::string::npos);
    for (unsigned char c : albums->body) ASSERT_LT(c, 0x80);
    Json list = Parse(albums->body);
    ASSERT_TRUE(list);
    EXPECT_EQ(json_object_get_int(At(list.get(), {"data", "total"})), 3);
    json_object* array = At(list.get(), {"data", "album_list"});
    ASSERT_EQ(json_object_array_length(array), 3u);
    json_object* first = json_object_array_get_idx(array, 0);
    EXPECT_EQ(Str(first, "album_id").size(), 16u);
    EXPECT_EQ(json_object_get_int(At(first, {"count", "photos"})), 250);
    EXPECT_EQ(json_object_get_int(At(first, {"type"})), 3);
    EXPECT_EQ(json_object_get_int(At(json_object_array_get_idx(array, 1), {"count", "photos"})), 0);
    json_object* third = json_object_array_get_idx(array, 2);
    EXPECT_EQ(Str(third, "type"), "5");
    EXPECT_EQ(At(third, {"cover_pic"}), nullptr);
    EXPECT_EQ(json_object_array_length(At(
                  Parse(client->Get("/albums/get_all?uid=1642591402&count=2", session)->body).get(),
                  {"data", "album_list"})),
              2u);
    EXPECT_EQ(
        json_object_get_int(At(Parse(client->Get("/albums/get_all?uid=404", session)->body).get(),
                               {"data", "total"})),
        0);

    // 250 photos in pages of 100, newest first; photos of one post share caption and time.
    const std::string base =
        "/photos/get_all?uid=1642591402&album_id=" + Str(first, "album_id") + "&count=100&type=3";
    std::set<std::string> ids;
    long long previousTime = 1LL << 40;
    std::size_t sizes[4];
    for (int page = 1; page <= 4; ++page) {
        auto res = client->Get(base + "&page=" + std::to_string(page) + "&__rnd=0.123456789012345",
                               session);
        ASSERT_TRUE(res);
        Json answer = Parse(res->body);
        ASSERT_TRUE(answer) << res->body.substr(0, 200);
        EXPECT_EQ(json_object_get_int(At(answer.get(), {"data", "total"})), 250);
        json_object* photos = At(answer.get(), {"data", "photo_list"});
        sizes[page - 1] = json_object_array_length(photos);
        for (std::size_t i = 0; i < sizes[page - 1]; ++i) {
            json_object* p = json_object_array_get_idx(photos, i);
            std::size_t n = static_cast<std::size_t>(page - 1) * 100 + i;  // 0-based overall
            ids.insert(Str(p, "photo_id"));
            EXPECT_EQ(Str(p, "photo_id").size(), 16u);
            long long t = json_object_get_int64(At(p, {"timestamp"}));
            EXPECT_EQ(t, 1400000000 - static_cast<long long>(n / 3) * 600);
            EXPECT_LE(t, previousTime);
            previousTime = t;
            EXPECT_EQ(Str(p, "caption_render"), "第" + std::to_string(n / 3 + 1) + "站");
            EXPECT_EQ(Str(p, "pic_host"), "http://127.0.0.1:" + std::to_string(port));
            EXPECT_EQ(Str(p, "pic_name").substr(Str(p, "pic_name").size() - 4),
                      (n + 1) % 7 ? ".jpg" : ".gif");
        }
        if (page == 1) {
            EXPECT_NE(res->body.find(R"("pic_host":"http:\/\/127.0.0.1:)"), std::string::npos);
        }
    }
    EXPECT_EQ(sizes[0], 100u);
    EXPECT_EQ(sizes[1], 100u);
    EXPECT_EQ(sizes[2], 50u);
    EXPECT_EQ(sizes[3], 0u);
    EXPECT_EQ(ids.size(), 250u);

    // Milliseconds, a missing member, raw line breaks and percent signs escaped as JSON.
    auto res = client->Get("/photos/get_all?uid=1642591402&album_id=" + Str(third, "album_id") +
                               "&count=100&page=1&type=5",
                           session);
    Json answer = Parse(res->body);
    json_object* newest = json_object_array_get_idx(At(answer.get(), {"data", "photo_list"}), 0);
    EXPECT_GT(json_object_get_int64(At(newest, {"timestamp"})), 9999999999LL);
    EXPECT_EQ(At(newest, {"caption_render"}), nullptr);
    EXPECT_EQ(Str(newest, "caption"), "b\n100%");
    EXPECT_NE(res->body.find(R"("caption":"b\n100%")"), std::string::npos);
    EXPECT_EQ(service.Stop(SIGINT), 0);
}

TEST_F(PhotoService, ImagesAreDecodableDistinctAndPaddedOnRequest) {
    std::string scenario = kScenario;
    scenario.insert(1, R"("image_bytes": 30000, )");
    ServiceProcess service;
    int port = service.Start(scenario);
    ASSERT_GT(port, 0) << service.Output();
    auto client = Client(port);
    httplib::Headers session = {{"Cookie", Login(*client)}};
    Json albums = Parse(client->Get("/albums/get_all?uid=1642591402&count=10", session)->body);
    json_object* list = At(albums.get(), {"data", "album_list"});
    Json photos =
        Parse(client
                  ->Get("/photos/get_all?uid=1642591402&album_id=" +
                            Str(json_object_array_get_idx(list, 0), "album_id") + "&count=8&page=1",
                        session)
                  ->body);
    json_object* photoList = At(photos.get(), {"data", "photo_list"});
    ASSERT_EQ(json_object_array_length(photoList), 8u);

    std::set<std::uint32_t> backgrounds;
    for (std::size_t i = 0; i < 8; ++i) {
        std::string name = Str(json_object_array_get_idx(photoList, i), "pic_name");
        auto res = client->Get("/large/" + name);  // image servers need no login
        ASSERT_TRUE(res);
        ASSERT_EQ(res->status, 200);
        bool gif = name.ends_with(".gif");
        EXPECT_EQ(res->get_header_value("Content-Type"), gif ? "image/gif" : "image/jpeg");
        EXPECT_GE(res->body.size(), 29000u);
        EXPECT_LE(res->body.size(), 30000u);
        Picture pic = gif ? DecodeGif(res->body) : DecodeJpeg(res->body);
        ASSERT_EQ(pic.width, 160) << name;
        ASSERT_EQ(pic.height, 120) << name;
        // Background plus the drawn number.
        EXPECT_GE(Colours(pic).size(), 2u);
        backgrounds.insert(pic.rgb[0] & 0xF0F0F0);
        if (gif) {
            EXPECT_EQ(Colours(pic).size(), 3u);
        }
    }
    EXPECT_GE(backgrounds.size(), 6u) << "photos differ from each other";

    // Covers, also for an album without photos; unknown names are 404.
    for (std::size_t i = 0; i < 2; ++i) {
        std::string cover = Str(json_object_array_get_idx(list, i), "cover_pic");
        auto res = client->Get(cover.substr(cover.find('/', 8)));
        ASSERT_TRUE(res);
        EXPECT_EQ(DecodeJpeg(res->body).width, 160) << cover;
    }
    EXPECT_EQ(client->Get("/large/nothing.jpg")->status, 404);
    EXPECT_EQ(service.Stop(SIGTERM), 0);
}

TEST_F(PhotoService, FaultsFollowTheScenario) {
    const std::string scenario = R"({
      "require_login": false,
      "users": [{"uid": "7", "albums": [{"caption": "x", "photos": {"count": 4}}]}],
      "faults": [
        {"path": "/photos/get_all", "query": {"page": "1"}, "action": "empty", "times": 2},
        {"path": "/photos/get_all", "query": {"page": "2"}, "action": "truncate", "keep_bytes": 10},
        {"path": "/large/*", "skip": 1, "times": 2, "action": "status", "status": 418},
        {"path": "/albums/get_all", "action": "status", "status": 500, "delay_ms": 50},
        {"path": "/version", "bytes_per_second": 4000}
      ],
      "version_page": "#weibo@@2.0#weibo )" +
                                 std::string(900, '.') + R"("})";
    ServiceProcess service;
    int port = service.Start(scenario);
    ASSERT_GT(port, 0) << service.Output();
    auto client = Client(port);
    const std::string page = "/photos/get_all?uid=7&album_id=3500000000000001&count=2&page=";

    for (int attempt = 0; attempt < 2; ++attempt) {
        auto empty = client->Get(page + "1");
        ASSERT_TRUE(empty);
        EXPECT_EQ(empty->status, 200);
        EXPECT_EQ(empty->body, "");
    }
    auto real = client->Get(page + "1");
    ASSERT_TRUE(real);
    Json answer = Parse(real->body);
    ASSERT_TRUE(answer) << real->body;
    std::string name =
        Str(json_object_array_get_idx(At(answer.get(), {"data", "photo_list"}), 0), "pic_name");

    auto cut = client->Get(page + "2");
    EXPECT_TRUE(!cut || cut->body.size() <= 10) << "the body must end early";

    std::vector<int> statuses;
    for (int i = 0; i < 4; ++i) statuses.push_back(client->Get("/large/" + name)->status);
    EXPECT_EQ(statuses, (std::vector<int>{200, 418, 418, 200}));
    EXPECT_EQ(client->Get("/albums/get_all?uid=7")->status, 500);
    // A trickled answer still arrives whole.
    auto slow = client->Get("/version");
    ASSERT_TRUE(slow);
    EXPECT_EQ(slow->body, "#weibo@@2.0#weibo " + std::string(900, '.'));
    EXPECT_EQ(service.Stop(SIGTERM), 0);
}

// A user served only by the web API: 25 posts of 3 pictures (post 5 pinned, post 7 for
// followers only, the timeline reaching 22 posts) and an avatar album of 7 posts.
const char* kWebScenario = R"({
  "album_page_size": 3, "timeline_page_size": 10, "session": "s",
  "users": [{"uid": "6100000001", "name": "webuser", "title": "网", "marker": "none",
    "web": {"screen_name": "网友", "timeline_reach": 22,
      "posts": {"count": 25, "pics_per_post": 3, "pinned": [5], "followers_only": [7],
                "livephoto_every": 10},
      "albums": [{"title": "头像", "posts": {"count": 7, "mid_only_every": 3}}]}}]
})";

// One web API answer; the "(status N)" object when it is not JSON.
Json WebGet(httplib::Client& client, const std::string& path, httplib::Headers headers = {}) {
    headers.emplace("Cookie", "SUB=s");
    auto res = client.Get(path.c_str(), headers);
    if (!res) return Parse("{\"status\":0}");
    Json answer = Parse(res->body);
    return answer ? std::move(answer) : Parse("{\"status\":" + std::to_string(res->status) + "}");
}

TEST_F(PhotoService, WebApiWallsAlbumsAndTimelineEndWhereTheyShould) {
    ServiceProcess service;
    int port = service.Start(kWebScenario);
    ASSERT_GT(port, 0) << service.Output();
    auto client = Client(port);
    const std::string uid = "6100000001";
    Json first =
        WebGet(*client, "/ajax/profile/getImageWall?uid=" + uid + "&sinceid=0&has_album=true");
    json_object* albums = At(first.get(), {"data", "album_list"});
    ASSERT_TRUE(albums);
    ASSERT_EQ(json_object_array_length(albums), 1u);
    std::string container = Str(json_object_array_get_idx(albums, 0), "containerid");
    EXPECT_NE(container.find("_-_头像"), std::string::npos);

    // Both follow the since_id from "0" until it is "0" again.
    struct Walk {
        std::string path, cursorName;
        std::vector<std::size_t> sizes;
        std::size_t withoutPid;
    };
    std::vector<std::string> mids;  // the wall's posts, newest first
    for (const Walk& walk :
         {Walk{"/ajax/profile/getImageWall?uid=" + uid, "sinceid", {30, 30, 15}, 0},
          Walk{"/ajax/profile/getAlbumDetail?uid=" + uid +
                   "&containerid=" + httplib::detail::encode_query_param(container),
               "since_id",
               {3, 3, 1},
               2}}) {
        SCOPED_TRACE(walk.path);
        std::vector<std::size_t> sizes;
        std::set<std::string> pids;
        std::size_t withoutPid = 0;
        for (std::string cursor = "0"; sizes.size() < 10;) {
            Json page = WebGet(*client, walk.path + "&" + walk.cursorName + "=" + cursor);
            ASSERT_EQ(json_object_get_int(At(page.get(), {"ok"})), 1);
            json_object* list = At(page.get(), {"data", "list"});
            sizes.push_back(json_object_array_length(list));
            for (std::size_t i = 0; i < sizes.back(); ++i) {
                json_object* item = json_object_array_get_idx(list, i);
                std::string pid = Str(item, "pid"), mid = Str(item, "mid");
                if (pid == "(missing)") {
                    ++withoutPid;
                } else {
                    pids.insert(pid);
                }
                if (walk.cursorName == "sinceid" && (mids.empty() || mids.back() != mid))
                    mids.push_back(mid);
            }
            cursor = Str(At(page.get(), {"data"}), "since_id");
            if (cursor == "0") break;
        }
        EXPECT_EQ(sizes, walk.sizes);
        EXPECT_EQ(withoutPid, walk.withoutPid);
        EXPECT_EQ(pids.size() + withoutPid, sizes[0] + sizes[1] + sizes[2]);
    }
    // Every post is on the wall by its date, the pinned and the followers-only one too.
    ASSERT_EQ(mids.size(), 25u);
    EXPECT_TRUE(std::is_sorted(mids.rbegin(), mids.rend()));

    // The timeline: the pinned post first, then posts 1-23 within reach but post 7.
    std::vector<std::string> expected = {mids[4]};
    for (std::size_t i = 0; i < 23; ++i) {
        if (i != 4 && i != 6) expected.push_back(mids[i]);
    }
    std::vector<std::string> timeline;
    std::vector<std::size_t> sizes;
    std::string sinceId;
    for (int page = 1; page < 10; ++page) {
        Json answer =
            WebGet(*client, "/ajax/statuses/mymblog?uid=" + uid + "&page=" + std::to_string(page) +
                                "&feature=0" + (page > 1 ? "&since_id=" + sinceId : ""));
        json_object* list = At(answer.get(), {"data", "list"});
        sizes.push_back(json_object_array_length(list));
        if (!sizes.back()) break;
        for (std::size_t i = 0; i < sizes.back(); ++i)
            timeline.push_back(Str(json_object_array_get_idx(list, i), "mid"));
        if (page == 1) {
            EXPECT_EQ(Str(json_object_array_get_idx(list, 0), "isTop"), "1");
        }
        sinceId = Str(At(answer.get(), {"data"}), "since_id");
    }
    EXPECT_EQ(sizes, (std::vector<std::size_t>{11, 10, 1, 0}));
    EXPECT_EQ(timeline, expected);
    // Without the since_id a later page is page 1 again.
    Json again = WebGet(*client, "/ajax/statuses/mymblog?uid=" + uid + "&page=2&feature=0");
    EXPECT_EQ(Str(json_object_array_get_idx(At(again.get(), {"data", "list"}), 0), "mid"), mids[4]);

    // Posts beyond the timeline's reach are still there one by one; followers-only ones not.
    Json oldest = WebGet(*client, "/ajax/statuses/show?id=" + mids[24]);
    EXPECT_EQ(json_object_get_int(At(oldest.get(), {"ok"})), 1);
    EXPECT_EQ(Str(oldest.get(), "idstr"), mids[24]);
    json_object* pid = json_object_array_get_idx(At(oldest.get(), {"pic_ids"}), 0);
    ASSERT_TRUE(pid);
    std::string url =
        Str(At(oldest.get(), {"pic_infos", json_object_get_string(pid), "largest"}), "url");
    EXPECT_EQ(url, service.Url("/large/") + json_object_get_string(pid) + ".jpg");
    EXPECT_EQ(client->Get(url.substr(url.find('/', 8)))->status, 200);
    Json hidden = WebGet(*client, "/ajax/statuses/show?id=" + mids[6]);
    EXPECT_EQ(json_object_get_int(At(hidden.get(), {"error_code"})), 20112);

    Json byCustom = WebGet(*client, "/ajax/profile/info?custom=webuser");
    EXPECT_EQ(Str(At(byCustom.get(), {"data", "user"}), "idstr"), uid);
    EXPECT_EQ(json_object_get_int(At(WebGet(*client, "/ajax/profile/info?uid=42").get(), {"ok"})),
              0);
    EXPECT_EQ(service.Stop(SIGTERM), 0);
}

TEST_F(PhotoService, WebApiLoginAnswersAndTheXsrfToken) {
    // Each step: "call" a web API endpoint or "visit" the site; the "ok" expected of a call,
    // or 302 for a redirect to the login page.
    struct Case {
        std::string options, session;
        std::vector<std::pair<std::string, int>> steps;
    };
    const std::vector<Case> cases = {
        {R"("ok_minus_100": 1)", "s", {{"call", -100}, {"visit", 0}, {"call", 1}, {"call", 1}}},
        {R"("ok_minus_100": 2)", "s", {{"call", -100}, {"call", -100}, {"call", 1}}},
        {R"("ok_minus_100": -1)", "s", {{"call", -100}, {"visit", 0}, {"call", -100}}},
        {R"("ok_minus_100": 1)", "forged", {{"call", 302}, {"visit", 0}, {"call", 302}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options + " " + c.session);
        std::string scenario = kWebScenario;
        scenario.insert(1, c.options + ", ");
        const std::string log = (std::filesystem::temp_directory_path() /
                                 ("photo-service-log-" + std::to_string(getpid())))
                                    .string();
        std::filesystem::remove(log);
        ServiceProcess service;
        int port = service.Start(scenario, {"--request-log", log});
        ASSERT_GT(port, 0) << service.Output();
        auto client = Client(port);
        std::string token;
        for (const auto& [what, expected] : c.steps) {
            if (what == "visit") {
                EXPECT_EQ(client->Get("/")->status, 200);
                continue;
            }
            httplib::Headers headers = {{"Cookie", "SUB=" + c.session + "; XSRF-TOKEN=" + token}};
            if (!token.empty()) headers.emplace("X-XSRF-TOKEN", token);
            auto res = client->Get("/ajax/profile/info?uid=6100000001", headers);
            ASSERT_TRUE(res);
            if (token.empty()) {
                std::string cookie = res->get_header_value("Set-Cookie");
                ASSERT_EQ(cookie.rfind("XSRF-TOKEN=", 0), 0u) << cookie;
                token = cookie.substr(11, cookie.find(';') - 11);
            }
            if (expected == 302) {
                EXPECT_EQ(res->status, 302);
                EXPECT_NE(res->get_header_value("Location").find("/login.php"), std::string::npos);
                continue;
            }
            Json answer = Parse(res->body);
            EXPECT_EQ(json_object_get_int(At(answer.get(), {"ok"})), expected) << res->body;
        }
        // A header that does not match the cookie is told apart.
        client->Get("/ajax/profile/info?uid=6100000001",
                    {{"Cookie", "SUB=s; XSRF-TOKEN=" + token}, {"X-XSRF-TOKEN", "forged"}});
        std::ifstream in(log);
        std::vector<std::string> xsrf;
        for (std::string line; std::getline(in, line);) {
            if (line.rfind("GET /ajax/", 0) == 0) xsrf.push_back(line.substr(line.rfind(' ') + 1));
        }
        std::vector<std::string> want(xsrf.size(), "xsrf=match");
        want.front() = "xsrf=none";
        want.back() = "xsrf=wrong";
        EXPECT_EQ(xsrf, want);
        std::filesystem::remove(log);
    }
}

TEST_F(PhotoService, ImagesNeedTheSitesRefererButNoCookie) {
    std::string scenario = kScenario;
    scenario.insert(1, R"("require_referer": true, "session": "s", )");
    scenario.replace(
        scenario.find(R"({"uid": "2803301701")"), 0,
        R"({"uid": "6100000001", "web": {"posts": [{"pics": [{"type": "livephoto"}]}]}},)");
    ServiceProcess service;
    int port = service.Start(scenario);
    ASSERT_GT(port, 0) << service.Output();
    auto client = Client(port);
    Json wall = WebGet(*client, "/ajax/profile/getImageWall?uid=6100000001&sinceid=0");
    ASSERT_TRUE(At(wall.get(), {"data", "list"})) << json_object_get_string(wall.get());
    json_object* item = json_object_array_get_idx(At(wall.get(), {"data", "list"}), 0);
    std::string video = Str(item, "video");
    ASSERT_EQ(video.substr(video.size() - 4), ".mov");
    Json legacy =
        Parse(client
                  ->Get("/photos/get_all?uid=1642591402&album_id=3500000000000001&count=1&page=1",
                        {{"Cookie", Login(*client)}})
                  ->body);
    std::string legacyName =
        Str(json_object_array_get_idx(At(legacy.get(), {"data", "photo_list"}), 0), "pic_name");

    const std::string origin = service.Url();
    const std::vector<std::pair<std::string, int>> referers = {
        {"", 403},           {"https://weibo.com/", 403},     {origin, 403},
        {origin + "/", 200}, {origin + "/u/6100000001", 200},
    };
    for (const std::string& path : {"/large/" + Str(item, "pid") + ".jpg", "/large/" + legacyName,
                                    video.substr(video.find('/', 8))}) {
        for (const auto& [referer, status] : referers) {
            httplib::Headers headers;
            if (!referer.empty()) headers.emplace("Referer", referer);
            auto res = client->Get(path.c_str(), headers);
            ASSERT_TRUE(res);
            EXPECT_EQ(res->status, status) << path << " from " << referer;
        }
    }
    EXPECT_EQ(service.Stop(SIGTERM), 0);
}

TEST_F(PhotoService, ThrottlingBansAndFaultsSayWhenToComeBack) {
    // Three calls a minute pass; the fourth starts a one-second ban, every second refusal
    // saying when it ends.
    for (bool forever : {false, true}) {
        SCOPED_TRACE(forever ? "forever" : "one second");
        std::string scenario = kWebScenario;
        scenario.insert(1, std::string(R"("throttle": {"max_requests": 3, "window_seconds": 60,
            "ban_seconds": 1, "retry_after_every": 2, "forever": )") +
                               (forever ? "true" : "false") + "}, ");
        ServiceProcess service;
        int port = service.Start(scenario);
        ASSERT_GT(port, 0) << service.Output();
        auto client = Client(port);
        std::vector<std::string> answers;
        auto call = [&] {
            auto res = client->Get("/ajax/profile/info?uid=6100000001", {{"Cookie", "SUB=s"}});
            answers.push_back(std::to_string(res->status) + " " +
                              res->get_header_value("Retry-After"));
        };
        for (int i = 0; i < 6; ++i) call();
        // Paths outside the pattern are not throttled.
        EXPECT_EQ(client->Get("/login")->status, 200);
        EXPECT_EQ(answers,
                  (std::vector<std::string>{"200 ", "200 ", "200 ", "418 ", "418 1", "418 "}));
        std::this_thread::sleep_for(std::chrono::milliseconds(1200));
        answers.clear();
        call();
        EXPECT_EQ(answers.front(), forever ? "418 1" : "200 ");
    }

    std::string scenario = kWebScenario;
    scenario.insert(1, R"("faults": [
        {"path": "/ajax/profile/info", "query": {"uid": "1"}, "action": "status", "status": 429, "retry_after": 7},
        {"path": "/ajax/profile/info", "query": {"uid": "2"}, "action": "status", "status": 432},
        {"path": "/ajax/profile/info", "query": {"uid": "3"}, "action": "status", "status": 503, "retry_after": 0},
        {"path": "/ajax/profile/info", "query": {"uid": "4"}, "action": "body", "body": "{\"ok\":0,\"msg\":\"x\"}"}],)");
    ServiceProcess service;
    int port = service.Start(scenario);
    ASSERT_GT(port, 0) << service.Output();
    auto client = Client(port);
    const std::vector<std::tuple<std::string, int, std::string>> faults = {
        {"1", 429, "7"}, {"2", 432, ""}, {"3", 503, "0"}, {"4", 200, ""}};
    for (const auto& [uid, status, retryAfter] : faults) {
        auto res = client->Get("/ajax/profile/info?uid=" + uid);
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, status) << uid;
        EXPECT_EQ(res->get_header_value("Retry-After"), retryAfter) << uid;
    }
    EXPECT_EQ(service.Stop(SIGTERM), 0);
}

// Pinned posts in each style, liked posts of two other authors, pictures in each format and a
// post text with control characters; statuses/show of one post answers another.
const char* kAnswers2026Scenario = R"({
  "session": "s",
  "faults": [{"path": "/ajax/statuses/show", "query": {"id": "5100000000000001"},
              "show_instead": "5100000000000003"}],
  "users": [
    {"uid": "6200000002", "web": {"screen_name": "朋友"}},
    {"uid": "6100000001", "web": {
      "posts": [
        {"mid": "5100000000000004", "created_at": 1700000400, "pinned": true},
        {"mid": "5100000000000003", "created_at": 1700000300, "top_as": "boolean"},
        {"mid": "5100000000000002", "created_at": 1700000200, "top_as": "string"},
        {"mid": "5100000000000001", "created_at": 1700000100, "top_as": "mblogtype",
         "text": "第一行\n第二行\t\u0001",
         "pics": [{"pid": "png1", "format": "png"}, {"pid": "webp1", "format": "webp"},
                  {"pid": "gif1", "format": "gif"}, "jpg1",
                  {"pid": "pngjpg1", "format": "png", "ext": "jpg"}]},
        {"mid": "5100000000000000", "created_at": 1700000000}],
      "liked": [
        {"mid": "5200000000000002", "author": "6200000002", "created_at": 1700000250},
        {"mid": "5200000000000001", "author": "6300000003", "author_name": "路人",
         "created_at": 1699999999}]}}]
})";

TEST_F(PhotoService, WebApiGivesTheSitesNewerAnswers) {
    ServiceProcess service;
    int port = service.Start(kAnswers2026Scenario);
    ASSERT_GT(port, 0) << service.Output();
    auto client = Client(port);
    auto timeline = client->Get("/ajax/statuses/mymblog?uid=6100000001&page=1&feature=0",
                                {{"Cookie", "SUB=s"}});
    ASSERT_TRUE(timeline);
    for (unsigned char c : timeline->body) ASSERT_GE(c, 0x20) << "a raw control character";
    Json answer = Parse(timeline->body);
    json_object* list = At(answer.get(), {"data", "list"});
    ASSERT_EQ(json_object_array_length(list), 7u) << timeline->body.substr(0, 300);

    // The pinned posts first, then own and liked posts by date: isTop, mblogtype, author, title.
    const std::vector<std::array<std::string, 5>> rows = {
        {"5100000000000004", "1", "", "6100000001", ""},
        {"5100000000000003", "true", "", "6100000001", ""},
        {"5100000000000002", "\"1\"", "", "6100000001", ""},
        {"5100000000000001", "", "2", "6100000001", ""},
        {"5200000000000002", "", "", "6200000002", "赞过"},
        {"5100000000000000", "", "", "6100000001", ""},
        {"5200000000000001", "", "", "6300000003", "赞过"},
    };
    auto text = [](json_object* o) { return o ? json_object_to_json_string(o) : ""; };
    for (std::size_t i = 0; i < rows.size(); ++i) {
        json_object* post = json_object_array_get_idx(list, i);
        const std::string title = Str(At(post, {"title"}), "text");
        EXPECT_EQ((std::array<std::string, 5>{
                      Str(post, "mid"), text(At(post, {"isTop"})), text(At(post, {"mblogtype"})),
                      Str(At(post, {"user"}), "idstr"), title == "(missing)" ? "" : title}),
                  rows[i]);
    }
    EXPECT_EQ(Str(At(json_object_array_get_idx(list, 4), {"user"}), "screen_name"), "朋友");
    EXPECT_EQ(Str(json_object_array_get_idx(list, 3), "text_raw"), "第一行\n第二行\t\x01");

    // Each picture at its address, in its format: pid, address, content type, first bytes.
    json_object* infos = At(json_object_array_get_idx(list, 3), {"pic_infos"});
    const std::vector<std::array<std::string, 4>> formats = {
        {"png1", "/large/png1.png", "image/png", "\x89PNG\r\n\x1a\n"},
        {"webp1", "/large/webp1.webp", "image/webp", "RIFF"},
        {"gif1", "/large/gif1.gif", "image/gif", "GIF89a"},
        {"jpg1", "/large/jpg1.jpg", "image/jpeg", "\xFF\xD8\xFF"},
        {"pngjpg1", "/large/pngjpg1.jpg", "image/png", "\x89PNG\r\n\x1a\n"},
    };
    for (const auto& [pid, address, type, signature] : formats) {
        EXPECT_EQ(Str(At(infos, {pid.c_str(), "largest"}), "url"), service.Url(address));
        auto image = client->Get(address);
        ASSERT_TRUE(image) << pid;
        EXPECT_EQ(image->get_header_value("Content-Type"), type) << pid;
        EXPECT_EQ(image->body.compare(0, signature.size(), signature), 0) << pid;
        int width = DecodedWidth(type, image->body);
        EXPECT_TRUE(width == 160 || width == -1) << pid << " decodes to " << width;
    }

    // statuses/show: the fault's other post; a liked post with its author, untitled.
    for (const auto& [asked, answered] : std::vector<std::pair<std::string, std::string>>{
             {"5100000000000001", "5100000000000003"}, {"5100000000000002", "5100000000000002"}}) {
        EXPECT_EQ(Str(WebGet(*client, "/ajax/statuses/show?id=" + asked).get(), "mid"), answered);
    }
    Json liked = WebGet(*client, "/ajax/statuses/show?id=5200000000000001");
    EXPECT_EQ(Str(At(liked.get(), {"user"}), "idstr"), "6300000003");
    EXPECT_EQ(Str(At(liked.get(), {"user"}), "screen_name"), "路人");
    EXPECT_EQ(At(liked.get(), {"title"}), nullptr);
    // The liked posts' pictures are not the user's.
    Json wall = WebGet(*client, "/ajax/profile/getImageWall?uid=6100000001&sinceid=0");
    EXPECT_EQ(json_object_array_length(At(wall.get(), {"data", "list"})), 5u);
    EXPECT_EQ(service.Stop(SIGTERM), 0);
}

TEST_F(PhotoService, FaultsByHostWithHeadersPaddingAndEndlessBodies) {
    const std::string log = (std::filesystem::temp_directory_path() /
                             ("photo-service-hosts-" + std::to_string(getpid())))
                                .string();
    std::filesystem::remove(log);
    ServiceProcess service;
    int port = service.Start(R"({
      "require_login": false,
      "users": [{"uid": "6100000001", "web": {"posts": [{"pics": ["p1"]}]}}],
      "faults": [
        {"path": "/large/*", "host": "wx1.sinaimg.cn", "action": "status", "status": 403},
        {"path": "/large/*", "host": "wx3.sinaimg.cn", "action": "status", "status": 302,
         "headers": {"Location": "http://{host}/images/default_h_large.gif",
                     "x-image-errno": 101}},
        {"path": "/ajax/profile/info", "pad_bytes": 3000000},
        {"path": "/ajax/profile/getImageWall", "action": "endless", "bytes_per_second": 400000}]
    })",
                             {"--request-log", log});
    ASSERT_GT(port, 0) << service.Output();
    auto client = Client(port);
    const std::string p = ":" + std::to_string(port);

    // Host header, a Cookie and X-XSRF-TOKEN sent, status, Location, x-image-errno, logged.
    const std::vector<std::array<std::string, 6>> rows = {
        {"wx1.sinaimg.cn" + p, "", "403", "", "", "host=wx1.sinaimg.cn cookie=none xsrf=none"},
        {"WX1.Sinaimg.CN", "", "403", "", "", "host=wx1.sinaimg.cn cookie=none xsrf=none"},
        {"wx2.sinaimg.cn" + p, "SUB=s", "200", "", "", "host=wx2.sinaimg.cn cookie=sent xsrf=sent"},
        {"wx3.sinaimg.cn" + p, "", "302",
         "http://wx3.sinaimg.cn" + p + "/images/default_h_large.gif", "101",
         "host=wx3.sinaimg.cn cookie=none xsrf=none"},
        {"127.0.0.1" + p, "", "200", "", "", "host=127.0.0.1 cookie=none xsrf=none"},
    };
    for (const auto& [host, cookie, status, location, errno_, logged] : rows) {
        httplib::Headers headers = {{"Host", host}};
        if (!cookie.empty()) headers.insert({{"Cookie", cookie}, {"X-XSRF-TOKEN", "t"}});
        auto res = client->Get("/large/p1.jpg", headers);
        ASSERT_TRUE(res) << host;
        EXPECT_EQ(std::to_string(res->status), status) << host;
        EXPECT_EQ(res->get_header_value("Location"), location) << host;
        EXPECT_EQ(res->get_header_value("x-image-errno"), errno_) << host;
    }
    std::ifstream in(log);
    std::size_t row = 0;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("GET /large/", 0) == 0 && row < rows.size()) {
            EXPECT_EQ(line.substr(line.find(" host=") + 1), rows[row++][5]);
        }
    }
    EXPECT_EQ(row, rows.size());
    std::filesystem::remove(log);
    auto placeholder = client->Get("/images/default_h_large.gif");
    ASSERT_TRUE(placeholder);
    EXPECT_EQ(DecodeGif(placeholder->body).width, 160);

    // Padded: as long as asked, still the same JSON.
    auto padded = client->Get("/ajax/profile/info?uid=6100000001");
    ASSERT_TRUE(padded);
    EXPECT_EQ(padded->body.size(), 3000000u);
    Json info = Parse(padded->body);
    EXPECT_EQ(Str(At(info.get(), {"data", "user"}), "idstr"), "6100000001");

    // Endless: the answer's start, then spaces for as long as the client reads.
    std::string received;
    auto endless = client->Get("/ajax/profile/getImageWall?uid=6100000001&sinceid=0",
                               [&](const char* data, std::size_t n) {
                                   received.append(data, n);
                                   return received.size() < 200000;
                               });
    EXPECT_FALSE(endless);
    EXPECT_EQ(received.rfind(R"({"ok":1,"data":{"list":[{"pid":"p1")", 0), 0u);
    EXPECT_GE(received.size(), 200000u);
    EXPECT_LT(received.find_last_not_of(' '), 200u);
    EXPECT_EQ(Client(port)->Get("/large/p1.jpg")->status, 200) << "the service goes on";
    EXPECT_EQ(service.Stop(SIGTERM), 0);
}

TEST_F(PhotoService, CursorFaultsRepeatTheFirstPage) {
    // The call, its cursor's name, the fault's cursor.
    const std::vector<std::array<std::string, 3>> cases = {
        {"/ajax/profile/getImageWall?uid=6100000001", "sinceid", "fresh"},
        {"/ajax/profile/getImageWall?uid=6100000001", "sinceid", "same"},
        {"/ajax/profile/getAlbumDetail?uid=6100000001&containerid=c1", "since_id", "fresh"},
        {"/ajax/profile/getAlbumDetail?uid=6100000001&containerid=c1", "since_id", "same"}};
    for (const auto& [path, cursorName, mode] : cases) {
        SCOPED_TRACE(path + " " + mode);
        ServiceProcess service;
        int port = service.Start(
            R"({"require_login": false, "wall_page_size": 4, "album_page_size": 4,
              "faults": [{"path": ")" +
            path.substr(0, path.find('?')) + R"(", "cursor": ")" + mode + R"("}],
              "users": [{"uid": "6100000001", "web": {"posts": {"count": 10},
                "albums": [{"containerid": "c1", "posts": {"count": 10}}]}}]})");
        ASSERT_GT(port, 0) << service.Output();
        auto client = Client(port);
        std::set<std::string> cursors;
        std::vector<std::string> firstPage;
        std::string cursor = "0";
        for (int page = 0; page < 5; ++page) {
            Json answer = WebGet(*client, path + "&" + cursorName + "=" + cursor);
            json_object* list = At(answer.get(), {"data", "list"});
            std::vector<std::string> pids;
            for (std::size_t i = 0; i < json_object_array_length(list); ++i)
                pids.push_back(Str(json_object_array_get_idx(list, i), "pid"));
            if (page == 0) firstPage = pids;
            EXPECT_EQ(pids.size(), 4u);
            EXPECT_EQ(pids, firstPage);
            cursor = Str(At(answer.get(), {"data"}), "since_id");
            EXPECT_NE(cursor, "0");
            cursors.insert(cursor);
        }
        EXPECT_EQ(cursors.size(), mode == "fresh" ? 5u : 1u);
    }
}

// A user with a followers-only post and an album, for visitors.
std::string VisitorScenario(const std::string& visitors) {
    return R"({"session": "s", "visitors": )" + visitors + R"(,
      "users": [{"uid": "6100000001", "web": {
        "posts": [{"mid": "5100000000000002", "pics": 1},
                  {"mid": "5100000000000001", "pics": 1, "followers_only": true}],
        "albums": [{"containerid": "c1", "posts": [{"pics": 1}]}]}}]})";
}

// The JSON inside "NAME(...);", or nothing.
Json Jsonp(const std::string& name, const std::string& text) {
    bool framed = text.rfind(name + "(", 0) == 0 && text.size() >= name.size() + 3 &&
                  text.compare(text.size() - 2, 2, ");") == 0;
    return framed ? Parse(text.substr(name.size() + 1, text.size() - name.size() - 3)) : nullptr;
}

// Makes the current handshake or the older one: "SUB=...; SUBP=..." from the Set-Cookie
// headers (which must name no Domain), or "failed: STEP".
std::string Handshake(httplib::Client& client, bool current) {
    const std::string cb = current ? "visitor_gray_callback" : "gen_callback";
    auto gen = client.Post(current ? "/visitor/genvisitor2" : "/visitor/genvisitor",
                           current ? "cb=visitor_gray_callback&ver=20250916&tid=&from=weibo&"
                                     "webdriver=false&return_url=https%3A%2F%2Fweibo.com%2F"
                                   : "cb=gen_callback&fp=%7B%22os%22%3A%221%22%7D",
                           "application/x-www-form-urlencoded");
    if (!gen || gen->status != 200) return "failed: HTTP";
    Json answer = Jsonp(cb, gen->body);
    if (Str(answer.get(), "retcode") != "20000000") return "failed: retcode";
    json_object* data = At(answer.get(), {"data"});
    const std::string tid = Str(data, "tid");
    auto made = client.Get(current ? "/visitor/visitor?a=crossdomain&t=" + tid +
                                         "&sp=" + Str(data, "subp") + "&s=" + Str(data, "sub") +
                                         "&from=weibo&_rand=0.5&url=https%3A%2F%2Fweibo.com%2F"
                                   : "/visitor/visitor?a=incarnate&t=" + tid +
                                         "&w=2&c=095&gc=&cb=cross_domain&from=weibo&_rand=0.5");
    if (!made || made->status != (current ? 302 : 200)) return "failed: cookies";
    Json incarnated = current ? nullptr : Jsonp("cross_domain", made->body);
    if (current) {
        EXPECT_EQ(made->get_header_value("Location"), "https://weibo.com/");
    } else {
        data = At(incarnated.get(), {"data"});
    }
    std::string cookies[2];
    for (std::size_t i = 0; i < made->get_header_value_count("Set-Cookie"); ++i) {
        std::string cookie = made->get_header_value("Set-Cookie", i);
        EXPECT_EQ(cookie.find("omain="), std::string::npos) << cookie;
        cookies[cookie.rfind("SUBP=", 0) == 0] = cookie.substr(0, cookie.find(';'));
    }
    EXPECT_EQ(cookies[0] + cookies[1], "SUB=" + Str(data, "sub") + "SUBP=" + Str(data, "subp"));
    return cookies[0] + "; " + cookies[1];
}

TEST_F(PhotoService, VisitorHandshakesAndWhatTheirCookiesOpen) {
    // The handshake each scenario lets through, and how the current one fails.
    const std::vector<std::array<std::string, 3>> cases = {
        {"true", "current", ""},
        {R"({"genvisitor2": "refuse"})", "older", "failed: retcode"},
        {R"({"genvisitor2": "error"})", "older", "failed: HTTP"},
        {R"({"genvisitor2": "refuse", "genvisitor": "error"})", "none", "failed: retcode"},
    };
    // What visitor cookies open: the call, its HTTP status and a member of its answer.
    const std::vector<std::tuple<std::string, int, std::string, std::string>> calls = {
        {"/ajax/profile/info?uid=6100000001", 200, "ok", "1"},
        {"/ajax/profile/getImageWall?uid=6100000001&sinceid=0", 200, "ok", "1"},
        {"/ajax/profile/getAlbumDetail?uid=6100000001&containerid=c1&since_id=0", 200, "ok", "1"},
        {"/ajax/statuses/show?id=5100000000000002", 200, "ok", "1"},
        {"/ajax/statuses/show?id=5100000000000001", 200, "error_code", "20112"},
        {"/ajax/statuses/mymblog?uid=6100000001&page=1&feature=0", 403, "message",
         "前方有点拥堵，请登录后使用"},
    };
    for (const auto& [visitors, works, currentFailure] : cases) {
        SCOPED_TRACE(visitors);
        ServiceProcess service;
        ASSERT_GT(service.Start(VisitorScenario(visitors)), 0) << service.Output();
        auto client = Client(service.Port());
        // Without cookies a call and the site are sent to the passport (httplib's client hands
        // the Location over decoded).
        for (const std::string path : {"/ajax/profile/info?uid=6100000001", "/"}) {
            auto sent = client->Get(path);
            ASSERT_TRUE(sent);
            EXPECT_EQ(sent->status, 302);
            EXPECT_EQ(sent->get_header_value("Location")
                          .rfind(service.Url("/visitor/visitor?entry=miniblog&a=enter&url=") +
                                     service.Url(path) + "&domain=weibo.com&",
                                 0),
                      0u)
                << sent->get_header_value("Location");
        }
        std::string cookies = Handshake(*client, true);
        EXPECT_EQ(cookies.rfind("failed", 0) == 0 ? cookies : "", currentFailure);
        if (works != "current") cookies = Handshake(*client, false);
        if (works == "none") {
            EXPECT_EQ(cookies.rfind("failed", 0), 0u) << cookies;
            continue;
        }
        for (const auto& [path, status, member, value] : calls) {
            auto res = client->Get(path, {{"Cookie", cookies}});
            ASSERT_TRUE(res) << path;
            EXPECT_EQ(res->status, status) << path;
            EXPECT_EQ(Str(Parse(res->body).get(), member.c_str()), value) << path;
        }
        EXPECT_EQ(client->Get("/", {{"Cookie", cookies}})->status, 200);
        // A login still opens the timeline.
        Json timeline = WebGet(*client, "/ajax/statuses/mymblog?uid=6100000001&page=1");
        EXPECT_EQ(json_object_get_int(At(timeline.get(), {"ok"})), 1);
    }
}

TEST_F(PhotoService, StaleVisitorCookiesAskForAVisitToTheSite) {
    // A call's status, or its "ok" when it is 200.
    auto call = [](httplib::Client& client, const std::string& cookies) {
        auto res = client.Get("/ajax/profile/info?uid=6100000001", {{"Cookie", cookies}});
        if (!res || res->status != 200) return res ? std::to_string(res->status) : "none";
        return Str(Parse(res->body).get(), "ok");
    };
    // Good for two calls, or for a second; then the site sends to the passport again.
    for (const std::string visitors : {R"({"expire_calls": 2})", R"({"expire_seconds": 1})"}) {
        SCOPED_TRACE(visitors);
        ServiceProcess service;
        ASSERT_GT(service.Start(VisitorScenario(visitors)), 0) << service.Output();
        auto client = Client(service.Port());
        std::string cookies = Handshake(*client, true);
        EXPECT_EQ(call(*client, cookies), "1");
        EXPECT_EQ(call(*client, cookies), "1");
        if (visitors.find("seconds") != std::string::npos)
            std::this_thread::sleep_for(std::chrono::milliseconds(1100));
        EXPECT_EQ(call(*client, cookies), "-100");
        EXPECT_EQ(client->Get("/", {{"Cookie", cookies}})->status, 302);
        EXPECT_EQ(call(*client, Handshake(*client, true)), "1");
    }

    // Values the scenario names, a SUB without its SUBP, one never handed out.
    ServiceProcess service;
    ASSERT_GT(service.Start(VisitorScenario(R"({"accepted": ["kept"], "revoked": ["old"]})")), 0)
        << service.Output();
    auto client = Client(service.Port());
    for (const auto& [cookies, expected] :
         std::vector<std::pair<std::string, std::string>>{{"SUB=kept; SUBP=any", "1"},
                                                          {"SUB=old; SUBP=any", "-100"},
                                                          {"SUB=kept", "302"},
                                                          {"SUB=forged; SUBP=any", "302"}}) {
        EXPECT_EQ(call(*client, cookies), expected) << cookies;
    }
    // A crossdomain call needs the tid's own values, and a tid serves once.
    auto gen = client->Post("/visitor/genvisitor2", "cb=visitor_gray_callback&from=weibo",
                            "application/x-www-form-urlencoded");
    Json answer = Jsonp("visitor_gray_callback", gen->body);
    json_object* data = At(answer.get(), {"data"});
    const std::string cross = "/visitor/visitor?a=crossdomain&from=weibo&t=" + Str(data, "tid") +
                              "&sp=" + Str(data, "subp") + "&s=";
    EXPECT_EQ(client->Get(cross + "forged")->status, 400);
    EXPECT_EQ(client->Get(cross + Str(data, "sub"))->status, 302);
    EXPECT_EQ(client->Get(cross + Str(data, "sub"))->status, 400);
    EXPECT_EQ(client->Get("/visitor/visitor?a=incarnate&t=forged")->status, 400);
}

TEST_F(PhotoService, CommandLineAndScenarioErrors) {
    ServiceProcess help;
    EXPECT_EQ(help.RunToEnd({"--help"}), 0);
    EXPECT_NE(help.Output().find("\"users\""), std::string::npos);
    EXPECT_NE(help.Output().find("\"faults\""), std::string::npos);
    EXPECT_NE(help.Output().find("\"visitors\""), std::string::npos);

    for (const char* bad :
         {"{", R"({"users": 3})", R"({"users": [{"name": "x"}]})",
          R"({"users": [{"uid": "../x"}]})",
          R"({"users": [], "faults": [{"path": "/", "action": "explode"}]})",
          R"({"users": [{"uid": "x1", "web": {}}]})",
          R"({"users": [{"uid": "1", "web": {"posts": [{"pics": [{"type": "mov"}]}]}}]})",
          R"({"users": [{"uid": "1", "web": {"posts": [{"mid": "12a"}]}}]})",
          R"({"users": [], "throttle": {"paths": 3}})",
          R"({"users": [{"uid": "1", "web": {"posts": [{"pics": [{"format": "bmp"}]}]}}]})",
          R"({"users": [{"uid": "1", "web": {"posts": [{"top_as": "yes"}]}}]})",
          R"({"users": [{"uid": "1", "web": {"liked": [{"mid": "2"}]}}]})",
          R"({"users": [{"uid": "1", "web": {"posts": [{"author": "2"}]}}]})",
          R"({"users": [], "visitors": {"genvisitor2": "maybe"}})",
          R"({"users": [], "faults": [{"path": "/", "cursor": "back"}]})",
          R"({"users": [], "faults": [{"path": "/", "headers": {"a": "b\nc"}}]})"}) {
        ServiceProcess service;
        EXPECT_EQ(service.Start(bad), 0) << bad;
        EXPECT_EQ(service.Stop(0), 1) << bad << ": " << service.Output();
    }
    ServiceProcess usage;
    EXPECT_EQ(usage.RunToEnd({"--port", "70000"}), 2);
    // A signal right after start-up still stops it.
    ServiceProcess quick;
    ASSERT_GT(quick.Start(R"({"users": []})"), 0) << quick.Output();
    EXPECT_EQ(quick.Stop(SIGTERM), 0);
}

}  // namespace
