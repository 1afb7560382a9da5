#pragma once
// Files that must survive a power cut: a new file whose bytes reach the disk before anything
// names it, and the folder entry a rename made.

#include <filesystem>

#include "runtime/Text.h"

namespace ovx {

// Creates the file (never an existing file, nor through a link left at the name), writes the
// bytes and makes them reach the disk (fdatasync) before it returns. 0 on success, else the
// errno of the failing step (EEXIST: something already carries the name); a file it created
// is removed again when a later step fails.
int WriteNewFileDurably(const std::filesystem::path& path, const Bytes& bytes);

// Makes the folder's entries, such as a file just renamed into it, reach the disk. False when
// the folder cannot be opened or synced (some file systems do not sync folders).
bool SyncFolder(const std::filesystem::path& folder);

}  // namespace ovx
