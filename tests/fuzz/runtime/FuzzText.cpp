// Text operations on random bytes, checked against a plain reference scan: a match is found
// only where a character starts, and the first (or last) such match is the one reported.

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/TextOps.h"

using namespace ovx;

#include "../FuzzInput.h"

namespace {

using ovx::fuzz::Check;

// Offsets at which characters start, scanning from `begin` up to `end`.
std::vector<std::size_t> CharStarts(std::string_view s, std::size_t begin, std::size_t end) {
    std::vector<std::size_t> starts;
    for (std::size_t i = begin; i < end;) {
        starts.push_back(i);
        i += static_cast<std::uint8_t>(s[i]) >= 0x80 ? 2 : 1;
    }
    return starts;
}

bool Matches(std::string_view s, std::size_t at, std::string_view sought) {
    return at + sought.size() <= s.size() && s.substr(at, sought.size()) == sought;
}

std::uint8_t Fold(char c) {
    auto b = static_cast<std::uint8_t>(c);
    return b >= 'A' && b <= 'Z' ? static_cast<std::uint8_t>(b + 32) : b;
}

bool MatchesIgnoringCase(std::string_view s, std::size_t at, std::string_view sought) {
    if (at + sought.size() > s.size()) return false;
    for (std::size_t k = 0; k < sought.size(); ++k)
        if (Fold(s[at + k]) != Fold(sought[k])) return false;
    return true;
}

int ReferenceFind(std::string_view s, std::string_view sought, std::size_t begin) {
    if (begin >= s.size()) return -1;
    if (sought.empty()) return 1;
    for (std::size_t i : CharStarts(s, begin, s.size()))
        if (Matches(s, i, sought)) return static_cast<int>(i) + 1;
    return -1;
}

int ReferenceFindBackward(std::string_view s, std::string_view sought, std::size_t end) {
    if (end == 0) return -1;
    if (sought.empty()) return 1;
    int found = -1;
    for (std::size_t i : CharStarts(s, 0, end))
        if (i + sought.size() <= end && Matches(s, i, sought)) found = static_cast<int>(i) + 1;
    return found;
}

Text Join(const TextArray& parts, const Text& delimiter) {
    Text out;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) out += delimiter;
        out += parts[i];
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    // Layout: one control byte, one start byte, then text and sought separated by the first 0.
    const std::uint8_t control = data[0];
    const int startArg = static_cast<std::int8_t>(data[1]);
    std::string_view rest(reinterpret_cast<const char*>(data + 2), size - 2);
    std::size_t zero = rest.find('\0');
    const Text text(rest.substr(0, zero));
    const Text sought(zero == std::string_view::npos ? std::string_view() : rest.substr(zero + 1));
    const std::string_view s = text.view();
    const bool ignoreCase = control & 1;
    const std::optional<int> start = (control & 2) ? std::optional<int>(startArg) : std::nullopt;

    // Forward search.
    int pos = FindText(text, sought, start, ignoreCase);
    std::size_t begin = start && *start > 1 ? static_cast<std::size_t>(*start) - 1 : 0;
    if (!ignoreCase) Check(pos == ReferenceFind(s, sought.view(), begin));
    if (pos != -1 && !sought.empty()) {
        std::size_t at = static_cast<std::size_t>(pos) - 1;
        Check(at >= begin && MatchesIgnoringCase(s, at, sought.view()));
        if (!ignoreCase) Check(Matches(s, at, sought.view()));
        bool onBoundary = false;
        for (std::size_t i : CharStarts(s, begin, s.size())) onBoundary |= i == at;
        Check(onBoundary);
    }

    // Backward search.
    int back = FindTextBackward(text, sought, start, ignoreCase);
    std::size_t end = s.size();
    if (start) end = *start <= 1 ? 0 : std::min(end, static_cast<std::size_t>(*start) - 1);
    if (!ignoreCase) Check(back == ReferenceFindBackward(s, sought.view(), end));
    if (back != -1 && !sought.empty())
        Check(static_cast<std::size_t>(back) - 1 + sought.size() <= end &&
              MatchesIgnoringCase(s, static_cast<std::size_t>(back) - 1, sought.view()));

    // Replacing.
    const int count = (control & 4) ? static_cast<int>(control >> 4) - 1 : -1;
    const int replaceStart = start.value_or(1);
    Check(ReplaceText(text, sought, sought, replaceStart, count, true) == text);
    if (FindText(text, sought, replaceStart) == -1 || sought.empty())
        Check(ReplaceText(text, sought, Text("x"), replaceStart, count, true) == text);
    Text replaced = ReplaceText(text, sought, Text(), 1, -1, !ignoreCase);
    Check(replaced.size() <= text.size());

    // Splitting gives back the text when joined, less a dropped trailing delimiter.
    const Text delimiter = sought.empty() ? Text(",") : sought;
    TextArray parts = SplitText(text, delimiter);
    Text joined = Join(parts, delimiter);
    Check(joined == text || joined + delimiter == text);
    if (control & 8) {
        int max = control >> 5;
        TextArray limited = SplitText(text, delimiter, max);
        Check(limited.size() <= static_cast<std::size_t>(max));
        for (std::size_t i = 0; i < limited.size(); ++i) Check(limited[i] == parts[i]);
    }

    // Space removal is idempotent and never grows the text.
    Text trimmed = TrimSpaces(text);
    Check(TrimSpaces(trimmed) == trimmed);
    Check(s.find(trimmed.view()) != std::string_view::npos);
    Text removed = RemoveAllSpaces(text);
    Check(RemoveAllSpaces(removed) == removed);
    Check(removed.size() <= text.size());
    Check(ToLowerCase(text).size() == text.size());

    // Slicing with the start byte as count.
    Check(LeftText(text, startArg).size() <= text.size());
    Check(MidText(text, startArg, startArg * 7).size() <= text.size());
    (void)CharCodeAt(text, startArg);
    return 0;
}
