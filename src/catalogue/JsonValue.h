#pragma once
// JsonValue: one parsed JSON value of a service answer, on json-c.
//
// Texts in and out are local-code-page texts. Parsing turns every \uXXXX escape into the
// character's GB18030 bytes (surrogate pairs decoded; ASCII escapes give the character). The
// text form writes strings in double quotes with '"', '\' and '/' escaped by a backslash,
// \b \t \n \r for those controls, other controls as \u00XX, and every other byte unchanged;
// numbers in decimal. A 16- to 19-digit integer keeps all its digits.
//
// Parsing is bounded: answers over kMaxJsonBytes or nested deeper than kMaxJsonDepth are
// refused (false, null value), never a crash.

#include <cstddef>
#include <memory>

#include "runtime/Text.h"

namespace ovx {

inline constexpr std::size_t kMaxJsonBytes = std::size_t{64} << 20;
inline constexpr int kMaxJsonDepth = 64;

class JsonValue {
  public:
    // Null.
    JsonValue();
    ~JsonValue();
    JsonValue(const JsonValue& other);
    JsonValue& operator=(const JsonValue& other);
    JsonValue(JsonValue&& other) noexcept;
    JsonValue& operator=(JsonValue&& other) noexcept;

    // Replaces the held value with the one parsed from `text`; false (and null) on a syntax
    // error or when a bound is exceeded.
    bool Parse(const Text& text);

    // The member of that key; null when this is not an object or has no such member.
    JsonValue Member(const Text& key) const;
    JsonValue Member(const char* asciiKey) const;
    // The element at a 0-based index; null when this is not an array or out of range.
    JsonValue Element(int index) const;
    // Array length; 0 when this is not an array.
    int Length() const;
    bool IsNull() const;
    bool IsArray() const;
    // The JSON text; "null" for null.
    Text ToText() const;
    // ToText() with every double quote removed: how the service's members are read (a
    // missing member reads "null").
    Text MemberText(const char* asciiKey) const;
    // A string member as the text it holds (escapes resolved), every control character
    // (line breaks and tabs among them) a space; a number or true/false as its JSON text;
    // empty for a missing member, null, an object or an array.
    Text MemberString(const char* asciiKey) const;

  private:
    struct Impl;
    explicit JsonValue(std::shared_ptr<const Impl> impl, void* value);
    // Keeps the parsed document alive while any value taken from it is held.
    std::shared_ptr<const Impl> doc_;
    void* value_ = nullptr;  // json_object*, owned by doc_
};

}  // namespace ovx
