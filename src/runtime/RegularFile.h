#pragma once
// Reading a small file that must be a regular file: settings, cookie and user-dirs files.
//
// Whatever a path names is untrusted: a link to /dev/zero would grow memory without end, a
// FIFO would block the reader forever. Only a regular file (after following links) of at most
// a given size is read; the check is made on the path and again on the open descriptor, which
// is opened without blocking.

#include <cstddef>
#include <filesystem>
#include <string>

namespace ovx {

struct RegularFileRead {
    enum class Status {
        kRead,     // `content` holds the whole file
        kAbsent,   // nothing exists at the path (or a link points nowhere)
        kRefused,  // something exists but is not a readable regular file within the size cap
    };
    Status status = Status::kAbsent;
    std::string content;

    bool read() const { return status == Status::kRead; }
};

RegularFileRead ReadRegularFile(const std::filesystem::path& path, std::size_t maxBytes);

// What ReadRegularFile would find at the path, judged from its status alone (nothing is
// opened). A writer that replaces a file checks this first, so that it never replaces
// something that is not a file of its own.
RegularFileRead::Status InspectRegularFile(const std::filesystem::path& path, std::size_t maxBytes);

}  // namespace ovx
