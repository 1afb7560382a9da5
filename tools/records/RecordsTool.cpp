// ovatrix-records: list, look up, add and check the photo ids of a download record database.
//
//   ovatrix-records list FILE        every recorded photo id, one a line
//   ovatrix-records has FILE ID      exit 0 when recorded, 1 when not
//   ovatrix-records add FILE ID...   records the ids not yet recorded (creates the database)
//   ovatrix-records check FILE       checks the data file and its index; exit 0 when sound
//
// FILE is either kind of record database: an album-service USERID.zdb or a web
// USERID-网页版.zdb, told apart by its layout (by its name when it has neither layout).
// Record files are never opened through a symbolic link.
//
// Exit code 2 means the command could not run (bad arguments, a database that cannot be
// opened: unreadable, another program's file, or one whose record count is damaged). Such a
// file is left as it is; "check" names what is wrong with it.

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "catalogue/Protocols.h"
#include "download/RecordStore.h"
#include "ovx/Version.h"
#include "runtime/CodePage.h"
#include "runtime/recorddb/DbCheck.h"
#include "runtime/recorddb/DbError.h"

namespace ovx {
namespace {

constexpr int kUsageError = 2;

int Usage() {
    std::cerr << "usage: ovatrix-records list FILE\n"
                 "       ovatrix-records has FILE ID\n"
                 "       ovatrix-records add FILE ID...\n"
                 "       ovatrix-records check FILE\n";
    return kUsageError;
}

int Help() {
    std::cout << "Usage: ovatrix-records list FILE\n"
                 "  or:  ovatrix-records has FILE ID\n"
                 "  or:  ovatrix-records add FILE ID...\n"
                 "  or:  ovatrix-records check FILE\n"
                 "List, look up, add and check the photo ids of a download record database\n"
                 "(FILE is a USERID.zdb file of the record folder, 防止重复下载数据库).\n"
                 "\n"
                 "Commands:\n"
                 "  list FILE        print every recorded photo id, one a line\n"
                 "  has FILE ID      exit 0 when ID is recorded, 1 when not\n"
                 "  add FILE ID...   record the ids not yet recorded (creates the database)\n"
                 "  check FILE       check the data file and its index; exit 0 when sound\n"
                 "\n"
                 "Options:\n"
                 "  -h, --help       show this help and exit\n"
                 "  -V, --version    show the version and exit\n"
                 "\n"
                 "Exit status is 2 when the command could not run (bad arguments, a database\n"
                 "that cannot be opened).\n";
    return 0;
}

std::string LastErrorText() {
    return LocalToUtf8(DbErrorMessage(LastDbError()));
}

int CannotOpen(RecordStore& store) {
    std::string reason = LastErrorText();
    RecordStore::FileCheck check = store.CheckFile();
    if (check.verdict == RecordStore::FileVerdict::kForeign ||
        check.verdict == RecordStore::FileVerdict::kDamagedCount)
        reason = check.detail;
    std::cerr << "cannot open " << LocalToUtf8(store.DataFile()) << ": " << reason << "\n";
    return kUsageError;
}

int List(RecordStore& store) {
    if (!store.OpenForReading()) return CannotOpen(store);
    for (const Text& id : store.AllIds()) std::cout << LocalToUtf8(id) << '\n';
    return 0;
}

int Has(RecordStore& store, const char* id) {
    if (!store.OpenForReading()) return CannotOpen(store);
    return store.Contains(Utf8ToLocal(id)) ? 0 : 1;
}

int Add(RecordStore& store, const std::vector<std::string>& ids) {
    if (!store.OpenForAlbum()) return CannotOpen(store);
    int added = 0, known = 0, failed = 0;
    for (const auto& raw : ids) {
        Text id = Utf8ToLocal(raw);
        if (id.empty()) {
            std::cerr << "skipped an empty id\n";
            ++failed;
        } else if (!store.Accepts(id)) {
            std::cerr << "skipped " << raw << ": longer than " << store.Layout().width
                      << " bytes\n";
            ++failed;
        } else if (store.Contains(id)) {
            ++known;
        } else if (store.Record(id)) {
            ++added;
        } else {
            std::cerr << "could not record " << raw << ": " << LastErrorText() << "\n";
            ++failed;
        }
    }
    store.Close();
    std::cout << "added " << added << ", already recorded " << known << "\n";
    return failed == 0 ? 0 : kUsageError;
}

int Check(RecordStore& store, RecordEngine& engine) {
    Text index = store.IndexFile();
    bool withIndex = engine.FileSystem().Exists(index);
    DbCheckReport report =
        CheckDatabaseFiles(engine.FileSystem(), store.DataFile(), withIndex ? index : Text());
    // A sound database of another layout is still no record file.
    RecordStore::FileCheck check = store.CheckFile();
    if (check.verdict == RecordStore::FileVerdict::kForeign && report.Sound())
        report.problems.push_back(check.detail);
    for (const auto& problem : report.problems) std::cout << "problem: " << problem << "\n";
    std::cout << LocalToUtf8(store.DataFile()) << ": " << report.records << " records";
    if (report.indexChecked)
        std::cout << "; index " << LocalToUtf8(index) << ": " << report.indexEntries
                  << " entries, depth " << report.treeDepth << ", " << report.leafBlocks
                  << " leaves, " << report.innerBlocks << " inner blocks";
    else
        std::cout << "; no index checked";
    std::cout << (report.Sound() ? "; sound\n" : "; damaged\n");
    return report.Sound() ? 0 : 1;
}

int Run(int argc, char** argv) {
    if (argc == 2 && (argv[1] == std::string("--help") || argv[1] == std::string("-h")))
        return Help();
    if (argc == 2 && (argv[1] == std::string("--version") || argv[1] == std::string("-V"))) {
        std::cout << "ovatrix-records (Ovatrix) " << kVersion << "\n" << kLicenceLine << "\n";
        return 0;
    }
    if (argc < 3) return Usage();
    std::string command = argv[1];
    RecordEngine engine;
    auto store = RecordStore::ForDataFile(
        Utf8ToLocal(argv[2]), RecordLayouts(),
        [](const Text& line) { std::cerr << LocalToUtf8(line); }, engine);
    if (command == "list" && argc == 3) return List(*store);
    if (command == "has" && argc == 4) return Has(*store, argv[3]);
    if (command == "add" && argc >= 4)
        return Add(*store, std::vector<std::string>(argv + 3, argv + argc));
    if (command == "check" && argc == 3) return Check(*store, engine);
    return Usage();
}

}  // namespace
}  // namespace ovx

int main(int argc, char** argv) {
    return ovx::Run(argc, argv);
}
