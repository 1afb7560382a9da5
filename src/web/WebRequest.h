#pragma once
// WebRequest: one synchronous HTTP(S) request that returns the response body.
//
// Without a cookie argument the request reads and feeds the session's CookieStore it names
// (the login); with one, no store is touched and the caller's cookie text is sent and updated
// instead; with neither, it sends no cookie. Every call is bounded (connect and stall
// time-outs, a body size cap) and gives up when the calling thread's job is asked to stop.
// Failures never raise: the result is then empty and the out arguments are left as they were.

#include <chrono>
#include <cstddef>

#include "runtime/Text.h"

namespace ovx {

class CookieStore;

// Methods: 0 GET, 1 POST, 2 HEAD; anything else counts as GET.
enum WebMethod : int { kMethodGet = 0, kMethodPost = 1, kMethodHead = 2 };

// The user agent sent when the caller's headers carry none.
inline constexpr const char* kDefaultUserAgent =
    "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";

// Optional arguments. Members are in calling order, so designated initialisers read naturally:
//   WebRequest(url, {.method = kMethodPost, .postText = Text("a=1")});
// Pointer members are in/out or out arguments; a null pointer means the argument is absent.
struct WebRequestOptions {
    int method = kMethodGet;
    // Body for POST/HEAD when postBytes is empty.
    Text postText{};
    // In/out. Present (even empty): sent when not empty, no CookieStore is read or written,
    // and afterwards it holds the merged cookies. Absent: `cookieStore` is used.
    Text* cookies = nullptr;
    // Out: name=value items this response set.
    Text* returnedCookies = nullptr;
    // Header lines separated by CR LF, no trailing CR LF.
    Text extraHeaders{};
    // Out: the raw response headers (status line and header lines, CR LF separated); nothing
    // when they exceed kMaxRawHeaderBytes.
    Text* returnedHeaders = nullptr;
    bool noRedirect = false;
    // Body for POST/HEAD; takes precedence over postText.
    Bytes postBytes{};
    // "host:port", empty for a direct connection.
    Text proxy{};
    // Out: the HTTP status of the final response, 0 when none arrived.
    int* statusCode = nullptr;
    // Out: why no response arrived ("photo.weibo.com: Could not resolve host ..."), in
    // English as the transfer library words it; empty when a response arrived.
    Text* failure = nullptr;
    // The session's store that sends and keeps cookies when no cookie text is given; none:
    // no cookies.
    CookieStore* cookieStore = nullptr;
    // A body larger than this is refused as it arrives (no body, `failure` says so); 0: the
    // process-wide bound (WebLimits).
    std::size_t maxBodyBytes = 0;
};

inline constexpr std::size_t kMaxRawHeaderBytes = 5000;

Bytes WebRequest(const Text& url, const WebRequestOptions& options = {});

// The header block sent with a request: the caller's lines, then the defaults they lack
// (Accept, Referer, Accept-Language, Content-Type) and the cookie text. Lines are CR LF
// separated without a trailing CR LF.
Text BuildRequestHeaderBlock(const Text& url, const Text& extraHeaders, const Text& cookies);
// Appends CR LF and `line` to a header block that does not yet contain `name` (a
// case-sensitive search); an empty block just becomes `line`.
void AddMissingHeader(Text& block, const Text& name, const Text& line);
// The user agent for the given extra headers.
Text UserAgentFor(const Text& extraHeaders);

// Process-wide bounds for every request (both routines). Tests shorten them.
struct WebLimits {
    std::chrono::milliseconds connectTimeout{60000};
    // A transfer that moves no byte for this long is abandoned (checked about once a second).
    std::chrono::milliseconds stallTimeout{60000};
    // Outer bound on a whole transfer, against servers that trickle bytes just fast enough.
    std::chrono::milliseconds transferTimeout{30 * 60 * 1000};
    long maxRedirects = 20;
    std::size_t maxBodyBytes = std::size_t{256} << 20;
};
WebLimits GetWebLimits();
void SetWebLimits(const WebLimits& limits);

}  // namespace ovx
