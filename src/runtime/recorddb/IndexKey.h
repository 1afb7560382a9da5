#pragma once
// Index keys: the bytes taken from a record's key fields, and their order.

#include <cstdint>
#include <vector>

#include "runtime/recorddb/DbTypes.h"

namespace ovx {

inline constexpr int kMaxKeyLength = 80;
inline constexpr int kMaxKeyFields = 8;
inline constexpr int kKeyIgnoreCase = 1;
inline constexpr int kKeyIgnoreSpaces = 2;

struct KeyPart {
    int type = 0;
    int size = 0;
    int recordOffset = 0;  // where the field lies in a record
};

struct KeyLayout {
    std::vector<KeyPart> parts;
    int length = 0;
    int collation = 0;  // kinds 1 and 2 order like kind 0
    int options = 0;

    // The key of a record (length bytes written to out).
    void FromRecord(const std::uint8_t* record, std::uint8_t* out) const;
    // Applies the key options to freshly formed key bytes.
    void Normalise(std::uint8_t* key) const;
    // Negative, zero or positive as a orders before, with or after b.
    int Compare(const std::uint8_t* a, const std::uint8_t* b) const;
};

// Stores a value in a field's record form (text cut or zero-padded to the size); false when
// the value's kind does not fit the field type.
bool EncodeFieldValue(const DbValue& value, int type, int size, std::uint8_t* out);
// A field's value from its record form.
DbValue DecodeFieldValue(int type, int size, const std::uint8_t* in);

}  // namespace ovx
