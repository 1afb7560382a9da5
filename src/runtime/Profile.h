#pragma once
// Settings files with the rules of the Windows private-profile functions: section and key
// names matched without regard to ASCII case and surrounding blanks, values trimmed, a key
// rewritten in place or added at the end of its section, a missing section appended, every
// other line kept byte for byte. Files are in the local code page.

#include "runtime/Text.h"

namespace ovx {

inline constexpr int kMaxIniValue = 10239;

// The value, cut to kMaxIniValue bytes; `fallback` when the key is absent. Leading bytes up
// to 0x20 are skipped in file, section and key; when one of them is then empty, "" comes back
// and the file is not read.
Text ReadIniValue(const Text& file, const Text& section, const Text& key, const Text& fallback = Text());

// An absent value deletes the key, an absent key deletes the whole section. True on success.
bool WriteIniValue(const Text& file, const Text& section, const OptText& key, const OptText& value);

}  // namespace ovx
