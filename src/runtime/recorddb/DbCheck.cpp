#include "runtime/recorddb/DbCheck.h"

#include <cstring>
#include <functional>
#include <unordered_set>

#include "runtime/CodePage.h"
#include "runtime/recorddb/DataFileLayout.h"
#include "runtime/recorddb/DbError.h"
#include "runtime/recorddb/IndexFile.h"
#include "runtime/recorddb/LittleEndian.h"

namespace ovx {

namespace {

std::string Str(std::int64_t n) {
    return std::to_string(n);
}

struct DataInfo {
    std::vector<DbField> fields;
    std::uint64_t dataStart = 0;
    int recordLength = 0;
    std::int64_t count = 0;
    Bytes records;
};

// Names how the records in the file differ from the header's count, and what opening the
// database for writing does about it.
void CheckCount(const DataFileStart& start, std::vector<std::string>& p) {
    const std::int64_t count = start.header.count;
    const auto whole = static_cast<std::int64_t>(start.wholeRecords);
    if (start.CountDamaged())
        p.push_back("header count " + Str(count) + " but the file holds " + Str(whole) +
                    " records: the count is damaged, and the database is not opened for writing");
    else if (whole == count + 1)
        p.push_back("one record beyond the header count " + Str(count) +
                    " (an append cut short; opening for writing drops it)");
    else if (whole < count)
        p.push_back("header count " + Str(count) + " but the file holds only " + Str(whole) +
                    " whole records (opening for writing lowers the count)");
    if (start.trailingBytes != 0)
        p.push_back("a partial record of " + Str(static_cast<std::int64_t>(start.trailingBytes)) +
                    " bytes at the end");
}

bool CheckData(DbFile& f, DataInfo& info, DbCheckReport& report) {
    auto& p = report.problems;
    DataFileStart start;
    if (int rc = ReadDataFileStart(f, start)) {
        std::uint64_t size = 0;
        f.Size(size);
        if (rc == kDbVersionTooNew)
            p.push_back("data file version too new");
        else if (size < kDataHeaderSize + 4)
            p.push_back("data file shorter than its header (" +
                        Str(static_cast<std::int64_t>(size)) + " bytes)");
        else
            p.push_back("not a data file (magic, counts, record length or field descriptors)");
        return false;
    }
    const DataHeader& h = start.header;
    info.fields = start.fields;
    std::int64_t sum = 4;
    for (const auto& fd : info.fields) sum += fd.size;
    if (sum != h.recordLength)
        p.push_back("record length " + Str(h.recordLength) + " differs from the fields' " +
                    Str(sum));
    info.recordLength = h.recordLength;
    info.dataStart = start.dataStart;
    CheckCount(start, p);
    const std::uint64_t whole = start.wholeRecords;
    info.count = std::min<std::int64_t>(h.count, static_cast<std::int64_t>(whole));
    info.records.resize(static_cast<std::size_t>(info.count * h.recordLength));
    if (!info.records.empty() && f.Read(info.dataStart, info.records.data(), info.records.size())) {
        p.push_back("records unreadable");
        return false;
    }
    std::int32_t last = 0;
    for (std::int64_t r = 0; r < info.count; ++r) {
        std::int32_t id = le::I32(&info.records[static_cast<std::size_t>(r * h.recordLength)]);
        if (id <= last || id >= h.nextId) {
            p.push_back("record " + Str(r) + " has id " + Str(id) +
                        " out of order or not below the next id " + Str(h.nextId));
            break;
        }
        last = id;
    }
    report.records = info.count;
    return true;
}

class TreeChecker {
  public:
    TreeChecker(IndexFile& index, const IndexHeader& h, const DataInfo& data, DbCheckReport& r)
        : index_(index),
          h_(h),
          data_(data),
          report_(r),
          seen_(static_cast<std::size_t>(data.count)) {}

    void Run() {
        Bytes greatest;
        Walk(h_.root, 1, greatest);
        for (std::int64_t r = 0; r < data_.count; ++r) {
            if (!seen_[static_cast<std::size_t>(r)]) {
                Problem("record " + Str(r) + " is missing from the index");
                if (++missing_ > 20) break;
            }
        }
    }

  private:
    void Problem(std::string text) {
        if (report_.problems.size() < 200) report_.problems.push_back(std::move(text));
    }

    const std::uint8_t* RecordKey(std::int32_t r, Bytes& key) {
        key.resize(static_cast<std::size_t>(h_.keyLength));
        index_.Layout().FromRecord(&data_.records[static_cast<std::size_t>(r) *
                                                  static_cast<std::size_t>(data_.recordLength)],
                                   key.data());
        return key.data();
    }

    // Checks the subtree; greatest receives its greatest key (empty when it has none).
    void Walk(std::int32_t block, int depth, Bytes& greatest) {
        greatest.clear();
        if (depth > kMaxTreeDepth) return Problem("tree deeper than " + Str(kMaxTreeDepth));
        if (!visited_.insert(block).second)
            return Problem("block " + Str(block) + " is reached twice (a cycle or shared block)");
        IndexNode node;
        if (index_.ReadNode(h_, block, node))
            return Problem("block " + Str(block) + " is not a valid node (flags, entry count " +
                           "above capacity, or a child outside the file)");
        const int kl = h_.keyLength;
        if (!node.inner) {
            report_.leafBlocks++;
            if (leafDepth_ == 0) leafDepth_ = depth;
            if (depth != leafDepth_) Problem("leaf " + Str(block) + " at another depth");
            report_.treeDepth = std::max(report_.treeDepth, depth);
            for (int i = 0; i < node.count; ++i) {
                const std::uint8_t* e = node.Entry(i, kl);
                std::int32_t r = le::I32(e);
                report_.indexEntries++;
                if (!previous_.empty()) {
                    int c = index_.Layout().Compare(previous_.data(), e + 4);
                    if (c > 0 || (c == 0 && previousRecord_ >= r))
                        Problem("keys out of order in leaf " + Str(block));
                }
                previous_.assign(e + 4, e + 4 + kl);
                previousRecord_ = r;
                if (r < 0 || r >= data_.count) {
                    Problem("leaf " + Str(block) + " names record " + Str(r) + " beyond the data");
                    continue;
                }
                Bytes key;
                if (index_.Layout().Compare(RecordKey(r, key), e + 4) != 0)
                    Problem("leaf " + Str(block) + " holds a key that record " + Str(r) +
                            " does not have");
                if (seen_[static_cast<std::size_t>(r)])
                    Problem("record " + Str(r) + " is in the index twice");
                seen_[static_cast<std::size_t>(r)] = true;
            }
            if (node.count > 0)
                greatest.assign(node.Entry(node.count - 1, kl) + 4,
                                node.Entry(node.count - 1, kl) + 4 + kl);
            return;
        }
        report_.innerBlocks++;
        Bytes child;
        for (int i = 0; i <= node.count; ++i) {
            std::int32_t c = le::I32(node.Entry(i, kl));
            Walk(c, depth + 1, child);
            if (i < node.count) {
                const std::uint8_t* sep = node.Entry(i, kl) + 4;
                if (child.empty() || index_.Layout().Compare(child.data(), sep) != 0)
                    Problem("separator " + Str(i) + " of block " + Str(block) +
                            " is not the greatest key of its child");
            }
            if (!child.empty()) greatest = child;
        }
    }

    IndexFile& index_;
    const IndexHeader& h_;
    const DataInfo& data_;
    DbCheckReport& report_;
    std::vector<bool> seen_;
    std::unordered_set<std::int32_t> visited_;
    Bytes previous_;
    std::int32_t previousRecord_ = -1;
    int leafDepth_ = 0;
    int missing_ = 0;
};

void CheckIndex(DbFileSystem& fs, const Text& path, const DataInfo& data, DbCheckReport& report) {
    auto& p = report.problems;
    std::unique_ptr<DbFile> file;
    if (fs.Open(path, DbOpenMode::kReadOnly, kShareDenyNone, file)) {
        p.push_back("index file cannot be opened");
        return;
    }
    std::uint8_t b[kIndexHeaderSize];
    IndexHeader h;
    if (file->Read(0, b, sizeof b) || IndexHeader::Parse(b, sizeof b, h)) {
        p.push_back("not an index file, or its header is damaged");
        return;
    }
    report.indexChecked = true;
    report.capacity = h.Capacity();
    if (h.version != kDbVersion) p.push_back("index version differs from the data file's");
    std::uint64_t size = 0;
    file->Size(size);
    std::uint64_t expected =
        static_cast<std::uint64_t>(h.blockCount) * static_cast<std::uint64_t>(h.blockSize);
    if (size != expected)
        p.push_back("index file has " + Str(static_cast<std::int64_t>(size)) + " bytes, " +
                    Str(h.blockCount) + " blocks need " + Str(static_cast<std::int64_t>(expected)));
    if (size < expected) return;
    KeyLayout layout;
    layout.options = h.options;
    layout.collation = h.collation;
    for (int i = 0; i < h.keyFieldCount; ++i) {
        const DbField* f = nullptr;
        for (const auto& fd : data.fields) {
            if (SameDbName(fd.name, h.names[static_cast<std::size_t>(i)])) f = &fd;
        }
        std::int32_t t = h.types[static_cast<std::size_t>(i)];
        if (!f || (t < 0 ? (f->type != kFieldText || t != -f->size) : t != f->type)) {
            p.push_back("key field " + LocalToUtf8(h.names[static_cast<std::size_t>(i)]) +
                        " is missing in the data file or differs in type or size");
            return;
        }
        layout.parts.push_back({f->type, f->size, f->offset});
        layout.length += f->size;
    }
    if (layout.length != h.keyLength) {
        p.push_back("key length differs from the key fields' sizes");
        return;
    }
    IndexFile index(std::move(file), layout);
    TreeChecker(index, h, data, report).Run();
}

}  // namespace

DbCheckReport CheckDatabaseFiles(DbFileSystem& fs, const Text& dataPath, const Text& indexPath) {
    DbCheckReport report;
    std::unique_ptr<DbFile> file;
    if (int rc = fs.Open(dataPath, DbOpenMode::kReadOnly, kShareDenyNone, file)) {
        report.problems.push_back("data file cannot be opened: " + LocalToUtf8(DbErrorMessage(rc)));
        return report;
    }
    DataInfo data;
    if (!CheckData(*file, data, report)) return report;
    if (!indexPath.empty()) CheckIndex(fs, indexPath, data, report);
    return report;
}

}  // namespace ovx
