#include "cli/ProgressLine.h"

#include <algorithm>

namespace ovx {

void ProgressLine::SetLabel(ViewLabel label, const std::string& utf8) {
    labels_[label] = utf8;
    switch (label) {
        case ViewLabel::AlbumCount:
        case ViewLabel::CurrentAlbum:
            downloading_ = true;
            break;
        case ViewLabel::User:
        case ViewLabel::Status:
            if (!utf8.empty()) lastOther_ = utf8;
            break;
        case ViewLabel::Percent:
        case ViewLabel::PhotoCount:
            break;
    }
}

void ProgressLine::SetProgress(int position, int maximum) {
    position_ = position;
    maximum_ = maximum;
}

std::string ProgressLine::Render() const {
    auto label = [this](ViewLabel which) {
        auto it = labels_.find(which);
        return it == labels_.end() ? std::string() : it->second;
    };
    if (!downloading_) return lastOther_;

    int filled = maximum_ > 0
                     ? static_cast<int>(static_cast<long long>(std::clamp(position_, 0, maximum_)) *
                                        kBarWidth / maximum_)
                     : 0;
    std::string line = "[" + std::string(static_cast<std::size_t>(filled), '#') +
                       std::string(static_cast<std::size_t>(kBarWidth - filled), '-') + "]";
    std::string percent = label(ViewLabel::Percent);
    if (!percent.empty()) {
        line += " " + std::string(percent.size() < 4 ? 4 - percent.size() : 0, ' ') + percent;
    }
    for (ViewLabel which : {ViewLabel::CurrentAlbum, ViewLabel::PhotoCount}) {
        std::string text = label(which);
        if (!text.empty()) line += "  " + text;
    }
    return line;
}

}  // namespace ovx
