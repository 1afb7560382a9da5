#include "RecordingView.h"

#include <utility>

#include "runtime/CodePage.h"

namespace ovx::test {
namespace {

const char* LabelName(ViewLabel label) {
    switch (label) {
        case ViewLabel::User:
            return "User";
        case ViewLabel::Status:
            return "Status";
        case ViewLabel::Percent:
            return "Percent";
        case ViewLabel::AlbumCount:
            return "AlbumCount";
        case ViewLabel::CurrentAlbum:
            return "CurrentAlbum";
        case ViewLabel::PhotoCount:
            return "PhotoCount";
    }
    return "?";
}

const char* StateName(RunState state) {
    switch (state) {
        case RunState::Idle:
            return "Idle";
        case RunState::Running:
            return "Running";
        case RunState::Paused:
            return "Paused";
    }
    return "?";
}

}  // namespace

std::string RecordingView::Utf8(const Text& text) {
    return LocalToUtf8(text);
}

void RecordingView::Record(std::string event) {
    {
        std::lock_guard lock(mutex_);
        events_.push_back(event);
    }
    if (onEvent) onEvent(event);
}

void RecordingView::SetLabel(ViewLabel label, const Text& text) {
    Record(std::string("label:") + LabelName(label) + "=" + Utf8(text));
}

void RecordingView::SetProgress(int position, int maximum) {
    Record("progress:" + std::to_string(position) + "/" + std::to_string(maximum));
}

void RecordingView::AppendLog(const Text& text) {
    Record("log:" + Utf8(text));
}

int RecordingView::ShowMessage(const Text& content, int flags, const OptText& caption) {
    Record("message[" + (caption ? Utf8(*caption) : std::string("信息：")) + "]:" + Utf8(content) +
           (flags != kMbOk ? "#" + std::to_string(flags) : std::string()));
    std::lock_guard lock(mutex_);
    return answers.messageAnswer;
}

void RecordingView::PlayFinishingSound() {
    Record("sound");
}

void RecordingView::SetRunState(RunState state) {
    Record(std::string("state:") + StateName(state));
}

void RecordingView::ClearAlbums() {
    {
        std::lock_guard lock(mutex_);
        rows_.clear();
        checked_.clear();
    }
    Record("clear");
}

void RecordingView::AddAlbum(const AlbumRow& row) {
    {
        std::lock_guard lock(mutex_);
        rows_.push_back(row);
        checked_.push_back(true);
    }
    Record("album:" + Utf8(row.number) + "|" + Utf8(row.name) + "|" + Utf8(row.count) + "|" +
           Utf8(row.albumKey));
}

std::vector<AlbumListEntry> RecordingView::ReadAlbums() {
    std::vector<AlbumListEntry> out;
    {
        std::lock_guard lock(mutex_);
        for (std::size_t i = 0; i < rows_.size(); ++i) {
            out.push_back(
                {checked_[i], rows_[i].number, rows_[i].name, rows_[i].count, rows_[i].albumKey});
        }
    }
    Record("read:albums");
    return out;
}

void RecordingView::SetChecked(std::size_t index, bool checked) {
    std::lock_guard lock(mutex_);
    if (index < checked_.size()) checked_[index] = checked;
}

Text RecordingView::ReadHomePageAddress() {
    return Answer("read:home", &Answers::homePageAddress);
}

bool RecordingView::ReadCoversWanted() {
    return Answer("read:covers", &Answers::coversWanted);
}

bool RecordingView::ReadDownloadRecord() {
    return Answer("read:record", &Answers::downloadRecord);
}

bool RecordingView::ReadTimeRange() {
    return Answer("read:timeRange", &Answers::timeRange);
}

AlbumOptions RecordingView::ReadAlbumOptions() {
    return Answer("read:albumOptions", &Answers::albumOptions);
}

NamingOptions RecordingView::ReadNamingOptions() {
    return Answer("read:naming", &Answers::namingOptions);
}

std::vector<std::string> RecordingView::Events() const {
    std::lock_guard lock(mutex_);
    return events_;
}

std::vector<std::string> RecordingView::Events(const std::string& prefix) const {
    std::vector<std::string> out;
    std::lock_guard lock(mutex_);
    for (const std::string& e : events_) {
        if (e.compare(0, prefix.size(), prefix) == 0) out.push_back(e);
    }
    return out;
}

std::vector<AlbumRow> RecordingView::Rows() const {
    std::lock_guard lock(mutex_);
    return rows_;
}

std::string RecordingView::Log() const {
    std::string out;
    std::lock_guard lock(mutex_);
    for (const std::string& e : events_) {
        if (e.compare(0, 4, "log:") == 0) out += e.substr(4);
    }
    return out;
}

void RecordingView::Clear() {
    std::lock_guard lock(mutex_);
    events_.clear();
}

}  // namespace ovx::test
