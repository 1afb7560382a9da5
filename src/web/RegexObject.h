#pragma once
// A regular expression run once over one subject text, with access to its matches.
// The syntax is ECMAScript-like (PCRE2 with \uXXXX escapes); subjects, patterns and results
// are local code-page texts, matched as Unicode.

#include <memory>
#include <optional>
#include <vector>

#include "runtime/Text.h"

namespace ovx {

class RegexObject {
  public:
    RegexObject() = default;

    // Compiles `pattern` and collects its matches in `subject`: every match when `global`,
    // else the first. With `quoteMarker`, every "#引号" in the pattern stands for '"'.
    // False when the pattern is invalid or matching ran into its resource limits; zero
    // matches is still true.
    bool Create(const Text& pattern, const Text& subject, bool caseSensitive = false,
                bool multiLine = true, bool global = true, bool quoteMarker = false);

    // The pattern given to the last Create (after the quote-marker replacement); "" before.
    Text Pattern() const;

    // The subject with the collected matches replaced. In the replacement, $1..$99 stand
    // for a group (empty when it did not take part), $& for the match, $` and $' for the
    // text before and after it, and $$ for "$"; any other "$" is literal. Empty without a
    // successful Create.
    Text Replace(const Text& replacement) const;

    int MatchCount() const;
    // The text of match `index` (from 1); `position` gets its 1-based byte position in the
    // subject. Out-of-range indexes give "" and position -1.
    Text MatchText(int index, int* position = nullptr) const;
    // The text of capture group `group` (from 1) of match `index` (from 1); "" when the
    // group did not take part or an index is out of range.
    Text SubMatchText(int index, int group, int* position = nullptr) const;
    // The number of capture groups when there is at least one match, else 0.
    int SubMatchCount() const;

  private:
    struct Match {
        // Byte offsets into the UTF-8 subject: start, end of the whole match and of each group;
        // kUnset for a group that did not take part.
        std::vector<std::size_t> offsets;
    };
    struct Result {
        std::string subject;  // UTF-8
        int groupCount = 0;
        std::vector<Match> matches;
    };

    Text Piece(const Match& match, std::size_t slot, int* position) const;

    std::optional<Text> pattern_;
    // Shared between copies; a Create replaces it, never changes it.
    std::shared_ptr<const Result> result_;
};

}  // namespace ovx
