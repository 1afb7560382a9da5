#pragma once
// Text and byte-array value types.
//
// A Text holds bytes in the local code page (GBK / GB18030), never UTF-8: lengths and
// positions are bytes, positions count from 1. Like the C strings it stands for, a Text
// never contains a zero byte: construction cuts at the first one. Chinese literals in
// source files are UTF-8, so write them as "信息："_t, which converts to the local code page.

#include <compare>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace ovx {

using Bytes = std::vector<std::uint8_t>;

class Text {
public:
    Text() = default;
    explicit Text(std::string bytes);
    explicit Text(std::string_view bytes) : Text(std::string(bytes)) {}
    explicit Text(const char* bytes) : Text(std::string(bytes ? bytes : "")) {}
    Text(const char* bytes, std::size_t n) : Text(std::string(bytes, n)) {}

    const std::string& bytes() const { return bytes_; }
    std::string_view view() const { return bytes_; }
    const char* c_str() const { return bytes_.c_str(); }
    std::size_t size() const { return bytes_.size(); }
    bool empty() const { return bytes_.empty(); }
    // The byte at a 0-based index, as unsigned.
    std::uint8_t operator[](std::size_t i) const { return static_cast<std::uint8_t>(bytes_[i]); }

    Text& operator+=(const Text& other) {
        bytes_ += other.bytes_;
        return *this;
    }
    friend Text operator+(Text a, const Text& b) { return a += b; }
    friend bool operator==(const Text&, const Text&) = default;
    friend std::strong_ordering operator<=>(const Text&, const Text&) = default;

private:
    std::string bytes_;
};

// An optional argument that can be told apart from one given empty.
using OptText = std::optional<Text>;

// For test failure messages: the bytes shown as UTF-8 where they convert.
void PrintTo(const Text& t, std::ostream* os);

inline namespace literals {
// A UTF-8 source literal converted to the local code page.
Text operator""_t(const char* utf8, std::size_t n);
}  // namespace literals

}  // namespace ovx
