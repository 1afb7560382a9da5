#pragma once
// The record database operations on the process's engine (ProcessRecordEngine): the list of
// open databases and the current database are the process's.

#include "runtime/recorddb/DbError.h"
#include "runtime/recorddb/RecordEngine.h"

namespace ovx {

inline bool CreateDatabase(const Text& file, const std::vector<DbFieldSpec>& fields) {
    return ProcessRecordEngine().CreateDatabase(file, fields);
}
inline bool OpenDatabase(const Text& file, const DbOpenOptions& options = {}) {
    return ProcessRecordEngine().OpenDatabase(file, options);
}
inline bool FindRecord(const std::function<bool()>& condition) {
    return ProcessRecordEngine().FindRecord(condition);
}
inline DbValue ReadField(const Text& name) {
    return ProcessRecordEngine().ReadField(name);
}
inline DbValue ReadField(int number) {
    return ProcessRecordEngine().ReadField(number);
}
inline bool AddRecord(const std::vector<DbValue>& values) {
    return ProcessRecordEngine().AddRecord(values);
}
inline bool CloseDatabase(const OptText& name = std::nullopt) {
    return ProcessRecordEngine().CloseDatabase(name);
}
inline bool CreateIndex(const Text& file, const std::vector<Text>& keyFields,
                        const DbIndexOptions& options = {}) {
    return ProcessRecordEngine().CreateIndex(file, keyFields, options);
}
inline bool SeekIndex(const std::vector<DbValue>& values) {
    return ProcessRecordEngine().SeekIndex(values);
}

}  // namespace ovx
