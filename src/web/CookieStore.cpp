#include "web/CookieStore.h"

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <system_error>

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

// A short-lived easy handle on the store's share, for reading and changing its cookies.
CurlEasyPtr HandleOn(void* share) {
    CurlEasyPtr easy(curl_easy_init());
    if (easy) curl_easy_setopt(easy.get(), CURLOPT_SHARE, static_cast<CURLSH*>(share));
    return easy;
}

bool HasControl(const std::string& field) {
    return field.find_first_of("\t\r\n") != std::string::npos;
}

std::string NetscapeLine(const Cookie& c) {
    std::string line = c.httpOnly ? "#HttpOnly_" : "";
    line += c.domain;
    line += c.domain.starts_with('.') ? "\tTRUE\t" : "\tFALSE\t";
    line += c.path.empty() ? std::string("/") : c.path;
    line += c.secure ? "\tTRUE\t" : "\tFALSE\t";
    line += std::to_string(c.expires) + "\t" + c.name + "\t" + c.value;
    return line;
}

// Parses one line in the form libcurl lists its cookies.
bool ParseNetscapeLine(std::string line, Cookie& out) {
    constexpr std::string_view kHttpOnly = "#HttpOnly_";
    out = Cookie{};
    if (line.starts_with(kHttpOnly)) {
        out.httpOnly = true;
        line.erase(0, kHttpOnly.size());
    }
    std::string fields[7];
    std::size_t start = 0;
    for (int i = 0; i < 7; ++i) {
        const std::size_t tab = i < 6 ? line.find('\t', start) : std::string::npos;
        if (i < 6 && tab == std::string::npos) return false;
        fields[i] = line.substr(start, tab == std::string::npos ? std::string::npos : tab - start);
        start = tab + 1;
    }
    out.domain = fields[0];
    out.path = fields[2];
    out.secure = fields[3] == "TRUE";
    out.expires = std::strtoll(fields[4].c_str(), nullptr, 10);
    out.name = fields[5];
    out.value = fields[6];
    return true;
}

}  // namespace

CookieStore& CookieStore::Instance() {
    // Never destroyed: worker threads may still run requests while the process exits.
    static CookieStore* store = new CookieStore();
    return *store;
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
    return ImportLine(NetscapeLine(cookie));
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
        if (ParseNetscapeLine(item->data, c) && (c.expires == 0 || c.expires > now)) {
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
    std::ifstream in(file, std::ios::binary);
    if (!in) return false;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || (line[0] == '#' && !line.starts_with("#HttpOnly_"))) continue;
        if (line.size() > 16384) continue;
        ImportLine(line);
    }
    return !in.bad();
}

bool CookieStore::Save(const std::filesystem::path& file) const {
    std::filesystem::path temp = file;
    temp += ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        out << "# Netscape HTTP Cookie File\n";
        for (const Cookie& c : List()) out << NetscapeLine(c) << '\n';
        out.flush();
        if (!out) return false;
    }
    std::error_code error;
    std::filesystem::rename(temp, file, error);
    if (error) std::filesystem::remove(temp, error);
    return !error;
}

}  // namespace ovx
