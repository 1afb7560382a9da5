#pragma once
// A trace of the requests a thread makes, for a front end that shows them (ovatrix-cli
// --verbose). Like the stop flag (runtime/StopFlag.h), a trace is installed on the calling
// thread by a scoped object; both request routines report every request they make to the
// trace of their thread, and do nothing more when none is installed. The request governor
// notes the time it held a request back, which goes with the next request of that thread.
//
// An entry carries no header: no cookie value or token can reach it.

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <utility>

#include "runtime/Text.h"

namespace ovx {

struct RequestTraceEntry {
    std::string method;     // "GET", "POST" or "HEAD"
    Text url;               // as the caller gave it
    int status = 0;         // the HTTP status, 0 when no answer arrived
    Text failure;           // why no answer arrived, empty when one did
    std::size_t bytes = 0;  // body bytes received
    std::chrono::milliseconds elapsed{0};
    std::chrono::milliseconds waitedBefore{0};  // held back before it (pacing, back-off)
};

using RequestTraceSink = std::function<void(const RequestTraceEntry&)>;

// Installs `sink` on the calling thread for the lifetime of this object (an empty one: no
// trace); an outer trace is back in place afterwards.
class ScopedRequestTrace {
  public:
    explicit ScopedRequestTrace(RequestTraceSink sink);
    ~ScopedRequestTrace();
    ScopedRequestTrace(const ScopedRequestTrace&) = delete;
    ScopedRequestTrace& operator=(const ScopedRequestTrace&) = delete;

  private:
    RequestTraceSink sink_;
    const RequestTraceSink* previous_;
    std::chrono::milliseconds previousWait_;
};

// True when a trace is installed on the calling thread.
bool RequestTraceActive();

// Adds `waited` to the wait the calling thread's next reported request went through; nothing
// without a trace.
void NoteWaitBeforeRequest(std::chrono::milliseconds waited);

// Hands `entry` to the calling thread's trace, with the waits noted since the last report
// (which are then cleared); nothing without a trace.
void ReportRequest(RequestTraceEntry entry);

// The method name of a request routine's method number (unknown numbers are GET).
std::string RequestMethodName(int method);

// Runs `perform(entry)` (which fills status, failure and bytes) and, when a trace is
// installed, reports it with the method, the address and the time it took.
template <typename Perform>
auto TracedRequest(const Text& url, int method, Perform perform) {
    RequestTraceEntry entry;
    if (!RequestTraceActive()) return perform(entry);
    entry.method = RequestMethodName(method);
    entry.url = url;
    const auto begin = std::chrono::steady_clock::now();
    auto result = perform(entry);
    entry.elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - begin);
    ReportRequest(std::move(entry));
    return result;
}

// One line without a line break, plain and stable for pasting into a report:
//   GET https://weibo.com/ajax/profile/info?uid=1 -> 200, 1234 bytes, 0.21 s (waited 1.62 s)
//   GET https://weibo.com/u/1 -> failed (weibo.com: Could not resolve host), 0 bytes, 0.05 s
// Times are in seconds with two decimals; the wait only appears when there was one. A user
// name and password in the address are left out.
Text FormatRequestTrace(const RequestTraceEntry& entry);

}  // namespace ovx
