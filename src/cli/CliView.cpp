#include "cli/CliView.h"

#include "runtime/CodePage.h"
#include "runtime/Interaction.h"

namespace ovx {

std::string PrintableUtf8(const Text& text, bool oneLine) {
    std::string utf8 = LocalToUtf8(text);
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        char c = utf8[i];
        if (c == '\r' && i + 1 < utf8.size() && utf8[i + 1] == '\n') continue;
        bool control = static_cast<unsigned char>(c) < 0x20 || c == 0x7f;
        bool kept = !oneLine && (c == '\n' || c == '\t');
        out.push_back(control && !kept ? ' ' : c);
    }
    return out;
}

CliView::CliView(CliStreams streams, CliAnswers answers)
    : streams_(streams), answers_(std::move(answers)) {}

void CliView::SetSelection(const AlbumSelection& selection) {
    std::lock_guard lock(mutex_);
    selection_ = selection;
}

void CliView::SetLogToError(bool toError) {
    std::lock_guard lock(mutex_);
    logToError_ = toError;
}

std::vector<AlbumRow> CliView::Rows() const {
    std::lock_guard lock(mutex_);
    return rows_;
}

void CliView::PrintLine(std::FILE* stream, const std::string& utf8) {
    std::lock_guard lock(mutex_);
    WriteLocked(stream, utf8 + "\n");
}

void CliView::Finish() {
    std::lock_guard lock(mutex_);
    if (!drawn_.empty()) {
        std::fputs("\r\033[K", streams_.err);
        std::fflush(streams_.err);
        drawn_.clear();
    }
}

void CliView::WriteLocked(std::FILE* stream, const std::string& utf8) {
    bool redraw = !drawn_.empty();
    if (redraw) {
        std::fputs("\r\033[K", streams_.err);
        std::fflush(streams_.err);
        drawn_.clear();
    }
    std::fwrite(utf8.data(), 1, utf8.size(), stream);
    std::fflush(stream);
    if (redraw) DrawLocked();
}

void CliView::DrawLocked() {
    std::string line = progress_.Render(streams_.errColumns);
    if (line == drawn_) return;
    std::fputs("\r\033[K", streams_.err);
    std::fputs(line.c_str(), streams_.err);
    std::fflush(streams_.err);
    drawn_ = line;
}

void CliView::SetLabel(ViewLabel label, const Text& text) {
    std::string utf8 = PrintableUtf8(text, true);
    std::lock_guard lock(mutex_);
    if (streams_.errIsTerminal) {
        progress_.SetLabel(label, utf8);
        DrawLocked();
        return;
    }
    // Plain lines: the percentage is the bar's figure, not a label worth a line of its own.
    if (label != ViewLabel::Percent && !utf8.empty()) WriteLocked(streams_.err, utf8 + "\n");
}

void CliView::SetProgress(int position, int maximum) {
    std::lock_guard lock(mutex_);
    if (!streams_.errIsTerminal) return;
    progress_.SetProgress(position, maximum);
    DrawLocked();
}

void CliView::AppendLog(const Text& text) {
    std::string utf8 = PrintableUtf8(text, false);
    std::lock_guard lock(mutex_);
    WriteLocked(logToError_ ? streams_.err : streams_.out, utf8);
}

int CliView::ShowMessage(const Text& content, int, const OptText&) {
    std::string utf8 = PrintableUtf8(content, true);
    std::lock_guard lock(mutex_);
    WriteLocked(streams_.err, utf8 + "\n");
    return kOk;
}

void CliView::ClearAlbums() {
    std::lock_guard lock(mutex_);
    rows_.clear();
}

void CliView::AddAlbum(const AlbumRow& row) {
    std::lock_guard lock(mutex_);
    rows_.push_back(row);
}

std::vector<AlbumListEntry> CliView::ReadAlbums() {
    std::lock_guard lock(mutex_);
    std::vector<AlbumListEntry> entries;
    entries.reserve(rows_.size());
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        const AlbumRow& row = rows_[i];
        entries.push_back({selection_.Contains(static_cast<long>(i) + 1), row.number, row.name,
                           row.count, row.albumKey});
    }
    return entries;
}

Text CliView::ReadHomePageAddress() {
    return answers_.homePageAddress;
}
bool CliView::ReadDownloadRecord() {
    return answers_.album.downloadRecord;
}
bool CliView::ReadTimeRange() {
    return answers_.album.timeRange;
}
AlbumOptions CliView::ReadAlbumOptions() {
    return answers_.album;
}
NamingOptions CliView::ReadNamingOptions() {
    return answers_.naming;
}

}  // namespace ovx
