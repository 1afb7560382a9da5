#include "download/AlbumDownload.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "catalogue/ProtocolSupport.h"
#include "download/PhotoNaming.h"
#include "runtime/CodePage.h"
#include "runtime/Convert.h"
#include "runtime/DateTime.h"
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

// A video's own extension: ".mp4" when its address names one, else ".mov".
Text VideoExtension(const Text& address) {
    const Text path = ToLowerCase(WithoutQueryAndFragment(address));
    return RightText(path, 4) == Text(".mp4") ? Text(".mp4") : Text(".mov");
}

}  // namespace

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

bool AlbumDownload::LooksLikeHtml(const Bytes& body) {
    std::size_t i = 0;
    while (i < body.size() && (body[i] == ' ' || body[i] == '\t' || body[i] == '\r' ||
                               body[i] == '\n' || body[i] == '\f')) {
        ++i;
    }
    auto startsWith = [&](std::string_view prefix) {
        if (body.size() - i < prefix.size()) return false;
        for (std::size_t k = 0; k < prefix.size(); ++k) {
            char c = static_cast<char>(body[i + k]);
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
            if (c != prefix[k]) return false;
        }
        return true;
    };
    return startsWith("<!doctype html") || startsWith("<html");
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

    hooks_.checkpoint = [this] { return control_.Checkpoint(); };
    hooks_.log = [this](const Text& line) { view_.AppendLog(line); };
    hooks_.pageLost = [this] { ++summary_.pagesLost; };
    hooks_.pageRetryWait = setup_.pageRetryWait;
    hooks_.albumTitle = folderName;
    hooks_.showWait = [this](const Text& text) { view_.ShowWait(text); };
    if (options_.downloadRecord && storeOpen_ && !options_.timeRange) {
        hooks_.passedOver = [this](const Text& photoId) { return store_->Contains(photoId); };
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

    if (!stopped) {
        view_.AppendLog("---完成相册《"_t + folderName + "》下载\r\n\r\n"_t);
        view_.SetLabel(ViewLabel::PhotoCount, Text());
    }
    CloseStore();
}

void AlbumDownload::CloseStore() {
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
        view_.AppendLog("相册文件夹创建失败，已跳过本相册："_t + folder + Text("（") +
                        Utf8ToLocal(why) + Text("）\r\n"));
        return Text();
    }
    RemoveLeftoverTemporaries(folder);
    return folder;
}

std::optional<Bytes> AlbumDownload::FetchImage(const Text& url, const Text& photoId) {
    // Images go to the image host without the login cookies, with the site as their Referer;
    // one more try after a status other than 200.
    const Text headers = protocol_.ImageHeaders();
    int status = 0;
    Bytes image;
    for (int attempt = 1; attempt <= 2; ++attempt) {
        if (!control_.Checkpoint()) return std::nullopt;
        // A throttling answer is waited out and asked again; it uses up no try.
        GovernedAnswer answer =
            GovernedImage(session_.governor, hooks_, url,
                          {.extraHeaders = headers, .timeoutSeconds = kImageTimeoutSeconds});
        status = answer.status;
        image = std::move(answer.body);
        if (answer.outcome == GovernedOutcome::GaveUp) summary_.refused = true;
        if (answer.outcome != GovernedOutcome::Answered || control_.Stopped()) return std::nullopt;
        if (status == 200) break;
    }
    // A failed image is neither saved nor recorded, so a later run fetches it again.
    if (status != 200 || image.empty() || LooksLikeHtml(image)) {
        Text why = "（状态码 "_t + ToText(status);
        if (status == 200) why += image.empty() ? "，内容为空"_t : "，内容不是图片"_t;
        view_.AppendLog("图片下载失败："_t + photoId + why + "）\r\n"_t);
        ++summary_.failed;
        return Bytes();
    }
    return image;
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

    if (options_.timeRange && item.uploadSeconds) {
        // Lists come newest first: a newer photo is passed over, an older one ends the album.
        if (*item.uploadSeconds >= upperBound_) return PhotoResult::Next;
        if (*item.uploadSeconds <= lowerBound_) {
            view_.AppendLog("该相册【固定时间段】上传的图片下载完毕\r\n"_t);
            return PhotoResult::EndAlbum;
        }
    }

    if (options_.downloadRecord && storeOpen_) {
        if (!control_.Checkpoint()) return PhotoResult::Stopped;
        if (store_->Contains(item.photoId)) {
            ++summary_.skipped;
            return PhotoResult::Next;
        }
    }

    const std::optional<Bytes> image = FetchImage(item.imageAddress, item.photoId);
    if (!image) return PhotoResult::Stopped;
    if (image->empty()) return PhotoResult::Next;

    PhotoToSave photo;
    photo.folder = folder_;
    photo.caption = PrepareCaption(item.caption);
    photo.number = number;
    photo.dateText = UploadDateText(item.uploadSeconds.value_or(0));
    photo.extension = item.extension;
    photo.photoId = item.photoId;
    if (!control_.Checkpoint()) return PhotoResult::Stopped;
    const Text path = SavePhoto(photo, naming.scheme, *image);
    if (path.empty()) {
        view_.AppendLog("图片保存失败："_t + item.photoId + "\r\n"_t);
        ++summary_.failed;
        return PhotoResult::Next;
    }
    ++summary_.saved;
    // A live photo's video goes beside the still; the photo is recorded only with both.
    bool complete = true;
    if (item.videoAddress && options_.livePhotos) {
        const std::optional<Bytes> video = FetchImage(*item.videoAddress, item.photoId);
        if (!video) return PhotoResult::Stopped;
        if (video->empty()) {
            complete = false;
        } else if (!control_.Checkpoint()) {
            return PhotoResult::Stopped;
        } else if (SaveBeside(path, VideoExtension(*item.videoAddress), *video).empty()) {
            view_.AppendLog("视频保存失败："_t + item.photoId + "\r\n"_t);
            ++summary_.failed;
            complete = false;
        }
    }
    if (storeOpen_ && complete) {
        if (!control_.Checkpoint()) return PhotoResult::Stopped;
        if (!store_->Record(item.photoId)) {
            view_.AppendLog("下载记录写入失败："_t + item.photoId + Text("\r\n"));
        }
    }
    return PhotoResult::Next;
}

}  // namespace ovx
