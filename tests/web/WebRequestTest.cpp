#include <gtest/gtest.h>

#include <thread>

#include "LocalServers.h"
#include "WebTestSupport.h"
#include "runtime/StopFlag.h"
#include "web/WebRequest.h"

namespace ovx {
namespace {

using test::AsString;
using test::RawServer;
using test::Response;

class WebRequestTest : public test::WebTest {};

TEST_F(WebRequestTest, SendsDefaultHeaderBlock) {
    RawServer server([](int s, const std::string&) { RawServer::Send(s, Response("ok")); });
    const std::string url = server.Url("/a/b?c=1&d=%20");
    EXPECT_EQ(AsString(WebRequest(Text(url))), "ok");
    const std::string host = "127.0.0.1:" + std::to_string(server.port());
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(server.Requests()[0],
              "GET /a/b?c=1&d=%20 HTTP/1.1\r\n"
              "Host: " +
                  host +
                  "\r\n"
                  "User-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)\r\n"
                  "Accept: */*\r\n"
                  "Referer: " +
                  url +
                  "\r\n"
                  "Accept-Language: zh-cn\r\n"
                  "Content-Type: application/x-www-form-urlencoded\r\n"
                  "\r\n");
}

TEST_F(WebRequestTest, UrlWithoutSchemeAndOutOfRangeMethodGiveHttpGet) {
    RawServer server([](int s, const std::string&) { RawServer::Send(s, Response("ok")); });
    const std::string bare = "127.0.0.1:" + std::to_string(server.port()) + "/x";
    EXPECT_EQ(AsString(WebRequest(Text(bare), {.method = 7})), "ok");
    EXPECT_EQ(AsString(WebRequest(Text(bare), {.method = -1})), "ok");
    for (const std::string& r : server.Requests())
        EXPECT_TRUE(r.starts_with("GET /x HTTP/1.1\r\n"));
}

TEST(WebRequestHeaders, BlockKeepsCallerLinesAndAddsMissingDefaults) {
    const Text url("http://h/p");
    EXPECT_EQ(BuildRequestHeaderBlock(url, Text("Accept: text/html"), Text()),
              Text("Accept: text/html\r\nReferer: http://h/p\r\nAccept-Language: zh-cn\r\n"
                   "Content-Type: application/x-www-form-urlencoded"));
    // The name tests are case-sensitive: a lower-case accept line gets the default added.
    EXPECT_EQ(BuildRequestHeaderBlock(url,
                                      Text("accept: a\r\nReferer: r\r\nAccept-Language: "
                                           "de\r\nContent-Type: t"),
                                      Text("a=1; b=2")),
              Text("accept: a\r\nReferer: r\r\nAccept-Language: de\r\nContent-Type: t\r\n"
                   "Accept: */*\r\nCookie: a=1; b=2"));
}

TEST(WebRequestHeaders, UserAgentFromCallerHeaders) {
    EXPECT_EQ(UserAgentFor(Text()), Text(kDefaultUserAgent));
    EXPECT_EQ(UserAgentFor(Text("User-Agent: Foo/1\r\nAccept: x")), Text("Foo/1"));
    EXPECT_EQ(UserAgentFor(Text("user-agent: bar")), Text("bar"));
    EXPECT_EQ(UserAgentFor(Text("Accept: x\r\nUser-Agent:  Last ")), Text("Last"));
    EXPECT_EQ(UserAgentFor(Text("Accept: x\r\nuser-agent: low\r\nX: y")), Text("low"));
}

TEST_F(WebRequestTest, CallerHeadersReplaceDefaults) {
    RawServer server([](int s, const std::string&) { RawServer::Send(s, Response("")); });
    WebRequest(Text(server.Url("/")), {.extraHeaders = Text("user-agent: Bot/2\r\nAccept: a/b")});
    const std::string request = server.Requests().at(0);
    EXPECT_NE(request.find("\r\nuser-agent: Bot/2\r\n"), std::string::npos);
    EXPECT_EQ(request.find("Mozilla"), std::string::npos);
    EXPECT_NE(request.find("\r\nAccept: a/b\r\n"), std::string::npos);
    EXPECT_EQ(request.find("*/*"), std::string::npos);
}

TEST_F(WebRequestTest, PostHeadAndBodies) {
    RawServer server([](int s, const std::string& request) {
        RawServer::Send(s, request.starts_with("HEAD")
                               ? "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n"
                               : Response(request));
    });
    const Text url(server.Url("/form"));
    const std::string posted =
        AsString(WebRequest(url, {.method = kMethodPost, .postText = Text("a=1&b=2")}));
    EXPECT_TRUE(posted.starts_with("POST /form HTTP/1.1\r\n"));
    EXPECT_TRUE(posted.ends_with("\r\nContent-Length: 7\r\n\r\na=1&b=2"));
    EXPECT_EQ(posted.find("Expect:"), std::string::npos);

    // Post bytes win over the post text and travel unchanged, zero bytes included.
    const Bytes binary{0, 1, 2, 0xff, 0};
    const std::string raw = AsString(
        WebRequest(url, {.method = kMethodPost, .postText = Text("ignored"), .postBytes = binary}));
    EXPECT_TRUE(raw.ends_with(std::string("\r\n\r\n\0\1\2\xff\0", 9)));

    Text headers("untouched");
    EXPECT_TRUE(WebRequest(url, {.method = kMethodHead, .returnedHeaders = &headers}).empty());
    EXPECT_TRUE(headers.bytes().starts_with("HTTP/1.1 200 OK\r\n"));
}

TEST_F(WebRequestTest, ReturnedCookiesAndRawHeaders) {
    RawServer server([](int s, const std::string&) {
        RawServer::Send(
            s, Response("body", "set-cookie: a=1; Path=/\r\nX-Other: z\r\nSet-Cookie: b=2\r\n"));
    });
    Text returned;
    Text headers;
    WebRequest(Text(server.Url("/")), {.returnedCookies = &returned, .returnedHeaders = &headers});
    EXPECT_EQ(returned, Text("a=1; b=2"));
    // Header names are normalised so that later searches can be case-sensitive.
    EXPECT_NE(headers.bytes().find("\r\nSet-Cookie: a=1; Path=/\r\n"), std::string::npos);
    EXPECT_TRUE(headers.bytes().ends_with("Set-Cookie: b=2\r\n\r\n"));
    EXPECT_TRUE(headers.bytes().starts_with("HTTP/1.1 200 OK\r\n"));
}

TEST_F(WebRequestTest, CookieArgumentBypassesTheStore) {
    RawServer server([](int s, const std::string&) {
        RawServer::Send(s,
                        Response("", "Set-Cookie: fresh=1; Path=/\r\nSet-Cookie: old=deleted\r\n"));
    });
    const Text url(server.Url("/"));
    Text cookies;  // present but empty: nothing sent, merged cookies received
    Text returned;
    WebRequest(url, {.cookies = &cookies, .returnedCookies = &returned});
    EXPECT_EQ(cookies, Text("fresh=1"));
    EXPECT_EQ(returned, Text("fresh=1;old=deleted"));
    EXPECT_EQ(server.Requests().at(0).find("Cookie"), std::string::npos);
    EXPECT_TRUE(store_.List().empty());

    Text held("old=9; keep=2");
    WebRequest(url, {.cookies = &held});
    EXPECT_NE(server.Requests().at(1).find("\r\nCookie: old=9; keep=2\r\n"), std::string::npos);
    EXPECT_EQ(held, Text("fresh=1; keep=2"));
}

TEST_F(WebRequestTest, StoreSendsWhatResponsesSet) {
    test::HttpServer server;
    server.server().Get("/login", [](const httplib::Request&, httplib::Response& res) {
        res.set_header("Set-Cookie", "SUB=token; Path=/");
        res.set_content("in", "text/plain");
    });
    server.server().Get("/me", [](const httplib::Request& req, httplib::Response& res) {
        res.set_content(req.get_header_value("Cookie"), "text/plain");
    });
    server.Start();
    EXPECT_EQ(AsString(WebRequest(Text(server.Url("/me")), {.cookieStore = &store_})), "");
    WebRequest(Text(server.Url("/login")), {.cookieStore = &store_});
    EXPECT_EQ(AsString(WebRequest(Text(server.Url("/me")), {.cookieStore = &store_})), "SUB=token");
    // The browser's cookies join the store and travel with later requests.
    ASSERT_TRUE(store_.Import({.name = "login", .value = "yes", .domain = "127.0.0.1"}));
    EXPECT_EQ(AsString(WebRequest(Text(server.Url("/me")), {.cookieStore = &store_})),
              "login=yes; SUB=token");
    // A request with its own cookie text neither reads the store nor adds to it.
    Text own("x=1");
    EXPECT_EQ(
        AsString(WebRequest(Text(server.Url("/me")), {.cookies = &own, .cookieStore = &store_})),
        "x=1");
}

TEST_F(WebRequestTest, StoreIsSharedAcrossThreads) {
    test::HttpServer server;
    server.server().Get("/set", [](const httplib::Request& req, httplib::Response& res) {
        res.set_header("Set-Cookie", req.get_param_value("n") + "=v; Path=/");
    });
    server.Start();
    constexpr int kThreads = 4;
    constexpr int kEach = 10;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i) {
                WebRequest(Text(server.Url("/set?n=c" + std::to_string(t * kEach + i))),
                           {.cookieStore = &store_});
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(store_.List().size(), static_cast<std::size_t>(kThreads * kEach));
}

TEST_F(WebRequestTest, RedirectsFollowedUnlessAsked) {
    test::HttpServer server;
    server.server().Get("/from", [](const httplib::Request&, httplib::Response& res) {
        res.set_redirect("/to");
        res.set_content("moved", "text/plain");
    });
    server.server().Get("/to", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("arrived", "text/plain");
    });
    server.server().Get("/loop", [](const httplib::Request&, httplib::Response& res) {
        res.set_redirect("/loop");
    });
    server.Start();
    Text headers;
    EXPECT_EQ(AsString(WebRequest(Text(server.Url("/from")), {.returnedHeaders = &headers})),
              "arrived");
    EXPECT_TRUE(headers.bytes().starts_with("HTTP/1.1 200"));  // only the final response
    EXPECT_EQ(AsString(WebRequest(Text(server.Url("/from")),
                                  {.returnedHeaders = &headers, .noRedirect = true})),
              "moved");
    EXPECT_TRUE(headers.bytes().starts_with("HTTP/1.1 302"));
    EXPECT_TRUE(WebRequest(Text(server.Url("/loop"))).empty());
}

TEST_F(WebRequestTest, HeadersOverTheLimitAreNotReturned) {
    const auto respond = [](std::size_t padding) {
        return [padding](int s, const std::string&) {
            RawServer::Send(
                s,
                Response("b", "Set-Cookie: k=v\r\nX-Pad: " + std::string(padding, 'p') + "\r\n"));
        };
    };
    const std::size_t base = Response("b", "Set-Cookie: k=v\r\nX-Pad: \r\n").size() - 1;
    RawServer fits(respond(kMaxRawHeaderBytes - 1 - base));
    RawServer tooLong(respond(kMaxRawHeaderBytes - base));
    Text headers("before");
    Text cookies;
    EXPECT_EQ(AsString(WebRequest(Text(fits.Url("/")),
                                  {.cookies = &cookies, .returnedHeaders = &headers})),
              "b");
    EXPECT_EQ(headers.size(), kMaxRawHeaderBytes - 1);
    EXPECT_EQ(cookies, Text("k=v"));
    cookies = Text();
    EXPECT_EQ(AsString(WebRequest(Text(tooLong.Url("/")),
                                  {.cookies = &cookies, .returnedHeaders = &headers})),
              "b");
    EXPECT_EQ(headers, Text());
    EXPECT_EQ(cookies, Text());
}

TEST_F(WebRequestTest, StalledServerTimesOut) {
    test::Gate gate;
    RawServer server([&](int s, const std::string&) {
        RawServer::Send(s, "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\npartial");
        gate.Wait();
    });
    Text headers("untouched");
    EXPECT_TRUE(WebRequest(Text(server.Url("/")), {.returnedHeaders = &headers}).empty());
    EXPECT_EQ(headers, Text("untouched"));
    gate.Open();
}

TEST_F(WebRequestTest, TricklingServerHitsTheTransferBound) {
    WebLimits bounded = GetWebLimits();
    bounded.transferTimeout = std::chrono::milliseconds(1500);
    SetWebLimits(bounded);
    test::Gate done;
    RawServer server([&](int s, const std::string&) {
        RawServer::Send(s, "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n");
        // One byte every 100 ms never looks stalled, and would take 100 s.
        for (int i = 0; i < 1000 && !done.Wait(std::chrono::milliseconds(100)); ++i) {
            RawServer::Send(s, "x");
        }
    });
    EXPECT_TRUE(WebRequest(Text(server.Url("/"))).empty());
    done.Open();
}

TEST_F(WebRequestTest, StopFlagCutsTransferShort) {
    AllowStalls(std::chrono::seconds(600));
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
    Bytes body;
    {
        ScopedStopFlag scope(&flag);
        body = WebRequest(Text(server.Url("/")));
        // A raised flag stops the next request before it starts.
        EXPECT_TRUE(WebRequest(Text(server.Url("/again"))).empty());
    }
    stopper.join();
    gate.Open();
    EXPECT_TRUE(body.empty());
    EXPECT_EQ(server.Requests().size(), 1u);
}

TEST_F(WebRequestTest, HostileResponsesNeverCrash) {
    const std::string binary("\0\x01\xff\r\n\0zz", 8);
    RawServer server([&](int s, const std::string& request) {
        if (request.starts_with("GET /binary ")) RawServer::Send(s, Response(binary));
        if (request.starts_with("GET /cut "))
            RawServer::Send(s, "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\nshort");
        if (request.starts_with("GET /garbage "))
            RawServer::Send(s, "\x01\x02 not http at all\r\n\r\n");
        if (request.starts_with("GET /badcookies ")) {
            RawServer::Send(
                s, Response("x", "Set-Cookie: ;;;=\r\nSet-Cookie:\r\nSet-Cookie: " +
                                     std::string(3000, ';') + "\r\nSet-Cookie: \xa1\xa1=\x81\r\n"));
        }
        if (request.starts_with("GET /huge ")) {
            RawServer::Send(s, "HTTP/1.1 200 OK\r\nContent-Length: 10000000\r\n\r\n");
            RawServer::Send(s, std::string(10000000, 'x'));
        }
    });
    EXPECT_EQ(AsString(WebRequest(Text(server.Url("/binary")))), binary);
    EXPECT_TRUE(WebRequest(Text(server.Url("/cut"))).empty());
    EXPECT_TRUE(WebRequest(Text(server.Url("/garbage"))).empty());
    Text cookies;
    EXPECT_EQ(AsString(WebRequest(Text(server.Url("/badcookies")), {.cookies = &cookies})), "x");

    WebLimits small = GetWebLimits();
    small.maxBodyBytes = 1 << 20;
    SetWebLimits(small);
    EXPECT_TRUE(WebRequest(Text(server.Url("/huge"))).empty());
    EXPECT_TRUE(WebRequest(Text("http://127.0.0.1:1/refused")).empty());
    EXPECT_TRUE(WebRequest(Text("http://127.0.0.1:99999/")).empty());
    EXPECT_TRUE(WebRequest(Text("")).empty());
}

TEST_F(WebRequestTest, ProxyReceivesAbsoluteRequest) {
    RawServer proxy([](int s, const std::string&) { RawServer::Send(s, Response("via proxy")); });
    const Text proxyText("127.0.0.1:" + std::to_string(proxy.port()));
    EXPECT_EQ(
        AsString(WebRequest(Text("http://photo.example.invalid/p?q=1"), {.proxy = proxyText})),
        "via proxy");
    EXPECT_TRUE(
        proxy.Requests().at(0).starts_with("GET http://photo.example.invalid/p?q=1 HTTP/1.1\r\n"));
}

TEST_F(WebRequestTest, HttpsCertificateIsVerified) {
    test::HttpServer server(true);
    server.server().Get("/", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("secret", "text/plain");
    });
    server.Start();
    EXPECT_TRUE(WebRequest(Text(server.Url("/"))).empty());
}

}  // namespace
}  // namespace ovx
