#include "web/TransferHub.h"

#include <algorithm>
#include <vector>

namespace ovx {
namespace {

// The longest the hub's thread sleeps without running its transfers: each run calls their
// progress callbacks, which end a transfer whose thread's stop flag is raised, so a stop ends
// even a transfer that receives nothing within this bound.
constexpr int kPollMs = 100;

}  // namespace

TransferHub::TransferHub() {
    EnsureCurlGlobal();
    multi_ = curl_multi_init();
    if (multi_ == nullptr) return;
    // Streams of one HTTP/2 connection are used before a new connection is opened.
    curl_multi_setopt(multi_, CURLMOPT_PIPELINING, static_cast<long>(CURLPIPE_MULTIPLEX));
    thread_ = std::thread([this] { Loop(); });
}

TransferHub::~TransferHub() {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    if (multi_ != nullptr) curl_multi_wakeup(multi_);
    if (thread_.joinable()) thread_.join();
    if (multi_ != nullptr) curl_multi_cleanup(multi_);
}

CURLcode TransferHub::Perform(CURL* easy) {
    if (multi_ == nullptr) return curl_easy_perform(easy);
    Transfer t;
    t.easy = easy;
    std::unique_lock lock(mutex_);
    if (quit_) return CURLE_ABORTED_BY_CALLBACK;
    transfers_.push_back(&t);
    lock.unlock();
    curl_multi_wakeup(multi_);
    lock.lock();
    ended_.wait(lock, [&] { return t.done; });
    return t.result;
}

void TransferHub::EndLocked(Transfer& t, CURLcode result) {
    if (t.added) curl_multi_remove_handle(multi_, t.easy);
    t.result = result;
    t.done = true;
    transfers_.remove(&t);
}

void TransferHub::Loop() {
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (quit_) {
                while (!transfers_.empty())
                    EndLocked(*transfers_.front(), CURLE_ABORTED_BY_CALLBACK);
                ended_.notify_all();
                return;
            }
            bool failed = false;
            for (Transfer* t : std::vector<Transfer*>(transfers_.begin(), transfers_.end())) {
                if (t->added) continue;
                if (curl_multi_add_handle(multi_, t->easy) == CURLM_OK) {
                    t->added = true;
                } else {
                    EndLocked(*t, CURLE_FAILED_INIT);
                    failed = true;
                }
            }
            if (failed) ended_.notify_all();
        }
        // The callbacks run in here; they take no lock of the hub's.
        int running = 0;
        const CURLMcode performed = curl_multi_perform(multi_, &running);
        bool anyEnded = false;
        {
            std::lock_guard lock(mutex_);
            int left = 0;
            while (CURLMsg* message = curl_multi_info_read(multi_, &left)) {
                if (message->msg != CURLMSG_DONE) continue;
                auto it = std::find_if(transfers_.begin(), transfers_.end(), [&](Transfer* t) {
                    return t->easy == message->easy_handle;
                });
                if (it == transfers_.end()) continue;
                EndLocked(**it, message->data.result);
                anyEnded = true;
            }
            if (performed != CURLM_OK) {
                // The multi handle itself is broken: its transfers cannot go on.
                while (!transfers_.empty()) EndLocked(*transfers_.front(), CURLE_FAILED_INIT);
                anyEnded = true;
            }
        }
        if (anyEnded) ended_.notify_all();
        curl_multi_poll(multi_, nullptr, 0, kPollMs, nullptr);
    }
}

}  // namespace ovx
