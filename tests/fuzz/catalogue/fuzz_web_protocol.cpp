// Serves up to eight answers taken from the input to the web protocol's calls, through a
// stand-in routine (no server), then resolves the user, lists the albums and walks every album
// to its end: no crash, no hang, and every picture given is well formed and given once.
//
// Input: answers separated by line breaks. An answer's first byte names its call (P profile,
// L album list, W wall page, A album page, T timeline, S single post; any other byte by its
// value), its second what came (3 a redirect, 4 HTTP 404, 5 HTTP 500, 8 HTTP 418, 0 nothing;
// else HTTP 200), the rest is the body. A call whose answers ran out gets an ordinary answer
// that ends things (a profile, an album list of one album, an empty list, a 404 for a post).

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "../../catalogue/FakeSite.h"
#include "../../support/VirtualClock.h"
#include "../FuzzInput.h"
#include "catalogue/webapi/WebProtocol.h"
#include "web/CookieStore.h"
#include "web/RequestGovernor.h"
#include "web/UrlHelpers.h"

namespace {

using ovx::Text;
using ovx::fuzz::Check;
using ovx::test::FakeAnswer;

constexpr int kMaxAnswers = 8;
constexpr int kMaxSteps = 1 << 16;
constexpr char kCalls[] = "PLWATS";
constexpr std::size_t kCallCount = sizeof kCalls - 1;
const char* const kEmptyList = R"({"ok":1,"data":{"list":[],"since_id":"0"}})";

FakeAnswer AnswerOf(char kind, std::string body) {
    switch (kind) {
        case '3':
            return {302, "", "\r\nLocation: https://weibo.com/login.php", ""};
        case '4':
            return {404, std::move(body), "", ""};
        case '5':
            return {500, std::move(body), "", ""};
        case '8':
            return {418, std::move(body), "\r\nRetry-After: 1", ""};
        case '0':
            return {0, "", "", "weibo.com: Connection reset by peer"};
        default:
            return {200, std::move(body), "", ""};
    }
}

// Answers from the queue while it lasts, then `dry`.
ovx::test::FakeSite::Source Serve(std::deque<FakeAnswer>& queue, FakeAnswer dry) {
    return [&queue, dry](const std::string&) {
        if (queue.empty()) return dry;
        FakeAnswer a = queue.front();
        queue.pop_front();
        return a;
    };
}

void Walk(ovx::PhotoCursor& cursor) {
    std::set<std::string> given;
    int lastPosition = 0;
    int steps = 0;
    for (ovx::PhotoItem item; steps < kMaxSteps; ++steps, item = ovx::PhotoItem()) {
        if (cursor.Next(item) != ovx::PhotoCursor::Step::Photo) break;
        Check(!item.photoId.empty() && given.insert(item.photoId.bytes()).second);
        Check(item.position > lastPosition);
        lastPosition = item.position;
        Check(!item.imageAddress.empty() && item.extensionFromContent);
        Check(!item.videoAddress || !item.videoAddress->empty());
    }
    Check(steps < kMaxSteps);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::deque<FakeAnswer> queues[kCallCount];
    for (int i = 0; i < kMaxAnswers && size > 0; ++i) {
        const std::string piece = ovx::fuzz::TakePiece(data, size, '\n');
        if (piece.size() < 2) continue;
        const char* call = piece[0] != '\0' ? std::strchr(kCalls, piece[0]) : nullptr;
        const std::size_t index = call ? static_cast<std::size_t>(call - kCalls)
                                       : static_cast<std::uint8_t>(piece[0]) % kCallCount;
        queues[index].push_back(AnswerOf(piece[1], piece.substr(2)));
    }

    ovx::test::VirtualClock clock;
    ovx::CookieStore cookies;
    ovx::GovernorSettings pacing;
    pacing.interval = std::chrono::milliseconds(0);
    pacing.throttleWait = pacing.maxWait = std::chrono::seconds(1);
    pacing.maxThrottled = 2;
    ovx::RequestGovernor governor(pacing, &clock);
    ovx::test::FakeSite site;
    site.On("/ajax/profile/info", {},
            Serve(queues[0], {200, R"({"ok":1,"data":{"user":{"idstr":"1642591402"}}})", "", ""}));
    site.On("/ajax/profile/getImageWall", {}, Serve(queues[2], {200, kEmptyList, "", ""}));
    site.On("/ajax/profile/getImageWall", {"has_album=true"},
            Serve(queues[1], {200,
                              R"({"ok":1,"data":{"list":[],"since_id":"0","album_list":)"
                              R"([{"containerid":"c1","pic_title":"a"}]}})",
                              "", ""}));
    site.On("/ajax/profile/getAlbumDetail", {}, Serve(queues[3], {200, kEmptyList, "", ""}));
    site.On("/ajax/statuses/mymblog", {}, Serve(queues[4], {200, kEmptyList, "", ""}));
    site.On("/ajax/statuses/show", {}, Serve(queues[5], {404, "", "", ""}));
    ovx::WebProtocol protocol(
        Text("https://weibo.com"),
        ovx::ServiceSettings{Text(), Text(), Text("https://wx1.sinaimg.cn"), Text()},
        ovx::SessionContext{cookies, governor}, site.Routine());

    ovx::RunHooks hooks;
    hooks.pageRetryWait = std::chrono::milliseconds(0);
    hooks.log = [](const Text& line) { Check(!line.empty()); };
    // Pictures whose id starts with x are passed over: no post asked for them.
    hooks.passedOver = [](const Text& pid, bool) { return !pid.empty() && pid[0] == 'x'; };

    ovx::ListedUser user;
    Text failure;
    if (protocol.ResolveUser(Text("https://weibo.com/u/1642591402"), std::nullopt, hooks, user,
                             failure) != ovx::ServiceOutcome::Done)
        return 0;
    Check(user.userId.empty() || ovx::IsUserId(user.userId));
    std::vector<ovx::AlbumListing> albums;
    if (protocol.ListAlbums(user, hooks, albums, failure) != ovx::ServiceOutcome::Done) return 0;
    Check(albums.empty() == user.userId.empty());
    for (const ovx::AlbumListing& album : albums) Walk(*protocol.OpenAlbum(user, album, hooks));
    // A new run asks again for what the last one could not read.
    if (!albums.empty()) {
        protocol.BeginRun();
        Walk(*protocol.OpenAlbum(user, albums.front(), hooks));
    }
    return 0;
}
