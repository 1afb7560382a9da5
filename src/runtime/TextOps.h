#pragma once
// Text operations on local-code-page bytes. Positions are 1-based, a failed search gives -1.
// Searching, replacing, splitting and space removal step over double-byte characters
// (lead byte 0x80 or above) as a whole; slicing counts plain bytes.

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

#include "runtime/Text.h"

namespace ovx {

// An array of texts: elements are addressed from 1 to its count through ArrayAt.
using TextArray = std::vector<Text>;

int TextLength(const Text& text);
Text LeftText(const Text& text, int n);
Text RightText(const Text& text, int n);
Text MidText(const Text& text, int start, int n);

int FindText(const Text& text, const Text& sought, std::optional<int> start = std::nullopt,
             bool ignoreCase = false);
int FindTextBackward(const Text& text, const Text& sought, std::optional<int> start = std::nullopt,
                     bool ignoreCase = false);
// count -1 (or omitted) means no limit.
Text ReplaceText(const Text& text, const Text& sought, const Text& replacement = Text(),
                 int start = 1, int count = -1, bool caseSensitive = true);
TextArray SplitText(const Text& text, const Text& delimiter = Text(","),
                    std::optional<int> maxCount = std::nullopt);

Text TrimSpaces(const Text& text);
// ASCII spaces and tabs (and a trailing CR) off both ends of a header-like line.
std::string_view TrimAsciiSpaces(std::string_view text);
// True when `text` starts with `prefix`, ASCII letters compared without case.
bool StartsWithNoCase(std::string_view text, std::string_view prefix);
// True for 1 to `maxLength` ASCII digits and nothing else. Each use names its own bound
// (IsUserId, the record store's user ids, a post id, a date field).
bool IsAsciiDigits(std::string_view text, std::size_t maxLength);
Text RemoveAllSpaces(const Text& text);
Text ToLowerCase(const Text& text);
Text CharFromCode(int code);
int CharCodeAt(const Text& text, int position = 1);
Text SpaceText(int n);
Text RepeatText(int n, const Text& text);

// The element at a 1-based index; an index outside 1..count is a fatal run-time error
// (code 4 below 1, code 1 above the count).
const Text& ArrayAt(const TextArray& array, int index);

}  // namespace ovx
