#include "runtime/Files.h"

#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include "runtime/CodePage.h"

namespace ovx {
namespace {

namespace fs = std::filesystem;

// UTF-8 decoded to code points, so that '?' stands for one character as it does on Windows.
// A byte that does not start a valid sequence stands for itself.
std::u32string CodePoints(const std::string& utf8) {
    std::u32string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        auto b = static_cast<unsigned char>(utf8[i]);
        int extra = b >= 0xF0 && b < 0xF8 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : 0;
        if (b >= 0xF8) extra = 0;
        char32_t cp = extra == 0 ? b : (b & (0x3F >> extra));
        bool valid = extra > 0 && i + static_cast<std::size_t>(extra) < utf8.size();
        for (int k = 1; valid && k <= extra; ++k) {
            auto c = static_cast<unsigned char>(utf8[i + static_cast<std::size_t>(k)]);
            if ((c & 0xC0) != 0x80) valid = false;
            else cp = (cp << 6) | (c & 0x3F);
        }
        if (extra > 0 && valid) {
            out += cp;
            i += static_cast<std::size_t>(extra) + 1;
        } else {
            out += static_cast<char32_t>(b);
            ++i;
        }
    }
    return out;
}

// '*' matches any run of characters, '?' one character; everything else matches itself.
bool WildcardMatch(const std::u32string& pattern, const std::u32string& name) {
    std::size_t p = 0, n = 0, starP = std::u32string::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == U'?' || pattern[p] == name[n])) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == U'*') {
            starP = p++;
            starN = n;
        } else if (starP != std::u32string::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == U'*') ++p;
    return p == pattern.size();
}

bool HasWildcard(const std::string& s) { return s.find_first_of("*?") != std::string::npos; }

}  // namespace

bool FileExists(const Text& path) {
    if (path.empty()) return false;
    const fs::path p = ToPath(path);
    std::error_code ec;
    const std::string name = p.filename().string();
    if (!HasWildcard(name)) return fs::exists(fs::symlink_status(p, ec));

    fs::path folder = p.parent_path();
    if (folder.empty()) folder = ".";
    const std::u32string pattern = CodePoints(name);
    fs::directory_iterator it(folder, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        if (WildcardMatch(pattern, CodePoints(it->path().filename().string()))) return true;
    }
    return false;
}

bool WriteFileBytes(const Text& path, std::initializer_list<Bytes> parts) {
    if (path.empty()) return false;
    std::ofstream out(ToPath(path), std::ios::binary | std::ios::trunc);
    if (!out) return false;
    for (const Bytes& part : parts) {
        if (part.empty()) continue;
        out.write(reinterpret_cast<const char*>(part.data()), static_cast<std::streamsize>(part.size()));
    }
    out.close();
    return !out.fail();
}

}  // namespace ovx
