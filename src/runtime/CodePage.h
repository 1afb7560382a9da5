#pragma once
// The one place where text crosses between the local code page and UTF-8 / file paths.

#include <filesystem>
#include <string>
#include <string_view>

#include "runtime/Text.h"

namespace ovx {

// UTF-8 to the local code page (GB18030). Invalid UTF-8 sequences become '?'.
Text Utf8ToLocal(std::string_view utf8);
// The local code page to UTF-8. Bytes that are not valid GB18030 become U+FFFD.
std::string LocalToUtf8(const Text& text);
// A fetched page or answer (UTF-8 bytes) as local-code-page text, up to its first zero byte.
Text Utf8PageToText(const Bytes& page);

// A Text naming a file or folder, as a file-system path (UTF-8 on Linux), and back.
std::filesystem::path ToPath(const Text& text);
Text FromPath(const std::filesystem::path& path);

}  // namespace ovx
