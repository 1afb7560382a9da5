#include "runtime/TextOps.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <new>
#include <string>

#include "runtime/Fatal.h"

namespace ovx {
namespace {

using Index = std::size_t;

bool IsLead(std::uint8_t byte) {
    return byte >= 0x80;
}

std::uint8_t FoldAscii(std::uint8_t byte) {
    return (byte >= 'A' && byte <= 'Z') ? static_cast<std::uint8_t>(byte + ('a' - 'A')) : byte;
}

// Compares `sought` with the bytes of `text` at `at`; the caller has checked the length.
// Case folding touches ASCII letters only, never the trail byte of a double-byte character.
bool MatchesAt(std::string_view text, Index at, std::string_view sought, bool ignoreCase) {
    if (!ignoreCase) return text.compare(at, sought.size(), sought) == 0;
    bool trail = false;
    for (Index k = 0; k < sought.size(); ++k) {
        auto a = static_cast<std::uint8_t>(text[at + k]);
        auto b = static_cast<std::uint8_t>(sought[k]);
        if (trail) {
            if (a != b) return false;
            trail = false;
        } else if (IsLead(b)) {
            if (a != b) return false;
            trail = true;
        } else if (FoldAscii(a) != FoldAscii(b)) {
            return false;
        }
    }
    return true;
}

// The index of the next character after the one at `i` in a scan limited to `end`, or `end`
// when the character at `i` is a lead byte with nothing after it.
Index NextChar(std::string_view text, Index i, Index end) {
    if (IsLead(static_cast<std::uint8_t>(text[i]))) return i + 2 <= end ? i + 2 : end;
    return i + 1;
}

// The length of the space at `i` (1 for 0x20, 2 for the full-width pair A1 A1), or 0.
Index SpaceAt(std::string_view text, Index i) {
    if (text[i] == ' ') return 1;
    if (static_cast<std::uint8_t>(text[i]) == 0xA1 && i + 1 < text.size() &&
        static_cast<std::uint8_t>(text[i + 1]) == 0xA1)
        return 2;
    return 0;
}

int ToPosition(Index index) {
    return static_cast<int>(index) + 1;
}

}  // namespace

int TextLength(const Text& text) {
    return static_cast<int>(text.size());
}

Text LeftText(const Text& text, int n) {
    if (n <= 0) return Text();
    return Text(text.view().substr(0, static_cast<Index>(n)));
}

Text RightText(const Text& text, int n) {
    if (n <= 0) return Text();
    Index take = std::min(static_cast<Index>(n), text.size());
    return Text(text.view().substr(text.size() - take));
}

Text MidText(const Text& text, int start, int n) {
    if (start < 1 || n <= 0 || static_cast<Index>(start) > text.size()) return Text();
    return Text(text.view().substr(static_cast<Index>(start) - 1, static_cast<Index>(n)));
}

int FindText(const Text& text, const Text& sought, std::optional<int> start, bool ignoreCase) {
    std::string_view hay = text.view();
    std::string_view needle = sought.view();
    Index begin = start && *start > 1 ? static_cast<Index>(*start) - 1 : 0;
    if (begin >= hay.size()) return -1;
    if (needle.empty()) return 1;
    for (Index i = begin; hay.size() - i >= needle.size();) {
        if (MatchesAt(hay, i, needle, ignoreCase)) return ToPosition(i);
        i = NextChar(hay, i, hay.size());
    }
    return -1;
}

int FindTextBackward(const Text& text, const Text& sought, std::optional<int> start,
                     bool ignoreCase) {
    std::string_view hay = text.view();
    Index end = hay.size();
    if (start) {
        if (*start <= 1) return -1;
        end = std::min(end, static_cast<Index>(*start) - 1);
    }
    if (end == 0) return -1;
    std::string_view needle = sought.view();
    if (needle.empty()) return 1;
    int found = -1;
    for (Index i = 0; i < end && end - i >= needle.size();) {
        if (MatchesAt(hay, i, needle, ignoreCase)) found = ToPosition(i);
        i = NextChar(hay, i, end);
    }
    return found;
}

Text ReplaceText(const Text& text, const Text& sought, const Text& replacement, int start,
                 int count, bool caseSensitive) {
    std::string_view in = text.view();
    std::string_view needle = sought.view();
    if (in.empty() || needle.empty() || count == 0) return text;
    Index begin = start > 1 ? static_cast<Index>(start) - 1 : 0;
    if (begin >= in.size()) return text;

    std::string out(in.substr(0, begin));
    out.reserve(in.size());
    Index i = begin;
    while (in.size() - i >= needle.size()) {
        if (MatchesAt(in, i, needle, !caseSensitive)) {
            out += replacement.view();
            i += needle.size();
            if (count > 0 && --count == 0) break;
        } else {
            Index next = NextChar(in, i, in.size());
            out.append(in.substr(i, next - i));
            i = next;
        }
    }
    out.append(in.substr(i));
    return Text(std::move(out));
}

TextArray SplitText(const Text& text, const Text& delimiter, std::optional<int> maxCount) {
    TextArray parts;
    std::string_view in = text.view();
    if (in.empty() || (maxCount && *maxCount <= 0)) return parts;
    std::string_view delim = delimiter.view();
    if (delim.empty()) {
        parts.push_back(text);
        return parts;
    }
    const Index limit = maxCount ? static_cast<Index>(*maxCount) : SIZE_MAX;
    Index pieceStart = 0;
    for (Index i = 0; i < in.size();) {
        if (in.size() - i >= delim.size() && in.compare(i, delim.size(), delim) == 0) {
            parts.emplace_back(in.substr(pieceStart, i - pieceStart));
            if (parts.size() >= limit) return parts;
            i += delim.size();
            pieceStart = i;
        } else {
            i = NextChar(in, i, in.size());
        }
    }
    if (pieceStart < in.size()) parts.emplace_back(in.substr(pieceStart));
    return parts;
}

std::string_view TrimAsciiSpaces(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    const auto lower = [](char c) {
        return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    };
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (lower(text[i]) != lower(prefix[i])) return false;
    }
    return true;
}

bool IsAsciiDigits(std::string_view text, std::size_t maxLength) {
    if (text.empty() || text.size() > maxLength) return false;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

Text TrimSpaces(const Text& text) {
    std::string_view in = text.view();
    Index first = 0;
    while (first < in.size()) {
        Index space = SpaceAt(in, first);
        if (space == 0) break;
        first += space;
    }
    Index cut = in.size();  // start of the current run of spaces, or the end when none
    for (Index i = first; i < in.size();) {
        if (Index space = SpaceAt(in, i)) {
            if (cut == in.size()) cut = i;
            i += space;
        } else {
            cut = in.size();
            i = NextChar(in, i, in.size());
        }
    }
    return Text(in.substr(first, cut - first));
}

Text RemoveAllSpaces(const Text& text) {
    std::string_view in = text.view();
    std::string out;
    out.reserve(in.size());
    for (Index i = 0; i < in.size();) {
        if (Index space = SpaceAt(in, i)) {
            i += space;
        } else {
            Index next = NextChar(in, i, in.size());
            out.append(in.substr(i, next - i));
            i = next;
        }
    }
    return Text(std::move(out));
}

Text ToLowerCase(const Text& text) {
    std::string out = text.bytes();
    for (Index i = 0; i < out.size();) {
        auto byte = static_cast<std::uint8_t>(out[i]);
        if (IsLead(byte)) {
            i += 2;  // the trail byte of a double-byte character is not a letter
        } else {
            out[i] = static_cast<char>(FoldAscii(byte));
            ++i;
        }
    }
    return Text(std::move(out));
}

Text CharFromCode(int code) {
    char byte = static_cast<char>(static_cast<std::uint8_t>(code));
    if (byte == 0) return Text();
    return Text(std::string(1, byte));
}

int CharCodeAt(const Text& text, int position) {
    if (position < 1 || static_cast<Index>(position) > text.size()) return 0;
    return static_cast<signed char>(text.bytes()[static_cast<Index>(position) - 1]);
}

namespace {

// Texts are addressed with int positions, so a result longer than INT_MAX bytes cannot be
// used; such a request gives "", and an allocation that fails is a fatal error.
Text Repeated(std::int64_t n, std::string_view unit) {
    if (n <= 0 || unit.empty()) return Text();
    if (static_cast<std::int64_t>(unit.size()) > INT_MAX / n) return Text();
    Index total = static_cast<Index>(n) * unit.size();
    std::string out;
    try {
        out.reserve(total);
    } catch (const std::bad_alloc&) {
        FatalError(std::nullopt, "分配 "_t + Text(std::to_string(total)) + " 字节内存失败!"_t);
    }
    for (std::int64_t k = 0; k < n; ++k) out += unit;
    return Text(std::move(out));
}

}  // namespace

Text SpaceText(int n) {
    return Repeated(n, " ");
}

Text RepeatText(int n, const Text& text) {
    return Repeated(n, text.view());
}

const Text& ArrayAt(const TextArray& array, int index) {
    if (index < 1) FatalError(kErrorIndexBelowOne, "数组成员引用下标必须大于等于1"_t);
    if (static_cast<Index>(index) > array.size())
        FatalError(kErrorIndexAboveCount, "数组成员引用下标超出定义范围"_t);
    return array[static_cast<Index>(index) - 1];
}

}  // namespace ovx
