#include "runtime/recorddb/RecordDatabase.h"

namespace ovx {

std::uint64_t StateOf(std::int32_t count, std::int32_t nextId) {
    return static_cast<std::uint64_t>(static_cast<std::uint32_t>(count)) << 32 |
           static_cast<std::uint32_t>(nextId);
}

int RecordDatabase::FieldIndex(const Text& name) const {
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (SameDbName(fields[i].name, name)) return static_cast<int>(i);
    }
    return -1;
}

KeyLayout RecordDatabase::LayoutFor(const std::vector<int>& keyFields) const {
    KeyLayout layout;
    for (int i : keyFields) {
        const DbField& f = fields[static_cast<std::size_t>(i)];
        layout.parts.push_back({f.type, f.size, f.offset});
        layout.length += f.size;
    }
    return layout;
}

}  // namespace ovx
