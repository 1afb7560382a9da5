#include "web/WebRequestCom.h"

#include <algorithm>
#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "runtime/StopFlag.h"
#include "runtime/TextOps.h"
#include "web/CurlGlobal.h"
#include "web/CurlTransfer.h"
#include "web/RequestTrace.h"
#include "web/UrlHelpers.h"

namespace ovx {

// The cookies live in a share of their own rather than in the easy handle: the handle is
// reset before every call, and a reset would drop its cookie engine.
struct WebSession::Impl {
    CURLSH* share = nullptr;
    CurlEasyPtr easy;
    ~Impl() {
        easy.reset();
        if (share != nullptr) curl_share_cleanup(share);
    }
};

WebSession::WebSession() : impl_(std::make_unique<Impl>()) {
    EnsureCurlGlobal();
    impl_->share = curl_share_init();
    if (impl_->share != nullptr) {
        curl_share_setopt(impl_->share, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
        impl_->easy.reset(curl_easy_init());
    }
}

WebSession::~WebSession() = default;

void* WebSession::handle() const {
    return impl_->easy.get();
}

void* WebSession::cookieShare() const {
    return impl_->share;
}

namespace {

// Each thread keeps one handle for calls without a session, so that its connections to the
// image hosts stay open from one call to the next. It never enables the cookie engine, so
// no cookie carries over between such calls.
CURL* ThreadHandle() {
    thread_local CurlEasyPtr handle(curl_easy_init());
    return handle.get();
}

// Request headers as the request object keeps them: setting a name again replaces its value.
class RequestHeaders {
  public:
    void Set(const std::string& name, const std::string& value) {
        if (name.empty()) return;
        auto same = [&](const auto& entry) {
            return ToLowerCase(Text(entry.first)) == ToLowerCase(Text(name));
        };
        auto it = std::find_if(entries_.begin(), entries_.end(), same);
        if (it != entries_.end()) {
            it->second = value;
        } else {
            entries_.emplace_back(name, value);
        }
    }
    bool Fill(CurlHeaderList& list) const {
        for (const auto& [name, value] : entries_) {
            const std::string line = CurlHeaderLine(name, value);
            if (!line.empty() && !list.Append(line)) return false;
        }
        return list.Append("Expect:");
    }

  private:
    std::vector<std::pair<std::string, std::string>> entries_;
};

void SetBlockHeaders(RequestHeaders& headers, const Text& block) {
    if (FindText(block, Text("\r\n")) == -1) {
        headers.Set(TextBeforeColon(block).bytes(), TextAfterColon(block).bytes());
        return;
    }
    for (const Text& line : SplitText(block, Text("\r\n"))) {
        if (!line.empty()) headers.Set(TextBeforeColon(line).bytes(), TextAfterColon(line).bytes());
    }
}

long TimeoutMs(int seconds) {
    if (seconds < 1) return 15000;
    return static_cast<long>(std::min<long long>(seconds * 1000LL, 0x7fffffffLL));
}

}  // namespace

Text BuildComHeaderBlock(const Text& url, const Text& extraHeaders) {
    Text block = extraHeaders;
    AddMissingHeader(block, Text("Accept:"), Text("Accept: */*"));
    AddMissingHeader(block, Text("Referer:"), Text("Referer: ") + url);
    AddMissingHeader(block, Text("Accept-Language:"), Text("Accept-Language: zh-cn"));
    AddMissingHeader(block, Text("User-Agent:"), Text("User-Agent: ") + Text(kDefaultUserAgent));
    AddMissingHeader(block, Text("Content-Type:"),
                     Text("Content-Type: application/x-www-form-urlencoded"));
    return block;
}

namespace {

int NormalisedMethod(int method) {
    return method < 0 || method > 2 ? kMethodGet : method;
}

// The body of a transfer with a sink: a 200 answer's bytes go to the sink as they arrive,
// any other answer's are kept (bounded) for the caller.
struct StreamedBody {
    CURL* handle = nullptr;
    ResponseBodySink* sink = nullptr;
    std::size_t cap = 0;
    bool begun = false;
    bool toSink = false;
    bool tooLarge = false;
    std::uint64_t bytes = 0;
    Bytes kept;

    static size_t OnBody(char* data, size_t size, size_t count, void* self) {
        auto* b = static_cast<StreamedBody*>(self);
        const size_t n = size * count;
        if (!b->begun) {
            b->begun = true;
            long status = 0;
            curl_easy_getinfo(b->handle, CURLINFO_RESPONSE_CODE, &status);
            curl_off_t declared = -1;
            curl_easy_getinfo(b->handle, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &declared);
            b->toSink = status == 200;
            if (b->toSink && declared >= 0 && static_cast<std::uint64_t>(declared) > b->cap) {
                b->tooLarge = true;
                return 0;
            }
            if (b->toSink && !b->sink->Begin(static_cast<std::int64_t>(declared))) return 0;
        }
        if (!b->toSink) {
            if (n > kUnstreamedBodyCap - std::min(kUnstreamedBodyCap, b->kept.size())) return 0;
            b->kept.insert(b->kept.end(), data, data + n);
            b->bytes += n;
            return n;
        }
        if (n > b->cap - std::min<std::uint64_t>(b->cap, b->bytes)) {
            b->tooLarge = true;
            return 0;
        }
        if (!b->sink->Take(data, n)) return 0;
        b->bytes += n;
        return n;
    }
};

// The resolver entries as libcurl takes them.
class ResolveList {
  public:
    explicit ResolveList(const std::vector<std::string>& entries) {
        for (const std::string& entry : entries) {
            curl_slist* next = curl_slist_append(list_, entry.c_str());
            if (next == nullptr) break;
            list_ = next;
        }
    }
    ~ResolveList() { curl_slist_free_all(list_); }
    ResolveList(const ResolveList&) = delete;
    ResolveList& operator=(const ResolveList&) = delete;
    curl_slist* get() const { return list_; }

  private:
    curl_slist* list_ = nullptr;
};

// One request; `trace` gets its status, failure and body size.
Bytes PerformRequest(const Text& url, const WebRequestComOptions& options,
                     RequestTraceEntry& trace) {
    EnsureCurlGlobal();
    const int method = NormalisedMethod(options.method);
    CURL* h =
        options.session != nullptr ? static_cast<CURL*>(options.session->handle()) : ThreadHandle();
    if (h == nullptr) {
        trace.failure = Text("the transfer could not be set up");
        return {};
    }
    curl_easy_reset(h);

    CurlTransfer transfer(h);
    const WebLimits limits = GetWebLimits();
    transfer.ApplyCommon(limits, !options.noRedirect);
    StreamedBody streamed;
    if (options.bodySink != nullptr) {
        streamed.handle = h;
        streamed.sink = options.bodySink;
        streamed.cap = options.maxBodyBytes != 0 ? options.maxBodyBytes : limits.maxBodyBytes;
        curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &StreamedBody::OnBody);
        curl_easy_setopt(h, CURLOPT_WRITEDATA, &streamed);
    }
    ResolveList resolve(options.resolve);
    if (resolve.get() != nullptr) curl_easy_setopt(h, CURLOPT_RESOLVE, resolve.get());
    if (options.timeoutSeconds != -1) {
        const long ms = TimeoutMs(options.timeoutSeconds);
        curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, ms);
        curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, ms);
    }
    const std::string proxy = options.proxy.bytes();
    curl_easy_setopt(h, CURLOPT_PROXY, proxy.c_str());
    const std::string user = options.proxyUser.bytes();
    const std::string password = options.proxyPassword.bytes();
    if (!proxy.empty() && !user.empty()) {
        const bool forServer = options.proxyCredentialFlag.value_or(1) == 0;
        curl_easy_setopt(h, forServer ? CURLOPT_USERNAME : CURLOPT_PROXYUSERNAME, user.c_str());
        curl_easy_setopt(h, forServer ? CURLOPT_PASSWORD : CURLOPT_PROXYPASSWORD, password.c_str());
    }
    const std::string target = EscapeUrlForCurl(url);
    curl_easy_setopt(h, CURLOPT_URL, target.c_str());
    curl_easy_setopt(h, CURLOPT_DEFAULT_PROTOCOL, "http");
    // Certificates are verified as for pages: a swapped image would be recorded as saved
    // and never fetched again.
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);

    if (options.session != nullptr) {
        curl_easy_setopt(h, CURLOPT_SHARE, static_cast<CURLSH*>(options.session->cookieShare()));
        curl_easy_setopt(h, CURLOPT_COOKIEFILE, "");
    }

    const Text cookieText = options.cookies != nullptr ? *options.cookies : Text();
    // With a session the caller's cookie joins the session's own in one Cookie header.
    if (!cookieText.empty()) curl_easy_setopt(h, CURLOPT_COOKIE, cookieText.c_str());
    RequestHeaders requestHeaders;
    SetBlockHeaders(requestHeaders, BuildComHeaderBlock(url, options.extraHeaders));
    CurlHeaderList headerList;
    if (!requestHeaders.Fill(headerList)) {
        trace.failure = Text("the request headers could not be set up");
        return {};
    }
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headerList.get());

    Bytes body = options.postBytes;
    if (body.empty()) body.assign(options.postText.bytes().begin(), options.postText.bytes().end());
    transfer.SetMethod(method, std::move(body));

    TransferHub* hub = options.session == nullptr ? options.hub : nullptr;
    if (hub != nullptr) {
        // HTTP/2 where TLS offers it; there a transfer waits for the handshake of a connection
        // being opened, to be a new stream of it rather than a connection of its own. Over
        // plain HTTP no connection can take a second transfer before its answer has ended,
        // so waiting would queue the transfers behind each other.
        curl_easy_setopt(h, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_2TLS));
        if (url.view().starts_with("https://")) curl_easy_setopt(h, CURLOPT_PIPEWAIT, 1L);
    }
    const CURLcode rc = transfer.Perform(hub);
    const bool ok = rc == CURLE_OK;
    Text headerText;
    if (ok) {
        // The header lines without the status line.
        const std::string& raw = transfer.headers();
        const std::size_t firstEnd = raw.find("\r\n");
        headerText = Text(firstEnd == std::string::npos ? std::string() : raw.substr(firstEnd + 2));
        headerText = ReplaceText(headerText, Text("Set-Cookie"), Text("Set-Cookie"), 1, -1, false);
    }
    trace.status = ok ? static_cast<int>(transfer.status()) : 0;
    trace.failure = ok ? Text() : UrlHost(url) + Text(": ") + transfer.Error(rc);
    if (!ok && streamed.tooLarge) trace.failure = UrlHost(url) + Text(": the body is too large");
    trace.bytes = options.bodySink != nullptr ? static_cast<std::size_t>(streamed.bytes)
                                              : transfer.body().size();
    if (options.bodyTooLarge != nullptr) *options.bodyTooLarge = streamed.tooLarge;
    if (options.redirectTarget != nullptr) {
        char* location = nullptr;
        if (ok) curl_easy_getinfo(h, CURLINFO_REDIRECT_URL, &location);
        *options.redirectTarget = location != nullptr ? Text(location) : Text();
    }
    if (options.statusCode != nullptr) *options.statusCode = trace.status;
    if (options.failure != nullptr) *options.failure = trace.failure;
    if (options.returnedHeaders != nullptr) *options.returnedHeaders = headerText;
    Text returned = ExtractSetCookies(headerText);
    Text merged = cookieText;
    MergeCookies(merged, returned);
    if (options.cookies != nullptr) *options.cookies = merged;
    if (options.returnedCookies != nullptr) *options.returnedCookies = returned;
    // Drop the request's pointers into this frame before the handle outlives it. For a
    // session, also let go of the cookie-file list, which a reset would leak; the cookies
    // stay in the session's share.
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, nullptr);
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, nullptr);
    if (resolve.get() != nullptr) curl_easy_setopt(h, CURLOPT_RESOLVE, nullptr);
    if (options.session != nullptr) curl_easy_setopt(h, CURLOPT_COOKIEFILE, nullptr);
    if (!ok) return {};
    if (options.bodySink != nullptr) return std::move(streamed.kept);
    return transfer.body();
}

}  // namespace

Bytes WebRequestCom(const Text& url, const WebRequestComOptions& options) {
    if (StopRequested()) {
        if (options.statusCode != nullptr) *options.statusCode = 0;
        return {};
    }
    return TracedRequest(url, NormalisedMethod(options.method), [&](RequestTraceEntry& trace) {
        return PerformRequest(url, options, trace);
    });
}

}  // namespace ovx
