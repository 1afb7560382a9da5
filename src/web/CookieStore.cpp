#include "web/CookieStore.h"

#include <charconv>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <system_error>

#include "runtime/RegularFile.h"
#include "web/CurlGlobal.h"

namespace ovx {

struct CookieStoreLocking {
    static std::mutex& For(void* store, curl_lock_data data) {
        auto* self = static_cast<CookieStore*>(store);
        return self->locks_[static_cast<int>(data) % CookieStore::kLockCount];
    }
    static void Lock(CURL*, curl_lock_data data, curl_lock_access, void* store) {
        For(store, data).lock();
    }
    static void Unlock(CURL*, curl_lock_data data, void* store) { For(store, data).unlock(); }
};

namespace {

constexpr std::string_view kHttpOnlyPrefix = "#HttpOnly_";
// A cookies.txt file is kilobytes; a browser's whole export stays well below this.
constexpr std::size_t kMaxCookieFileBytes = std::size_t{8} << 20;
// Longer lines hold no cookie a server would send (browsers cap a cookie near 4 KiB).
constexpr std::size_t kMaxCookieLineBytes = 16384;

// A short-lived easy handle on the store's share, for reading and changing its cookies.
CurlEasyPtr HandleOn(void* share) {
    CurlEasyPtr easy(curl_easy_init());
    if (easy) curl_easy_setopt(easy.get(), CURLOPT_SHARE, static_cast<CURLSH*>(share));
    return easy;
}

bool HasControl(const std::string& field) {
    return field.find_first_of("\t\r\n") != std::string::npos;
}

}  // namespace

std::string FormatCookieLine(const Cookie& c) {
    std::string line(c.httpOnly ? kHttpOnlyPrefix : std::string_view());
    line += c.domain;
    line += c.domain.starts_with('.') ? "\tTRUE\t" : "\tFALSE\t";
    line += c.path.empty() ? std::string("/") : c.path;
    line += c.secure ? "\tTRUE\t" : "\tFALSE\t";
    line += std::to_string(c.expires) + "\t" + c.name + "\t" + c.value;
    return line;
}

bool ParseCookieLine(std::string_view line, Cookie& c) {
    c = Cookie{};
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
    if (line.starts_with(kHttpOnlyPrefix)) {
        c.httpOnly = true;
        line.remove_prefix(kHttpOnlyPrefix.size());
    } else if (line.empty() || line[0] == '#') {
        return false;
    }
    std::string_view fields[7];
    for (int i = 0; i < 6; ++i) {
        const std::size_t tab = line.find('\t');
        if (tab == std::string_view::npos) return false;
        fields[i] = line.substr(0, tab);
        line.remove_prefix(tab + 1);
    }
    if (line.find('\t') != std::string_view::npos) return false;
    fields[6] = line;
    const std::string_view expires = fields[4];
    const auto [end, error] =
        std::from_chars(expires.data(), expires.data() + expires.size(), c.expires);
    if (error != std::errc() || end != expires.data() + expires.size() || c.expires < 0) {
        return false;
    }
    c.domain = fields[0];
    c.path = fields[2].empty() ? std::string("/") : std::string(fields[2]);
    c.secure = fields[3] == "TRUE";
    c.name = fields[5];
    c.value = fields[6];
    return !c.name.empty() && !c.domain.empty();
}

CookieStore::~CookieStore() {
    if (share_ != nullptr) curl_share_cleanup(static_cast<CURLSH*>(share_));
}

CookieStore::CookieStore() {
    EnsureCurlGlobal();
    CURLSH* share = curl_share_init();
    curl_share_setopt(share, CURLSHOPT_LOCKFUNC, &CookieStoreLocking::Lock);
    curl_share_setopt(share, CURLSHOPT_UNLOCKFUNC, &CookieStoreLocking::Unlock);
    curl_share_setopt(share, CURLSHOPT_USERDATA, this);
    curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
    curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
    curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
    share_ = share;
}

bool CookieStore::Import(const Cookie& cookie) {
    if (cookie.name.empty() || cookie.domain.empty() || HasControl(cookie.name) ||
        HasControl(cookie.value) || HasControl(cookie.domain) || HasControl(cookie.path)) {
        return false;
    }
    return ImportLine(FormatCookieLine(cookie));
}

bool CookieStore::ImportLine(const std::string& line) {
    if (line.empty() || line.find_first_of("\r\n") != std::string::npos) return false;
    CurlEasyPtr easy = HandleOn(share_);
    return easy && curl_easy_setopt(easy.get(), CURLOPT_COOKIELIST, line.c_str()) == CURLE_OK;
}

void CookieStore::Remove(const std::string& name, const std::string& domain,
                         const std::string& path) {
    // A cookie that expired long ago replaces the held one, and libcurl drops expired cookies.
    Cookie gone;
    gone.name = name;
    gone.domain = domain;
    gone.path = path.empty() ? "/" : path;
    gone.expires = 1;
    for (const Cookie& held : List()) {
        if (held.name == name && held.path == gone.path &&
            (held.domain == domain || held.domain == "." + domain || "." + held.domain == domain)) {
            gone.domain = held.domain;
            gone.secure = held.secure;
            gone.httpOnly = held.httpOnly;
            Import(gone);
        }
    }
}

std::vector<Cookie> CookieStore::List() const {
    std::vector<Cookie> cookies;
    CurlEasyPtr easy = HandleOn(share_);
    if (!easy) return cookies;
    curl_slist* list = nullptr;
    if (curl_easy_getinfo(easy.get(), CURLINFO_COOKIELIST, &list) != CURLE_OK) return cookies;
    // libcurl drops expired cookies lazily and never sends them; neither are they listed.
    const std::int64_t now = std::time(nullptr);
    for (curl_slist* item = list; item != nullptr; item = item->next) {
        Cookie c;
        if (ParseCookieLine(item->data, c) && (c.expires == 0 || c.expires > now)) {
            cookies.push_back(std::move(c));
        }
    }
    curl_slist_free_all(list);
    return cookies;
}

void CookieStore::Clear() {
    CurlEasyPtr easy = HandleOn(share_);
    if (easy) curl_easy_setopt(easy.get(), CURLOPT_COOKIELIST, "ALL");
}

bool CookieStore::Load(const std::filesystem::path& file) {
    // Only a regular file of bounded size: a FIFO would block here forever and a link to
    // /dev/zero would fill memory.
    const RegularFileRead read = ReadRegularFile(file, kMaxCookieFileBytes);
    if (!read.read()) return false;
    std::string_view rest = read.content;
    while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty() || (line[0] == '#' && !line.starts_with("#HttpOnly_"))) continue;
        if (line.size() > kMaxCookieLineBytes) continue;  // skipped whole, never cut in two
        ImportLine(std::string(line));
    }
    return true;
}

bool CookieStore::Save(const std::filesystem::path& file) const {
    std::filesystem::path temp = file;
    temp += ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        out << "# Netscape HTTP Cookie File\n";
        for (const Cookie& c : List()) out << FormatCookieLine(c) << '\n';
        out.flush();
        if (!out) return false;
    }
    std::error_code error;
    std::filesystem::rename(temp, file, error);
    if (error) std::filesystem::remove(temp, error);
    return !error;
}

}  // namespace ovx
