#include "cli/ProgressLine.h"

#include <algorithm>

namespace ovx {

namespace {

// Two terminal columns for the East Asian wide and full-width ranges, one otherwise.
int ColumnsOf(char32_t c) {
    bool wide = (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) ||
                (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
                (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
                (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x1F300 && c <= 0x1FAFF) ||
                (c >= 0x20000 && c <= 0x3FFFD);
    return wide ? 2 : 1;
}

}  // namespace

std::string ProgressLine::FitColumns(const std::string& utf8, int columns) {
    int used = 0;
    std::size_t i = 0;
    while (i < utf8.size()) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
        length = std::min(length, utf8.size() - i);
        char32_t c = length == 1 ? lead : lead & (0x3F >> (length - 1));
        for (std::size_t k = 1; k < length; ++k) {
            c = (c << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        }
        used += ColumnsOf(c);
        if (used > columns) break;
        i += length;
    }
    return utf8.substr(0, i);
}

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

std::string ProgressLine::Render(int columns) const {
    auto label = [this](ViewLabel which) {
        auto it = labels_.find(which);
        return it == labels_.end() ? std::string() : it->second;
    };
    // One column short of the width: a line that fills the last column wraps on some
    // terminals.
    auto fit = [columns](const std::string& line) {
        return columns > 1 ? FitColumns(line, columns - 1) : line;
    };
    if (!downloading_) return fit(wait_.empty() ? lastOther_ : wait_);

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
    if (!wait_.empty()) line += "  " + wait_;
    return fit(line);
}

}  // namespace ovx
