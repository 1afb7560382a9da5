#include "cli/AlbumSelection.h"

#include <algorithm>

namespace ovx {

namespace {

// A number from 1 to kMaxNumber, digits only.
std::optional<long> ParseNumber(std::string_view digits) {
    if (digits.empty() || digits.size() > 10) return std::nullopt;
    long value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value < 1 || value > AlbumSelection::kMaxNumber) return std::nullopt;
    return value;
}

}  // namespace

std::optional<AlbumSelection> AlbumSelection::Parse(std::string_view list) {
    AlbumSelection selection;
    std::size_t start = 0;
    while (true) {
        std::size_t comma = list.find(',', start);
        std::string_view item = list.substr(
            start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
        std::size_t dash = item.find('-');
        std::optional<long> low = ParseNumber(item.substr(0, dash));
        std::optional<long> high =
            dash == std::string_view::npos ? low : ParseNumber(item.substr(dash + 1));
        if (!low || !high || *low > *high) return std::nullopt;
        selection.ranges_.emplace_back(*low, *high);
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    return selection;
}

bool AlbumSelection::Contains(long number) const {
    if (All()) return true;
    return std::any_of(ranges_.begin(), ranges_.end(), [number](const auto& range) {
        return range.first <= number && number <= range.second;
    });
}

long AlbumSelection::FirstBeyond(long albumCount) const {
    long first = 0;
    for (const auto& [low, high] : ranges_) {
        if (high <= albumCount) continue;
        long beyond = std::max(low, albumCount + 1);
        if (first == 0 || beyond < first) first = beyond;
    }
    return first;
}

}  // namespace ovx
