#pragma once
// The data file's header and field descriptors, encoded and checked.
//
// Layout: "ZQDB", version, creation time (double), record count, next record id, record
// length, 84 zero bytes, field count, then one 72-byte descriptor per field; the records
// follow, each a 4-byte record id and the fields at their offsets.

#include <cstdint>
#include <vector>

#include "runtime/recorddb/DbFile.h"
#include "runtime/recorddb/DbTypes.h"

namespace ovx {

inline constexpr std::uint32_t kDbVersion = 0x00010000;
inline constexpr int kDataHeaderSize = 112;
inline constexpr int kFieldDescriptorSize = 72;
inline constexpr int kCountOffset = 16;  // record count, then next record id
inline constexpr std::uint64_t kWholeFileLockLength = 0x80000000;
// Records longer than this are not taken for real (no field list gets there).
inline constexpr int kMaxRecordLength = 4 + 512 * kMaxTextWidth;

struct DataHeader {
    double created = 0;
    std::int32_t count = 0;
    std::int32_t nextId = 1;
    std::int32_t recordLength = 0;
    std::uint32_t version = kDbVersion;
};

// What the start of a data file says, and how it fits the file's size.
struct DataFileStart {
    DataHeader header;
    std::vector<DbField> fields;
    std::uint64_t size = 0;       // of the whole file
    std::uint64_t dataStart = 0;  // where record 0 begins
    std::uint64_t wholeRecords = 0;
    std::uint64_t trailingBytes = 0;  // after the last whole record

    // Whole records beyond the header's count (negative when the count promises more).
    std::int64_t ExtraRecords() const {
        return static_cast<std::int64_t>(wholeRecords) - header.count;
    }
    // An append writes its record before the count, so a crash leaves at most one record
    // beyond the count. More than that means the count itself is wrong, and cutting the file
    // back to it would destroy records.
    bool CountDamaged() const { return ExtraRecords() >= 2; }
};

// Reads and checks the header and field descriptors of an open data file: kDbNotDatabase,
// kDbVersionTooNew or a file error on failure. Changes nothing.
int ReadDataFileStart(DbFile& file, DataFileStart& start);

// Fields with their offsets from field specs (already checked).
std::vector<DbField> LayOutFields(const std::vector<DbFieldSpec>& specs);
int RecordLengthOf(const std::vector<DbField>& fields);

// Header and descriptors of a new, empty data file.
Bytes EncodeDataFileStart(const std::vector<DbField>& fields, double created);

// Checks the 112-byte header: kDbNotDatabase or kDbVersionTooNew on failure.
int ParseDataHeader(const std::uint8_t* bytes, DataHeader& header);

// Checks n descriptors (72 bytes each) against the record length: kDbNotDatabase on failure.
int ParseFieldDescriptors(const std::uint8_t* bytes, int n, int recordLength,
                          std::vector<DbField>& fields);

// Days since 1899-12-30 00:00, local time, now.
double CurrentDbTime();

}  // namespace ovx
