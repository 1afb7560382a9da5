#include "catalogue/Catalogue.h"

#include <optional>
#include <utility>

#include "catalogue/ProtocolSupport.h"
#include "catalogue/Protocols.h"
#include "runtime/CodePage.h"
#include "runtime/Convert.h"
#include "runtime/Interaction.h"
#include "runtime/Numbers.h"
#include "runtime/StopFlag.h"
#include "runtime/TextOps.h"
#include "web/PumpingDelay.h"
#include "web/UrlHelpers.h"
#include "web/WebRequest.h"
#include "web/WebRequestCom.h"

namespace ovx {
namespace {

// Covers live on image hosts: a plain request without the login cookies, bounded in time.
constexpr int kCoverTimeoutSeconds = 15;
constexpr int kAlbumPauseMs = 200;

// Sets the flag for the lifetime of the object when it was clear; `acquired` tells whether.
class BusyGuard {
  public:
    explicit BusyGuard(std::atomic<bool>& busy) : busy_(busy) {
        bool expected = false;
        acquired_ = busy_.compare_exchange_strong(expected, true);
    }
    ~BusyGuard() {
        if (acquired_) busy_.store(false);
    }
    BusyGuard(const BusyGuard&) = delete;
    BusyGuard& operator=(const BusyGuard&) = delete;
    bool acquired() const { return acquired_; }

  private:
    std::atomic<bool>& busy_;
    bool acquired_ = false;
};

// Only web addresses are fetched: a missing member reads "null", which is no address at all.
// Covers carry the headers of the protocol's images (its site as the Referer).
Bytes FetchCover(const Text& address, const Text& headers) {
    if (!StartsWithNoCase(address.view(), "http://") &&
        !StartsWithNoCase(address.view(), "https://")) {
        return {};
    }
    int status = 0;
    Bytes body = WebRequestCom(
        address,
        {.extraHeaders = headers, .statusCode = &status, .timeoutSeconds = kCoverTimeoutSeconds});
    if (status != 200) body.clear();
    return body;
}

}  // namespace

Text CompleteHomePageAddress(const Text& typed) {
    return CompleteWebAddress(typed);
}

Catalogue::Catalogue(EngineView& view, ServiceSettings settings, SessionContext session)
    : view_(view), settings_(std::move(settings)), session_(session) {}

bool Catalogue::ResolveAndList() {
    BusyGuard guard(busy_);
    if (!guard.acquired() || !Resolve()) return false;
    if (!StopRequested()) List();
    return true;
}

bool Catalogue::ResolveUser() {
    BusyGuard guard(busy_);
    return guard.acquired() && Resolve();
}

int Catalogue::ListAlbums() {
    BusyGuard guard(busy_);
    return guard.acquired() ? List() : 0;
}

bool Catalogue::Report(ServiceOutcome outcome, Failure where, const Text& failure) {
    if (outcome == ServiceOutcome::Stopped || StopRequested()) return false;
    Text line;
    switch (outcome) {
        case ServiceOutcome::Unreachable:
            SetFailure(where, failure);
            line = (where == Failure::HomePage ? "获取主页失败："_t : "获取相册列表失败："_t) +
                   failure;
            break;
        case ServiceOutcome::Failed:
            SetFailure(where == Failure::HomePage ? Failure::Profile : where, failure);
            line = (where == Failure::HomePage ? "获取主页失败："_t : "获取相册列表失败："_t) +
                   failure;
            break;
        case ServiceOutcome::Declined:
            SetFailure(Failure::NoSuchUser, failure);
            line = "获取主页失败："_t + failure;
            break;
        case ServiceOutcome::NotLoggedIn:
            SetFailure(Failure::NotLoggedIn, failure);
            line = "未登录或登录已失效，请先在第一步登录"_t;
            break;
        case ServiceOutcome::Refused:
            SetFailure(Failure::Refused, failure);
            line = "服务一直拒绝请求（限流），请稍后再试"_t;
            break;
        default:
            return false;
    }
    view_.AppendLog(line + Text("\r\n\r\n"));
    view_.ShowMessage(line, kMbOk, "温馨提示"_t);
    if (outcome == ServiceOutcome::NotLoggedIn) view_.ShowLoginPage();
    return true;
}

std::shared_ptr<Protocol> Catalogue::ChooseProtocol(const Text& address, ListedUser& user,
                                                    ServiceOutcome& outcome, Text& failure) {
    const Text setting = view_.ReadProtocolChoice().value_or(settings_.choice);
    const ProtocolRow* chosen = ProtocolForSetting(setting);
    outcome = ServiceOutcome::Done;
    // The automatic choice reads the home page; so does a protocol that needs it.
    std::optional<Text> page;
    if (chosen == nullptr || chosen->needsHomePage) {
        // Through the session's governor: a throttling answer is waited out.
        const RunHooks pageHooks = Hooks();
        const GovernedAnswer reply = GovernedPage(session_, pageHooks, false, address);
        if (reply.outcome != GovernedOutcome::Answered) {
            outcome = reply.outcome == GovernedOutcome::GaveUp ? ServiceOutcome::Refused
                                                               : ServiceOutcome::Stopped;
            return nullptr;
        }
        failure = reply.failure;
        if (!failure.empty()) {
            outcome = ServiceOutcome::Unreachable;
            return nullptr;
        }
        page = Utf8PageToText(reply.body);
    }
    const ProtocolRow& row = ChosenProtocol(chosen, address, page);
    std::shared_ptr<Protocol> protocol = row.make(address, settings_, session_);
    const RunHooks hooks = Hooks();
    outcome = protocol->ResolveUser(address, page, hooks, user, failure);
    return protocol;
}

bool Catalogue::Resolve() {
    const Text typed = view_.ReadHomePageAddress();
    if (typed.empty()) {
        view_.ShowMessage("请输入网址"_t, kMbOk, std::nullopt);
        return false;
    }
    view_.SetLabel(ViewLabel::User, "正在获取 耐心等待！"_t);
    ListedUser user;
    user.homePageAddress = CompleteHomePageAddress(typed);
    Text failure;
    ServiceOutcome outcome = ServiceOutcome::Done;
    std::shared_ptr<Protocol> protocol =
        ChooseProtocol(user.homePageAddress, user, outcome, failure);
    user.homePageAddress = CompleteHomePageAddress(typed);
    SetUser(user, protocol);
    SetFailure(Failure::None, Text());
    if (outcome != ServiceOutcome::Done) {
        // Nothing arrived, or the service wants a login: that is what the user hears, not
        // that the page had no id.
        view_.SetLabel(ViewLabel::User, "要下载用户："_t);
        Report(outcome, Failure::HomePage, failure);
        return false;
    }

    view_.SetLabel(ViewLabel::User, "要下载用户："_t + user.userTitle);
    view_.SetLabel(ViewLabel::Status, "温馨提示：正在获取相册列表..."_t);
    view_.AppendLog("正努力获取相册列表，耐心等待哈！\r\n\r\n"_t);
    return true;
}

int Catalogue::List() {
    view_.SetLabel(ViewLabel::Status, "相册获取中，耐心等待..."_t);
    view_.ClearAlbums();

    std::shared_ptr<Protocol> protocol;
    ListedUser user;
    {
        std::lock_guard lock(userMutex_);
        protocol = protocol_;
        user = user_;
        // From here on the rows in the view belong to this user.
        listed_ = Listing{user_, protocol_};
    }
    // Nothing resolved yet: the first protocol of the table, for no user (no rows).
    if (!protocol)
        protocol = ProtocolTable().front().make(user.homePageAddress, settings_, session_);

    std::vector<AlbumListing> albums;
    Text failure;
    const RunHooks hooks = Hooks();
    const ServiceOutcome outcome = protocol->ListAlbums(user, hooks, albums, failure);
    if (outcome != ServiceOutcome::Done) {
        Report(outcome, Failure::AlbumList, failure);
        return 0;
    }
    const int n = static_cast<int>(albums.size());
    if (n == 0) {
        if (!StopRequested()) {
            view_.ShowMessage("获取到相册个数为：0"_t, kMbOk, "温馨提示"_t);
        }
        return 0;
    }

    int rows = 0;
    view_.SetProgress(0, n);
    for (int i = 1; i <= n && !StopRequested(); ++i) {
        view_.SetProgress(i, n);
        view_.SetLabel(ViewLabel::Percent,
                       ToText(ToInt(static_cast<double>(i) / n * 100)) + Text("%"));
        AlbumListing album = albums[i - 1];
        if (album.name.empty()) {
            SeedRandom();
            album.name = "未知名称随机数字"_t + ToText(RandomInt(100, 1000));
        }
        PumpingDelay(kAlbumPauseMs);
        if (StopRequested()) break;
        // An album without photos gets no row.
        if (album.count != Text("0")) {
            if (!AddRow(album, rows + 1, protocol->ImageHeaders())) break;
            ++rows;
        }
        PumpPendingInput();
    }
    if (StopRequested()) return rows;

    view_.SetLabel(ViewLabel::Status, "相册列表获取完毕,共计"_t + ToText(rows) + "个"_t);
    view_.AppendLog("-----获取完毕,共计"_t + ToText(rows) +
                    "个\r\n选择要下载的 点击【3下载选中】\r\n\r\n"_t);
    return rows;
}

bool Catalogue::AddRow(const AlbumListing& album, int number, const Text& headers) {
    AlbumRow row;
    row.number = ToText(number);
    row.name = album.name;
    row.coverAddress = album.coverAddress;
    row.count = album.count;
    row.albumKey = album.albumKey;
    row.withCover = view_.ReadCoversWanted();
    if (row.withCover && !album.coverAddress.empty())
        row.cover = FetchCover(album.coverAddress, headers);
    if (StopRequested()) return false;
    view_.AddAlbum(row);
    return true;
}

Text Catalogue::AlbumPageAddress(const Text& address) {
    // The user whose albums are listed stays: a later download saves under that user.
    const Text home = CompleteHomePageAddress(address);
    ListedUser user;
    ServiceOutcome outcome = ServiceOutcome::Done;
    Text failure;
    std::shared_ptr<Protocol> protocol = ChooseProtocol(home, user, outcome, failure);
    if (!protocol) protocol = ProtocolTable().front().make(home, settings_, session_);
    return protocol->AlbumPageAddress(user);
}

RunHooks Catalogue::Hooks() const {
    RunHooks hooks;
    hooks.log = [this](const Text& line) { view_.AppendLog(line); };
    hooks.showWait = [this](const Text& text) { view_.ShowWait(text); };
    return hooks;
}

Catalogue::Listing Catalogue::Listed() const {
    std::lock_guard lock(userMutex_);
    return listed_;
}

ListedUser Catalogue::User() const {
    std::lock_guard lock(userMutex_);
    return user_;
}

Catalogue::Failure Catalogue::LastFailure(Text* cause) const {
    std::lock_guard lock(userMutex_);
    if (cause != nullptr) *cause = failureCause_;
    return failure_;
}

void Catalogue::SetFailure(Failure failure, const Text& cause) {
    std::lock_guard lock(userMutex_);
    failure_ = failure;
    failureCause_ = cause;
}

void Catalogue::SetUser(const ListedUser& user, std::shared_ptr<Protocol> protocol) {
    std::lock_guard lock(userMutex_);
    user_ = user;
    protocol_ = std::move(protocol);
}

}  // namespace ovx
