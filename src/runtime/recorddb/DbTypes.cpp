#include "runtime/recorddb/DbTypes.h"

namespace ovx {

int FieldSize(int type, int width) {
    switch (type) {
        case kFieldByte:
        case kFieldBool:
            return 1;
        case kFieldShort:
            return 2;
        case kFieldInt:
        case kFieldFloat:
        case kFieldRoutine:
        case kFieldBinary:
        case kFieldLongText:
            return 4;
        case kFieldInt64:
        case kFieldDouble:
        case kFieldDateTime:
            return 8;
        case kFieldText:
            return width;
        default:
            return 0;
    }
}

bool IsValidDbName(const Text& name) {
    std::size_t n = name.size();
    if (n < 1 || n > static_cast<std::size_t>(kMaxFieldNameBytes)) return false;
    if ((name[0] >= '0' && name[0] <= '9') || name[0] == '.') return false;
    for (std::size_t i = 0; i < n; ++i) {
        std::uint8_t c = name[i];
        if (c >= 0x81) {  // a double-byte character: lead byte and its trail byte
            if (i + 1 >= n || name[i + 1] < 0x40) return false;
            ++i;
            continue;
        }
        bool ok =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
        if (!ok) return false;
    }
    return true;
}

bool SameDbName(const Text& a, const Text& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        std::uint8_t x = a[i], y = b[i];
        if (x >= 0x81 && i + 1 < a.size()) {  // double-byte characters compare exactly
            if (x != y || a[i + 1] != b[i + 1]) return false;
            ++i;
            continue;
        }
        if (x >= 'a' && x <= 'z') x = static_cast<std::uint8_t>(x - 32);
        if (y >= 'a' && y <= 'z') y = static_cast<std::uint8_t>(y - 32);
        if (x != y) return false;
    }
    return true;
}

}  // namespace ovx
