#pragma once
// Transfers of several threads on one libcurl multi handle. One thread of the hub's own drives
// them all, so they share its connections (and, where a host offers HTTP/2, its streams),
// while each caller blocks in Perform until its own transfer has ended, as it would in
// curl_easy_perform. A transfer's callbacks then run on the hub's thread, one at a time.

#include <condition_variable>
#include <cstddef>
#include <list>
#include <mutex>
#include <thread>

#include "web/CurlGlobal.h"

namespace ovx {

class TransferHub {
  public:
    TransferHub();
    // Ends every transfer still running (their callers get CURLE_ABORTED_BY_CALLBACK) and
    // stops the hub's thread.
    ~TransferHub();
    TransferHub(const TransferHub&) = delete;
    TransferHub& operator=(const TransferHub&) = delete;

    // Performs the prepared easy handle with the hub's other transfers and returns its result.
    // The handle's own time-outs and progress callback bound it; a hub that could not be set
    // up performs it alone.
    CURLcode Perform(CURL* easy);

  private:
    struct Transfer {
        CURL* easy = nullptr;
        bool added = false;
        bool done = false;
        CURLcode result = CURLE_OK;
    };
    void Loop();
    // With the lock held: the transfer has ended with `result`.
    void EndLocked(Transfer& t, CURLcode result);

    CURLM* multi_ = nullptr;
    std::mutex mutex_;
    std::condition_variable ended_;
    std::list<Transfer*> transfers_;  // asked for and not yet ended
    bool quit_ = false;
    std::thread thread_;
};

}  // namespace ovx
