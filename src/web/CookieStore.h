#pragma once
// A cookie store that WebRequest reads and feeds, shared by every thread of its session. Each
// session owns its own (the window's, fed by its browser; a command-line run's); a request
// names the store it uses.
// The embedded browser imports its cookies here; the store can be saved to and loaded from a
// Netscape-format cookies.txt file.

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace ovx {

struct Cookie {
    std::string name;
    std::string value;
    // A leading "." makes the cookie valid for subdomains too.
    std::string domain;
    std::string path = "/";
    bool secure = false;
    bool httpOnly = false;
    // Seconds since 1970-01-01 UTC; 0 for a session cookie.
    std::int64_t expires = 0;
};

// One line of a Netscape cookies.txt file, as libcurl lists its cookies ("#HttpOnly_" prefix
// for HTTP-only cookies), and back. Parsing takes a trailing line break; it refuses comments,
// lines without all seven fields, an unreadable or negative expiry, and an empty name or domain.
std::string FormatCookieLine(const Cookie& cookie);
bool ParseCookieLine(std::string_view line, Cookie& cookie);

class CookieStore {
  public:
    // An empty store, for one session.
    CookieStore();
    ~CookieStore();

    // Adds or replaces a cookie. False when a field holds a tab or a line break, or the
    // name or domain is empty.
    bool Import(const Cookie& cookie);
    // Adds one line of a cookies.txt file or one "Set-Cookie:" header line.
    bool ImportLine(const std::string& line);
    // Removes the cookie with this name, domain and path.
    void Remove(const std::string& name, const std::string& domain, const std::string& path);
    std::vector<Cookie> List() const;
    void Clear();

    // Reads a Netscape cookies.txt file into the store (comments and bad lines are skipped).
    bool Load(const std::filesystem::path& file);
    // Writes every cookie held to a Netscape cookies.txt file.
    bool Save(const std::filesystem::path& file) const;

    // The libcurl share handle (CURLSH*) that requests attach to.
    void* share() const { return share_; }

    CookieStore(const CookieStore&) = delete;
    CookieStore& operator=(const CookieStore&) = delete;

  private:
    void* share_ = nullptr;
    static constexpr int kLockCount = 8;
    std::mutex locks_[kLockCount];
    friend struct CookieStoreLocking;
};

}  // namespace ovx
