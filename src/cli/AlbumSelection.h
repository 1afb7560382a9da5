#pragma once
// The album numbers of --albums: "1,3,5-7". Kept as ranges, so "1-1000000" costs nothing.

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ovx {

class AlbumSelection {
  public:
    // Every album.
    AlbumSelection() = default;

    // Parses a comma-separated list of numbers (from 1) and ranges "A-B" with A <= B; nothing
    // on a malformed list (empty item, sign, zero, reversed range, a number over kMaxNumber).
    static std::optional<AlbumSelection> Parse(std::string_view list);

    static constexpr long kMaxNumber = 1000000000;

    bool All() const { return ranges_.empty(); }
    bool Contains(long number) const;
    // The first selected number above `albumCount`, or 0 when every number names an album.
    long FirstBeyond(long albumCount) const;

  private:
    std::vector<std::pair<long, long>> ranges_;
};

}  // namespace ovx
