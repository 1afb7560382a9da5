#include "cli/CliView.h"

#include "runtime/CodePage.h"
#include "runtime/Interaction.h"

namespace ovx {

namespace {

// The length of the UTF-8 sequence at `i` when it encodes a C1 control (U+0080 to U+009F) or
// a character that changes the direction of the text around it (marks, embeddings,
// overrides, isolates), else 0. Such a character is invisible and could make a caption or an
// address read differently from what it is.
std::size_t InvisibleControlAt(const std::string& utf8, std::size_t i) {
    const auto byte = [&](std::size_t k) {
        return k < utf8.size() ? static_cast<unsigned char>(utf8[k]) : 0u;
    };
    const unsigned b0 = byte(i), b1 = byte(i + 1), b2 = byte(i + 2);
    if (b0 == 0xC2 && b1 >= 0x80 && b1 <= 0x9F) return 2;  // C1 controls
    if (b0 == 0xD8 && b1 == 0x9C) return 2;                // U+061C arabic letter mark
    if (b0 == 0xE2 && b1 == 0x80 && (b2 == 0x8E || b2 == 0x8F)) return 3;  // U+200E, U+200F
    if (b0 == 0xE2 && b1 == 0x80 && b2 >= 0xAA && b2 <= 0xAE) return 3;    // U+202A-U+202E
    if (b0 == 0xE2 && b1 == 0x81 && b2 >= 0xA6 && b2 <= 0xA9) return 3;    // U+2066-U+2069
    return 0;
}

}  // namespace

std::string PrintableUtf8(const Text& text, bool oneLine) {
    std::string utf8 = LocalToUtf8(text);
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        char c = utf8[i];
        if (c == '\r' && i + 1 < utf8.size() && utf8[i + 1] == '\n') continue;
        if (const std::size_t n = InvisibleControlAt(utf8, i); n > 0) {
            out.push_back(' ');
            i += n - 1;
            continue;
        }
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

void CliView::ShowWait(const Text& text) {
    std::string utf8 = PrintableUtf8(text, true);
    std::lock_guard lock(mutex_);
    if (streams_.errIsTerminal) {
        progress_.SetWait(utf8);
        DrawLocked();
    } else if (!utf8.empty() && !waiting_) {
        // Plain lines: the start of each wait, not every second of it.
        WriteLocked(streams_.err, utf8 + "\n");
    }
    waiting_ = !utf8.empty();
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
