#include "runtime/recorddb/IndexFile.h"

#include <cstring>

#include "runtime/recorddb/DataFileLayout.h"
#include "runtime/recorddb/DbError.h"
#include "runtime/recorddb/LittleEndian.h"

namespace ovx {

namespace {

constexpr std::int32_t kMaxBlockSize = kMinBlockSize * kMaxBlockFactor;

void PutEntry(std::uint8_t* at, std::int32_t number, const std::uint8_t* key, int keyLength) {
    le::Put32(at, static_cast<std::uint32_t>(number));
    std::memcpy(at + 4, key, static_cast<std::size_t>(keyLength));
}

}  // namespace

Bytes IndexHeader::Encode() const {
    Bytes b(static_cast<std::size_t>(blockSize), 0);
    std::memcpy(b.data(), "ZQNX", 4);
    le::Put32(&b[4], version);
    le::PutF64(&b[8], created);
    le::Put32(&b[16], static_cast<std::uint32_t>(collation));
    le::Put32(&b[20], static_cast<std::uint32_t>(options));
    le::Put32(&b[24], static_cast<std::uint32_t>(blockCount));
    le::Put32(&b[28], static_cast<std::uint32_t>(freeCount));
    le::Put32(&b[32], static_cast<std::uint32_t>(firstFree));
    le::Put32(&b[36], static_cast<std::uint32_t>(root));
    le::Put32(&b[40], static_cast<std::uint32_t>(blockSize));
    le::Put32(&b[44], static_cast<std::uint32_t>(keyLength));
    le::Put32(&b[48], static_cast<std::uint32_t>(keyFieldCount));
    for (int i = 0; i < kMaxKeyFields; ++i) {
        std::memcpy(&b[52 + 17 * i], names[i].c_str(), std::min<std::size_t>(names[i].size(), 16));
        le::Put32(&b[188 + 4 * i], static_cast<std::uint32_t>(types[i]));
    }
    return b;
}

int IndexHeader::Parse(const std::uint8_t* b, std::size_t n, IndexHeader& h) {
    if (n < static_cast<std::size_t>(kIndexHeaderSize) || std::memcmp(b, "ZQNX", 4) != 0)
        return kDbNotIndex;
    h.version = le::U32(b + 4);
    h.created = le::F64(b + 8);
    h.collation = le::I32(b + 16);
    h.options = le::I32(b + 20) & 3;
    h.blockCount = le::I32(b + 24);
    h.freeCount = le::I32(b + 28);
    h.firstFree = le::I32(b + 32);
    h.root = le::I32(b + 36);
    h.blockSize = le::I32(b + 40);
    h.keyLength = le::I32(b + 44);
    h.keyFieldCount = le::I32(b + 48);
    if (h.blockCount < 2 || h.blockSize < kMinBlockSize || h.blockSize > kMaxBlockSize)
        return kDbNotIndex;
    if (h.keyLength < 1 || h.keyLength > kMaxKeyLength) return kDbNotIndex;
    if (h.keyFieldCount < 1 || h.keyFieldCount > kMaxKeyFields) return kDbNotIndex;
    if (h.root < 1 || h.root >= h.blockCount || h.freeCount < 0) return kDbNotIndex;
    for (int i = 0; i < kMaxKeyFields; ++i) {
        const std::uint8_t* name = b + 52 + 17 * i;
        if (!std::memchr(name, 0, 17)) return kDbNotIndex;
        h.names[i] = Text(reinterpret_cast<const char*>(name));
        h.types[i] = le::I32(b + 188 + 4 * i);
    }
    return kDbOk;
}

int IndexFile::WriteEmpty(DbFile& file, const IndexHeader& header) {
    Bytes b = header.Encode();
    b.resize(2 * static_cast<std::size_t>(header.blockSize), 0);
    if (int rc = file.Truncate(0)) return rc;
    return file.Write(0, b.data(), b.size());
}

void IndexFile::ValidateCache(std::uint64_t state) {
    if (cacheState_ != state) DropCache();
    cacheState_ = state;
}

void IndexFile::AdvanceCache(std::uint64_t state) {
    if (cacheState_) cacheState_ = state;
}

void IndexFile::DropCache() {
    cacheState_.reset();
    cachedHeader_.reset();
    cachedNodes_.clear();
    cachedBytes_ = 0;
    confirmed_.clear();
    confirmedBelow_ = 0;
}

int IndexFile::LoadHeader(IndexHeader& header) {
    if (cacheState_ && cachedHeader_) {
        header = *cachedHeader_;
        return kDbOk;
    }
    std::uint8_t b[kIndexHeaderSize];
    if (file_->Read(0, b, sizeof b) != kDbOk) return kDbIndexUpdate;
    if (IndexHeader::Parse(b, sizeof b, header) != kDbOk) return kDbIndexUpdate;
    if (header.keyLength != layout_.length) return kDbIndexUpdate;
    if (cacheState_) cachedHeader_ = header;
    return kDbOk;
}

int IndexFile::WriteHeader(const IndexHeader& header) {
    Bytes head = header.Encode();
    if (file_->Write(0, head.data(), kIndexHeaderSize) != kDbOk) return kDbIndexUpdate;
    if (cacheState_) cachedHeader_ = header;
    return kDbOk;
}

int IndexFile::ReadNode(const IndexHeader& h, std::int32_t block, IndexNode& node) {
    if (block < 1 || block >= h.blockCount) return kDbIndexUpdate;
    node.block = block;
    node.raw.resize(static_cast<std::size_t>(h.blockSize));
    auto cached = cacheState_ ? cachedNodes_.find(block) : cachedNodes_.end();
    if (cached != cachedNodes_.end() && cached->second.size() == node.raw.size()) {
        std::memcpy(node.raw.data(), cached->second.data(), node.raw.size());
    } else {
        std::uint64_t at =
            static_cast<std::uint64_t>(block) * static_cast<std::uint64_t>(h.blockSize);
        if (file_->Read(at, node.raw.data(), node.raw.size()) != kDbOk) return kDbIndexUpdate;
        if (cacheState_) Remember(block, node.raw);
    }
    std::uint8_t flags = node.raw[0];
    if (flags & 2) return kDbIndexUpdate;  // a free block inside the tree
    node.inner = (flags & 1) != 0;
    node.count = le::I16(&node.raw[2]);
    if (node.count < 0 || node.count > h.Capacity()) return kDbIndexUpdate;
    if (node.inner) {
        int es = h.keyLength + 4;
        for (int i = 0; i <= node.count; ++i) {
            std::int32_t child = le::I32(&node.raw[4 + static_cast<std::size_t>(i * es)]);
            if (child < 1 || child >= h.blockCount || child == block) return kDbIndexUpdate;
        }
    }
    return kDbOk;
}

void IndexFile::Remember(std::int32_t block, const Bytes& raw) {
    if (cachedBytes_ > kMaxCachedBytes) {
        cachedNodes_.clear();
        cachedBytes_ = 0;
    }
    auto [it, added] = cachedNodes_.try_emplace(block, raw);
    if (added)
        cachedBytes_ += raw.size();
    else
        it->second = raw;
}

int IndexFile::WriteNode(const IndexNode& node) {
    std::uint64_t at = static_cast<std::uint64_t>(node.block) * node.raw.size();
    if (file_->Write(at, node.raw.data(), node.raw.size()) != kDbOk) return kDbIndexUpdate;
    if (cacheState_) Remember(node.block, node.raw);
    return kDbOk;
}

int IndexFile::LowerBound(const IndexNode& node, const std::uint8_t* key) const {
    int lo = 0, hi = node.count;
    while (lo < hi) {
        int mid = (lo + hi) / 2;
        if (layout_.Compare(node.Entry(mid, layout_.length) + 4, key) < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

static std::int32_t ChildAt(const IndexNode& node, int index, int keyLength) {
    return le::I32(node.raw.data() + 4 + index * (keyLength + 4));
}

int IndexFile::Descend(const IndexHeader& h, const std::uint8_t* key, std::vector<PathStep>& path) {
    // The steps already in path are reused, so their block buffers are not allocated again.
    std::int32_t block = h.root;
    for (std::size_t depth = 0; depth < static_cast<std::size_t>(kMaxTreeDepth); ++depth) {
        if (depth == path.size()) path.emplace_back();
        PathStep& step = path[depth];
        if (int rc = ReadNode(h, block, step.node)) {
            path.resize(depth);
            return rc;
        }
        step.index = LowerBound(step.node, key);
        if (!step.node.inner) {
            path.resize(depth + 1);
            return kDbOk;
        }
        block = ChildAt(step.node, step.index, h.keyLength);
    }
    path.clear();
    return kDbIndexUpdate;  // deeper than any real tree: a cycle
}

int IndexFile::Allocate(IndexHeader& h, std::int32_t& block) {
    if (h.freeCount > 0 && h.firstFree >= 1 && h.firstFree < h.blockCount) {
        Bytes raw(static_cast<std::size_t>(h.blockSize));
        std::uint64_t at = static_cast<std::uint64_t>(h.firstFree) * raw.size();
        if (file_->Read(at, raw.data(), raw.size()) == kDbOk && (raw[0] & 2)) {
            block = h.firstFree;
            std::int32_t next = le::I32(&raw[8]);
            h.freeCount--;
            h.firstFree = h.freeCount > 0 ? next : 0;
            if (h.freeCount > 0 && next >= 1 && next < h.blockCount) {
                std::uint64_t nat = static_cast<std::uint64_t>(next) * raw.size();
                std::uint8_t zero[4] = {};
                if (file_->Write(nat + 4, zero, 4) != kDbOk) return kDbIndexUpdate;
                cachedNodes_.erase(next);
            } else {
                h.freeCount = 0;
                h.firstFree = 0;
            }
            return kDbOk;
        }
    }
    h.freeCount = 0;  // no usable free list: append
    h.firstFree = 0;
    if (h.blockCount >= 0x7FFFFFFE) return kDbIndexUpdate;
    block = h.blockCount++;
    return kDbOk;
}

int IndexFile::Insert(const std::uint8_t* key, std::int32_t record) {
    int rc = InsertUncached(key, record);
    if (rc != kDbOk) DropCache();  // the file may hold only part of the change
    return rc;
}

int IndexFile::InsertUncached(const std::uint8_t* key, std::int32_t record) {
    IndexHeader h;
    if (int rc = LoadHeader(h)) return rc;
    std::vector<PathStep>& path = walk_;
    if (int rc = Descend(h, key, path)) return rc;
    const int kl = h.keyLength, es = kl + 4, cap = h.Capacity();
    IndexNode& leaf = path.back().node;
    int pos = path.back().index;
    while (pos < leaf.count && layout_.Compare(leaf.Entry(pos, kl) + 4, key) == 0) {
        std::int32_t r = le::I32(leaf.Entry(pos, kl));
        if (r == record) return kDbOk;  // already there
        if (r > record) break;
        ++pos;
    }

    // The node's entries with the new one, as one run of bytes.
    Bytes run(static_cast<std::size_t>((leaf.count + 1) * es));
    std::memcpy(run.data(), leaf.Entry(0, kl), static_cast<std::size_t>(pos * es));
    PutEntry(&run[static_cast<std::size_t>(pos * es)], record, key, kl);
    std::memcpy(&run[static_cast<std::size_t>((pos + 1) * es)], leaf.Entry(pos, kl),
                static_cast<std::size_t>((leaf.count - pos) * es));
    if (leaf.count < cap) {
        std::memcpy(leaf.Entry(0, kl), run.data(), run.size());
        le::Put16(&leaf.raw[2], static_cast<std::uint16_t>(leaf.count + 1));
        return WriteNode(leaf);
    }

    // Splits: new right blocks are written first, then the header, then the node that takes
    // the last separator, and the shrunk left blocks last. A write cut short anywhere leaves a
    // tree in which every key that was there before is still found.
    std::vector<IndexNode> shrunk;
    IndexNode absorbing;
    bool haveAbsorbing = false;
    int leftN = cap / 2;
    std::int32_t rightBlock = 0;
    if (int rc = Allocate(h, rightBlock)) return rc;
    IndexNode right;
    right.block = rightBlock;
    right.raw.assign(static_cast<std::size_t>(h.blockSize), 0);
    le::Put16(&right.raw[2], static_cast<std::uint16_t>(cap + 1 - leftN));
    std::memcpy(right.Entry(0, kl), &run[static_cast<std::size_t>(leftN * es)],
                static_cast<std::size_t>((cap + 1 - leftN) * es));
    if (int rc = WriteNode(right)) return rc;
    IndexNode left = leaf;
    std::memset(left.raw.data() + 4, 0, left.raw.size() - 4);
    std::memcpy(left.Entry(0, kl), run.data(), static_cast<std::size_t>(leftN * es));
    le::Put16(&left.raw[2], static_cast<std::uint16_t>(leftN));
    Bytes sep(run.begin() + (leftN - 1) * es + 4, run.begin() + leftN * es);
    std::int32_t leftBlock = left.block;
    shrunk.push_back(std::move(left));

    int level = static_cast<int>(path.size()) - 2;
    for (; level >= 0; --level) {
        IndexNode& parent = path[static_cast<std::size_t>(level)].node;
        int idx = path[static_cast<std::size_t>(level)].index;
        int n = parent.count;
        std::int32_t trailing = ChildAt(parent, n, kl);
        // Entries after the change: (left, sep) where the old child was, then the new block
        // under the old child's key (or as the trailing child).
        Bytes entries(static_cast<std::size_t>((n + 1) * es));
        std::memcpy(entries.data(), parent.Entry(0, kl), static_cast<std::size_t>(idx * es));
        PutEntry(&entries[static_cast<std::size_t>(idx * es)], leftBlock, sep.data(), kl);
        if (idx < n) {
            PutEntry(&entries[static_cast<std::size_t>((idx + 1) * es)], rightBlock,
                     parent.Entry(idx, kl) + 4, kl);
            std::memcpy(&entries[static_cast<std::size_t>((idx + 2) * es)],
                        parent.Entry(idx + 1, kl), static_cast<std::size_t>((n - idx - 1) * es));
        } else {
            trailing = rightBlock;
        }
        if (n + 1 <= cap) {
            std::memcpy(parent.Entry(0, kl), entries.data(), entries.size());
            le::Put32(parent.Entry(n + 1, kl), static_cast<std::uint32_t>(trailing));
            le::Put16(&parent.raw[2], static_cast<std::uint16_t>(n + 1));
            absorbing = parent;
            haveAbsorbing = true;
            break;
        }
        // The inner node splits: the middle entry's key moves up, its child becomes the
        // trailing child of the left half.
        int mid = cap / 2;
        std::int32_t newRight = 0;
        if (int rc = Allocate(h, newRight)) return rc;
        IndexNode r;
        r.block = newRight;
        r.raw.assign(static_cast<std::size_t>(h.blockSize), 0);
        r.raw[0] = 1;
        int rn = cap - mid;  // entries mid+1 .. cap
        le::Put16(&r.raw[2], static_cast<std::uint16_t>(rn));
        std::memcpy(r.Entry(0, kl), &entries[static_cast<std::size_t>((mid + 1) * es)],
                    static_cast<std::size_t>(rn * es));
        le::Put32(r.Entry(rn, kl), static_cast<std::uint32_t>(trailing));
        if (int rc = WriteNode(r)) return rc;
        IndexNode l = parent;
        std::memset(l.raw.data() + 4, 0, l.raw.size() - 4);
        std::memcpy(l.Entry(0, kl), entries.data(), static_cast<std::size_t>(mid * es));
        std::memcpy(l.Entry(mid, kl), &entries[static_cast<std::size_t>(mid * es)], 4);
        le::Put16(&l.raw[2], static_cast<std::uint16_t>(mid));
        sep.assign(entries.begin() + mid * es + 4, entries.begin() + (mid + 1) * es);
        leftBlock = l.block;
        rightBlock = newRight;
        shrunk.push_back(std::move(l));
    }
    if (level < 0) {  // the root split: a new root over the two halves
        std::int32_t newRoot = 0;
        if (int rc = Allocate(h, newRoot)) return rc;
        IndexNode root;
        root.block = newRoot;
        root.raw.assign(static_cast<std::size_t>(h.blockSize), 0);
        root.raw[0] = 1;
        le::Put16(&root.raw[2], 1);
        PutEntry(root.Entry(0, kl), leftBlock, sep.data(), kl);
        le::Put32(root.Entry(1, kl), static_cast<std::uint32_t>(rightBlock));
        if (int rc = WriteNode(root)) return rc;
        h.root = newRoot;
    }
    if (int rc = WriteHeader(h)) return rc;
    if (haveAbsorbing) {
        if (int rc = WriteNode(absorbing)) return rc;
    }
    for (const auto& node : shrunk) {
        if (int rc = WriteNode(node)) return rc;
    }
    return kDbOk;
}

int IndexFile::NextLeaf(const IndexHeader& h, std::vector<PathStep>& path, int& budget) {
    path.pop_back();
    while (!path.empty()) {
        PathStep& top = path.back();
        if (++top.index > top.node.count) {
            path.pop_back();
            continue;
        }
        std::int32_t block = ChildAt(top.node, top.index, h.keyLength);
        while (static_cast<int>(path.size()) < kMaxTreeDepth) {
            if (--budget < 0) return kDbIndexUpdate;
            PathStep step;
            if (int rc = ReadNode(h, block, step.node)) return rc;
            step.index = 0;
            bool leaf = !step.node.inner;
            if (!leaf) block = ChildAt(step.node, 0, h.keyLength);
            path.push_back(std::move(step));
            if (leaf) return kDbOk;
        }
        return kDbIndexUpdate;
    }
    return kDbOk;  // no leaf after the last one: path is empty
}

int IndexFile::FindEqual(const std::uint8_t* key, const std::function<bool(std::int32_t)>& visit,
                         bool& found) {
    found = false;
    // The cached header is used in place: nothing below changes it.
    IndexHeader loaded;
    const IndexHeader* header = &loaded;
    if (cacheState_ && cachedHeader_) {
        header = &*cachedHeader_;
    } else if (int rc = LoadHeader(loaded)) {
        return rc;
    }
    const IndexHeader& h = *header;
    std::vector<PathStep>& path = walk_;
    if (int rc = Descend(h, key, path)) return rc;
    int budget = h.blockCount;
    const int kl = h.keyLength;
    while (!path.empty()) {
        PathStep& leaf = path.back();
        if (leaf.index >= leaf.node.count) {
            if (int rc = NextLeaf(h, path, budget)) return rc;
            continue;
        }
        const std::uint8_t* entry = leaf.node.Entry(leaf.index, kl);
        if (layout_.Compare(entry + 4, key) != 0) return kDbOk;
        if (visit(le::I32(entry))) {
            found = true;
            return kDbOk;
        }
        ++leaf.index;
    }
    return kDbOk;
}

}  // namespace ovx
