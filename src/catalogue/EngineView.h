#pragma once
// EngineView: everything the catalogue and the download engine tell their front end or ask
// of it. The window implements it by marshalling each call onto its own thread, in order
// (writes queued; reads and message boxes blocking); ovatrix-cli and the tests implement it
// directly. Every call comes from the worker thread that runs the catalogue or the job.
//
// Texts are local-code-page texts, worded as the user sees them; log texts carry their own
// line breaks ("\r\n").

#include <optional>
#include <vector>

#include "runtime/DateTime.h"
#include "runtime/SettingsFile.h"
#include "runtime/Text.h"

namespace ovx {

// The labels the engine writes.
enum class ViewLabel {
    User,          // 标签_用户: who is about to be downloaded
    Status,        // 标签_动态: the status line above the album list
    Percent,       // 标签_进度条比例: "37%"
    AlbumCount,    // 标签_选择了相册数量: "总共需下载[3]个相册"
    CurrentAlbum,  // 标签_正在下载相册: "下载到第[1]个相册"
    PhotoCount,    // 标签_第多少张照片: "52/7"
};

// Which of the download buttons are shown.
enum class RunState { Idle, Running, Paused };

// One row of the album list as the album-list run adds it.
struct AlbumRow {
    Text number;  // "1", "2", ...
    Text name;
    Text coverAddress;  // as the service gave it, backslashes removed
    Text count;         // photo count text as the service reports it
    Text albumKey;      // read back only by the protocol that listed the album
    // Covers on: true, with the fetched bytes (empty when the address was empty or the fetch
    // failed; the view then shows its placeholder). Covers off: false.
    bool withCover = false;
    Bytes cover;
};

// One row of the album list as the download reads it back.
struct AlbumListEntry {
    bool checked = false;
    Text number;
    Text name;
    Text count;
    Text albumKey;
};

// The options an album reads once, at its start.
struct AlbumOptions {
    bool downloadRecord = false;  // skip photos already recorded
    bool timeRange = false;       // only photos uploaded between start and end
    DateTime start = InitialStartDate();
    DateTime end = InitialEndDate();
    Text saveLocation;       // empty: the program folder
    bool livePhotos = true;  // a live photo's video is saved beside its still
    // With the records on: the album ends after this many recorded pictures in a row (pinned
    // ones apart); 0: never.
    int stopAtRecorded = 0;
    // Image and video transfers of the album that may run at once (1 to 8); 1: one at a time.
    int parallelImages = 1;
};

// The options read again for every photo.
struct NamingOptions {
    NamingScheme scheme = NamingScheme::NumberCaption;
    Numbering numbering = Numbering::Default;
};

class EngineView {
  public:
    virtual ~EngineView() = default;

    // Output.
    virtual void SetLabel(ViewLabel label, const Text& text) = 0;
    // The progress bar; position is already within 0..maximum.
    virtual void SetProgress(int position, int maximum) = 0;
    // Appends to the log box.
    virtual void AppendLog(const Text& text) = 0;
    // Blocks until answered; returns a MessageButton (runtime/Interaction.h). An absent
    // caption is the default "信息：".
    virtual int ShowMessage(const Text& content, int flags, const OptText& caption) = 0;
    // The finishing sound (the window plays its MP3 path once; elsewhere nothing).
    virtual void PlayFinishingSound() = 0;
    virtual void SetRunState(RunState state) = 0;

    // The album list.
    virtual void ClearAlbums() = 0;
    virtual void AddAlbum(const AlbumRow& row) = 0;
    virtual std::vector<AlbumListEntry> ReadAlbums() = 0;

    // Input.
    virtual Text ReadHomePageAddress() = 0;  // 编辑框_号码
    virtual bool ReadCoversWanted() = 0;     // 选择框_有图, asked once per album row
    virtual bool ReadDownloadRecord() = 0;   // 选择框_下载记录, at the start of a run
    virtual bool ReadTimeRange() = 0;        // 选择框_时间段, at the start of a run
    virtual AlbumOptions ReadAlbumOptions() = 0;
    virtual NamingOptions ReadNamingOptions() = 0;
    // The protocol the options page chooses ("接口" as the settings hold it: "自动", "网页版",
    // ...), at each resolution; none: the settings'.
    virtual std::optional<Text> ReadProtocolChoice() { return std::nullopt; }

    // The service wants a login: the window turns to its login page.
    virtual void ShowLoginPage() {}
    // A wait the service imposes (throttling), counting down; an empty text ends it.
    virtual void ShowWait(const Text& text) { (void)text; }
};

}  // namespace ovx
