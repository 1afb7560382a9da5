#pragma once
// RecordingView: an EngineView for tests. Every call is recorded in order as one event
// string in UTF-8 ("label:Status=…", "progress:3/10", "log:…", "message[温馨提示]:…",
// "album:1|name|count|key", "read:covers", …); album rows are kept whole. The answers to
// the reads are set beforehand. Safe to call from any thread.

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "catalogue/EngineView.h"
#include "runtime/Interaction.h"

namespace ovx::test {

class RecordingView : public EngineView {
  public:
    // The answers the reads give. Set them before the engine runs.
    struct Answers {
        Text homePageAddress;
        bool coversWanted = false;
        bool downloadRecord = false;
        bool timeRange = false;
        AlbumOptions albumOptions;
        NamingOptions namingOptions;
        int messageAnswer = kOk;
    };
    Answers answers;

    // Called after each event is recorded, outside the lock (e.g. to raise a stop flag).
    std::function<void(const std::string& event)> onEvent;

    void SetLabel(ViewLabel label, const Text& text) override;
    void SetProgress(int position, int maximum) override;
    void AppendLog(const Text& text) override;
    int ShowMessage(const Text& content, int flags, const OptText& caption) override;
    void PlayFinishingSound() override;
    void SetRunState(RunState state) override;
    void ClearAlbums() override;
    void AddAlbum(const AlbumRow& row) override;
    // The rows added since the last ClearAlbums, checked unless SetChecked says otherwise.
    std::vector<AlbumListEntry> ReadAlbums() override;
    Text ReadHomePageAddress() override;
    bool ReadCoversWanted() override;
    bool ReadDownloadRecord() override;
    bool ReadTimeRange() override;
    AlbumOptions ReadAlbumOptions() override;
    NamingOptions ReadNamingOptions() override;

    // Unchecks (or checks) the row at a 0-based index for the next ReadAlbums.
    void SetChecked(std::size_t index, bool checked);

    std::vector<std::string> Events() const;
    // The events that start with `prefix`, in order.
    std::vector<std::string> Events(const std::string& prefix) const;
    std::vector<AlbumRow> Rows() const;
    // The log texts joined, in UTF-8.
    std::string Log() const;
    void Clear();

    // A local text as UTF-8, for comparisons.
    static std::string Utf8(const Text& text);

  private:
    void Record(std::string event);
    // Records the read and gives the answer held in `member`.
    template <typename T>
    T Answer(const char* event, T Answers::*member) {
        Record(event);
        std::lock_guard lock(mutex_);
        return answers.*member;
    }

    mutable std::mutex mutex_;
    std::vector<std::string> events_;
    std::vector<AlbumRow> rows_;
    std::vector<bool> checked_;
};

}  // namespace ovx::test
