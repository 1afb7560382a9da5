#pragma once
// A stand-in for the site behind a RequestRoutine, with no server: each address is answered by
// the latest rule whose path it has and whose query parameters it carries, a rule's answers in
// turn with its last one repeated for good. Every address asked is kept, so that a test can
// count requests and see their order. Header-only.

#include <algorithm>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "web/GovernedRequest.h"

namespace ovx::test {

struct FakeAnswer {
    int status = 200;
    std::string body;     // UTF-8, as the site sends it
    std::string headers;  // header lines after the status line, each led by CR LF
    std::string failure;  // not empty: nothing arrived, for this reason
};

inline FakeAnswer Json(std::string body) {
    return {200, std::move(body), "", ""};
}

class FakeSite {
  public:
    using Source = std::function<FakeAnswer(const std::string& pathAndQuery)>;

    // Answers `path` asked with every parameter of `params` ("page=1") among its query's.
    void On(std::string path, std::vector<std::string> params, std::vector<FakeAnswer> answers) {
        auto queue = std::make_shared<std::vector<FakeAnswer>>(std::move(answers));
        auto next = std::make_shared<std::size_t>(0);
        On(std::move(path), std::move(params), [queue, next](const std::string&) {
            const FakeAnswer& a = (*queue)[std::min(*next, queue->size() - 1)];
            ++*next;
            return a;
        });
    }
    void On(std::string path, std::vector<std::string> params, Source source) {
        rules_.push_back({std::move(path), std::move(params), std::move(source)});
    }

    // The routine for WebClient / WebProtocol; the site must outlive it.
    RequestRoutine Routine() {
        return [this](const Text& url, const WebRequestOptions& options) {
            std::string asked = url.bytes();
            if (asked.starts_with(origin)) asked.erase(0, origin.size());
            asked_.push_back(asked);
            const FakeAnswer a = AnswerTo(asked);
            if (options.statusCode) *options.statusCode = a.failure.empty() ? a.status : 0;
            if (options.failure) *options.failure = Text(a.failure);
            if (options.returnedHeaders) {
                *options.returnedHeaders =
                    a.failure.empty() ? Text("HTTP/1.1 " + std::to_string(a.status) +
                                             " X\r\nContent-Type: application/json" + a.headers)
                                      : Text();
            }
            return a.failure.empty() ? Bytes(a.body.begin(), a.body.end()) : Bytes();
        };
    }

    const std::vector<std::string>& Asked() const { return asked_; }
    // Requests made to `path` with every parameter of `params`.
    int Count(const std::string& path, const std::vector<std::string>& params = {}) const {
        return static_cast<int>(std::count_if(
            asked_.begin(), asked_.end(), [&](const auto& a) { return Matches(a, path, params); }));
    }

    std::string origin = "https://weibo.com";
    FakeAnswer unmatched{404, "", "", ""};

  private:
    struct Rule {
        std::string path;
        std::vector<std::string> params;
        Source source;
    };

    static bool Matches(const std::string& asked, const std::string& path,
                        const std::vector<std::string>& params) {
        const std::size_t q = asked.find('?');
        if (asked.substr(0, q) != path) return false;
        const std::string query = q == std::string::npos ? "&" : "&" + asked.substr(q + 1) + "&";
        return std::all_of(params.begin(), params.end(), [&](const std::string& p) {
            return query.find("&" + p + "&") != std::string::npos;
        });
    }

    FakeAnswer AnswerTo(const std::string& asked) {
        for (auto it = rules_.rbegin(); it != rules_.rend(); ++it) {
            if (Matches(asked, it->path, it->params)) return it->source(asked);
        }
        return unmatched;
    }

    std::vector<Rule> rules_;
    std::vector<std::string> asked_;
};

}  // namespace ovx::test
