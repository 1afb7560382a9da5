// The download record store against SQLite on the store's own pattern: for N distinct
// 16-digit photo ids a lookup (a miss) and an add each, then N lookups (hits), then an index
// rebuild over the N records. SQLite runs the same on an indexed one-column table in WAL mode
// with synchronous=NORMAL, one prepared statement per operation, autocommit.
// Usage: bench_recorddb FOLDER [N] [records|sqlite]

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "catalogue/albumservice/AlbumServiceProtocol.h"
#include "download/RecordStore.h"
#include "runtime/CodePage.h"

namespace {

using Clock = std::chrono::steady_clock;

// Wall-clock and CPU (user + system) seconds of one phase.
struct Span {
    double wall = 0, cpu = 0;
};

class Stopwatch {
  public:
    Stopwatch() : wall_(Clock::now()), cpu_(std::clock()) {}
    Span Elapsed() const {
        return {std::chrono::duration<double>(Clock::now() - wall_).count(),
                static_cast<double>(std::clock() - cpu_) / CLOCKS_PER_SEC};
    }

  private:
    Clock::time_point wall_;
    std::clock_t cpu_;
};

struct Times {
    Span addPass, hitPass, rebuild;
    long misses = 0, hits = 0;
};

std::vector<std::string> PhotoIds(int n) {
    std::mt19937_64 rng(20240501);
    std::vector<std::string> ids;
    ids.reserve(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        // Distinct by construction: the index goes into the low digits.
        std::uint64_t high = 4000 + rng() % 999;
        char buf[32];
        std::snprintf(buf, sizeof buf, "%04llu%012d", static_cast<unsigned long long>(high),
                      i * 7 + 1);
        ids.emplace_back(buf);
    }
    std::shuffle(ids.begin(), ids.end(), rng);
    return ids;
}

Times RunStore(const std::filesystem::path& folder, const std::vector<std::string>& ids) {
    using namespace ovx;
    Times t;
    RecordEngine engine;
    const RecordLayout& layout = AlbumServiceProtocol::RecordsLayout();
    auto store = RecordStore::ForUser(FromPath(folder), Text("1000000001"), layout, {}, engine);
    store->Prepare();
    store->OpenForAlbum();
    Stopwatch start;
    for (const auto& id : ids) {
        Text photo(id);
        if (!store->Contains(photo)) ++t.misses;
        store->Record(photo);
    }
    t.addPass = start.Elapsed();
    start = Stopwatch();
    for (const auto& id : ids) t.hits += store->Contains(Text(id));
    t.hitPass = start.Elapsed();
    store->Close();
    // An album start: open, and the index rebuilt from every record.
    engine.OpenDatabase(store->DataFile());
    start = Stopwatch();
    engine.CreateIndex(RecordStore::IndexBasePath(FromPath(folder), Text("1000000001"), layout),
                       {Text("photo_id")});
    t.rebuild = start.Elapsed();
    engine.CloseDatabase();
    return t;
}

void Exec(sqlite3* db, const char* sql) {
    char* error = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
        std::fprintf(stderr, "sqlite: %s\n", error ? error : "?");
        std::exit(1);
    }
}

Times RunSqlite(const std::filesystem::path& folder, const std::vector<std::string>& ids) {
    Times t;
    sqlite3* db = nullptr;
    sqlite3_open((folder / "records.sqlite").c_str(), &db);
    Exec(db, "PRAGMA journal_mode=WAL");
    Exec(db, "PRAGMA synchronous=NORMAL");
    Exec(db, "CREATE TABLE records(photo_id TEXT)");
    Exec(db, "CREATE INDEX records_photo_id ON records(photo_id)");
    sqlite3_stmt *find = nullptr, *add = nullptr;
    sqlite3_prepare_v2(db, "SELECT 1 FROM records WHERE photo_id = ?1", -1, &find, nullptr);
    sqlite3_prepare_v2(db, "INSERT INTO records(photo_id) VALUES (?1)", -1, &add, nullptr);
    auto lookup = [&](const std::string& id) {
        sqlite3_bind_text(find, 1, id.data(), static_cast<int>(id.size()), SQLITE_STATIC);
        bool found = sqlite3_step(find) == SQLITE_ROW;
        sqlite3_reset(find);
        return found;
    };
    Stopwatch start;
    for (const auto& id : ids) {
        if (!lookup(id)) {
            ++t.misses;
            sqlite3_bind_text(add, 1, id.data(), static_cast<int>(id.size()), SQLITE_STATIC);
            sqlite3_step(add);
            sqlite3_reset(add);
        }
    }
    t.addPass = start.Elapsed();
    start = Stopwatch();
    for (const auto& id : ids) t.hits += lookup(id);
    t.hitPass = start.Elapsed();
    start = Stopwatch();
    Exec(db, "REINDEX records_photo_id");
    t.rebuild = start.Elapsed();
    sqlite3_finalize(find);
    sqlite3_finalize(add);
    sqlite3_close(db);
    return t;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_recorddb FOLDER [N]\n");
        return 2;
    }
    std::filesystem::path folder = argv[1];
    int n = argc > 2 ? std::atoi(argv[2]) : 100000;
    std::string only = argc > 3 ? argv[3] : "";  // "records" or "sqlite": run one side only
    std::vector<std::string> ids = PhotoIds(n);
    if (only == "records") return RunStore(folder, ids).hits == n ? 0 : 1;
    if (only == "sqlite") return RunSqlite(folder, ids).hits == n ? 0 : 1;
    Times s = RunStore(folder, ids);
    Times q = RunSqlite(folder, ids);
    if (s.misses != n || s.hits != n || q.misses != n || q.hits != n) {
        std::fprintf(stderr, "wrong results: store %ld/%ld, sqlite %ld/%ld of %d\n", s.misses,
                     s.hits, q.misses, q.hits, n);
        return 1;
    }
    std::printf("%d distinct 16-digit photo ids\n", n);
    std::printf("%-36s %9s %9s %9s %9s %7s %7s\n", "", "records", "sqlite", "rec cpu", "sql cpu",
                "cpu", "ratio");
    auto row = [](const char* what, Span a, Span b) {
        std::printf("%-36s %8.3fs %8.3fs %8.3fs %8.3fs %7.2f %7.2f\n", what, a.wall, b.wall, a.cpu,
                    b.cpu, a.cpu / b.cpu, a.wall / b.wall);
    };
    row("pass 1: lookup (miss) + add", s.addPass, q.addPass);
    row("pass 2: lookup (hit)", s.hitPass, q.hitPass);
    row("index rebuild (CreateIndex/REINDEX)", s.rebuild, q.rebuild);
    std::printf(
        "wall-clock and CPU (user + system) seconds; cpu = CPU ratio, ratio = wall-clock\n"
        "ratio, both records / sqlite (below 1: the record store is faster)\n");
    return 0;
}
