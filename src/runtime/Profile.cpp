#include "runtime/Profile.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "runtime/CodePage.h"
#include "runtime/RegularFile.h"
#include "runtime/SettingsFile.h"

namespace ovx {
namespace {

namespace fs = std::filesystem;

bool IsBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

// Leading bytes up to 0x20 (blanks and control characters) removed.
std::string_view SkipControl(std::string_view s) {
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= 0x20) s.remove_prefix(1);
    return s;
}

// Names compare equal regardless of ASCII case; the trail byte of a double-byte character is
// compared exactly.
bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto x = static_cast<unsigned char>(a[i]);
        auto y = static_cast<unsigned char>(b[i]);
        if (x >= 0x80) {
            if (x != y || (i + 1 < a.size() && a[i + 1] != b[i + 1])) return false;
            ++i;
            continue;
        }
        if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + 32);
        if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + 32);
        if (x != y) return false;
    }
    return true;
}

// The last ']' of a line, stepping over double-byte characters, or npos.
std::size_t LastCloseBracket(std::string_view s) {
    std::size_t found = std::string_view::npos;
    for (std::size_t i = 0; i < s.size();) {
        if (s[i] == ']') found = i;
        i += static_cast<unsigned char>(s[i]) >= 0x80 ? 2 : 1;
    }
    return found;
}

enum class LineKind { kBlank, kComment, kSection, kKey };

struct Line {
    std::size_t begin = 0;  // first byte
    std::size_t end = 0;    // end of the content, before "\r\n" or "\n"
    std::size_t next = 0;   // first byte of the next line
    LineKind kind = LineKind::kBlank;
    std::string_view name;   // section or key name, trimmed
    bool hasValue = false;   // a key line with "="
    std::string_view value;  // trimmed
};

Line ParseLine(std::string_view content, std::size_t begin) {
    Line line;
    line.begin = begin;
    std::size_t newline = content.find('\n', begin);
    line.next = newline == std::string_view::npos ? content.size() : newline + 1;
    line.end = newline == std::string_view::npos ? content.size() : newline;
    if (line.end > begin && content[line.end - 1] == '\r') --line.end;

    std::string_view text = TrimBlanks(content.substr(begin, line.end - begin));
    if (text.empty()) return line;
    if (text.front() == ';') {
        line.kind = LineKind::kComment;
        return line;
    }
    if (text.front() == '[') {
        std::size_t close = LastCloseBracket(text);
        if (close != std::string_view::npos) {
            line.kind = LineKind::kSection;
            line.name = TrimBlanks(text.substr(1, close - 1));
            return line;
        }
    }
    line.kind = LineKind::kKey;
    std::size_t equals = text.find('=');
    if (equals == std::string_view::npos) {
        line.name = text;
    } else {
        line.name = TrimBlanks(text.substr(0, equals));
        line.hasValue = true;
        line.value = TrimBlanks(text.substr(equals + 1));
    }
    return line;
}

// Walks the lines of a settings file once.
class LineReader {
public:
    explicit LineReader(std::string_view content) : content_(content) {}
    bool Next(Line& line) {
        if (pos_ >= content_.size()) return false;
        line = ParseLine(content_, pos_);
        pos_ = line.next;
        return true;
    }

private:
    std::string_view content_;
    std::size_t pos_ = 0;
};

// Only a regular file of bounded size is a settings file: a FIFO, a device or a huge file in
// its place is treated as absent when reading and is never rewritten.
RegularFileRead ReadSettingsFile(const fs::path& path) {
    return ReadRegularFile(path, kMaxSettingsFileBytes);
}

// The line of `key` in `section`, first occurrences winning.
std::optional<Line> FindKey(std::string_view content, std::string_view section, std::string_view key) {
    LineReader reader(content);
    Line line;
    bool inSection = false;
    while (reader.Next(line)) {
        if (line.kind == LineKind::kSection) {
            if (inSection) return std::nullopt;  // the first matching section has ended
            inSection = SameName(line.name, section);
        } else if (inSection && line.kind == LineKind::kKey && SameName(line.name, key)) {
            return line;
        }
    }
    return std::nullopt;
}

std::mutex& WriteMutex() {
    static std::mutex mutex;
    return mutex;
}

// Writes the content beside the file and renames it over, so a failed write leaves the old file.
bool ReplaceFile(const fs::path& path, const std::string& content) {
    static std::atomic<unsigned> serial{0};
    fs::path temp = path;
    temp += ".tmp" + std::to_string(serial.fetch_add(1));
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
        out.close();
        std::error_code ec;
        if (out.fail()) {
            fs::remove(temp, ec);
            return false;
        }
    }
    std::error_code ec;
    fs::file_status old = fs::status(path, ec);
    if (!ec && fs::exists(old)) fs::permissions(temp, old.permissions(), ec);
    fs::rename(temp, path, ec);
    if (ec) {
        fs::remove(temp, ec);
        return false;
    }
    return true;
}

// Names and values are single lines: anything from the first line break on is dropped, so a
// value can never add lines of its own to the file.
std::string_view FirstLine(std::string_view s) { return s.substr(0, s.find_first_of("\r\n")); }

}  // namespace

Text ReadIniValue(const Text& file, const Text& section, const Text& key, const Text& fallback) {
    std::string_view fileName = SkipControl(file.view());
    std::string_view sectionName = TrimBlanks(SkipControl(section.view()));
    std::string_view keyName = TrimBlanks(SkipControl(key.view()));
    if (fileName.empty() || SkipControl(section.view()).empty() || SkipControl(key.view()).empty())
        return Text();

    std::string_view result = fallback.view();
    while (!result.empty() && result.back() == ' ') result.remove_suffix(1);

    const RegularFileRead stored = ReadSettingsFile(ToPath(Text(fileName)));
    std::optional<Line> line;
    if (stored.read()) line = FindKey(stored.content, sectionName, keyName);
    if (line && line->hasValue) {
        result = line->value;
        if (result.size() >= 2 && (result.front() == '"' || result.front() == '\'') &&
            result.back() == result.front())
            result = result.substr(1, result.size() - 2);
    }
    return Text(result.substr(0, kMaxIniValue));
}

bool WriteIniValue(const Text& file, const Text& section, const OptText& key, const OptText& value) {
    if (file.empty()) return false;
    std::string_view sectionName = TrimBlanks(FirstLine(section.view()));
    std::string_view keyName = key ? TrimBlanks(FirstLine(key->view())) : std::string_view();
    if (sectionName.empty() || (key && keyName.empty())) return false;
    const fs::path path = ToPath(file);

    std::lock_guard lock(WriteMutex());
    RegularFileRead stored = ReadSettingsFile(path);
    if (stored.status == RegularFileRead::Status::kRefused) return false;
    std::string content;
    if (stored.read()) {
        // The file is replaced, not written in place: honour a read-only file explicitly.
        std::error_code ec;
        if ((fs::status(path, ec).permissions() & fs::perms::owner_write) == fs::perms::none)
            return false;
        content = std::move(stored.content);
    }
    std::size_t firstNewline = content.find('\n');
    const std::string eol =
        firstNewline != std::string::npos && (firstNewline == 0 || content[firstNewline - 1] != '\r')
            ? "\n"
            : "\r\n";

    // Locate the first matching section: its header, its last key line, its end, and the key.
    std::optional<Line> header, lastKey, found;
    std::size_t sectionEnd = content.size();
    LineReader reader(content);
    Line line;
    while (reader.Next(line)) {
        if (line.kind == LineKind::kSection) {
            if (header) {
                sectionEnd = line.begin;
                break;
            }
            if (SameName(line.name, sectionName)) header = line;
        } else if (header && line.kind == LineKind::kKey) {
            lastKey = line;
            if (key && !found && SameName(line.name, keyName)) found = line;
        }
    }

    std::string keyLine;
    if (key && value) keyLine = std::string(keyName) + "=" + std::string(FirstLine(value->view()));

    if (!key) {  // delete the whole section
        if (!header) return true;
        content.erase(header->begin, sectionEnd - header->begin);
    } else if (!value) {  // delete the key
        if (!found) return true;
        content.erase(found->begin, found->next - found->begin);
    } else if (found) {  // rewrite the key in place, keeping the spelling of its name
        keyLine = std::string(found->name) + "=" + std::string(FirstLine(value->view()));
        content.replace(found->begin, found->end - found->begin, keyLine);
    } else if (header) {  // add the key after the last key line of its section
        const Line& after = lastKey ? *lastKey : *header;
        std::string insert = keyLine + eol;
        if (content[after.next - 1] != '\n') insert = eol + insert;  // no line break after it
        content.insert(after.next, insert);
    } else {  // append the section
        if (!content.empty() && content.back() != '\n') content += eol;
        content += "[" + std::string(sectionName) + "]" + eol + keyLine + eol;
    }
    // A file grown past the cap would no longer be read: keep the one that still is.
    if (content.size() > kMaxSettingsFileBytes) return false;
    return ReplaceFile(path, content);
}

}  // namespace ovx
