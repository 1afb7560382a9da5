#pragma once
// The in-memory state of one open database: its files, field layout, current record and
// open indexes.

#include <cstdint>
#include <memory>
#include <vector>

#include "runtime/recorddb/DbFile.h"
#include "runtime/recorddb/DbTypes.h"
#include "runtime/recorddb/IndexFile.h"

namespace ovx {

inline constexpr int kMaxOpenIndexes = 10;

// The state of a database as far as its indexes can tell: every append changes it.
std::uint64_t StateOf(std::int32_t count, std::int32_t nextId);

struct OpenIndex {
    Text path;  // full path
    std::vector<Text> keyFields;
    std::unique_ptr<IndexFile> file;
};

class RecordDatabase {
  public:
    Text fullPath;
    Text fileName;
    OptText alias;
    bool readOnly = false;
    std::unique_ptr<DbFile> data;
    std::unique_ptr<DbFile> aux;
    std::vector<DbField> fields;
    int recordLength = 0;
    std::uint64_t dataStart = 0;
    std::int64_t current = 0;  // -1 for none
    std::vector<OpenIndex> indexes;
    int currentIndex = -1;
    // The record FindRecord is offering to its condition, or nullptr.
    const std::uint8_t* recordUnderTest = nullptr;

    std::uint64_t RecordOffset(std::int64_t n) const {
        return dataStart + static_cast<std::uint64_t>(n) * static_cast<std::uint64_t>(recordLength);
    }
    // The field by name (ASCII case ignored), or -1.
    int FieldIndex(const Text& name) const;
    KeyLayout LayoutFor(const std::vector<int>& keyFields) const;
};

}  // namespace ovx
