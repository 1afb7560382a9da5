#pragma once
// Conversions between texts, numbers, date-times and bytes. Never fail loudly: unreadable
// text gives 0, or kMinDateTime for a date-time.

#include <cstdint>
#include <cstring>
#include <type_traits>

#include "runtime/DateTime.h"
#include "runtime/Text.h"

namespace ovx {

Text ToText(const Text& value);
Text ToText(bool value);           // "真" / "假"
Text ToText(std::uint8_t value);   // unsigned decimal
Text ToText(std::int16_t value);
Text ToText(int value);
Text ToText(std::int64_t value);
Text ToText(float value);          // "%.6g"
Text ToText(double value);         // "%.13g"
Text ToText(DateTime value);       // "2016年3月5日14时"
Text ToText(const Bytes& value);   // up to the first zero byte

int ToInt(const Text& text);
int ToInt(double value);
int ToInt(bool value);
std::int64_t ToInt64(const Text& text);
std::int64_t ToInt64(double value);
double ToDouble(const Text& text);
DateTime ToDateTime(const Text& text);
DateTime ToDateTime(DateTime value);

Bytes ToBytes(const Text& text);
// A number's little-endian machine representation.
template <typename T>
    requires std::is_arithmetic_v<T>
Bytes ToBytes(T value) {
    Bytes out(sizeof(T));
    std::memcpy(out.data(), &value, sizeof(T));
    return out;
}

// Full-width ASCII forms (A3 A1..A3 FE) and the full-width space (A1 A1) folded to ASCII.
Text FoldFullWidth(const Text& text);

}  // namespace ovx
