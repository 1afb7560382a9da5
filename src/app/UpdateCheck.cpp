#include "app/UpdateCheck.h"

#include <QMetaObject>

#include "app/QtText.h"
#include "runtime/Convert.h"
#include "runtime/Interaction.h"
#include "web/UrlHelpers.h"
#include "web/WebRequest.h"

namespace ovx {

namespace {

constexpr int kSettingsTab = 2;

Text FetchWithWebRequest(const Text& address) {
    if (address.empty()) return Text();
    return ToText(WebRequest(address));  // up to the first zero byte
}

}  // namespace

UpdateCheckResult EvaluateVersionPage(const Text& page, const Text& current, const Text& tag) {
    UpdateCheckResult result;
    result.latest = TextBetween(page, Text("#") + tag + Text("@@"), Text("#") + tag);
    // Whole numbers only: "2.5" is no news for "2.0".
    result.newer = result.latest != current &&
                   static_cast<double>(ToInt(result.latest)) - ToInt(current) > 0.0000001;
    result.verdict = result.newer ? "有新版，联系客服获取最新版！"_t : "无需更新"_t;
    return result;
}

UpdateCheck::UpdateCheck(Text versionPage, Text current, Text tag, QObject* parent)
    : QObject(parent),
      versionPage_(std::move(versionPage)),
      current_(std::move(current)),
      tag_(std::move(tag)),
      fetcher_(FetchWithWebRequest) {}

UpdateCheck::~UpdateCheck() {
    stop_.Raise();
    Join();
}

void UpdateCheck::SetFetcher(Fetcher fetcher) {
    fetcher_ = std::move(fetcher);
}

QString UpdateCheck::VersionMessage() {
    return QStringLiteral("有新版本，联系客服索取");
}

bool UpdateCheck::Start() {
    if (running_.load()) return false;
    Join();  // the previous check has finished; collect its thread
    stop_.Reset();
    running_ = true;
    worker_ = std::thread([this] { Run(); });
    return true;
}

bool UpdateCheck::OnTabClicked(int index) {
    if (index != kSettingsTab || automaticStarted_) return false;
    automaticStarted_ = true;
    return Start();
}

void UpdateCheck::Join() {
    if (worker_.joinable()) worker_.join();
}

void UpdateCheck::Run() {
    ScopedStopFlag scope(&stop_);
    const Text page = fetcher_(versionPage_);
    if (!stop_.Raised()) {
        const UpdateCheckResult r = EvaluateVersionPage(page, current_, tag_);
        // The labels first, then (on the window's thread, so no worker waits on the window)
        // the message box.
        QMetaObject::invokeMethod(
            this,
            [this, latest = ToQString(r.latest), verdict = ToQString(r.verdict), newer = r.newer] {
                emit Finished(latest, verdict, newer);
                if (newer) ovx::ShowMessage(FromQString(VersionMessage()), kMbOk);
            },
            Qt::QueuedConnection);
    }
    running_ = false;
}

}  // namespace ovx
