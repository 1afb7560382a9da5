// The one reader of small files that must be regular files (settings, cookies, user-dirs).
// Whatever sits at the path is the test's choice; every read must come back at once (a FIFO
// would block an ordinary open forever, /dev/zero never ends: ctest's time-out catches a hang).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <string>

#include "TempFolder.h"
#include "runtime/RegularFile.h"

namespace ovx {
namespace {

namespace fs = std::filesystem;
using testing_support::TempFolder;
using Status = RegularFileRead::Status;

constexpr std::size_t kCap = 16;

TEST(RegularFileTest, OnlyARegularFileWithinTheCapIsRead) {
    struct Case {
        const char* name;
        // Puts something at (or around) the path `dir/f` and returns the path to read.
        std::function<fs::path(const TempFolder&)> make;
        Status status;
        std::string content;  // when read
    };
    const auto file = [](std::string bytes) {
        return [bytes](const TempFolder& dir) {
            dir.Write("f", bytes);
            return dir.path() / "f";
        };
    };
    const auto link = [](fs::path target) {
        return [target](const TempFolder& dir) {
            fs::create_symlink(target, dir.path() / "f");
            return dir.path() / "f";
        };
    };
    const Case cases[] = {
        {"a file", file(std::string("a\0b\n", 4)), Status::kRead, std::string("a\0b\n", 4)},
        {"an empty file", file(""), Status::kRead, ""},
        {"a file at the cap", file(std::string(kCap, 'x')), Status::kRead, std::string(kCap, 'x')},
        {"a file one byte past the cap", file(std::string(kCap + 1, 'x')), Status::kRefused, ""},
        {"a link to a file",
         [](const TempFolder& dir) {
             dir.Write("target", "linked");
             fs::create_symlink(dir.path() / "target", dir.path() / "f");
             return dir.path() / "f";
         },
         Status::kRead, "linked"},
        {"nothing", [](const TempFolder& dir) { return dir.path() / "f"; }, Status::kAbsent, ""},
        {"a link to nothing", link("/nonexistent/ovx-target"), Status::kAbsent, ""},
        {"a name below a file",
         [](const TempFolder& dir) {
             dir.Write("f", "x");
             return dir.path() / "f" / "g";
         },
         Status::kAbsent, ""},
        {"a folder",
         [](const TempFolder& dir) {
             fs::create_directory(dir.path() / "f");
             return dir.path() / "f";
         },
         Status::kRefused, ""},
        {"a FIFO",
         [](const TempFolder& dir) {
             EXPECT_EQ(::mkfifo((dir.path() / "f").c_str(), 0600), 0);
             return dir.path() / "f";
         },
         Status::kRefused, ""},
        {"a link to a FIFO",
         [](const TempFolder& dir) {
             EXPECT_EQ(::mkfifo((dir.path() / "fifo").c_str(), 0600), 0);
             fs::create_symlink(dir.path() / "fifo", dir.path() / "f");
             return dir.path() / "f";
         },
         Status::kRefused, ""},
        {"a link to /dev/zero", link("/dev/zero"), Status::kRefused, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder dir;
        const fs::path path = c.make(dir);
        // A writer that replaces the file judges it the same way as the reader.
        EXPECT_EQ(InspectRegularFile(path, kCap), c.status);
        const RegularFileRead read = ReadRegularFile(path, kCap);
        EXPECT_EQ(read.status, c.status);
        EXPECT_EQ(read.read(), c.status == Status::kRead);
        EXPECT_EQ(read.content, c.content);
    }
}

}  // namespace
}  // namespace ovx
