// Fuzzes opening, finding, seeking, adding and checking on arbitrary data and index files,
// directly on the engine or through the download record store (bit 0x20 of byte 0). No file
// content may reach a fatal error: one aborts, so the input is kept. A file the store refuses
// must be left exactly as it was.
//
// Input: byte 0 chooses the mode and options, then either
//  - raw mode: two bytes give the data file's length, the data file's bytes and the index
//    file's bytes follow; or
//  - patch mode: byte 1 gives a record count for a sound database and index built in memory,
//    and each following group of four bytes overwrites (or, rarely, cuts) one byte of either
//    file, so the mutations reach deep into valid files.

#include <cstddef>
#include <cstdint>
#include <map>

#include "../FuzzInput.h"
#include "catalogue/Protocols.h"
#include "download/RecordStore.h"
#include "runtime/Interaction.h"
#include "runtime/recorddb/DbCheck.h"
#include "runtime/recorddb/MemoryDbFile.h"
#include "runtime/recorddb/RecordEngine.h"

namespace {

using namespace ovx;

// A fatal error shows its message before it ends the process: abort there instead.
class AbortOnMessage : public ConsoleInteraction {
  public:
    int ShowMessage(const Text&, int, const Text&) override { std::abort(); }
};

const Text kData("/f/7.zdb");
const Text kIndex("/f/7.ZDX");

std::string Id(unsigned n) {
    return "40000000" + std::to_string(10000000 + n * 7919 % 9999991);
}

// A sound database of n records and its index, built once per n.
const std::pair<Bytes, Bytes>& SoundFiles(unsigned n) {
    static std::map<unsigned, std::pair<Bytes, Bytes>> built;
    auto it = built.find(n);
    if (it != built.end()) return it->second;
    MemoryFileSystem fs;
    RecordEngine engine(fs);
    engine.CreateDatabase(kData, {{Text("photo_id"), kFieldText, 20}});
    engine.OpenDatabase(kData);
    engine.CreateIndex(Text("7"), {Text("photo_id")});
    for (unsigned i = 0; i < n; ++i) engine.AddRecord({Text(Id(i))});
    engine.CloseDatabase();
    return built[n] = {*fs.Find(kData), *fs.Find(kIndex)};
}

void Exercise(MemoryFileSystem& fs, std::uint8_t mode) {
    RecordEngine engine(fs);
    DbOpenOptions options;
    options.readOnly = mode & 2;
    if (mode & 4) options.indexFiles = {Text("7")};
    if (!engine.OpenDatabase(kData, options)) {
        CheckDatabaseFiles(fs, kData, kIndex);
        return;
    }
    engine.RecordCount();
    engine.ReadField(1);
    engine.ReadField(2);
    engine.ReadField(Text("photo_id"));
    engine.ReadField(Text("nope"));
    engine.GoToRecord(0);
    engine.FindRecord([&] {
        DbValue v = engine.ReadField(1);
        const Text* t = std::get_if<Text>(&v);
        return t && *t == Text(Id(3));
    });
    if (mode & 8) engine.CreateIndex(Text("7"), {Text("photo_id")});
    for (unsigned i = 0; i < 3; ++i) {
        engine.GoToRecord(0);
        engine.SeekIndex({Text(Id(i * 5))});
        engine.SeekIndex({std::int64_t{i}});
    }
    if (!options.readOnly) {
        for (unsigned i = 0; i < (mode & 16 ? 30u : 2u); ++i) {
            engine.AddRecord({Text(Id(1000 + i))});
            engine.AddRecord({std::int64_t{i}});
        }
        engine.GoToRecord(0);
        engine.SeekIndex({Text(Id(1001))});
    }
    engine.CloseDatabase();
    CheckDatabaseFiles(fs, kData, kIndex);
}

void ExerciseStore(MemoryFileSystem& fs, std::uint8_t mode) {
    RecordEngine engine(fs);
    int lines = 0;
    auto store = RecordStore::ForDataFile(
        kData, RecordLayouts(), [&](const Text&) { ++lines; }, engine);
    const Bytes data = *fs.Find(kData), index = *fs.Find(kIndex);
    RecordStore::FileVerdict verdict = store->CheckFile().verdict;
    bool refused = verdict == RecordStore::FileVerdict::kForeign ||
                   verdict == RecordStore::FileVerdict::kDamagedCount;
    bool opened = mode & 2 ? store->OpenForReading() : store->OpenForAlbum();
    if (refused) {
        fuzz::Check(!opened && *fs.Find(kData) == data && *fs.Find(kIndex) == index);
        fuzz::Check(lines == (mode & 2 ? 0 : 1));
    }
    for (unsigned i = 0; i < 4; ++i) {
        bool had = store->Contains(Text(Id(i)));
        bool recorded = store->Record(Text(Id(1000 + i)));
        fuzz::Check(opened || (!had && !recorded));
    }
    store->AllIds();
    store->Close();
    CheckDatabaseFiles(fs, kData, kIndex);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static AbortOnMessage abortOnMessage;
    static const bool installed = (InstallInteraction(&abortOnMessage), true);
    (void)installed;
    if (size < 2) return 0;
    std::uint8_t mode = data[0];
    MemoryFileSystem fs;
    if (mode & 0x80) {
        const auto& sound = SoundFiles(data[1]);
        Bytes db = sound.first, ix = sound.second;
        for (std::size_t i = 2; i + 4 <= size; i += 4) {
            Bytes& target = data[i] & 1 ? ix : db;
            if (target.empty()) continue;
            std::size_t at = (std::size_t{data[i + 1]} << 8 | data[i + 2]) % target.size();
            if ((data[i] & 0xFE) == 0xFE)
                target.resize(at);
            else
                target[at] = data[i + 3];
        }
        fs.Put(kData, std::move(db));
        fs.Put(kIndex, std::move(ix));
    } else {
        if (size < 3) return 0;
        std::size_t dataLength =
            std::min<std::size_t>(std::size_t{data[1]} << 8 | data[2], size - 3);
        fs.Put(kData, Bytes(data + 3, data + 3 + dataLength));
        fs.Put(kIndex, Bytes(data + 3 + dataLength, data + size));
    }
    if (mode & 0x20)
        ExerciseStore(fs, mode);
    else
        Exercise(fs, mode);
    return 0;
}
