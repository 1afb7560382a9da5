#pragma once
// Field types, field lists and values of the record database.

#include <cstdint>
#include <optional>
#include <variant>
#include <vector>

#include "runtime/DateTime.h"
#include "runtime/Text.h"

namespace ovx {

enum DbFieldType : int {
    kFieldByte = 1,
    kFieldShort = 2,
    kFieldInt = 3,
    kFieldInt64 = 4,
    kFieldFloat = 5,
    kFieldDouble = 6,
    kFieldBool = 7,
    kFieldDateTime = 8,
    kFieldRoutine = 9,
    kFieldText = 10,
    kFieldBinary = 11,
    kFieldLongText = 12,
};

inline constexpr int kMaxTextWidth = 1024;
inline constexpr int kMaxFieldNameBytes = 16;

// A field as given to CreateDatabase: the width counts for text fields only.
struct DbFieldSpec {
    Text name;
    int type = kFieldText;
    int width = 0;
};

// A field as the data file describes it.
struct DbField {
    Text name;
    int type = 0;
    int offset = 0;  // inside a record
    int size = 0;    // bytes in a record
};

// A field value: integers of every width as int64, float and double as double.
using DbValue = std::variant<std::int64_t, double, bool, DateTime, Text, Bytes>;

// The bytes a field of the type takes in a record (the width for text), 0 for an unknown type.
int FieldSize(int type, int width);

// A valid field or alias name: 1 to 16 bytes, not starting with a digit or ".", made of
// ASCII letters, digits, "_" and double-byte characters.
bool IsValidDbName(const Text& name);

// Names compared without regard to ASCII case.
bool SameDbName(const Text& a, const Text& b);

}  // namespace ovx
