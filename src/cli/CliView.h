#pragma once
// The engine's view for the command line: log lines to standard output, labels, progress and
// message boxes to standard error (one updating line with a bar on a terminal, plain lines
// otherwise), the options answered from the command line and the settings file, and the
// album list kept in memory with the chosen albums checked.

#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "catalogue/EngineView.h"
#include "cli/AlbumSelection.h"
#include "cli/ProgressLine.h"

namespace ovx {

struct CliStreams {
    std::FILE* out = stdout;
    std::FILE* err = stderr;
    bool errIsTerminal = false;  // draw one updating line instead of plain lines
    int errColumns = 0;          // the terminal's width, when known
};

// What the view answers when the engine reads its options.
struct CliAnswers {
    Text homePageAddress;
    AlbumOptions album;
    NamingOptions naming;
};

class CliView : public EngineView {
  public:
    CliView(CliStreams streams, CliAnswers answers);

    // Which rows ReadAlbums() reports checked.
    void SetSelection(const AlbumSelection& selection);
    // Sends log lines to standard error instead (--list keeps standard output for the rows).
    void SetLogToError(bool toError);
    std::vector<AlbumRow> Rows() const;

    // A line of the front end's own (UTF-8, without its line break), kept clear of the
    // updating line.
    void PrintLine(std::FILE* stream, const std::string& utf8);
    // Takes the updating line off the terminal; call before the process ends.
    void Finish();

    // EngineView.
    void SetLabel(ViewLabel label, const Text& text) override;
    void SetProgress(int position, int maximum) override;
    void ShowWait(const Text& text) override;
    void AppendLog(const Text& text) override;
    int ShowMessage(const Text& content, int flags, const OptText& caption) override;
    void PlayFinishingSound() override {}
    void SetRunState(RunState) override {}
    void ClearAlbums() override;
    void AddAlbum(const AlbumRow& row) override;
    std::vector<AlbumListEntry> ReadAlbums() override;
    Text ReadHomePageAddress() override;
    bool ReadCoversWanted() override { return false; }
    bool ReadDownloadRecord() override;
    bool ReadTimeRange() override;
    AlbumOptions ReadAlbumOptions() override;
    NamingOptions ReadNamingOptions() override;

  private:
    // Writes `utf8` to `stream` with the updating line taken off first and drawn again after.
    void WriteLocked(std::FILE* stream, const std::string& utf8);
    void DrawLocked();

    CliStreams streams_;
    CliAnswers answers_;
    mutable std::mutex mutex_;
    AlbumSelection selection_;
    bool logToError_ = false;
    std::vector<AlbumRow> rows_;
    ProgressLine progress_;
    bool waiting_ = false;
    std::string drawn_;  // the updating line as it stands on the terminal
};

// A local-code-page text as UTF-8 for a terminal or a pipe: "\r\n" becomes "\n", and other
// control characters, C0 and C1 (an escape sequence in a caption), and the invisible marks
// that turn the direction of the text (U+061C, U+200E, U+200F, U+202A to U+202E, U+2066 to
// U+2069) become spaces. With `oneLine`, line breaks and tabs become spaces too.
std::string PrintableUtf8(const Text& text, bool oneLine);

}  // namespace ovx
