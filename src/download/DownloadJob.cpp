#include "download/DownloadJob.h"

#include <optional>
#include <utility>
#include <vector>

#include "download/AlbumDownload.h"
#include "download/RecordStore.h"
#include "runtime/Convert.h"
#include "runtime/Interaction.h"
#include "runtime/Numbers.h"
#include "runtime/StopFlag.h"
#include "runtime/TextOps.h"
#include "web/UrlHelpers.h"

namespace ovx {

DownloadSummary& DownloadSummary::operator+=(const DownloadSummary& other) {
    saved += other.saved;
    skipped += other.skipped;
    failed += other.failed;
    gone += other.gone;
    undated += other.undated;
    pagesLost += other.pagesLost;
    albumsSkipped += other.albumsSkipped;
    notLoggedIn = notLoggedIn || other.notLoggedIn;
    refused = refused || other.refused;
    stopped = stopped || other.stopped;
    return *this;
}

Text SummaryLine(const DownloadSummary& summary) {
    Text line = "保存 "_t + ToText(summary.saved) + " 张，跳过 "_t + ToText(summary.skipped) +
                " 张（已有记录），失败 "_t + ToText(summary.failed) + " 张"_t;
    if (summary.gone > 0) line += "，已失效 "_t + ToText(summary.gone) + " 张"_t;
    if (summary.pagesLost > 0) line += "，未能读取 "_t + ToText(summary.pagesLost) + " 页"_t;
    return line;
}

bool LeftSomethingBehind(const DownloadSummary& summary) {
    return summary.failed > 0 || summary.pagesLost > 0 || summary.albumsSkipped > 0;
}

DownloadJob::DownloadJob(EngineView& view, JobControl& control, SessionContext session,
                         DownloadSetup setup)
    : view_(view), control_(control), session_(session), setup_(std::move(setup)) {}

DownloadSummary DownloadJob::Run() {
    ScopedStopFlag stopFlag(&control_.Flag());
    DownloadSummary summary;
    auto stop = [&] {
        view_.SetRunState(RunState::Idle);
        summary.stopped = true;
        return summary;
    };

    // Photos are saved and recorded under the user whose albums are listed: without one
    // (or without the protocol that listed them) there is nothing to save under.
    if (!IsUserId(setup_.user.userId) || !setup_.protocol) {
        view_.AppendLog("没有已获取相册的用户，请先获取相册列表\r\n\r\n"_t);
        view_.ShowMessage("没有已获取相册的用户，请先获取相册列表"_t, kMbOk, std::nullopt);
        return stop();
    }

    view_.AppendLog(view_.ReadDownloadRecord()
                        ? "已经勾选了防止重复下载功能,已经下载的不会再次下载\r\n\r\n"_t
                        : "未勾选了防止重复下载功能\r\n\r\n"_t);
    view_.AppendLog(view_.ReadTimeRange() ? "【启用了】 固定时间段内的下载\r\n\r\n"_t
                                          : "【未启用】 固定时间段内的下载\r\n\r\n"_t);
    if (!control_.Checkpoint()) return stop();
    Protocol& protocol = *setup_.protocol;
    protocol.BeginRun();
    RecordStore::ForUser(setup_.recordFolder, setup_.user.userId, protocol.Records(), {}, records_)
        ->Prepare();
    view_.SetRunState(RunState::Running);

    // The checked rows, as structures: no text in a name can cut an item apart.
    std::vector<AlbumWorkItem> items;
    Text numbers;
    bool anyChecked = false;
    for (const AlbumListEntry& row : view_.ReadAlbums()) {
        if (!row.checked) continue;
        anyChecked = true;
        numbers += row.number + "、"_t;
        AlbumWorkItem item{row.count, row.albumKey, TrimSpaces(row.name)};
        if (item.name.empty()) {
            SeedRandom();
            item.name = "未知相册_随机名称"_t + ToText(RandomInt(10, 99));
        }
        // A row without a count (the service gave none) is downloaded like any other.
        if (!item.albumKey.empty()) items.push_back(std::move(item));
    }
    view_.AppendLog(anyChecked ? "当前被选择相册编号:"_t + numbers + "\r\n\r\n"_t
                               : "当前未选择任何相册\r\n\r\n"_t);
    view_.SetLabel(ViewLabel::AlbumCount,
                   "总共需下载["_t + ToText(static_cast<int>(items.size())) + "]个相册"_t);

    for (std::size_t j = 0; j < items.size(); ++j) {
        if (!control_.Checkpoint()) return stop();
        view_.SetLabel(ViewLabel::CurrentAlbum,
                       "下载到第["_t + ToText(static_cast<int>(j + 1)) + "]个相册"_t);
        AlbumDownload(view_, control_, setup_, session_, protocol, records_, summary).Run(items[j]);
        if (control_.Stopped()) return stop();
        // The service wants a login, or kept refusing: the run ends here, cleanly, as a
        // stop does; the cursor said why. A login is made on the login page.
        if (summary.notLoggedIn) view_.ShowLoginPage();
        if (summary.notLoggedIn || summary.refused) return stop();
    }

    view_.SetRunState(RunState::Idle);
    view_.AppendLog("-------全部下载完毕--------\r\n\r\n"_t);
    if (setup_.finished) setup_.finished(summary);
    view_.SetLabel(ViewLabel::PhotoCount, "下载完成"_t);
    view_.SetProgress(100, 100);
    view_.SetLabel(ViewLabel::Percent, Text("100%"));
    view_.PlayFinishingSound();
    view_.ShowMessage("全部下载完毕"_t, 0, std::nullopt);
    return summary;
}

}  // namespace ovx
