#pragma once
// Files and the settings (profile) file. Paths are Texts in the local code page.

#include <initializer_list>

#include "runtime/Text.h"

namespace ovx {

// True when a directory search for the path finds an entry: a file, a folder, or any match
// of a wildcard pattern (* and ?) in its last component.
bool FileExists(const Text& path);

// Creates or truncates the file and writes the arrays in order; false when the path is empty
// or the file cannot be opened or written.
bool WriteFileBytes(const Text& path, std::initializer_list<Bytes> parts);

}  // namespace ovx
