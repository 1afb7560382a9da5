#include "runtime/ProgramFolder.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>
#include <system_error>

#include "runtime/CodePage.h"
#include "runtime/RegularFile.h"
#include "runtime/SettingsFile.h"

namespace ovx {

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kMaxUserDirsBytes = 64 * 1024;

std::mutex gOverrideMutex;
Text gOverrideFolder;

Text OverrideFolder() {
    std::lock_guard lock(gOverrideMutex);
    return gOverrideFolder;
}

// Trailing separators removed, except for the root itself.
Text WithoutTrailingSeparator(const Text& folder) {
    std::string bytes = folder.bytes();
    while (bytes.size() > 1 && bytes.back() == '/') bytes.pop_back();
    return Text(bytes);
}

// An environment variable holding an absolute path; empty otherwise (the XDG rule: relative
// values are ignored).
fs::path AbsoluteFromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || value[0] != '/') return {};
    return fs::path(std::string(value));
}

fs::path HomeFolder() {
    if (fs::path home = AbsoluteFromEnvironment("HOME"); !home.empty()) return home;
    if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir) {
        return fs::path(std::string(entry->pw_dir));
    }
    return fs::path("/");
}

fs::path ConfigFolder() {
    if (fs::path config = AbsoluteFromEnvironment("XDG_CONFIG_HOME"); !config.empty()) {
        return config;
    }
    return HomeFolder() / ".config";
}

// The value of one line of a user-dirs file (XDG_PICTURES_DIR="$HOME/Pictures"): a quoted
// path that starts with "$HOME" or "/", backslash escaping the next character. Empty when
// the line is not of that form.
fs::path UserDirValue(std::string_view quoted) {
    if (quoted.size() < 2 || quoted.front() != '"') return {};
    quoted.remove_prefix(1);
    std::string value;
    bool closed = false;
    for (std::size_t i = 0; i < quoted.size(); ++i) {
        const char c = quoted[i];
        if (c == '\\' && i + 1 < quoted.size()) {
            value += quoted[++i];
        } else if (c == '"') {
            closed = true;
            break;
        } else {
            value += c;
        }
    }
    if (!closed) return {};
    constexpr std::string_view kHome = "$HOME";
    if (value.compare(0, kHome.size(), kHome) == 0) {
        std::string rest = value.substr(kHome.size());
        if (!rest.empty() && rest.front() != '/') return {};  // "$HOMEWORK" is no home
        while (!rest.empty() && rest.front() == '/') rest.erase(0, 1);
        return rest.empty() ? HomeFolder() : HomeFolder() / rest;
    }
    if (!value.empty() && value.front() == '/') return fs::path(value);
    return {};
}

fs::path PicturesFromUserDirs() {
    const RegularFileRead file =
        ReadRegularFile(ConfigFolder() / "user-dirs.dirs", kMaxUserDirsBytes);
    if (!file.read()) return {};
    constexpr std::string_view kKey = "XDG_PICTURES_DIR";
    fs::path found;
    std::string_view rest = file.content;
    while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
            line.remove_prefix(1);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.remove_suffix(1);
        if (line.substr(0, kKey.size()) != kKey) continue;
        line.remove_prefix(kKey.size());
        if (line.empty() || line.front() != '=') continue;
        line.remove_prefix(1);
        // The last assignment wins, as when the file is sourced by a shell.
        if (fs::path value = UserDirValue(line); !value.empty()) found = value;
    }
    return found;
}

Text Below(const Text& folder, const char* utf8Name) {
    return FromPath(ToPath(folder) / ToPath(Utf8ToLocal(utf8Name)));
}

}  // namespace

// The system's program folders: a program installed there is an installed program even for
// root, who can write to them.
namespace {
bool IsSystemProgramFolder(const fs::path& folder) {
    const fs::path normal = folder.lexically_normal();
    for (const char* root : {"/usr", "/bin", "/sbin", "/opt", "/snap"}) {
        const fs::path r(root);
        if (std::mismatch(r.begin(), r.end(), normal.begin(), normal.end()).first == r.end()) {
            return true;
        }
    }
    return false;
}
}  // namespace

Text ProgramFolderFor(const Text& executableFolder) {
    if (!executableFolder.empty()) {
        const fs::path folder = ToPath(executableFolder);
        std::error_code ec;
        if (fs::is_directory(folder, ec) && !IsSystemProgramFolder(folder) &&
            ::access(folder.c_str(), W_OK) == 0) {
            return WithoutTrailingSeparator(executableFolder);
        }
    }
    return UserDataFolder();
}

Text ExecutableFolder() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec || exe.empty()) return Text();
    return FromPath(exe.parent_path());
}

Text ProgramFolder() {
    if (Text folder = OverrideFolder(); !folder.empty()) return folder;
    Text folder = ProgramFolderFor(ExecutableFolder());
    if (folder != ExecutableFolder()) {
        // The per-user data folder may not exist yet; the settings file and the record folder
        // are written into it, so it is made here (private to the user, as the XDG rule asks).
        std::error_code ec;
        const fs::path path = ToPath(folder);
        if (!fs::is_directory(path, ec)) {
            fs::create_directories(path.parent_path(), ec);
            ::mkdir(path.c_str(), 0700);
        }
    }
    return folder;
}

void SetProgramFolderOverride(const Text& folder) {
    Text trimmed = WithoutTrailingSeparator(folder);
    std::lock_guard lock(gOverrideMutex);
    gOverrideFolder = std::move(trimmed);
}

Text UserDataFolder() {
    fs::path base = AbsoluteFromEnvironment("XDG_DATA_HOME");
    if (base.empty()) base = HomeFolder() / ".local" / "share";
    return FromPath(base / "Ovatrix");
}

Text UserPicturesFolder() {
    fs::path pictures = PicturesFromUserDirs();
    if (pictures.empty()) pictures = HomeFolder() / "Pictures";
    return WithoutTrailingSeparator(FromPath(pictures));
}

Text DefaultSaveLocation() {
    // An overridden program folder (a test, or a folder named on the command line) stands for
    // a portable copy: photos go beside it, as they do beside a writable executable.
    const Text folder = ProgramFolder();
    if (!OverrideFolder().empty() || folder == ExecutableFolder()) return folder;
    return UserPicturesFolder();
}

Text SettingsPath() {
    return SettingsFile::PathFor(ProgramFolder());
}

Text RecordFolder() {
    return FromPath(ToPath(Below(ProgramFolder(), "防止重复下载数据库")) / "");
}

Text BrowserDataFolder() {
    return Below(ProgramFolder(), "浏览器数据");
}

Text BrowserCookiesFile() {
    return FromPath(ToPath(BrowserDataFolder()) / "cookies.txt");
}

Text VisitorCookiesFile() {
    return Below(ProgramFolder(), "访客cookies.txt");
}

}  // namespace ovx
