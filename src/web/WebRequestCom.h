#pragma once
// WebRequestCom: a synchronous HTTP(S) request with a time-out and the status code, used for
// image downloads. Server certificates are verified as for every request. Connections are kept per thread and
// reused between calls; a WebSession carries cookies and its connection across the calls
// made with it.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "runtime/Text.h"
#include "web/WebRequest.h"

namespace ovx {

class TransferHub;

// A caller-kept request object: cookies set by responses are sent again on later calls that
// use the same session, and its connections stay open between them. Use one session on one
// thread at a time.
class WebSession {
  public:
    WebSession();
    ~WebSession();
    WebSession(const WebSession&) = delete;
    WebSession& operator=(const WebSession&) = delete;

    // The libcurl easy handle (CURL*) and the share (CURLSH*) that holds the session's
    // cookies, for the request routine.
    void* handle() const;
    void* cookieShare() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Where the body of a 200 answer goes as it arrives, instead of into memory. The bodies of other
// answers stay in memory (at most kUnstreamedBodyCap bytes).
class ResponseBodySink {
  public:
    virtual ~ResponseBodySink() = default;
    // Before the first bytes of a body: the length its answer declares (-1 when none). False
    // refuses the body; the transfer then ends at once.
    virtual bool Begin(std::int64_t declaredLength) = 0;
    // The next bytes of the body; false ends the transfer.
    virtual bool Take(const char* data, std::size_t size) = 0;
};

// The most an answer other than 200 keeps of its body when the body is streamed.
inline constexpr std::size_t kUnstreamedBodyCap = std::size_t{1} << 20;

// Optional arguments, in calling order; null pointers are absent arguments.
struct WebRequestComOptions {
    int method = kMethodGet;
    Text postText{};
    // In/out: sent as the Cookie header when not empty; always rewritten with the merged
    // cookies afterwards.
    Text* cookies = nullptr;
    // Out: cookies this response set, items joined by ";" (spaces removed).
    Text* returnedCookies = nullptr;
    Text extraHeaders{};
    // Out: the response's header lines ("Name: value" CR LF each, then CR LF).
    Text* returnedHeaders = nullptr;
    // Out: HTTP status, 0 when no complete response arrived.
    int* statusCode = nullptr;
    bool noRedirect = false;
    Bytes postBytes{};
    Text proxy{};
    // Seconds for connecting and for the whole transfer: -1 none, 0 or below 15, else n.
    int timeoutSeconds = 0;
    Text proxyUser{};
    Text proxyPassword{};
    // 1 (or absent): the credentials are for the proxy; 0: for the server.
    std::optional<int> proxyCredentialFlag{};
    WebSession* session = nullptr;
    // Out: why no response arrived (host and the transfer library's words); empty when one did.
    Text* failure = nullptr;
    // A 200 answer's body goes here rather than into the returned bytes.
    ResponseBodySink* bodySink = nullptr;
    // The largest body taken, by its declared length or as it arrives; 0: the process-wide
    // bound (WebLimits).
    std::size_t maxBodyBytes = 0;
    // Out: set when the transfer ended because the body was larger than that.
    bool* bodyTooLarge = nullptr;
    // Out: with noRedirect, the absolute address a redirect answer points to; else empty.
    Text* redirectTarget = nullptr;
    // Host names answered from these "HOST:PORT:ADDRESS" entries instead of the resolver
    // (libcurl's CURLOPT_RESOLVE); tests point the image hosts at a loopback server.
    std::vector<std::string> resolve{};
    // Performed on this hub with the transfers of other threads (connections shared, HTTP/2
    // where the host offers it) rather than alone; without a session only.
    TransferHub* hub = nullptr;
};

// The body of the response; empty (with status 0) when the transfer failed or timed out.
Bytes WebRequestCom(const Text& url, const WebRequestComOptions& options = {});

// The header block of this routine: like WebRequest's, with the User-Agent line and without
// the cookie.
Text BuildComHeaderBlock(const Text& url, const Text& extraHeaders);

}  // namespace ovx
