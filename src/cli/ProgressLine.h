#pragma once
// The one updating line ovatrix-cli keeps on a terminal: a bar, the percentage and the labels
// that say where the run is ("[#####-----]  50%  下载到第[1]个相册  52/26").

#include <map>
#include <string>

#include "catalogue/EngineView.h"

namespace ovx {

class ProgressLine {
  public:
    static constexpr int kBarWidth = 24;

    // `utf8` is the label's new text, already made printable.
    void SetLabel(ViewLabel label, const std::string& utf8);
    void SetProgress(int position, int maximum);
    // A wait the service imposes, counting down, shown at the end of the line; empty: none.
    void SetWait(const std::string& utf8) { wait_ = utf8; }

    // The line as it stands, without a line break, cut to `columns` terminal columns (none
    // when 0) so that it never wraps; empty while there is nothing to show.
    std::string Render(int columns = 0) const;

    // The longest start of `utf8` that fills at most `columns` terminal columns, East Asian
    // wide characters counting two.
    static std::string FitColumns(const std::string& utf8, int columns);

  private:
    std::map<ViewLabel, std::string> labels_;
    std::string lastOther_;  // the latest label that is not part of the download figures
    std::string wait_;
    int position_ = 0;
    int maximum_ = 0;
    bool downloading_ = false;
};

}  // namespace ovx
