#pragma once
// Byte-array operations.

#include <cstdint>
#include <optional>
#include <variant>

#include "runtime/DateTime.h"
#include "runtime/Text.h"

namespace ovx {

int BytesLength(const Bytes& bytes);
Bytes LeftBytes(const Bytes& bytes, int n);
Bytes ZeroBytes(int n);
Bytes ReplaceBytes(const Bytes& bytes, const Bytes& sought, const Bytes& replacement = Bytes(),
                   int start = 1, int count = -1);

// Kinds for ReadBytesValue.
enum ValueKind : int {
    kByteValue = 1, kShortValue, kIntValue, kInt64Value, kFloatValue, kDoubleValue,
    kBoolValue, kDateTimeValue, kAddressValue, kTextValue
};
using BytesValue = std::variant<std::uint8_t, std::int16_t, std::int32_t, std::int64_t, float,
                                double, bool, DateTime, std::uintptr_t, Text>;

// The value of the given kind at the 1-based *position (1 when null); numbers little-endian,
// missing bytes read as zero. *position is advanced past the value, or set to -1 when the end
// was reached. A kind outside 1-10 is a fatal run-time error.
BytesValue ReadBytesValue(const Bytes& bytes, int kind, int* position = nullptr);

}  // namespace ovx
