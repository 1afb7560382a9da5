#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "LocalServers.h"
#include "WebTestSupport.h"
#include "runtime/StopFlag.h"
#include "web/TransferHub.h"
#include "web/WebRequestCom.h"

namespace ovx {
namespace {

using test::AsString;
using test::RawServer;
using test::Response;

class WebRequestComTest : public test::WebTest {};

TEST_F(WebRequestComTest, SendsFiveDefaultHeadersAndReportsStatus) {
    RawServer server([](int s, const std::string&) { RawServer::Send(s, Response("img")); });
    const std::string url = server.Url("/large/p.jpg");
    int status = -1;
    EXPECT_EQ(AsString(WebRequestCom(Text(url), {.statusCode = &status, .timeoutSeconds = 30})),
              "img");
    EXPECT_EQ(status, 200);
    EXPECT_EQ(server.Requests().at(0),
              "GET /large/p.jpg HTTP/1.1\r\n"
              "Host: 127.0.0.1:" +
                  std::to_string(server.port()) +
                  "\r\n"
                  "Accept: */*\r\n"
                  "Referer: " +
                  url +
                  "\r\n"
                  "Accept-Language: zh-cn\r\n"
                  "User-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)\r\n"
                  "Content-Type: application/x-www-form-urlencoded\r\n"
                  "\r\n");
}

TEST_F(WebRequestComTest, CallerHeadersOneLineOrSeveral) {
    RawServer server([](int s, const std::string&) { RawServer::Send(s, Response("")); });
    WebRequestCom(Text(server.Url("/")), {.extraHeaders = Text("X-One: 1")});
    WebRequestCom(Text(server.Url("/")),
                  {.extraHeaders = Text("user-agent: Low\r\n\r\nX-Two:\r\nReferer: r")});
    const auto requests = server.Requests();
    EXPECT_NE(requests.at(0).find("\r\nX-One: 1\r\nAccept: */*\r\n"), std::string::npos);
    // A name set twice keeps one line with the later value; an empty value is still sent.
    EXPECT_EQ(requests.at(1).find("user-agent: Low"), std::string::npos);
    EXPECT_NE(requests.at(1).find("\r\nuser-agent: Mozilla/4.0"), std::string::npos);
    EXPECT_NE(requests.at(1).find("\r\nX-Two:\r\n"), std::string::npos);
    EXPECT_NE(requests.at(1).find("\r\nReferer: r\r\n"), std::string::npos);
}

TEST(WebRequestComHeaders, BlockCarriesUserAgentButNoCookie) {
    EXPECT_EQ(BuildComHeaderBlock(Text("u"), Text("User-Agent: me")),
              Text("User-Agent: me\r\nAccept: */*\r\nReferer: u\r\nAccept-Language: zh-cn\r\n"
                   "Content-Type: application/x-www-form-urlencoded"));
}

TEST_F(WebRequestComTest, ErrorPageBodyWithItsStatus) {
    test::HttpServer server;
    server.server().Get("/missing", [](const httplib::Request&, httplib::Response& res) {
        res.status = 404;
        res.set_content("not here", "text/plain");
    });
    server.Start();
    int status = 0;
    Text headers;
    EXPECT_EQ(AsString(WebRequestCom(Text(server.Url("/missing")),
                                     {.returnedHeaders = &headers, .statusCode = &status})),
              "not here");
    EXPECT_EQ(status, 404);
    EXPECT_FALSE(headers.bytes().starts_with("HTTP/"));
    EXPECT_NE(headers.bytes().find("Content-Length: 8\r\n"), std::string::npos);
    EXPECT_TRUE(headers.bytes().ends_with("\r\n\r\n"));
}

TEST_F(WebRequestComTest, FailuresGiveEmptyBodyAndStatusZero) {
    test::Gate gate;
    RawServer server([&](int s, const std::string& request) {
        if (request.starts_with("GET /cut ")) {
            RawServer::Send(s, "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\nshort");
        } else {
            RawServer::Send(s, "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\nslow");
            gate.Wait();
        }
    });
    int status = -1;
    // A truncated image must not look like a good one.
    EXPECT_TRUE(WebRequestCom(Text(server.Url("/cut")), {.statusCode = &status}).empty());
    EXPECT_EQ(status, 0);
    status = -1;
    EXPECT_TRUE(
        WebRequestCom(Text(server.Url("/stall")), {.statusCode = &status, .timeoutSeconds = 1})
            .empty());
    EXPECT_EQ(status, 0);
    status = -1;
    EXPECT_TRUE(WebRequestCom(Text("http://127.0.0.1:1/"), {.statusCode = &status}).empty());
    EXPECT_EQ(status, 0);
    gate.Open();
}

TEST_F(WebRequestComTest, StopFlagCutsTransferShort) {
    test::Gate gate;
    test::Gate sent;
    RawServer server([&](int s, const std::string&) {
        RawServer::Send(s, "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\npartial");
        sent.Open();
        gate.Wait();
    });
    StopFlag flag;
    std::thread stopper([&] {
        sent.Wait();
        flag.Raise();
    });
    int status = -1;
    Bytes body;
    {
        ScopedStopFlag scope(&flag);
        body = WebRequestCom(Text(server.Url("/")), {.statusCode = &status, .timeoutSeconds = -1});
    }
    stopper.join();
    gate.Open();
    EXPECT_TRUE(body.empty());
    EXPECT_EQ(status, 0);
}

TEST_F(WebRequestComTest, CookiesMergedOnEveryCall) {
    RawServer server([](int s, const std::string& request) {
        const std::size_t at = request.find("\r\nCookie: ");
        const std::string sent =
            at == std::string::npos
                ? ""
                : request.substr(at + 10, request.find("\r\n", at + 2) - at - 10);
        RawServer::Send(s, Response(sent, "Set-Cookie: s=1; Path=/\r\nset-cookie: t=2\r\n"));
    });
    Text cookies;
    Text returned;
    WebRequestCom(Text(server.Url("/")), {.cookies = &cookies, .returnedCookies = &returned});
    EXPECT_EQ(cookies, Text("s=1; t=2"));
    EXPECT_EQ(returned, Text("s=1;t=2"));
    cookies = Text("old=0; s=9");
    EXPECT_EQ(AsString(WebRequestCom(Text(server.Url("/")), {.cookies = &cookies})), "old=0; s=9");
    EXPECT_EQ(cookies, Text("s=1; t=2; old=0"));
    // Without a session nothing carries over from one call to the next.
    EXPECT_EQ(AsString(WebRequestCom(Text(server.Url("/")))), "");
}

TEST_F(WebRequestComTest, SessionKeepsCookiesAndConnection) {
    test::HttpServer server;
    server.server().Get("/", [](const httplib::Request& req, httplib::Response& res) {
        res.set_header("Set-Cookie", "sess=abc; Path=/");
        res.set_content(req.get_header_value("Cookie") + "|" + std::to_string(req.remote_port),
                        "text/plain");
    });
    server.Start();
    WebSession session;
    const std::string first = AsString(WebRequestCom(Text(server.Url("/")), {.session = &session}));
    Text own("mine=1");
    const std::string second =
        AsString(WebRequestCom(Text(server.Url("/")), {.cookies = &own, .session = &session}));
    EXPECT_TRUE(first.starts_with("|"));
    EXPECT_TRUE(second.starts_with("sess=abc;mine=1|") || second.starts_with("sess=abc; mine=1|"))
        << second;
    const std::string third = AsString(WebRequestCom(Text(server.Url("/")), {.session = &session}));
    EXPECT_TRUE(third.starts_with("sess=abc|")) << third;
    // The same client port: the connection stayed open between the calls.
    EXPECT_EQ(first.substr(first.find('|')), second.substr(second.find('|')));
}

TEST_F(WebRequestComTest, ThreadReusesConnectionWithoutSession) {
    test::HttpServer server;
    server.server().Get("/", [](const httplib::Request& req, httplib::Response& res) {
        res.set_content(std::to_string(req.remote_port), "text/plain");
    });
    server.Start();
    const Bytes a = WebRequestCom(Text(server.Url("/")));
    const Bytes b = WebRequestCom(Text(server.Url("/")));
    EXPECT_FALSE(a.empty());
    EXPECT_EQ(a, b);
}

TEST_F(WebRequestComTest, RefusesSelfSignedCertificateAndSaysWhy) {
    test::HttpServer server(true);
    server.server().Get("/img", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("tls body", "image/jpeg");
    });
    server.Start();
    int status = -1;
    Text failure;
    // The certificate names "localhost", not 127.0.0.1, and no authority signed it: an
    // interceptor's picture must not be taken for the photo.
    EXPECT_TRUE(
        WebRequestCom(Text(server.Url("/img")), {.statusCode = &status, .failure = &failure})
            .empty());
    EXPECT_EQ(status, 0);
    EXPECT_EQ(failure.view().substr(0, 11), "127.0.0.1: ");
    EXPECT_GT(failure.size(), 11u);
}

TEST_F(WebRequestComTest, PostBodiesAndRedirects) {
    test::HttpServer server;
    server.server().Post("/echo", [](const httplib::Request& req, httplib::Response& res) {
        res.set_content(req.body, "application/octet-stream");
    });
    server.server().Get("/moved", [](const httplib::Request&, httplib::Response& res) {
        res.set_redirect("/final", 301);
    });
    server.server().Get("/final", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("final", "text/plain");
    });
    server.Start();
    EXPECT_EQ(AsString(WebRequestCom(Text(server.Url("/echo")),
                                     {.method = kMethodPost, .postText = Text("t=1")})),
              "t=1");
    const Bytes binary{0, 0xfe, 0};
    EXPECT_EQ(WebRequestCom(Text(server.Url("/echo")),
                            {.method = kMethodPost, .postText = Text("no"), .postBytes = binary}),
              binary);
    int status = 0;
    EXPECT_EQ(AsString(WebRequestCom(Text(server.Url("/moved")), {.statusCode = &status})),
              "final");
    EXPECT_EQ(status, 200);
    WebRequestCom(Text(server.Url("/moved")), {.statusCode = &status, .noRedirect = true});
    EXPECT_EQ(status, 301);
}

// Transfers of several threads on one hub: each gets its own answer, a stalled one holds
// none of the others, and a stop ends only the transfer of the thread whose flag it is.
TEST_F(WebRequestComTest, TransfersSharingAHubEndEachOnItsOwn) {
    // Connections beyond the test server's listen backlog wait for a SYN retry, which is no
    // stall of the transfer.
    AllowStalls(std::chrono::seconds(30));
    test::Gate gate;
    test::HttpServer server;
    server.server().Get(R"(/n/(\d+))", [](const httplib::Request& req, httplib::Response& res) {
        res.set_content(std::string(20000, 'x') + req.matches[1].str(), "image/jpeg");
    });
    server.server().Get("/stall", [&](const httplib::Request&, httplib::Response& res) {
        gate.Wait();
        res.set_content("late", "text/plain");
    });
    server.Start();
    TransferHub hub;

    StopFlag stalledFlag;
    int stalledStatus = -1;
    Bytes stalledBody;
    std::thread stalled([&] {
        ScopedStopFlag scope(&stalledFlag);
        stalledBody =
            WebRequestCom(Text(server.Url("/stall")),
                          {.statusCode = &stalledStatus, .timeoutSeconds = -1, .hub = &hub});
    });
    constexpr int kThreads = 6;
    std::vector<int> status(kThreads, -1);
    std::vector<std::string> bodies(kThreads);
    std::vector<Text> failures(kThreads);
    std::vector<std::thread> threads;
    for (int k = 0; k < kThreads; ++k) {
        threads.emplace_back([&, k] {
            StopFlag own;
            ScopedStopFlag scope(&own);
            for (int round = 0; round < 5; ++round) {
                const std::string body = AsString(WebRequestCom(
                    Text(server.Url("/n/" + std::to_string(k))),
                    {.statusCode = &status[k], .failure = &failures[k], .hub = &hub}));
                bodies[k] += body.size() > 20000 ? body.substr(20000) : "?";
                if (status[k] != 200) return;
            }
        });
    }
    for (std::thread& t : threads) t.join();
    for (int k = 0; k < kThreads; ++k) {
        EXPECT_EQ(status[k], 200) << failures[k].bytes();
        EXPECT_EQ(bodies[k], std::string(5, static_cast<char>('0' + k)));
    }
    stalledFlag.Raise();
    stalled.join();
    gate.Open();
    EXPECT_TRUE(stalledBody.empty());
    EXPECT_EQ(stalledStatus, 0);
}

}  // namespace
}  // namespace ovx
