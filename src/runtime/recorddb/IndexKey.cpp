#include "runtime/recorddb/IndexKey.h"

#include <algorithm>
#include <cstring>

#include "runtime/recorddb/LittleEndian.h"

namespace ovx {

namespace {

template <typename T>
int Order(T a, T b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

// Removes ASCII and full-width spaces from a zero-padded text part, keeping double-byte
// characters whole, and pads it again.
void DropSpaces(std::uint8_t* p, int size) {
    int out = 0;
    for (int i = 0; i < size && p[i] != 0;) {
        if (p[i] >= 0x81 && i + 1 < size && p[i + 1] != 0) {
            bool fullWidthSpace = p[i] == 0xA1 && p[i + 1] == 0xA1;
            if (!fullWidthSpace) {
                p[out++] = p[i];
                p[out++] = p[i + 1];
            }
            i += 2;
            continue;
        }
        if (p[i] != ' ') p[out++] = p[i];
        ++i;
    }
    std::memset(p + out, 0, static_cast<std::size_t>(size - out));
}

void UpperAscii(std::uint8_t* p, int size) {
    for (int i = 0; i < size && p[i] != 0; ++i) {
        if (p[i] >= 0x81) {
            ++i;  // the trail byte of a double-byte character stays as it is
            continue;
        }
        if (p[i] >= 'a' && p[i] <= 'z') p[i] = static_cast<std::uint8_t>(p[i] - 32);
    }
}

std::optional<double> AsNumber(const DbValue& v) {
    if (auto* i = std::get_if<std::int64_t>(&v)) return static_cast<double>(*i);
    if (auto* d = std::get_if<double>(&v)) return *d;
    if (auto* b = std::get_if<bool>(&v)) return *b ? 1.0 : 0.0;
    if (auto* t = std::get_if<DateTime>(&v)) return t->days;
    return std::nullopt;
}

std::optional<std::int64_t> AsInteger(const DbValue& v) {
    if (auto* i = std::get_if<std::int64_t>(&v)) return *i;
    auto d = AsNumber(v);
    if (!d) return std::nullopt;
    if (!(*d >= -9.2e18 && *d <= 9.2e18)) return 0;  // NaN and numbers out of range
    return static_cast<std::int64_t>(*d);
}

float AsFloat(double d) {
    if (!(d >= -3.4e38 && d <= 3.4e38)) return d != d ? 0.0f : (d < 0 ? -3.4e38f : 3.4e38f);
    return static_cast<float>(d);
}

}  // namespace

void KeyLayout::FromRecord(const std::uint8_t* record, std::uint8_t* out) const {
    std::uint8_t* p = out;
    for (const auto& part : parts) {
        std::memcpy(p, record + part.recordOffset, static_cast<std::size_t>(part.size));
        p += part.size;
    }
    Normalise(out);
}

void KeyLayout::Normalise(std::uint8_t* key) const {
    if (options == 0) return;
    std::uint8_t* p = key;
    for (const auto& part : parts) {
        if (part.type == kFieldText) {
            if (options & kKeyIgnoreSpaces) DropSpaces(p, part.size);
            if (options & kKeyIgnoreCase) UpperAscii(p, part.size);
        }
        p += part.size;
    }
}

int KeyLayout::Compare(const std::uint8_t* a, const std::uint8_t* b) const {
    for (const auto& part : parts) {
        int c = 0;
        switch (part.type) {
            case kFieldByte:
            case kFieldBool:
                c = part.type == kFieldBool ? Order(*a != 0, *b != 0) : Order(*a, *b);
                break;
            case kFieldShort:
                c = Order(le::I16(a), le::I16(b));
                break;
            case kFieldInt:
                c = Order(le::I32(a), le::I32(b));
                break;
            case kFieldRoutine:
                c = Order(le::U32(a), le::U32(b));
                break;
            case kFieldInt64:
                c = Order(static_cast<std::int64_t>(le::U64(a)),
                          static_cast<std::int64_t>(le::U64(b)));
                break;
            case kFieldFloat:
                c = Order(le::F32(a), le::F32(b));
                break;
            case kFieldDouble:
            case kFieldDateTime:
                c = Order(le::F64(a), le::F64(b));
                break;
            default:
                for (int i = 0; i < part.size; ++i) {
                    if (a[i] != b[i]) {
                        c = a[i] < b[i] ? -1 : 1;
                        break;
                    }
                    if (a[i] == 0) break;
                }
                break;
        }
        if (c != 0) return c;
        a += part.size;
        b += part.size;
    }
    return 0;
}

bool EncodeFieldValue(const DbValue& value, int type, int size, std::uint8_t* out) {
    std::memset(out, 0, static_cast<std::size_t>(size));
    if (type == kFieldText) {
        const Text* t = std::get_if<Text>(&value);
        if (!t) return false;
        std::memcpy(out, t->c_str(),
                    std::min<std::size_t>(t->size(), static_cast<std::size_t>(size)));
        return true;
    }
    if (type == kFieldBinary || type == kFieldLongText) return true;  // kept in the auxiliary file
    if (std::holds_alternative<Text>(value) || std::holds_alternative<Bytes>(value)) return false;
    switch (type) {
        case kFieldByte:
            *out = static_cast<std::uint8_t>(*AsInteger(value));
            break;
        case kFieldBool:
            *out = *AsNumber(value) != 0 ? 1 : 0;
            break;
        case kFieldShort:
            le::Put16(out, static_cast<std::uint16_t>(*AsInteger(value)));
            break;
        case kFieldInt:
        case kFieldRoutine:
            le::Put32(out, static_cast<std::uint32_t>(*AsInteger(value)));
            break;
        case kFieldInt64:
            le::Put64(out, static_cast<std::uint64_t>(*AsInteger(value)));
            break;
        case kFieldFloat:
            le::PutF32(out, AsFloat(*AsNumber(value)));
            break;
        case kFieldDouble:
        case kFieldDateTime:
            le::PutF64(out, *AsNumber(value));
            break;
        default:
            return false;
    }
    return true;
}

DbValue DecodeFieldValue(int type, int size, const std::uint8_t* in) {
    switch (type) {
        case kFieldByte:
            return std::int64_t{*in};
        case kFieldBool:
            return *in != 0;
        case kFieldShort:
            return std::int64_t{le::I16(in)};
        case kFieldInt:
            return std::int64_t{le::I32(in)};
        case kFieldRoutine:
            return std::int64_t{le::U32(in)};
        case kFieldInt64:
            return static_cast<std::int64_t>(le::U64(in));
        case kFieldFloat:
            return static_cast<double>(le::F32(in));
        case kFieldDouble:
            return le::F64(in);
        case kFieldDateTime:
            return DateTime{le::F64(in)};
        case kFieldText: {
            const void* nul = std::memchr(in, 0, static_cast<std::size_t>(size));
            std::size_t n =
                nul ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(nul) - in)
                    : static_cast<std::size_t>(size);
            return Text(reinterpret_cast<const char*>(in), n);
        }
        case kFieldBinary:
            return Bytes{};
        default:
            return Text();
    }
}

}  // namespace ovx
