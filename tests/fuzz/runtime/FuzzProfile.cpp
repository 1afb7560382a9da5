// Settings files made of random bytes: reading never crashes, and a key written into such a
// file reads back as written while an unrelated key keeps its value.

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <string>
#include <string_view>

#include "runtime/CodePage.h"
#include "runtime/Profile.h"

using namespace ovx;

#include "../FuzzInput.h"

namespace {

using ovx::fuzz::Check;

// The settings file, memory-backed when the system has a /dev/shm: every input costs a dozen
// file replacements. It is removed after each input, so nothing is left behind.
const std::filesystem::path& SettingsPath() {
    static const std::filesystem::path path = [] {
        std::error_code ec;
        std::filesystem::path base = std::filesystem::is_directory("/dev/shm", ec)
                                         ? std::filesystem::path("/dev/shm")
                                         : std::filesystem::temp_directory_path();
        return base / ("ovx-fuzz-profile-" + std::to_string(::getpid()) + "-配置.ini");
    }();
    return path;
}

bool IsBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// A name that a settings line can carry unchanged: one line, no blanks at its ends, no
// control bytes, no '=' and not ending in a lone lead byte. Keys also may not look like a
// comment or a section header.
bool UsableName(std::string_view name, bool isKey) {
    if (name.empty() || IsBlank(name.front()) || IsBlank(name.back())) return false;
    for (char c : name)
        if (static_cast<std::uint8_t>(c) < 0x20 || c == '=') return false;
    if (isKey && (name.front() == ';' || name.front() == '[')) return false;
    std::size_t i = 0;
    while (i < name.size()) i += static_cast<std::uint8_t>(name[i]) >= 0x80 ? 2 : 1;
    return i == name.size();
}

bool SameAscii(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::filesystem::path& path = SettingsPath();
    const Text file = FromPath(path);
    std::string_view input(reinterpret_cast<const char*>(data), size);
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(input.data(), static_cast<std::streamsize>(input.size()));
    }

    // Names taken from the input: the first two lines (cut at a zero byte by Text).
    std::size_t nl1 = input.find('\n');
    std::size_t nl2 = nl1 == std::string_view::npos ? nl1 : input.find('\n', nl1 + 1);
    Text section(input.substr(0, std::min(nl1, std::size_t{64})));
    Text key(nl1 == std::string_view::npos ? std::string_view()
                                           : input.substr(nl1 + 1, std::min(nl2 - nl1 - 1, std::size_t{64})));

    Text before = ReadIniValue(file, Text("s"), Text("k"), Text("<none>"));
    Text fromInput = ReadIniValue(file, section, key, Text("d"));
    Check(fromInput.size() <= static_cast<std::size_t>(kMaxIniValue));

    if (UsableName(section.view(), false) && UsableName(key.view(), true)) {
        const Text value("<written value>");
        Check(WriteIniValue(file, section, key, value));
        Check(ReadIniValue(file, section, key) == value);
        if (!SameAscii(section.view(), "s"))
            Check(ReadIniValue(file, Text("s"), Text("k"), Text("<none>")) == before);
        // Deleting removes the first occurrence; a duplicate key or section further down then
        // shows through, so delete until the key is gone: every round must shrink the file.
        for (bool deleteSection : {false, true}) {
            Check(WriteIniValue(file, section, key, value));
            while (ReadIniValue(file, section, key, Text("gone")) != Text("gone")) {
                auto sizeBefore = std::filesystem::file_size(path);
                Check(deleteSection ? WriteIniValue(file, section, std::nullopt, std::nullopt)
                                    : WriteIniValue(file, section, key, std::nullopt));
                Check(std::filesystem::file_size(path) < sizeBefore);
            }
        }
    }
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
    return 0;
}
