#include "download/AlbumDownload.h"

#include <algorithm>
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
#include "runtime/TextOps.h"
#include "web/ScriptHelpers.h"
#include "web/UrlHelpers.h"

namespace ovx {
namespace {

constexpr int kImageTimeoutSeconds = 30;
constexpr int kProgressMaximum = 100;

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

}  // namespace

// The body of one image or video request, streamed into a new temporary of the album folder.
class AlbumDownload::BodyFile : public ResponseBodySink {
  public:
    int Open(const Text& folder) { return CreatePhotoTemporary(folder, file_); }
    // Before every try: nothing of an earlier answer stays.
    void Reset() {
        if (file_.IsOpen() && file_.Size() > 0 && file_.Clear() != 0) writeFailed_ = true;
        head_.clear();
    }
    bool Begin(std::int64_t /*declaredLength*/) override {
        Reset();
        return file_.IsOpen() && !writeFailed_;
    }
    bool Take(const char* data, std::size_t size) override {
        if (head_.size() < kContentHeadBytes)
            head_.append(data, std::min(size, kContentHeadBytes - head_.size()));
        if (file_.Write(data, size) == 0) return true;
        writeFailed_ = true;
        return false;
    }
    NewFile& File() { return file_; }
    const std::string& Head() const { return head_; }
    bool WriteFailed() const { return writeFailed_; }

  private:
    NewFile file_;
    std::string head_;
    bool writeFailed_ = false;
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
    hooks_.log = [this](const Text& line) { view_.AppendLog(line); };
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

void AlbumDownload::LogFailed(const Text& photoId, const Text& why) {
    // A failed picture is neither saved nor recorded, so a later run fetches it again.
    view_.AppendLog("图片下载失败："_t + photoId + why + "\r\n"_t);
    ++summary_.failed;
}

void AlbumDownload::LogGone(const Text& photoId, bool video, const Text& why) {
    view_.AppendLog((video ? "视频已失效："_t : "图片已失效："_t) + photoId + "（"_t + why +
                    "）\r\n"_t);
    ++summary_.gone;
}

bool AlbumDownload::Checkpoint() {
    if (!group_.empty() && std::chrono::steady_clock::now() - groupOpened_ >= kGroupAge)
        CloseGroup();
    return control_.Checkpoint([this] { CloseGroup(); });
}

bool AlbumDownload::IsRecorded(const Text& key) {
    if (!storeOpen_) return false;
    return std::find(group_.begin(), group_.end(), key) != group_.end() || store_->Contains(key);
}

void AlbumDownload::Placed(const Text& key) {
    const auto now = std::chrono::steady_clock::now();
    if (group_.empty()) groupOpened_ = now;
    group_.push_back(key);
    if (group_.size() >= kGroupFiles || now - groupOpened_ >= kGroupAge) CloseGroup();
}

void AlbumDownload::CloseGroup() {
    if (group_.empty()) return;
    // Every file of the group was synced before its rename; one folder sync makes their names
    // durable. Only then are they recorded: a crash before this loses the group's records,
    // and a later run finds each file under its name with the same bytes and records it. A
    // folder that cannot be synced still holds the photos.
    if (setup_.syncFolder) {
        setup_.syncFolder(folder_);
    } else {
        SyncFolder(ToPath(folder_));
    }
    // Written even when a stop was asked for: the photos are on the disk.
    for (const Text& key : group_) {
        if (storeOpen_ && !store_->Record(key))
            view_.AppendLog("下载记录写入失败："_t + key + Text("\r\n"));
    }
    group_.clear();
}

bool AlbumDownload::Request(const Text& url, BodyFile& body, GovernedAnswer& answer, Text& redirect,
                            bool& tooLarge) {
    body.Reset();
    redirect = Text();
    tooLarge = false;
    // Images go to the image host without the login cookies, with the site as their Referer.
    // Redirects are not followed by the transfer: where they lead is judged here.
    WebRequestComOptions options;
    options.extraHeaders = protocol_.ImageHeaders();
    options.noRedirect = true;
    options.timeoutSeconds = kImageTimeoutSeconds;
    options.bodySink = &body;
    options.maxBodyBytes = static_cast<std::size_t>(kMaxBodyBytes);
    options.bodyTooLarge = &tooLarge;
    options.redirectTarget = &redirect;
    options.resolve = setup_.imageResolve;
    // A throttling answer is waited out and asked again; it uses up no try.
    answer = GovernedImage(session_.governor, hooks_, url, std::move(options));
    if (answer.outcome == GovernedOutcome::GaveUp) summary_.refused = true;
    return answer.outcome == GovernedOutcome::Answered && !control_.Stopped();
}

AlbumDownload::Fetch AlbumDownload::FetchBody(const Text& url, const Text& photoId, bool video,
                                              BodyFile& body, Text& extension) {
    const Text saveFailed = (video ? "视频保存失败："_t : "图片保存失败："_t) + photoId + "\r\n"_t;
    if (body.Open(folder_) != 0) {
        view_.AppendLog(saveFailed);
        ++summary_.failed;
        return Fetch::Failed;
    }
    Text address = url;
    std::vector<Text> shards = OtherShards(url);
    const bool onShard = !shards.empty();
    int redirects = 0;
    int tries = 0;
    int status = 0;
    for (;;) {
        if (!Checkpoint()) return Fetch::Stopped;
        GovernedAnswer answer;
        Text redirect;
        bool tooLarge = false;
        if (!Request(address, body, answer, redirect, tooLarge)) return Fetch::Stopped;
        status = answer.status;
        if (const Text error = HeaderValue(answer.headers, "x-image-errno"); !error.empty()) {
            LogGone(photoId, video, Text("x-image-errno: ") + Shown(error));
            return Fetch::Gone;
        }
        if (IsRedirect(status) && !redirect.empty()) {
            if (IsPlaceholder(redirect, address, url)) {
                LogGone(photoId, video,
                        "跳转到 "_t + Shown(WithoutQueryAndFragment(UrlPath(redirect))));
                return Fetch::Gone;
            }
            if (++redirects > kMostRedirects) break;
            address = redirect;
            continue;
        }
        if (status == 404 || status == 410) {
            LogGone(photoId, video, "状态码 "_t + ToText(status));
            return Fetch::Gone;
        }
        if (tooLarge) {
            LogFailed(photoId, "（内容超过 256 MiB）"_t);
            return Fetch::Failed;
        }
        if (body.WriteFailed()) {
            view_.AppendLog(saveFailed);
            ++summary_.failed;
            return Fetch::Failed;
        }
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
        LogFailed(photoId, "（状态码 "_t + ToText(status) + "）"_t);
        return Fetch::Failed;
    }
    // Only pictures are kept (and for a live photo's video, ISO media).
    const std::string& head = body.Head();
    extension = PictureExtensionOf(head);
    if (body.File().Size() == 0) {
        LogFailed(photoId, "（状态码 200，内容为空）"_t);
        return Fetch::Failed;
    }
    if (video ? !IsIsoMedia(head) : extension.empty()) {
        LogFailed(photoId, "（状态码 200，内容不是图片）"_t);
        return Fetch::Failed;
    }
    if (body.File().Finish() != 0) {
        view_.AppendLog(saveFailed);
        ++summary_.failed;
        return Fetch::Failed;
    }
    return Fetch::Body;
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
                view_.AppendLog("该相册【固定时间段】上传的图片下载完毕\r\n"_t);
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
        if (!Checkpoint()) return PhotoResult::Stopped;
        stillRecorded = IsRecorded(item.photoId);
        videoRecorded = videoWanted && IsRecorded(videoKey);
        if (stillRecorded && (!videoWanted || videoRecorded)) {
            ++summary_.skipped;
            // Lists come newest first: after enough recorded pictures in a row the rest was
            // saved by an earlier run. A pinned post's pictures sit on top whatever their age.
            if (!item.pinned && options_.stopAtRecorded > 0 &&
                ++recordedInARow_ >= options_.stopAtRecorded) {
                view_.AppendLog("已连续遇到 "_t + ToText(recordedInARow_) +
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

    PhotoToSave photo;
    photo.folder = folder_;
    photo.caption = PrepareCaption(item.caption);
    photo.number = number;
    photo.dateText = UploadDateText(item.uploadSeconds.value_or(0));
    photo.extension =
        item.extensionFromContent ? PictureExtensionOfAddress(item.imageAddress) : item.extension;
    photo.photoId = item.photoId;

    Text path;
    if (stillRecorded) {
        // Saved by an earlier run: the video goes beside the still as this run names it.
        path = FirstPhotoPath(photo, naming.scheme);
    } else {
        BodyFile body;
        Text extension;
        const Fetch fetched = FetchBody(item.imageAddress, item.photoId, false, body, extension);
        if (fetched == Fetch::Stopped) return PhotoResult::Stopped;
        if (fetched != Fetch::Body) return PhotoResult::Next;
        if (item.extensionFromContent) photo.extension = extension;
        if (!Checkpoint()) return PhotoResult::Stopped;
        path = PlacePhoto(photo, naming.scheme, body.File()).path;
        if (path.empty()) {
            view_.AppendLog("图片保存失败："_t + item.photoId + "\r\n"_t);
            ++summary_.failed;
            return PhotoResult::Next;
        }
        ++summary_.saved;
        Placed(item.photoId);
    }

    if (!videoWanted || videoRecorded) return PhotoResult::Next;
    BodyFile body;
    Text unused;
    const Fetch fetched = FetchBody(*item.videoAddress, item.photoId, true, body, unused);
    if (fetched == Fetch::Stopped) return PhotoResult::Stopped;
    if (fetched != Fetch::Body) return PhotoResult::Next;
    if (!Checkpoint()) return PhotoResult::Stopped;
    if (path.empty() || PlaceBeside(path, videoExtension, body.File()).path.empty()) {
        view_.AppendLog("视频保存失败："_t + item.photoId + "\r\n"_t);
        ++summary_.failed;
        return PhotoResult::Next;
    }
    // A picture is counted once: here when only its video was missing.
    if (stillRecorded) ++summary_.saved;
    Placed(videoKey);
    return PhotoResult::Next;
}

}  // namespace ovx
