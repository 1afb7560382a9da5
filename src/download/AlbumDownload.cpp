#include "download/AlbumDownload.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "catalogue/ProtocolSupport.h"
#include "download/ImageContent.h"
#include "download/PhotoNaming.h"
#include "runtime/CodePage.h"
#include "runtime/Convert.h"
#include "runtime/DateTime.h"
#include "runtime/DurableFile.h"
#include "runtime/StopFlag.h"
#include "runtime/TextOps.h"
#include "web/ScriptHelpers.h"
#include "web/UrlHelpers.h"

namespace ovx {
namespace {

constexpr int kProgressMaximum = 100;
// The most image transfers of an album at once.
constexpr int kMostTransfers = 8;
// How often the album's thread, waiting for a transfer, looks at its group and the pause.
constexpr std::chrono::milliseconds kWaitLook{200};
// How often, before a pause holds the album, it looks whether a transfer is held already.
constexpr std::chrono::milliseconds kHeldLook{20};

DateTime UploadEpoch() {
    return MakeDateTime(1970, 1, 1, 8);
}

// Whole seconds from the upload epoch to a date box's date.
std::int64_t SecondsSinceEpoch(DateTime date) {
    return ToInt64(DateTimeDiff(date, UploadEpoch(), kSecond));
}

// Makes the folder with all its levels; empty when it is there, else the system's reason.
std::string CreateFolder(const Text& folder) {
    std::error_code ec;
    std::filesystem::create_directories(ToPath(folder), ec);
    if (!ec && std::filesystem::is_directory(ToPath(folder), ec)) return {};
    return ec ? ec.message() : std::string("not a folder");
}

}  // namespace

// One listed photo from its judgement to its group: what to fetch, and what the fetch got.
struct AlbumDownload::Pending {
    GroupPhoto photo;
    bool fetchStill = false;
    bool fetchVideo = false;
    bool extensionFromContent = false;
    Text imageAddress;
    Text videoAddress;
    Fetch stillFetch = Fetch::Failed;
    Fetch videoFetch = Fetch::Failed;
    Text extension;  // the still's, by its first bytes
    FetchReport report;
    std::vector<Text> after;  // album log lines that come after this photo's
    TransferPool::Ticket ticket;
    std::atomic<bool> held{false};  // its fetch is at a checkpoint (held while paused)
};

AlbumDownload::AlbumDownload(EngineView& view, JobControl& control, const DownloadSetup& setup,
                             SessionContext session, Protocol& protocol, RecordEngine& records,
                             DownloadSummary& summary)
    : view_(view),
      control_(control),
      setup_(setup),
      session_(session),
      protocol_(protocol),
      records_(records),
      summary_(summary) {}

AlbumDownload::~AlbumDownload() = default;

Text AlbumDownload::UploadDateText(std::int64_t seconds) {
    // Days and seconds apart: the seconds of a later date do not fit the unit's int. Days
    // beyond the date range are cut to it (ToText clamps the result anyway).
    constexpr std::int64_t kSecondsPerDay = 86400;
    const std::int64_t days = std::clamp<std::int64_t>(seconds / kSecondsPerDay, -4000000, 4000000);
    DateTime t = AddToDateTime(UploadEpoch(), kDay, static_cast<int>(days));
    t = AddToDateTime(t, kSecond, static_cast<int>(seconds % kSecondsPerDay));
    return ToText(t);
}

int AlbumDownload::MoveProgress(double position) {
    // The bar's model: positions past the maximum (a last, partly filled page) stay at it.
    const int clamped = std::clamp(ToInt(position), 0, kProgressMaximum);
    view_.SetProgress(clamped, kProgressMaximum);
    return clamped;
}

void AlbumDownload::Run(const AlbumWorkItem& item) {
    // The record database: a store that cannot open means no lookups and no records.
    if (!control_.Checkpoint()) return;
    store_ = RecordStore::ForUser(
        setup_.recordFolder, setup_.user.userId, protocol_.Records(),
        [this](const Text& line) { view_.AppendLog(line); }, records_);
    storeOpen_ = store_->OpenForAlbum();

    options_ = view_.ReadAlbumOptions();
    if (options_.timeRange) {
        lowerBound_ = SecondsSinceEpoch(options_.start);
        upperBound_ = SecondsSinceEpoch(options_.end);
    }

    view_.SetLabel(ViewLabel::Percent, Text());
    view_.SetProgress(0, kProgressMaximum);
    view_.AppendLog("准备下载相册《"_t + item.name + "》\r\n\r\n"_t);

    count_ = item.count;
    const Text folderName = CleanNameText(item.name) + item.count;
    folder_ = PrepareFolder(folderName);
    if (folder_.empty()) {
        ++summary_.albumsSkipped;
        CloseStore();
        return;
    }

    hooks_.checkpoint = [this] { return Checkpoint(); };
    hooks_.log = [this](const Text& line) { AlbumLog(line); };
    hooks_.pageLost = [this] { ++summary_.pagesLost; };
    hooks_.pageRetryWait = setup_.pageRetryWait;
    hooks_.albumTitle = folderName;
    hooks_.showWait = [this](const Text& text) { view_.ShowWait(text); };
    if (options_.downloadRecord && storeOpen_ && !options_.timeRange) {
        hooks_.passedOver = [this](const Text& photoId, bool livePhoto) {
            if (!IsRecorded(photoId)) return false;
            return !livePhoto || !options_.livePhotos || IsRecorded(photoId + Text(".mov")) ||
                   IsRecorded(photoId + Text(".mp4"));
        };
    }
    undated_ = 0;
    recordedInARow_ = 0;
    fetch_ = FetchContext{};
    fetch_.governor = &session_.governor;
    fetch_.folder = folder_;
    fetch_.headers = protocol_.ImageHeaders();
    fetch_.resolve = setup_.imageResolve;
    fetch_.showWait = [this](const Text& text) { view_.ShowWait(text); };
    const int transfers = std::clamp(options_.parallelImages, 1, kMostTransfers);
    if (transfers > 1) {
        pool_ = std::make_unique<TransferPool>(transfers, control_.Flag());
        fetch_.hub = &pool_->Hub();
        window_ = 2 * static_cast<std::size_t>(transfers);
    } else {
        fetch_.checkpoint = [this] { return Checkpoint(); };
        window_ = 1;
    }
    const std::unique_ptr<PhotoCursor> cursor = protocol_.OpenAlbum(
        setup_.user, AlbumListing{item.name, Text(), item.count, item.albumKey}, hooks_);

    bool stopped = false;
    for (;;) {
        PhotoItem photo;
        const PhotoCursor::Step step = cursor->Next(photo);
        if (step == PhotoCursor::Step::Photo) {
            const PhotoResult result = DownloadPhoto(photo);
            if (result == PhotoResult::Next) continue;
            stopped = result == PhotoResult::Stopped;
            break;
        }
        if (step == PhotoCursor::Step::NotLoggedIn) summary_.notLoggedIn = true;
        if (step == PhotoCursor::Step::Refused) summary_.refused = true;
        stopped = step != PhotoCursor::Step::End;
        break;
    }
    // The next album starts once the last transfer of this one has ended.
    if (Drain()) stopped = true;
    pool_.reset();

    if (undated_ > 0) {
        view_.AppendLog("相册《"_t + folderName + "》有 "_t + ToText(undated_) +
                        " 张图片没有上传时间，不在固定时间段内，未下载\r\n"_t);
        summary_.undated += undated_;
    }
    if (!stopped) {
        view_.AppendLog("---完成相册《"_t + folderName + "》下载\r\n\r\n"_t);
        view_.SetLabel(ViewLabel::PhotoCount, Text());
    }
    CloseStore();
}

void AlbumDownload::CloseStore() {
    CloseGroup();
    store_->Close();
    store_.reset();
    storeOpen_ = false;
}

Text AlbumDownload::PrepareFolder(const Text& folderName) {
    const Text base = options_.saveLocation.empty() ? setup_.programFolder : options_.saveLocation;
    // Service texts become single name components: nothing can climb out of the base.
    const Text title = SafeNameComponent(CleanNameText(setup_.user.userTitle), OverLongName::Cut);
    Text album = SafeNameComponent(folderName, OverLongName::Cut);
    if (album.empty()) album = Text("_");
    const Text folder = JoinPath(title.empty() ? base : JoinPath(base, title), album);
    std::string why = CreateFolder(folder);
    if (!why.empty()) why = CreateFolder(folder);
    if (!why.empty()) {
        // Said once for the album, not once for every photo that could not be written.
        view_.AppendLog("相册文件夹创建失败，已跳过本相册："_t + folder + "（"_t +
                        Utf8ToLocal(why) + "）\r\n"_t);
        return Text();
    }
    RemoveLeftoverTemporaries(folder);
    return folder;
}

void AlbumDownload::AlbumLog(const Text& line) {
    if (pending_.empty()) {
        view_.AppendLog(line);
    } else {
        pending_.back()->after.push_back(line);
    }
}

void AlbumDownload::LogFailed(const Text& photoId, const Text& why) {
    // A failed picture is neither saved nor recorded, so a later run fetches it again.
    AlbumLog("图片下载失败："_t + photoId + why + "\r\n"_t);
    ++summary_.failed;
}

bool AlbumDownload::Checkpoint() {
    CloseGroupIfDue();
    return control_.Checkpoint([this] { BeforeHolding(); });
}

void AlbumDownload::CloseGroupIfDue() {
    if (!group_.empty() &&
        (control_.Paused() || std::chrono::steady_clock::now() - groupOpened_ >= kGroupAge))
        CloseGroup();
}

void AlbumDownload::BeforeHolding() {
    // The transfers in flight finish, and their photos are named and recorded before the run
    // is held; one that ends the run is settled once it goes on.
    while (pool_ && !pending_.empty()) {
        const Pending& front = *pending_.front();
        if (!pool_->WaitFor(front.ticket, kHeldLook)) {
            if (front.held) break;
            continue;
        }
        if (front.stillFetch == Fetch::Stopped || front.videoFetch == Fetch::Stopped) break;
        SettleFront();
    }
    CloseGroup();
}

bool AlbumDownload::IsRecorded(const Text& key) {
    if (!storeOpen_) return false;
    const bool waiting = std::any_of(group_.begin(), group_.end(), [&](const GroupPhoto& g) {
        return (g.still && g.photo.photoId == key) || (g.video && g.videoKey == key);
    });
    return waiting || store_->Contains(key);
}

void AlbumDownload::Join(GroupPhoto photo) {
    const auto now = std::chrono::steady_clock::now();
    if (group_.empty()) groupOpened_ = now;
    groupFiles_ += (photo.still ? 1 : 0) + (photo.video ? 1 : 0);
    group_.push_back(std::move(photo));
    if (groupFiles_ >= kGroupFiles || now - groupOpened_ >= kGroupAge) CloseGroup();
}

void AlbumDownload::CloseGroup() {
    if (group_.empty()) return;
    // The bytes first: a file is named only once its bytes are on the disk. One sync of the
    // file system costs what one file's does; where it cannot be had, each file is synced.
    const bool synced = groupFiles_ > 1 && SyncFileSystem(ToPath(folder_));
    for (GroupPhoto& g : group_) {
        for (std::unique_ptr<BodyFile>* file : {&g.still, &g.video}) {
            if (*file && (synced ? (*file)->File().Close() : (*file)->File().Finish()) != 0)
                file->reset();
        }
    }
    // Then the names, in album order, so that names are as they would be one photo at a time.
    std::vector<Text> keys;
    for (GroupPhoto& g : group_) {
        const Text& id = g.photo.photoId;
        Text path;
        if (g.stillEarlier) {
            // Saved by an earlier run: the video goes beside the still as this run names it.
            path = FirstPhotoPath(g.photo, g.scheme);
        } else if (g.still) {
            path = PlacePhoto(g.photo, g.scheme, g.still->File()).path;
        }
        if (!g.stillEarlier) {
            if (path.empty()) {
                view_.AppendLog("图片保存失败："_t + id + "\r\n"_t);
                ++summary_.failed;
            } else {
                ++summary_.saved;
                keys.push_back(id);
            }
        }
        if (g.videoKey.empty()) continue;
        if (path.empty() || !g.video ||
            PlaceBeside(path, g.videoExtension, g.video->File()).path.empty()) {
            view_.AppendLog("视频保存失败："_t + id + "\r\n"_t);
            ++summary_.failed;
            continue;
        }
        // A picture is counted once: here when only its video was missing.
        if (g.stillEarlier) ++summary_.saved;
        keys.push_back(g.videoKey);
    }
    group_.clear();
    groupFiles_ = 0;
    // One folder sync makes the group's new names durable. Only then are they recorded: a
    // crash before this loses the group's records, and a later run finds each file under its
    // name with the same bytes and records it. A folder that cannot be synced still holds the
    // photos.
    if (setup_.syncFolder) {
        setup_.syncFolder(folder_);
    } else {
        SyncFolder(ToPath(folder_));
    }
    // Written even when a stop was asked for: the photos are on the disk.
    for (const Text& key : keys) {
        if (storeOpen_ && !store_->Record(key))
            view_.AppendLog("下载记录写入失败："_t + key + Text("\r\n"));
    }
}

AlbumDownload::PhotoResult AlbumDownload::DownloadPhoto(const PhotoItem& item) {
    const int sequence = item.position;
    const int position = item.progress >= 0 ? MoveProgress(item.progress) : -1;
    const NamingOptions naming = view_.ReadNamingOptions();
    // Numbers count every listed picture; the cycle form groups them by 100.
    const Text number =
        naming.numbering == Numbering::Cycle
            ? ToText((sequence - 1) / 100 + 1) + Text("-") + ToText((sequence - 1) % 100 + 1)
            : ToText(sequence);
    if (position >= 0) {
        view_.SetLabel(ViewLabel::Percent, ToText(position * 100 / kProgressMaximum) + Text("%"));
    }
    view_.SetLabel(ViewLabel::PhotoCount,
                   count_.empty() ? ToText(sequence) : count_ + Text("/") + ToText(sequence));

    if (options_.timeRange) {
        if (item.uploadSeconds) {
            // Lists come newest first: a newer photo is passed over, an older one ends the
            // album.
            if (*item.uploadSeconds >= upperBound_) return PhotoResult::Next;
            if (*item.uploadSeconds <= lowerBound_) {
                AlbumLog("该相册【固定时间段】上传的图片下载完毕\r\n"_t);
                return PhotoResult::EndAlbum;
            }
        } else if (!item.unreadable) {
            // No date, no place in the period: counted, said once for the album.
            ++undated_;
            return PhotoResult::Next;
        }
    }

    // A live photo's video has a record of its own: the still's key and the video's extension.
    const bool videoWanted = item.videoAddress.has_value() && options_.livePhotos;
    const Text videoExtension = videoWanted ? VideoExtensionOfAddress(*item.videoAddress) : Text();
    const Text videoKey = item.photoId + videoExtension;
    bool stillRecorded = false;
    bool videoRecorded = false;
    if (options_.downloadRecord && storeOpen_) {
        if (!Checkpoint() || SettleListed(item.photoId) == PhotoResult::Stopped)
            return PhotoResult::Stopped;
        stillRecorded = IsRecorded(item.photoId);
        videoRecorded = videoWanted && IsRecorded(videoKey);
        if (stillRecorded && (!videoWanted || videoRecorded)) {
            ++summary_.skipped;
            // Lists come newest first: after enough recorded pictures in a row the rest was
            // saved by an earlier run. A pinned post's pictures sit on top whatever their age.
            if (!item.pinned && options_.stopAtRecorded > 0 &&
                ++recordedInARow_ >= options_.stopAtRecorded) {
                AlbumLog("已连续遇到 "_t + ToText(recordedInARow_) +
                         " 张已下载的照片，本相册余下的照片上次已下载，到此为止\r\n"_t);
                return PhotoResult::EndAlbum;
            }
            return PhotoResult::Next;
        }
    }
    recordedInARow_ = 0;
    if (item.unreadable) {
        LogFailed(item.photoId, "（所在微博读取失败）"_t);
        return PhotoResult::Next;
    }
    // A pause holds the cursor too, its group closed first.
    if (pool_ && !Checkpoint()) return PhotoResult::Stopped;

    auto pending = std::make_unique<Pending>();
    GroupPhoto& photo = pending->photo;
    photo.photo.folder = folder_;
    photo.photo.caption = PrepareCaption(item.caption);
    photo.photo.number = number;
    photo.photo.dateText = UploadDateText(item.uploadSeconds.value_or(0));
    photo.photo.extension =
        item.extensionFromContent ? PictureExtensionOfAddress(item.imageAddress) : item.extension;
    photo.photo.photoId = item.photoId;
    photo.scheme = naming.scheme;
    photo.stillEarlier = stillRecorded;
    if (videoWanted && !videoRecorded) {
        photo.videoExtension = videoExtension;
        photo.videoKey = videoKey;
    }
    pending->fetchStill = !stillRecorded;
    pending->fetchVideo = !photo.videoKey.empty();
    pending->extensionFromContent = item.extensionFromContent;
    pending->imageAddress = item.imageAddress;
    pending->videoAddress = item.videoAddress.value_or(Text());
    Pending& queued = *pending;
    pending_.push_back(std::move(pending));
    if (pool_) {
        pool_->Submit([this, &queued] { RunFetch(queued); }, queued.ticket);
    } else {
        RunFetch(queued);
    }
    return SettleReady();
}

void AlbumDownload::RunFetch(Pending& p) const {
    FetchContext context = fetch_;
    if (pool_) {
        // On the pool's threads a pause holds the fetch before its next try, and the pool's
        // own stop ends it; the group is the album thread's.
        context.checkpoint = [this, &p] {
            p.held = true;
            const bool go = control_.Checkpoint() && !StopRequested();
            p.held = false;
            return go;
        };
    }
    const Text& id = p.photo.photo.photoId;
    if (p.fetchStill) {
        p.photo.still = std::make_unique<BodyFile>();
        p.stillFetch = FetchBody(context, p.imageAddress, id, false, *p.photo.still, p.extension,
                                 p.report);
        if (p.stillFetch != Fetch::Body) return;
    }
    if (p.fetchVideo) {
        p.photo.video = std::make_unique<BodyFile>();
        Text unused;
        p.videoFetch =
            FetchBody(context, p.videoAddress, id, true, *p.photo.video, unused, p.report);
    }
}

AlbumDownload::PhotoResult AlbumDownload::SettleReady() {
    while (!pending_.empty()) {
        if (pool_ && !pool_->Done(pending_.front()->ticket) && pending_.size() < window_) break;
        if (SettleFront() == PhotoResult::Stopped) return PhotoResult::Stopped;
    }
    return PhotoResult::Next;
}

AlbumDownload::PhotoResult AlbumDownload::SettleListed(const Text& photoId) {
    const auto last = std::find_if(pending_.rbegin(), pending_.rend(), [&](const auto& p) {
        return p->photo.photo.photoId == photoId;
    });
    for (auto left = std::distance(last, pending_.rend()); left > 0; --left) {
        if (SettleFront() == PhotoResult::Stopped) return PhotoResult::Stopped;
    }
    return PhotoResult::Next;
}

AlbumDownload::PhotoResult AlbumDownload::SettleFront() {
    Pending& front = *pending_.front();
    // Meanwhile a group that has grown old is closed. A pause does not hold this thread here:
    // it goes on naming the photos whose transfers end (transfers in flight finish), and holds
    // at its next checkpoint.
    while (pool_ && !pool_->WaitFor(front.ticket, kWaitLook)) CloseGroupIfDue();
    const PhotoResult result = Settle(front);
    pending_.pop_front();
    // The photos after one that ends the run end at once; what of them is whole is placed.
    if (result == PhotoResult::Stopped && pool_) pool_->Cancel();
    return result;
}

AlbumDownload::PhotoResult AlbumDownload::Settle(Pending& p) {
    for (const Text& line : p.report.lines) view_.AppendLog(line);
    summary_.failed += p.report.failed;
    summary_.gone += p.report.gone;
    if (p.report.refused) summary_.refused = true;
    PhotoResult result = PhotoResult::Next;
    if (p.fetchStill && p.stillFetch != Fetch::Body) {
        if (p.stillFetch == Fetch::Stopped) result = PhotoResult::Stopped;
    } else {
        if (p.extensionFromContent && p.fetchStill) p.photo.photo.extension = p.extension;
        if (p.fetchVideo && p.videoFetch != Fetch::Body) {
            // The still alone: its video is fetched again by a later run.
            if (p.videoFetch == Fetch::Stopped) result = PhotoResult::Stopped;
            p.photo.video.reset();
            p.photo.videoKey = Text();
        }
        if (p.photo.still || p.photo.video) Join(std::move(p.photo));
    }
    for (const Text& line : p.after) view_.AppendLog(line);
    return result;
}

bool AlbumDownload::Drain() {
    bool stopped = false;
    while (!pending_.empty()) {
        if (SettleFront() == PhotoResult::Stopped) stopped = true;
    }
    return stopped;
}

}  // namespace ovx
