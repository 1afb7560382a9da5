#pragma once
// libcurl plumbing shared by the request routines and the cookie store.

#include <curl/curl.h>

#include <memory>
#include <string>

#include "runtime/Text.h"

namespace ovx {

// Initialises libcurl once per process; safe to call from any thread.
void EnsureCurlGlobal();

struct CurlEasyDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using CurlEasyPtr = std::unique_ptr<CURL, CurlEasyDeleter>;

// A curl_slist that frees itself.
class CurlHeaderList {
  public:
    CurlHeaderList() = default;
    ~CurlHeaderList() { curl_slist_free_all(list_); }
    CurlHeaderList(const CurlHeaderList&) = delete;
    CurlHeaderList& operator=(const CurlHeaderList&) = delete;

    // False when libcurl is out of memory.
    bool Append(const std::string& line);
    curl_slist* get() const { return list_; }

  private:
    curl_slist* list_ = nullptr;
};

// Header lines for libcurl, "Name: value" each; an empty value is written "Name;" so that
// libcurl sends it instead of dropping the header. Lines holding a CR or LF are skipped.
std::string CurlHeaderLine(const std::string& name, const std::string& value);

// The URL with spaces and control bytes percent-encoded, which libcurl would reject.
std::string EscapeUrlForCurl(const Text& url);

}  // namespace ovx
