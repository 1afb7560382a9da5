#pragma once
// A full check of a data file and, when given, its index file: layout, counts, record ids,
// tree shape and key order, and that the index holds exactly the records' keys.

#include <cstdint>
#include <string>
#include <vector>

#include "runtime/recorddb/DbFile.h"

namespace ovx {

struct DbCheckReport {
    std::vector<std::string> problems;  // empty when the files are sound
    std::int64_t records = 0;
    bool indexChecked = false;
    int treeDepth = 0;  // levels, 1 for a root leaf
    std::int64_t leafBlocks = 0;
    std::int64_t innerBlocks = 0;
    std::int64_t indexEntries = 0;
    int capacity = 0;  // entries per block

    bool Sound() const { return problems.empty(); }
};

// Reads the files without changing them. An empty index path checks the data file only.
DbCheckReport CheckDatabaseFiles(DbFileSystem& fs, const Text& dataPath, const Text& indexPath);

}  // namespace ovx
