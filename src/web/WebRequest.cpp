#include "web/WebRequest.h"

#include <algorithm>
#include <chrono>
#include <mutex>
#include <string>
#include <utility>

#include "runtime/StopFlag.h"
#include "runtime/TextOps.h"
#include "web/CookieStore.h"
#include "web/CurlGlobal.h"
#include "web/CurlTransfer.h"
#include "web/RequestTrace.h"
#include "web/UrlHelpers.h"

namespace ovx {
namespace {

std::mutex gLimitsMutex;
WebLimits gLimits;

int NormalisedMethod(int method) {
    return method < 0 || method > 2 ? kMethodGet : method;
}

bool IsSecure(const Text& url) {
    return ToLowerCase(LeftText(url, 5)) == Text("https");
}

// Splits a CR LF header block into libcurl header lines.
bool AddBlockLines(CurlHeaderList& list, const Text& block) {
    for (const Text& line : SplitText(block, Text("\r\n"))) {
        if (line.empty()) continue;
        const std::string& bytes = line.bytes();
        const std::size_t colon = bytes.find(':');
        std::string out;
        if (colon == std::string::npos) {
            out = CurlHeaderLine(bytes, "");
        } else {
            out = CurlHeaderLine(bytes.substr(0, colon),
                                 TrimSpaces(Text(bytes.substr(colon + 1))).bytes());
        }
        if (!out.empty() && !list.Append(out)) return false;
    }
    return true;
}

}  // namespace

WebLimits GetWebLimits() {
    std::lock_guard lock(gLimitsMutex);
    return gLimits;
}

void SetWebLimits(const WebLimits& limits) {
    std::lock_guard lock(gLimitsMutex);
    gLimits = limits;
}

Text UserAgentFor(const Text& extraHeaders) {
    const int at = FindText(extraHeaders, Text("User-Agent:"), 1, true);
    if (at == -1) return Text(kDefaultUserAgent);
    Text agent = TrimSpaces(TextBetween(extraHeaders, Text("User-Agent:"), Text("\r\n")));
    if (!agent.empty()) return agent;
    // A user-agent line spelled in another case, or the last line: its own value.
    Text line = MidText(extraHeaders, at, TextLength(extraHeaders));
    const int end = FindText(line, Text("\r\n"));
    if (end != -1) line = LeftText(line, end - 1);
    return TextAfterColon(line);
}

void AddMissingHeader(Text& block, const Text& name, const Text& line) {
    if (block.empty()) {
        block = line;
    } else if (FindText(block, name) == -1) {
        block += Text("\r\n") + line;
    }
}

Text BuildRequestHeaderBlock(const Text& url, const Text& extraHeaders, const Text& cookies) {
    Text block = extraHeaders;
    AddMissingHeader(block, Text("Accept:"), Text("Accept: */*"));
    AddMissingHeader(block, Text("Referer:"), Text("Referer: ") + url);
    AddMissingHeader(block, Text("Accept-Language:"), Text("Accept-Language: zh-cn"));
    AddMissingHeader(block, Text("Content-Type:"),
                     Text("Content-Type: application/x-www-form-urlencoded"));
    if (!cookies.empty()) block += Text("\r\nCookie: ") + cookies;
    return block;
}

namespace {

// One request; `trace` gets its status, failure and body size.
Bytes PerformRequest(const Text& url, const WebRequestOptions& options, RequestTraceEntry& trace) {
    EnsureCurlGlobal();
    const int method = NormalisedMethod(options.method);
    const bool secure = IsSecure(url);
    const Text host = UrlHost(url);
    int port = UrlPort(url);
    if (port == 0) port = secure ? 443 : 80;  // no port number: the scheme's own
    if (host.empty() || port < 0 || port > 65535) {
        trace.failure = Text("not an address with a host and port");
        return {};
    }
    const std::string target = std::string(secure ? "https://" : "http://") + host.bytes() + ":" +
                               std::to_string(port) + EscapeUrlForCurl(UrlPath(url));

    CurlEasyPtr easy(curl_easy_init());
    if (!easy) {
        trace.failure = Text("the transfer could not be set up");
        return {};
    }
    CURL* h = easy.get();
    CurlTransfer transfer(h);
    WebLimits limits = GetWebLimits();
    if (options.maxBodyBytes != 0)
        limits.maxBodyBytes = std::min(limits.maxBodyBytes, options.maxBodyBytes);
    transfer.ApplyCommon(limits, !options.noRedirect);
    curl_easy_setopt(h, CURLOPT_URL, target.c_str());
    const Text agent = UserAgentFor(options.extraHeaders);
    curl_easy_setopt(h, CURLOPT_USERAGENT, agent.c_str());
    // A direct connection unless a proxy is named: the environment's proxy is not used.
    const std::string proxy = options.proxy.bytes();
    curl_easy_setopt(h, CURLOPT_PROXY, proxy.c_str());

    // Without a cookie argument the session's store sends and keeps cookies; with one, the
    // caller's text travels in the header block and no store is touched. With neither, the
    // request carries no cookie but those its own redirects set.
    const Text cookieText = options.cookies != nullptr ? *options.cookies : Text();
    if (options.cookies == nullptr) {
        if (options.cookieStore != nullptr)
            curl_easy_setopt(h, CURLOPT_SHARE, options.cookieStore->share());
        curl_easy_setopt(h, CURLOPT_COOKIEFILE, "");
    }

    CurlHeaderList headers;
    if (!AddBlockLines(headers, BuildRequestHeaderBlock(url, options.extraHeaders, cookieText)) ||
        !headers.Append("Expect:")) {
        trace.failure = Text("the request headers could not be set up");
        return {};
    }
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());

    Bytes body = options.postBytes;
    if (body.empty()) body.assign(options.postText.bytes().begin(), options.postText.bytes().end());
    transfer.SetMethod(method, std::move(body));

    if (options.failure != nullptr) *options.failure = Text();
    if (options.statusCode != nullptr) *options.statusCode = 0;
    const CURLcode rc = transfer.Perform();
    trace.bytes = transfer.body().size();
    if (rc != CURLE_OK) {
        trace.failure = host + Text(": ") + transfer.Error(rc);
        if (options.failure != nullptr) *options.failure = trace.failure;
        return {};
    }
    trace.status = static_cast<int>(transfer.status());
    if (options.statusCode != nullptr) *options.statusCode = trace.status;

    Text raw;
    if (transfer.headers().size() < kMaxRawHeaderBytes) {
        raw = ReplaceText(Text(transfer.headers()), Text("Set-Cookie"), Text("Set-Cookie"), 1, -1,
                          false);
    }
    Text returned = ExtractSetCookies(raw);
    if (options.cookies != nullptr) MergeCookies(*options.cookies, returned);
    if (options.returnedCookies != nullptr) *options.returnedCookies = returned;
    if (options.returnedHeaders != nullptr) *options.returnedHeaders = raw;
    return transfer.body();
}

}  // namespace

Bytes WebRequest(const Text& url, const WebRequestOptions& options) {
    if (StopRequested()) return {};
    return TracedRequest(url, NormalisedMethod(options.method), [&](RequestTraceEntry& trace) {
        return PerformRequest(url, options, trace);
    });
}

}  // namespace ovx
