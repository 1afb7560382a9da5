#pragma once
// Shared pieces of the request tests: short time-outs and canned raw responses.

#include <gtest/gtest.h>

#include <string>

#include "web/CookieStore.h"
#include "web/WebRequest.h"

namespace ovx::test {

// Bounds short enough for stalling servers, restored afterwards; an empty cookie store of the
// test's own (`store_`).
class WebTest : public ::testing::Test {
  protected:
    void SetUp() override {
        saved_ = GetWebLimits();
        WebLimits quick = saved_;
        quick.connectTimeout = std::chrono::seconds(5);
        quick.stallTimeout = std::chrono::milliseconds(500);
        SetWebLimits(quick);
    }
    void TearDown() override { SetWebLimits(saved_); }
    // A test whose transfers may rightly go without a byte for longer than the quick bound.
    static void AllowStalls(std::chrono::milliseconds limit) {
        WebLimits patient = GetWebLimits();
        patient.stallTimeout = limit;
        SetWebLimits(patient);
    }

    CookieStore store_;

  private:
    WebLimits saved_;
};

// A complete HTTP/1.1 response that closes the connection.
inline std::string Response(const std::string& body, const std::string& headers = "",
                            const std::string& status = "200 OK") {
    return "HTTP/1.1 " + status + "\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n" + headers + "\r\n" + body;
}

inline std::string AsString(const Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

}  // namespace ovx::test
