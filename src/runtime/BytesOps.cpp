#include "runtime/BytesOps.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#include "runtime/Fatal.h"

namespace ovx {
namespace {

// `size` bytes at the 0-based `at`, the missing ones as zero.
template <typename T>
T ReadLittleEndian(const Bytes& bytes, std::size_t at) {
    std::uint8_t raw[sizeof(T)] = {};
    if (at < bytes.size()) {
        std::size_t n = std::min(sizeof(T), bytes.size() - at);
        std::memcpy(raw, bytes.data() + at, n);
    }
    T value;
    std::memcpy(&value, raw, sizeof(T));  // the platforms we build for are little-endian
    return value;
}

}  // namespace

int BytesLength(const Bytes& bytes) { return static_cast<int>(bytes.size()); }

Bytes LeftBytes(const Bytes& bytes, int n) {
    if (n <= 0) return Bytes();
    std::size_t take = std::min(static_cast<std::size_t>(n), bytes.size());
    return Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(take));
}

Bytes ZeroBytes(int n) {
    if (n <= 0) return Bytes();
    try {
        return Bytes(static_cast<std::size_t>(n), 0);
    } catch (const std::bad_alloc&) {
        FatalError(std::nullopt, "分配 "_t + Text(std::to_string(n)) + " 字节内存失败!"_t);
    }
}

Bytes ReplaceBytes(const Bytes& bytes, const Bytes& sought, const Bytes& replacement, int start,
                   int count) {
    if (bytes.empty() || sought.empty() || count == 0) return bytes;
    std::size_t begin = start > 1 ? static_cast<std::size_t>(start) - 1 : 0;
    if (begin >= bytes.size()) return bytes;

    Bytes out(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(begin));
    out.reserve(bytes.size());
    std::size_t i = begin;
    while (bytes.size() - i >= sought.size()) {
        if (std::memcmp(bytes.data() + i, sought.data(), sought.size()) == 0) {
            out.insert(out.end(), replacement.begin(), replacement.end());
            i += sought.size();
            if (count > 0 && --count == 0) break;
        } else {
            out.push_back(bytes[i++]);
        }
    }
    out.insert(out.end(), bytes.begin() + static_cast<std::ptrdiff_t>(i), bytes.end());
    return out;
}

BytesValue ReadBytesValue(const Bytes& bytes, int kind, int* position) {
    if (kind < kByteValue || kind > kTextValue)
        FatalError(std::nullopt, "“欲取出数据的类型”参数值无效"_t);
    const int start = position ? *position : 1;
    // A position before the array reads nothing: every byte is missing.
    const std::size_t at = start >= 1 ? static_cast<std::size_t>(start) - 1 : bytes.size();

    BytesValue value;
    std::size_t size = 0;
    switch (kind) {
    case kByteValue: value = ReadLittleEndian<std::uint8_t>(bytes, at), size = 1; break;
    case kShortValue: value = ReadLittleEndian<std::int16_t>(bytes, at), size = 2; break;
    case kIntValue: value = ReadLittleEndian<std::int32_t>(bytes, at), size = 4; break;
    case kInt64Value: value = ReadLittleEndian<std::int64_t>(bytes, at), size = 8; break;
    case kFloatValue: value = ReadLittleEndian<float>(bytes, at), size = 4; break;
    case kDoubleValue: value = ReadLittleEndian<double>(bytes, at), size = 8; break;
    case kBoolValue: value = ReadLittleEndian<std::int32_t>(bytes, at) != 0, size = 4; break;
    case kDateTimeValue: value = DateTime{ReadLittleEndian<double>(bytes, at)}, size = 8; break;
    case kAddressValue:
        // Stored routine addresses are 32-bit.
        value = static_cast<std::uintptr_t>(ReadLittleEndian<std::uint32_t>(bytes, at)), size = 4;
        break;
    default: {
        std::size_t end = at;
        while (end < bytes.size() && bytes[end] != 0) ++end;
        value = at < bytes.size()
                    ? Text(reinterpret_cast<const char*>(bytes.data() + at), end - at)
                    : Text();
        size = end - std::min(at, end) + 1;  // the text and its terminating zero
        break;
    }
    }
    if (position) {
        std::size_t next = at + size;  // 0-based index of the byte after the value
        *position = start < 1 || next >= bytes.size() ? -1 : static_cast<int>(next) + 1;
    }
    return value;
}

}  // namespace ovx
