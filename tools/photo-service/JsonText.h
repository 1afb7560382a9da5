#pragma once
// JSON strings written the way the real service writes them: '/' as "\/", and every
// non-ASCII character as \uXXXX (surrogate pairs above U+FFFF).

#include <string>
#include <string_view>

namespace photoservice {

// `utf8` as a quoted JSON string. Invalid UTF-8 bytes become U+FFFD. With `escapeUnicode`
// false, non-ASCII characters are written as UTF-8.
std::string JsonString(std::string_view utf8, bool escapeUnicode = true);

// Escapes '<', '>', '&' and '"' for HTML text and attribute values.
std::string HtmlEscape(std::string_view text);

}  // namespace photoservice
