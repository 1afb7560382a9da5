#pragma once
// One libcurl transfer with the bounds every request shares: collected body and headers with
// size caps, connect and stall time-outs, HTTP(S) only, and a stop check on the calling
// thread's job (the thread that made the transfer object, wherever the transfer runs).

#include <chrono>
#include <cstddef>
#include <string>

#include "web/CurlGlobal.h"
#include "web/WebRequest.h"

namespace ovx {

class StopFlag;
class TransferHub;

class CurlTransfer {
  public:
    // Headers of one response beyond this abort the transfer.
    static constexpr std::size_t kHeaderHardCap = std::size_t{1} << 20;

    explicit CurlTransfer(CURL* handle);

    // Installs the callbacks and the common options on the handle.
    void ApplyCommon(const WebLimits& limits, bool followRedirects);
    // Sets the verb and, for POST, the body (kept alive by this object). A HEAD request
    // carries no body.
    void SetMethod(int method, Bytes body);
    // Performs the transfer, on the hub's thread with its other transfers when one is given.
    CURLcode Perform(TransferHub* hub = nullptr);
    // Why a transfer failed: the library's detailed message when it gave one, else the
    // code's general text.
    Text Error(CURLcode code) const;

    const Bytes& body() const { return body_; }
    // The raw header lines of the final response, status line first, ending in an empty line.
    const std::string& headers() const { return headers_; }
    long status() const;

  private:
    static size_t OnBody(char* data, size_t size, size_t count, void* self);
    static size_t OnHeader(char* data, size_t size, size_t count, void* self);
    static int OnProgress(void* self, curl_off_t, curl_off_t down, curl_off_t, curl_off_t up);

    CURL* handle_;
    StopFlag* stop_;  // the creating thread's job
    Bytes requestBody_;
    Bytes body_;
    std::string headers_;
    char errorBuffer_[CURL_ERROR_SIZE] = {};
    std::size_t maxBody_ = 0;
    bool overCap_ = false;  // the body went over maxBody_
    // Stall detection: the time of the last progress in either direction.
    std::chrono::steady_clock::duration stallLimit_{};
    std::chrono::steady_clock::time_point lastActivity_{};
    curl_off_t lastDown_ = 0;
    curl_off_t lastUp_ = 0;
};

}  // namespace ovx
