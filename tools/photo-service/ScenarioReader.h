#pragma once
// Reading a scenario's JSON: typed members with the first failure kept. Shared by the readers
// of the album service's data and the web API's data.

#include <json-c/json.h>

#include <cstdint>
#include <set>
#include <string>

#include "Scenario.h"

namespace photoservice {

constexpr long kMaxPhotosInAll = 2000000;

struct JsonDeleter {
    void operator()(json_object* o) const { json_object_put(o); }
};

inline json_object* Member(json_object* object, const char* key) {
    json_object* value = nullptr;
    if (json_object_is_type(object, json_type_object))
        json_object_object_get_ex(object, key, &value);
    return value;
}

class Reader {
  public:
    std::string error;

    bool Fail(const std::string& message) {
        if (error.empty()) error = message;
        return false;
    }

    // A member read as text: strings as they are, numbers in decimal.
    bool Text(json_object* object, const char* key, std::string& out, bool required = false) {
        json_object* v = Member(object, key);
        if (!v) return !required || Fail(std::string("missing \"") + key + "\"");
        if (json_object_is_type(v, json_type_string)) {
            out.assign(json_object_get_string(v),
                       static_cast<std::size_t>(json_object_get_string_len(v)));
        } else if (json_object_is_type(v, json_type_int)) {
            out = std::to_string(json_object_get_int64(v));
        } else {
            return Fail(std::string("\"") + key + "\" must be a string");
        }
        return true;
    }

    bool Int(json_object* object, const char* key, std::int64_t& out, std::int64_t lo,
             std::int64_t hi) {
        json_object* v = Member(object, key);
        if (!v) return true;
        if (!json_object_is_type(v, json_type_int)) {
            return Fail(std::string("\"") + key + "\" must be an integer");
        }
        std::int64_t n = json_object_get_int64(v);
        if (n < lo || n > hi) return Fail(std::string("\"") + key + "\" is out of range");
        out = n;
        return true;
    }

    bool Bool(json_object* object, const char* key, bool& out) {
        json_object* v = Member(object, key);
        if (!v) return true;
        if (!json_object_is_type(v, json_type_boolean)) {
            return Fail(std::string("\"") + key + "\" must be true or false");
        }
        out = json_object_get_boolean(v);
        return true;
    }

    bool Names(json_object* object, const char* key, std::set<std::string>& out) {
        json_object* v = Member(object, key);
        if (!v) return true;
        if (!json_object_is_type(v, json_type_array)) {
            return Fail(std::string("\"") + key + "\" must be an array of member names");
        }
        for (std::size_t i = 0; i < json_object_array_length(v); ++i) {
            json_object* e = json_object_array_get_idx(v, i);
            if (!json_object_is_type(e, json_type_string)) {
                return Fail(std::string("\"") + key + "\" must be an array of member names");
            }
            out.insert(json_object_get_string(e));
        }
        return true;
    }
};

inline bool IsPlainName(const std::string& s) {
    if (s.empty() || s.size() > 64) return false;
    for (char c : s) {
        bool ok = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                  c == '_' || c == '-' || c == '.';
        if (!ok) return false;
    }
    return true;
}

inline std::string Replace(std::string s, const std::string& from, const std::string& to) {
    for (std::size_t pos = s.find(from); pos != std::string::npos;
         pos = s.find(from, pos + to.size())) {
        s.replace(pos, from.size(), to);
    }
    return s;
}

inline std::string Base36(std::uint64_t n) {
    std::string s;
    do {
        s.insert(s.begin(), "0123456789abcdefghijklmnopqrstuvwxyz"[n % 36]);
        n /= 36;
    } while (n);
    return s;
}

// Reads the web API's options of the scenario's top level.
bool ReadWebOptions(Reader& r, json_object* top, Scenario& s);
// Reads a user's "web" member; `listSeq` numbers the post lists of the whole scenario and
// `total` counts its pictures.
bool ReadWebProfile(Reader& r, json_object* u, User& user, int& listSeq, long& total);

}  // namespace photoservice
