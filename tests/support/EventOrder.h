#pragma once
// Order checks over a RecordingView's events: that some events come in a given order, with
// anything else allowed between them. A test names only the orders a user would notice (a log
// line after the rows it sums up, a label before the progress it belongs to), so that a run
// which adds, drops or reorders other calls to the view still passes.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace ovx::test {

inline ::testing::AssertionResult InOrder(const std::vector<std::string>& events,
                                          const std::vector<std::string>& wanted) {
    auto at = events.begin();
    for (const std::string& event : wanted) {
        const auto found = std::find(at, events.end(), event);
        if (found == events.end()) {
            auto result = ::testing::AssertionFailure();
            result << (std::find(events.begin(), events.end(), event) == events.end()
                           ? "missing: "
                           : "out of order: ")
                   << event << "\nevents:";
            for (const std::string& e : events) result << "\n  " << e;
            return result;
        }
        at = std::next(found);
    }
    return ::testing::AssertionSuccess();
}

// The events that start with `prefix`, in order, with the prefix taken off.
inline std::vector<std::string> Starting(const std::vector<std::string>& events,
                                         const std::string& prefix) {
    std::vector<std::string> out;
    for (const std::string& e : events)
        if (e.rfind(prefix, 0) == 0) out.push_back(e.substr(prefix.size()));
    return out;
}

}  // namespace ovx::test
