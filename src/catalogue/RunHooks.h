#pragma once
// What a cursor, a list or a resolution may need from the run that drives it: pausing, the
// log, the waits that tests shorten.

#include <chrono>
#include <functional>

#include "runtime/Text.h"

namespace ovx {

// Every member may be empty.
struct RunHooks {
    std::function<bool()> checkpoint;      // waits while paused; false once stopped
    std::function<void(const Text&)> log;  // one log line, with its own line break
    std::function<void()> pageLost;        // a page stayed unreadable after every try
    std::chrono::milliseconds pageRetryWait{2000};
    Text albumTitle;  // the album's folder name, for log lines
    // A wait the service imposes, counting down ("服务限流…"); an empty text ends it.
    std::function<void(const Text&)> showWait;
    // True for a photo id the run will pass over whatever its caption and time (recorded,
    // no date filter; for a live photo, its video too, or not wanted): a cursor may then give
    // it without asking for its post.
    std::function<bool(const Text& photoId, bool livePhoto)> passedOver;

    bool Checkpoint() const { return !checkpoint || checkpoint(); }
    void Log(const Text& line) const {
        if (log) log(line);
    }
};

}  // namespace ovx
