#pragma once
// A B-tree index file over a record database's key fields.
//
// Block 0 holds the header; every other block is a node or a free block. A node: flags
// (bit 0 inner), a zero byte, an int16 entry count, then entries of a 4-byte number (record
// number in a leaf, child block in an inner node) and the key; an inner node ends with the
// child for keys above its last entry. An inner entry's key is the greatest key below it.
//
// The header is read again for every operation, so other processes' inserts are seen. Every
// walk is bounded by a depth and a block count, so damaged files end a walk with an error.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "runtime/recorddb/DbFile.h"
#include "runtime/recorddb/IndexKey.h"

namespace ovx {

inline constexpr int kIndexHeaderSize = 224;
inline constexpr int kMinBlockSize = 512;
inline constexpr int kMaxBlockFactor = 100;
inline constexpr int kMaxTreeDepth = 40;

struct IndexHeader {
    std::uint32_t version = 0;
    double created = 0;
    std::int32_t collation = 0;
    std::int32_t options = 0;
    std::int32_t blockCount = 2;
    std::int32_t freeCount = 0;
    std::int32_t firstFree = 0;
    std::int32_t root = 1;
    std::int32_t blockSize = kMinBlockSize;
    std::int32_t keyLength = 0;
    std::int32_t keyFieldCount = 0;
    std::array<Text, kMaxKeyFields> names;
    std::array<std::int32_t, kMaxKeyFields> types{};  // type code, or minus the text width

    Bytes Encode() const;  // the whole block 0
    // Checks magic and geometry: kDbNotIndex on failure (the version is the caller's).
    static int Parse(const std::uint8_t* bytes, std::size_t n, IndexHeader& header);
    int Capacity() const { return (blockSize - 8) / (keyLength + 4); }
};

// One node block as read from the file.
struct IndexNode {
    std::int32_t block = 0;
    bool inner = false;
    int count = 0;
    Bytes raw;

    std::uint8_t* Entry(int i, int keyLength) { return raw.data() + 4 + i * (keyLength + 4); }
    const std::uint8_t* Entry(int i, int keyLength) const {
        return raw.data() + 4 + i * (keyLength + 4);
    }
};

class IndexFile {
  public:
    IndexFile(std::unique_ptr<DbFile> file, KeyLayout layout)
        : file_(std::move(file)), layout_(std::move(layout)) {}

    // Writes a new, empty index (header block and an empty root leaf) to the file.
    static int WriteEmpty(DbFile& file, const IndexHeader& header);

    const KeyLayout& Layout() const { return layout_; }
    DbFile& File() { return *file_; }

    // Inserts (record, key) in order; an identical entry is not inserted twice.
    int Insert(const std::uint8_t* key, std::int32_t record);
    // Visits the records whose key equals the key, in index order, from the first entry not
    // below it, until visit returns true (found = true) or the equal entries end.
    int FindEqual(const std::uint8_t* key, const std::function<bool(std::int32_t)>& visit,
                  bool& found);

    // Node caching. The engine names the state of the database the index belongs to (its
    // record count and next record id, read under the database's lock); blocks read or
    // written in one state are reused while the state stays the same, and dropped when
    // another process has changed it. Without a named state nothing is cached.
    void ValidateCache(std::uint64_t state);
    // This process is changing the state itself: what is cached stays true.
    void AdvanceCache(std::uint64_t state);
    void DropCache();
    // Records whose key was read from the data file and matched their entry, while the
    // cached state holds (records never change once counted).
    bool Confirmed(std::int32_t record) const {
        return record < confirmedBelow_ || confirmed_.count(record) > 0;
    }
    void Confirm(std::int32_t record) {
        if (cacheState_ && confirmed_.size() < kMaxConfirmed) confirmed_.insert(record);
    }
    // Every entry below the record number was made from the records themselves.
    void ConfirmAllBelow(std::int32_t record) {
        if (cacheState_) confirmedBelow_ = record;
    }

    int LoadHeader(IndexHeader& header);
    // Reads and checks a node: its flags, count within capacity and children inside the file.
    int ReadNode(const IndexHeader& header, std::int32_t block, IndexNode& node);

  private:
    struct PathStep {
        IndexNode node;
        int index = 0;  // entry taken; count for the trailing child
    };

    int Descend(const IndexHeader& header, const std::uint8_t* key, std::vector<PathStep>& path);
    int LowerBound(const IndexNode& node, const std::uint8_t* key) const;
    int WriteNode(const IndexNode& node);
    int Allocate(IndexHeader& header, std::int32_t& block);
    int NextLeaf(const IndexHeader& header, std::vector<PathStep>& path, int& budget);

    int WriteHeader(const IndexHeader& header);
    void Remember(std::int32_t block, const Bytes& raw);
    static constexpr std::size_t kMaxCachedBytes = std::size_t{64} << 20;
    int InsertUncached(const std::uint8_t* key, std::int32_t record);

    std::unique_ptr<DbFile> file_;
    KeyLayout layout_;
    std::optional<std::uint64_t> cacheState_;
    std::optional<IndexHeader> cachedHeader_;
    std::unordered_map<std::int32_t, Bytes> cachedNodes_;
    std::size_t cachedBytes_ = 0;
    std::unordered_set<std::int32_t> confirmed_;
    std::int32_t confirmedBelow_ = 0;
    std::vector<PathStep> walk_;  // the last walk down the tree, kept to reuse its buffers
    static constexpr std::size_t kMaxConfirmed = std::size_t{1} << 22;
};

}  // namespace ovx
