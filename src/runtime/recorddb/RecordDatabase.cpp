#include "runtime/recorddb/RecordDatabase.h"

namespace ovx {

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
