#pragma once
// WebRequestCom: a synchronous HTTP(S) request with a time-out and the status code, used for
// image downloads. Server certificates are verified as for every request. Connections are kept per thread and
// reused between calls; a WebSession carries cookies and its connection across the calls
// made with it.

#include <memory>
#include <optional>

#include "runtime/Text.h"
#include "web/WebRequest.h"

namespace ovx {

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
};

// The body of the response; empty (with status 0) when the transfer failed or timed out.
Bytes WebRequestCom(const Text& url, const WebRequestComOptions& options = {});

// The header block of this routine: like WebRequest's, with the User-Agent line and without
// the cookie.
Text BuildComHeaderBlock(const Text& url, const Text& extraHeaders);

}  // namespace ovx
