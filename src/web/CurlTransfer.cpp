#include "web/CurlTransfer.h"

#include <algorithm>
#include <utility>

#include "runtime/StopFlag.h"
#include "web/TransferHub.h"

namespace ovx {

CurlTransfer::CurlTransfer(CURL* handle) : handle_(handle), stop_(CurrentStopFlag()) {}

void CurlTransfer::ApplyCommon(const WebLimits& limits, bool followRedirects) {
    maxBody_ = limits.maxBodyBytes;
    curl_easy_setopt(handle_, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle_, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle_, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle_, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(handle_, CURLOPT_FOLLOWLOCATION, followRedirects ? 1L : 0L);
    curl_easy_setopt(handle_, CURLOPT_MAXREDIRS, limits.maxRedirects);
    curl_easy_setopt(handle_, CURLOPT_CONNECTTIMEOUT_MS,
                     static_cast<long>(limits.connectTimeout.count()));
    curl_easy_setopt(handle_, CURLOPT_TIMEOUT_MS,
                     static_cast<long>(limits.transferTimeout.count()));
    stallLimit_ = std::max(limits.stallTimeout, std::chrono::milliseconds(1));
    curl_easy_setopt(handle_, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    errorBuffer_[0] = '\0';
    curl_easy_setopt(handle_, CURLOPT_ERRORBUFFER, errorBuffer_);

    curl_easy_setopt(handle_, CURLOPT_WRITEFUNCTION, &CurlTransfer::OnBody);
    curl_easy_setopt(handle_, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(handle_, CURLOPT_HEADERFUNCTION, &CurlTransfer::OnHeader);
    curl_easy_setopt(handle_, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(handle_, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(handle_, CURLOPT_XFERINFOFUNCTION, &CurlTransfer::OnProgress);
    curl_easy_setopt(handle_, CURLOPT_XFERINFODATA, this);
}

void CurlTransfer::SetMethod(int method, Bytes body) {
    switch (method) {
        case kMethodPost:
            requestBody_ = std::move(body);
            curl_easy_setopt(handle_, CURLOPT_POST, 1L);
            curl_easy_setopt(handle_, CURLOPT_POSTFIELDSIZE_LARGE,
                             static_cast<curl_off_t>(requestBody_.size()));
            curl_easy_setopt(
                handle_, CURLOPT_POSTFIELDS,
                requestBody_.empty() ? "" : reinterpret_cast<const char*>(requestBody_.data()));
            break;
        case kMethodHead:
            curl_easy_setopt(handle_, CURLOPT_NOBODY, 1L);
            break;
        default:
            curl_easy_setopt(handle_, CURLOPT_HTTPGET, 1L);
            break;
    }
}

CURLcode CurlTransfer::Perform(TransferHub* hub) {
    if (StopRequested()) return CURLE_ABORTED_BY_CALLBACK;
    lastActivity_ = std::chrono::steady_clock::now();
    return hub != nullptr ? hub->Perform(handle_) : curl_easy_perform(handle_);
}

Text CurlTransfer::Error(CURLcode code) const {
    if (code == CURLE_ABORTED_BY_CALLBACK && StopRequested()) return Text("stopped");
    if (code == CURLE_WRITE_ERROR && overCap_)
        return Text("the answer is larger than " + std::to_string(maxBody_) + " bytes");
    return Text(errorBuffer_[0] != '\0' ? errorBuffer_ : curl_easy_strerror(code));
}

long CurlTransfer::status() const {
    long code = 0;
    curl_easy_getinfo(handle_, CURLINFO_RESPONSE_CODE, &code);
    return code;
}

size_t CurlTransfer::OnBody(char* data, size_t size, size_t count, void* self) {
    auto* t = static_cast<CurlTransfer*>(self);
    const size_t n = size * count;
    if (n > t->maxBody_ - t->body_.size()) {  // over the cap: abort
        t->overCap_ = true;
        return 0;
    }
    t->body_.insert(t->body_.end(), data, data + n);
    return n;
}

size_t CurlTransfer::OnHeader(char* data, size_t size, size_t count, void* self) {
    auto* t = static_cast<CurlTransfer*>(self);
    const size_t n = size * count;
    // A status line starts a new response (after a redirect or an interim 1xx): keep only
    // the headers of the last one.
    if (n >= 5 && std::string_view(data, 5) == "HTTP/") t->headers_.clear();
    if (t->headers_.size() + n > kHeaderHardCap) return 0;
    t->headers_.append(data, n);
    return n;
}

int CurlTransfer::OnProgress(void* self, curl_off_t, curl_off_t down, curl_off_t, curl_off_t up) {
    auto* t = static_cast<CurlTransfer*>(self);
    if (t->stop_ != nullptr && t->stop_->Raised()) return 1;
    // libcurl calls this at least about once a second while a transfer waits, so a transfer
    // that moves no byte in either direction for the stall limit is given up.
    const auto now = std::chrono::steady_clock::now();
    if (down != t->lastDown_ || up != t->lastUp_) {
        t->lastDown_ = down;
        t->lastUp_ = up;
        t->lastActivity_ = now;
        return 0;
    }
    return now - t->lastActivity_ > t->stallLimit_ ? 1 : 0;
}

}  // namespace ovx
