#include "web/VisitorSession.h"

#include <utility>

#include "runtime/CodePage.h"

namespace ovx {
namespace {

constexpr auto kRenewalSpacing = std::chrono::minutes(10);

}  // namespace

VisitorSession::VisitorSession(Text passport, Text file)
    : passport_(std::move(passport)), file_(std::move(file)) {
    // A missing, unreadable or damaged file is no visitor cookies at all.
    if (!file_.empty()) cookies_.Load(ToPath(file_));
}

bool VisitorSession::Save() const {
    if (file_.empty()) return true;
    return cookies_.Save(ToPath(file_));
}

bool VisitorSession::ClaimRenewal() {
    std::lock_guard lock(mutex_);
    const auto now = std::chrono::steady_clock::now();
    if (renewed_ && now - lastRenewal_ < kRenewalSpacing) return false;
    renewed_ = true;
    lastRenewal_ = now;
    return true;
}

void VisitorSession::NoteHandshakeFailed() {
    std::lock_guard lock(mutex_);
    failed_ = true;
    lastFailure_ = std::chrono::steady_clock::now();
}

bool VisitorSession::HandshakeFailedRecently() const {
    std::lock_guard lock(mutex_);
    return failed_ && std::chrono::steady_clock::now() - lastFailure_ < kRenewalSpacing;
}

void VisitorSession::RejectLogin(const std::string& sub) {
    std::lock_guard lock(mutex_);
    rejected_ = sub;
}

bool VisitorSession::IsRejected(const std::string& sub) const {
    std::lock_guard lock(mutex_);
    return !rejected_.empty() && sub == rejected_;
}

void VisitorSession::SetNotice(std::function<void()> notice) {
    std::lock_guard lock(mutex_);
    notice_ = std::move(notice);
}

void VisitorSession::Enter() {
    if (entered_.exchange(true)) return;
    std::function<void()> notice;
    {
        std::lock_guard lock(mutex_);
        notice = notice_;
    }
    if (notice) notice();
}

}  // namespace ovx
