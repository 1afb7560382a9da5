#include "runtime/recorddb/DataFileLayout.h"

#include <algorithm>
#include <cstring>
#include <ctime>

#include "runtime/recorddb/DbError.h"
#include "runtime/recorddb/LittleEndian.h"

namespace ovx {

std::vector<DbField> LayOutFields(const std::vector<DbFieldSpec>& specs) {
    std::vector<DbField> fields;
    int offset = 4;
    for (const auto& s : specs) {
        int size = FieldSize(s.type, s.width);
        fields.push_back({s.name, s.type, offset, size});
        offset += size;
    }
    return fields;
}

int RecordLengthOf(const std::vector<DbField>& fields) {
    int length = 4;
    for (const auto& f : fields) length += f.size;
    return length;
}

Bytes EncodeDataFileStart(const std::vector<DbField>& fields, double created) {
    Bytes b(kDataHeaderSize + 4 + kFieldDescriptorSize * fields.size(), 0);
    std::memcpy(b.data(), "ZQDB", 4);
    le::Put32(&b[4], kDbVersion);
    le::PutF64(&b[8], created);
    le::Put32(&b[16], 0);
    le::Put32(&b[20], 1);
    le::Put32(&b[24], static_cast<std::uint32_t>(RecordLengthOf(fields)));
    le::Put32(&b[112], static_cast<std::uint32_t>(fields.size()));
    std::uint8_t* d = &b[116];
    for (const auto& f : fields) {
        std::memcpy(d, f.name.c_str(), std::min<std::size_t>(f.name.size(), 16));
        le::Put32(d + 20, static_cast<std::uint32_t>(f.type));
        le::Put32(d + 24, static_cast<std::uint32_t>(f.offset));
        le::Put32(d + 28, static_cast<std::uint32_t>(f.type == kFieldText ? f.size : 0));
        d += kFieldDescriptorSize;
    }
    return b;
}

int ParseDataHeader(const std::uint8_t* bytes, DataHeader& header) {
    if (std::memcmp(bytes, "ZQDB", 4) != 0) return kDbNotDatabase;
    header.version = le::U32(bytes + 4);
    header.created = le::F64(bytes + 8);
    header.count = le::I32(bytes + 16);
    header.nextId = le::I32(bytes + 20);
    header.recordLength = le::I32(bytes + 24);
    if (header.recordLength <= 0 || header.nextId <= 0 || header.count < 0) return kDbNotDatabase;
    if (header.recordLength > kMaxRecordLength) return kDbNotDatabase;
    if (header.version > kDbVersion) return kDbVersionTooNew;
    return kDbOk;
}

int ParseFieldDescriptors(const std::uint8_t* bytes, int n, int recordLength,
                          std::vector<DbField>& fields) {
    fields.clear();
    for (int i = 0; i < n; ++i) {
        const std::uint8_t* d = bytes + static_cast<std::size_t>(i) * kFieldDescriptorSize;
        const void* nul = std::memchr(d, 0, 17);
        if (!nul) return kDbNotDatabase;
        DbField f;
        f.name = Text(reinterpret_cast<const char*>(d));
        f.type = le::I32(d + 20);
        f.offset = le::I32(d + 24);
        int width = le::I32(d + 28);
        if (f.offset < 0 || f.type < kFieldByte || f.type > kFieldLongText) return kDbNotDatabase;
        if (f.type == kFieldText && (width <= 0 || width > kMaxRecordLength)) return kDbNotDatabase;
        f.size = FieldSize(f.type, width);
        // A field that reaches outside the record would read a neighbour's bytes or beyond.
        if (f.offset < 4 || f.offset > recordLength - f.size) return kDbNotDatabase;
        fields.push_back(std::move(f));
    }
    return kDbOk;
}

int ReadDataFileStart(DbFile& file, DataFileStart& start) {
    std::uint8_t head[kDataHeaderSize + 4];
    if (file.Read(0, head, kDataHeaderSize)) return kDbNotDatabase;
    if (int rc = ParseDataHeader(head, start.header)) return rc;
    if (int rc = file.Size(start.size)) return rc;
    if (start.size < kDataHeaderSize + 4) return kDbNotDatabase;
    if (file.Read(kDataHeaderSize, head + kDataHeaderSize, 4)) return kDbNotDatabase;
    std::int32_t fieldCount = le::I32(head + kDataHeaderSize);
    std::uint64_t room = (start.size - kDataHeaderSize - 4) / kFieldDescriptorSize;
    if (fieldCount < 1 || static_cast<std::uint64_t>(fieldCount) > room) return kDbNotDatabase;
    Bytes descriptors(static_cast<std::size_t>(fieldCount) * kFieldDescriptorSize);
    if (file.Read(kDataHeaderSize + 4, descriptors.data(), descriptors.size()))
        return kDbNotDatabase;
    if (ParseFieldDescriptors(descriptors.data(), fieldCount, start.header.recordLength,
                              start.fields))
        return kDbNotDatabase;
    start.dataStart = kDataHeaderSize + 4 + descriptors.size();
    const auto length = static_cast<std::uint64_t>(start.header.recordLength);
    start.wholeRecords = (start.size - start.dataStart) / length;
    start.trailingBytes = (start.size - start.dataStart) % length;
    return kDbOk;
}

double CurrentDbTime() {
    std::time_t t = std::time(nullptr);
    std::tm local{};
    localtime_r(&t, &local);
    // Days from 1899-12-30 to the civil date, then the time of day.
    int y = local.tm_year + 1900, m = local.tm_mon + 1, d = local.tm_mday;
    y -= m <= 2;
    int era = (y >= 0 ? y : y - 399) / 400;
    int yoe = y - era * 400;
    int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    long days1970 = static_cast<long>(era) * 146097 + doe - 719468;
    double days = static_cast<double>(days1970 + 25569);
    return days + (local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec) / 86400.0;
}

}  // namespace ovx
