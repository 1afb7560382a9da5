#pragma once
// The site's visitor access for one session: the cookies its visitor system hands out, kept
// in a store of their own (never mixed with the login's) and in a file of their own so that
// later runs and both front ends reuse them, and the bound on how often they are renewed.
// Shared by the threads of the session.

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>

#include "runtime/Text.h"
#include "web/CookieStore.h"

namespace ovx {

class VisitorSession {
  public:
    // `passport` is the visitor system's scheme and host (the settings' "访客服务"); `file`
    // keeps the cookies between runs (empty: memory only) and is read now.
    VisitorSession(Text passport, Text file);

    const Text& Passport() const { return passport_; }
    CookieStore& Cookies() { return cookies_; }

    // Writes the cookies to the file; false when it cannot be written.
    bool Save() const;

    // Whether a renewal (a handshake) may start now: at most one in ten minutes. True claims
    // it.
    bool ClaimRenewal();

    // A handshake that failed is not made again for ten minutes.
    void NoteHandshakeFailed();
    bool HandshakeFailedRecently() const;

    // Called once, when the session first goes on as a visitor: what the front end tells the
    // user.
    void SetNotice(std::function<void()> notice);
    // The session goes on as a visitor; the notice is given the first time.
    void Enter();
    bool Entered() const { return entered_.load(); }

    // The login whose `SUB` cookie has this value was not taken by the site: calls go on as a
    // visitor's until another login comes.
    void RejectLogin(const std::string& sub);
    bool IsRejected(const std::string& sub) const;

  private:
    Text passport_;
    Text file_;
    CookieStore cookies_;
    mutable std::mutex mutex_;
    std::chrono::steady_clock::time_point lastRenewal_{};
    bool renewed_ = false;
    std::chrono::steady_clock::time_point lastFailure_{};
    bool failed_ = false;
    std::function<void()> notice_;
    std::string rejected_;
    std::atomic<bool> entered_{false};
};

}  // namespace ovx
