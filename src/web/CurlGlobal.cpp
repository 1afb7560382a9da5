#include "web/CurlGlobal.h"

#include <cstdio>
#include <mutex>

namespace ovx {

void EnsureCurlGlobal() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_ALL); });
}

bool CurlHeaderList::Append(const std::string& line) {
    curl_slist* grown = curl_slist_append(list_, line.c_str());
    if (grown == nullptr) return false;
    list_ = grown;
    return true;
}

std::string CurlHeaderLine(const std::string& name, const std::string& value) {
    if (name.find_first_of("\r\n") != std::string::npos ||
        value.find_first_of("\r\n") != std::string::npos) {
        return {};
    }
    if (value.empty()) return name + ";";
    return name + ": " + value;
}

std::string EscapeUrlForCurl(const Text& url) {
    std::string out;
    out.reserve(url.size());
    for (char c : url.bytes()) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte == 0x7f) {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace ovx
