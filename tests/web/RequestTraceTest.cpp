// The request trace: both request routines report each request (status, body size, failure)
// only while a trace is installed, the governor's waits go with the request after them, and
// the line shows no header.
#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "LocalServers.h"
#include "VirtualClock.h"
#include "WebTestSupport.h"
#include "web/RequestGovernor.h"
#include "web/RequestTrace.h"
#include "web/WebRequestCom.h"

namespace ovx {
namespace {

using std::chrono::milliseconds;
using namespace std::chrono_literals;
using test::RawServer;
using test::Response;

class RequestTraceTest : public test::WebTest {
  protected:
    RequestTraceSink Collect() {
        return [this](const RequestTraceEntry& e) { entries_.push_back(e); };
    }
    std::vector<RequestTraceEntry> entries_;
};

TEST_F(RequestTraceTest, BothRoutinesReportStatusBytesAndFailureOnlyWhileInstalled) {
    RawServer server([](int s, const std::string& request) {
        if (request.find(" /missing ") != std::string::npos)
            RawServer::Send(s, Response("gone!", "", "404 Not Found"));
        else
            RawServer::Send(s, Response("0123456789"));
    });
    const Text secrets("SUB=cookie-secret; XSRF-TOKEN=token-secret");
    const Text xsrf("X-XSRF-TOKEN: token-secret");
    using Routine = std::function<void(const Text&)>;
    const std::pair<const char*, Routine> routines[] = {
        {"WebRequest",
         [&](const Text& url) {
             Text cookies = secrets;
             WebRequest(url, {.cookies = &cookies, .extraHeaders = xsrf});
         }},
        {"WebRequestCom",
         [&](const Text& url) {
             Text cookies = secrets;
             WebRequestCom(url, {.method = kMethodPost, .cookies = &cookies, .extraHeaders = xsrf});
         }},
    };
    for (const auto& [name, request] : routines) {
        SCOPED_TRACE(name);
        entries_.clear();
        const Text ok(server.Url("/ok?uid=1"));
        request(ok);  // no trace yet
        {
            ScopedRequestTrace trace(Collect());
            request(ok);
            request(Text(server.Url("/missing")));
            request(Text("http://127.0.0.1:1/refused"));
        }
        request(ok);  // the trace is gone again
        ASSERT_EQ(entries_.size(), 3u);
        const std::string method = name == std::string("WebRequest") ? "GET" : "POST";
        EXPECT_EQ(entries_[0].method, method);
        EXPECT_EQ(entries_[0].url, ok);
        EXPECT_EQ(entries_[0].status, 200);
        EXPECT_EQ(entries_[0].bytes, 10u);
        EXPECT_TRUE(entries_[0].failure.empty());
        EXPECT_EQ(entries_[1].status, 404);
        EXPECT_EQ(entries_[1].bytes, 5u);
        EXPECT_EQ(entries_[2].status, 0);
        EXPECT_EQ(entries_[2].failure.view().substr(0, 11), "127.0.0.1: ");
        for (const RequestTraceEntry& entry : entries_) {
            const std::string line = FormatRequestTrace(entry).bytes();
            EXPECT_EQ(line.find("secret"), std::string::npos) << line;
            EXPECT_EQ(line.find("waited"), std::string::npos) << line;
        }
        EXPECT_NE(FormatRequestTrace(entries_[2]).bytes().find(" -> failed (127.0.0.1: "),
                  std::string::npos);
    }
}

using test::VirtualClock;

TEST_F(RequestTraceTest, GovernorWaitsGoWithTheNextRequestOnce) {
    std::atomic<int> served{0};
    RawServer server([&served](int s, const std::string&) {
        RawServer::Send(s, ++served == 1 ? Response("", "", "429 Slow Down") : Response("ok"));
    });
    VirtualClock clock;
    RequestGovernor governor({1500ms, 1s, 600s, 8}, &clock);
    const auto perform = [&] {
        int status = 0;
        WebRequest(Text(server.Url("/api")), {.statusCode = &status});
        return Attempt{status, std::nullopt};
    };
    NoteWaitBeforeRequest(5s);  // no trace: not kept for later
    ScopedRequestTrace trace(Collect());
    // 429, the back-off (1 s) and the rest of the pacing interval (0.5 s), 200; then a
    // second call waits out the interval.
    ASSERT_EQ(governor.Run(perform, {}, true), GovernedOutcome::Answered);
    ASSERT_EQ(governor.Run(perform, {}, true), GovernedOutcome::Answered);
    ASSERT_EQ(entries_.size(), 3u);
    EXPECT_EQ(entries_[0].status, 429);
    EXPECT_EQ(entries_[0].waitedBefore, 0ms);
    EXPECT_EQ(entries_[1].status, 200);
    EXPECT_EQ(entries_[1].waitedBefore, 1500ms);
    EXPECT_EQ(entries_[2].waitedBefore, 1500ms);
    EXPECT_TRUE(FormatRequestTrace(entries_[2]).bytes().ends_with(" s (waited 1.50 s)"));
}

TEST(RequestTraceFormat, LineIsPlainAndLeavesOutUserInfo) {
    RequestTraceEntry entry{
        "GET", Text("https://weibo.com/ajax/profile/info?uid=1"), 200, Text(), 1234, 210ms, 1618ms};
    EXPECT_EQ(FormatRequestTrace(entry),
              Text("GET https://weibo.com/ajax/profile/info?uid=1 -> 200, 1234 bytes, 0.21 s "
                   "(waited 1.62 s)"));
    entry = {
        "HEAD", Text("http://me:pw@h.example:81/a@b?c=d@e"), 0, Text("h.example: refused"), 0, 3ms,
        4ms};
    EXPECT_EQ(FormatRequestTrace(entry),
              Text("HEAD http://h.example:81/a@b?c=d@e -> failed (h.example: refused), 0 bytes, "
                   "0.00 s"));
    // The visitor system's cross-domain call carries cookie values in its query.
    entry = {
        "GET",
        Text("https://passport.weibo.com/visitor/visitor?a=crossdomain&t=T&sp=P1&s=S1&from=weibo"),
        302,
        Text(),
        0,
        1ms,
        0ms};
    EXPECT_EQ(FormatRequestTrace(entry),
              Text("GET https://passport.weibo.com/visitor/visitor?a=crossdomain&t=T&sp=...&s=...&"
                   "from=weibo -> 302, 0 bytes, 0.00 s"));
}

}  // namespace
}  // namespace ovx
