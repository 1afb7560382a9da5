#pragma once
// Files that must survive a power cut: a new file whose bytes reach the disk before anything
// names it, and the folder entry a rename made.

#include <cstddef>
#include <cstdint>
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
// Makes everything written to the file system that holds the folder reach the disk (syncfs):
// one call for many new files. False when it cannot (the caller then syncs each file).
bool SyncFileSystem(const std::filesystem::path& folder);

// A file this object created and writes piece by piece (a body as it arrives). It is removed
// when the object goes, unless Release() said that its name now belongs to someone else.
class NewFile {
  public:
    NewFile() = default;
    ~NewFile();
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;

    // Creates the file as WriteNewFileDurably does; 0 or the errno (EEXIST: the name is taken).
    int Create(const std::filesystem::path& path);
    // Appends; 0 or the errno.
    int Write(const void* data, std::size_t size);
    // Empties the file again; 0 or the errno.
    int Clear();
    // Makes the bytes reach the disk and closes the file; 0 or the errno.
    int Finish();
    // Closes the file without a sync of its own (its bytes reached the disk otherwise, as by
    // SyncFileSystem); 0 or the errno.
    int Close();
    // Closes and removes the file.
    void Remove();
    // The file has been renamed: nothing to remove any more.
    void Release();

    bool IsOpen() const { return fd_ >= 0; }
    const std::filesystem::path& Path() const { return path_; }
    std::uint64_t Size() const { return size_; }

  private:
    int fd_ = -1;
    bool owned_ = false;
    std::filesystem::path path_;
    std::uint64_t size_ = 0;
};

// Renames `from` to `to` unless something carries the name `to` already: 0, EEXIST when the
// name is taken (neither file changes), else the errno. Where the file system cannot rename
// without replacing, a hard link and an unlink do the same.
int RenameWithoutReplacing(const std::filesystem::path& from, const std::filesystem::path& to);

// True when both are regular files (links not followed) holding the same bytes.
bool SameFileContents(const std::filesystem::path& a, const std::filesystem::path& b);

}  // namespace ovx
