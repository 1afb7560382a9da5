#include "download/ImageFetch.h"

#include <algorithm>
#include <string_view>

#include "catalogue/ProtocolSupport.h"
#include "download/PhotoNaming.h"
#include "runtime/Convert.h"
#include "runtime/StopFlag.h"
#include "runtime/TextOps.h"
#include "web/UrlHelpers.h"

namespace ovx {
namespace {

constexpr int kImageTimeoutSeconds = 30;

// Redirects of one image request followed before it fails.
constexpr int kMostRedirects = 5;
// Tries of an image at one address after answers other than 200.
constexpr int kImageTries = 2;

bool IsRedirect(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// wxN.sinaimg.cn, and N's digits.
bool IsImageShard(const Text& host, std::string_view* digits = nullptr) {
    const std::string_view h = host.view();
    constexpr std::string_view kEnd = ".sinaimg.cn";
    if (!StartsWith(h, "wx") || h.size() <= 2 + kEnd.size() ||
        h.substr(h.size() - kEnd.size()) != kEnd)
        return false;
    const std::string_view n = h.substr(2, h.size() - 2 - kEnd.size());
    for (char c : n) {
        if (c < '0' || c > '9') return false;
    }
    if (digits) *digits = n;
    return true;
}

// The same address on the other three of the shards wx1..wx4, when it is on one of them.
std::vector<Text> OtherShards(const Text& address) {
    std::string_view digits;
    const Text host = UrlHost(address);
    if (!IsImageShard(host, &digits) || digits.size() != 1 || digits[0] < '1' || digits[0] > '4')
        return {};
    const int at = FindText(address, host, 1, true);
    if (at < 1) return {};
    const std::size_t digit = static_cast<std::size_t>(at - 1) + 2;
    std::vector<Text> others;
    for (char n = '1'; n <= '4'; ++n) {
        if (n == digits[0]) continue;
        std::string other = address.bytes();
        other[digit] = n;
        others.emplace_back(std::move(other));
    }
    return others;
}

// A redirect to the host's placeholder for deleted pictures (/images/default_….gif on an
// image shard or on the host asked).
bool IsPlaceholder(const Text& target, const Text& asked, const Text& first) {
    const Text path = WithoutQueryAndFragment(UrlPath(target));
    if (!StartsWith(path.view(), "/images/default_")) return false;
    const Text host = UrlHost(target);
    return IsImageShard(host) || host == UrlHost(asked) || host == UrlHost(first);
}

// Log texts of the service (the address, a header) as one short line.
Text Shown(const Text& text) {
    constexpr std::size_t kShownBytes = 120;
    std::string kept;
    for (char c : text.bytes()) {
        if (static_cast<unsigned char>(c) >= 0x20) kept.push_back(c);
        if (kept.size() >= kShownBytes) break;
    }
    return Text(std::move(kept));
}

const Text kSaveFailedImage = "图片保存失败："_t;

// One try, through the governor; false when the run stops.
bool Request(const FetchContext& context, const RunHooks& hooks, const Text& url, BodyFile& body,
             GovernedAnswer& answer, Text& redirect, bool& tooLarge, FetchReport& report) {
    body.Reset();
    redirect = Text();
    tooLarge = false;
    // Images go to the image host without the login cookies, with the site as their Referer.
    // Redirects are not followed by the transfer: where they lead is judged here.
    WebRequestComOptions options;
    options.extraHeaders = context.headers;
    options.noRedirect = true;
    options.timeoutSeconds = kImageTimeoutSeconds;
    options.bodySink = &body;
    options.maxBodyBytes = static_cast<std::size_t>(kMaxBodyBytes);
    options.bodyTooLarge = &tooLarge;
    options.redirectTarget = &redirect;
    options.resolve = context.resolve;
    options.hub = context.hub;
    // A throttling answer is waited out and asked again; it uses up no try.
    answer = GovernedImage(*context.governor, hooks, url, std::move(options));
    if (answer.outcome == GovernedOutcome::GaveUp) report.refused = true;
    return answer.outcome == GovernedOutcome::Answered && !StopRequested();
}

void ReportFailed(FetchReport& report, const Text& photoId, const Text& why) {
    // A failed picture is neither saved nor recorded, so a later run fetches it again.
    report.lines.push_back("图片下载失败："_t + photoId + why + "\r\n"_t);
    ++report.failed;
}

void ReportGone(FetchReport& report, const Text& photoId, bool video, const Text& why) {
    report.lines.push_back((video ? "视频已失效："_t : "图片已失效："_t) + photoId + "（"_t + why +
                           "）\r\n"_t);
    ++report.gone;
}

}  // namespace

int BodyFile::Open(const Text& folder) {
    return CreatePhotoTemporary(folder, file_);
}

void BodyFile::Reset() {
    if (file_.IsOpen() && file_.Size() > 0 && file_.Clear() != 0) writeFailed_ = true;
    head_.clear();
}

bool BodyFile::Begin(std::int64_t /*declaredLength*/) {
    Reset();
    return file_.IsOpen() && !writeFailed_;
}

bool BodyFile::Take(const char* data, std::size_t size) {
    if (head_.size() < kContentHeadBytes)
        head_.append(data, std::min(size, kContentHeadBytes - head_.size()));
    if (file_.Write(data, size) == 0) return true;
    writeFailed_ = true;
    return false;
}

Fetch FetchBody(const FetchContext& context, const Text& url, const Text& photoId, bool video,
                BodyFile& body, Text& extension, FetchReport& report) {
    RunHooks hooks;
    hooks.log = [&report](const Text& line) { report.lines.push_back(line); };
    hooks.showWait = context.showWait;
    hooks.checkpoint = context.checkpoint;
    const Text saveFailed = (video ? "视频保存失败："_t : kSaveFailedImage) + photoId + "\r\n"_t;
    const auto writeFailed = [&] {
        report.lines.push_back(saveFailed);
        ++report.failed;
        return Fetch::Failed;
    };
    if (body.Open(context.folder) != 0) return writeFailed();
    Text address = url;
    std::vector<Text> shards = OtherShards(url);
    const bool onShard = !shards.empty();
    int redirects = 0;
    int tries = 0;
    int status = 0;
    for (;;) {
        // A throttling answer to any request holds every new try until its wait is over.
        if (!hooks.Checkpoint() || !context.governor->AwaitHold()) return Fetch::Stopped;
        GovernedAnswer answer;
        Text redirect;
        bool tooLarge = false;
        if (!Request(context, hooks, address, body, answer, redirect, tooLarge, report))
            return Fetch::Stopped;
        status = answer.status;
        if (const Text error = HeaderValue(answer.headers, "x-image-errno"); !error.empty()) {
            ReportGone(report, photoId, video, Text("x-image-errno: ") + Shown(error));
            return Fetch::Gone;
        }
        if (IsRedirect(status) && !redirect.empty()) {
            if (IsPlaceholder(redirect, address, url)) {
                ReportGone(report, photoId, video,
                           "跳转到 "_t + Shown(WithoutQueryAndFragment(UrlPath(redirect))));
                return Fetch::Gone;
            }
            if (++redirects > kMostRedirects) break;
            address = redirect;
            continue;
        }
        if (status == 404 || status == 410) {
            ReportGone(report, photoId, video, "状态码 "_t + ToText(status));
            return Fetch::Gone;
        }
        if (tooLarge) {
            ReportFailed(report, photoId, "（内容超过 256 MiB）"_t);
            return Fetch::Failed;
        }
        if (body.WriteFailed()) return writeFailed();
        if (status == 200) break;
        // One image shard's refusal is often not the others'.
        if (status == 403 && !shards.empty()) {
            address = shards.front();
            shards.erase(shards.begin());
            continue;
        }
        if ((status == 403 && onShard) || ++tries >= kImageTries) break;
    }
    if (status != 200) {
        ReportFailed(report, photoId, "（状态码 "_t + ToText(status) + "）"_t);
        return Fetch::Failed;
    }
    // Only pictures are kept (and for a live photo's video, ISO media).
    const std::string& head = body.Head();
    extension = PictureExtensionOf(head);
    if (body.File().Size() == 0) {
        ReportFailed(report, photoId, "（状态码 200，内容为空）"_t);
        return Fetch::Failed;
    }
    if (video ? !IsIsoMedia(head) : extension.empty()) {
        ReportFailed(report, photoId, "（状态码 200，内容不是图片）"_t);
        return Fetch::Failed;
    }
    return Fetch::Body;
}

}  // namespace ovx
