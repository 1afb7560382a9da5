#include "web/RequestTrace.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

#include "runtime/TextOps.h"

namespace ovx {

namespace {

thread_local const RequestTraceSink* tSink = nullptr;
thread_local std::chrono::milliseconds tWaited{0};

// "1.62 s": seconds rounded to hundredths.
std::string Seconds(std::chrono::milliseconds duration) {
    const long long centis = (std::max<long long>(duration.count(), 0) + 5) / 10;
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%lld.%02lld s", centis / 100, centis % 100);
    return buffer;
}

// The address without a "user:password@" before the host.
Text WithoutUserInfo(const Text& url) {
    const int scheme = FindText(url, Text("://"));
    const int start = scheme == -1 ? 1 : scheme + 3;
    int end = TextLength(url) + 1;
    for (const char* separator : {"/", "?", "#"}) {
        const int at = FindText(url, Text(separator), start);
        if (at != -1) end = std::min(end, at);
    }
    const int at = FindTextBackward(MidText(url, start, end - start), Text("@"));
    if (at == -1) return url;
    return LeftText(url, start - 1) + MidText(url, start + at, TextLength(url));
}

// The visitor system's cookie values travel in the query of its cross-domain call (s, sp):
// they are shown as "...", as no cookie value is ever written out.
std::string WithoutCookieValues(std::string url) {
    const std::size_t query = url.find('?');
    if (query == std::string::npos || url.find("/visitor/") == std::string::npos) return url;
    for (const char* key : {"s=", "sp="}) {
        for (std::size_t at = url.find(key, query); at != std::string::npos;
             at = url.find(key, at + 1)) {
            if (url[at - 1] != '?' && url[at - 1] != '&') continue;
            const std::size_t start = at + std::strlen(key);
            const std::size_t end = std::min(url.find('&', start), url.find('#', start));
            url.replace(start, (end == std::string::npos ? url.size() : end) - start, "...");
        }
    }
    return url;
}

}  // namespace

ScopedRequestTrace::ScopedRequestTrace(RequestTraceSink sink)
    : sink_(std::move(sink)), previous_(tSink), previousWait_(tWaited) {
    tSink = sink_ ? &sink_ : nullptr;
    tWaited = std::chrono::milliseconds(0);
}

ScopedRequestTrace::~ScopedRequestTrace() {
    tSink = previous_;
    tWaited = previousWait_;
}

bool RequestTraceActive() {
    return tSink != nullptr;
}

void NoteWaitBeforeRequest(std::chrono::milliseconds waited) {
    if (tSink != nullptr && waited.count() > 0) tWaited += waited;
}

void ReportRequest(RequestTraceEntry entry) {
    if (tSink == nullptr) return;
    entry.waitedBefore = std::exchange(tWaited, std::chrono::milliseconds(0));
    (*tSink)(entry);
}

std::string RequestMethodName(int method) {
    switch (method) {
        case 1:
            return "POST";
        case 2:
            return "HEAD";
        default:
            return "GET";
    }
}

Text FormatRequestTrace(const RequestTraceEntry& entry) {
    std::string outcome;
    if (entry.status != 0 && entry.failure.empty()) {
        outcome = std::to_string(entry.status);
    } else {
        outcome = "failed (" +
                  (entry.failure.empty() ? std::string("no answer") : entry.failure.bytes()) + ")";
    }
    std::string line = entry.method + " " +
                       WithoutCookieValues(WithoutUserInfo(entry.url).bytes()) + " -> " + outcome +
                       ", " + std::to_string(entry.bytes) + " bytes, " + Seconds(entry.elapsed);
    // Waits below half a hundredth would print as 0.00 s: no wait worth a word.
    if (entry.waitedBefore >= std::chrono::milliseconds(5))
        line += " (waited " + Seconds(entry.waitedBefore) + ")";
    return Text(line);
}

}  // namespace ovx
