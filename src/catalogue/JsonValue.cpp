#include "catalogue/JsonValue.h"

#include <json-c/json.h>

#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include "runtime/CodePage.h"
#include "runtime/TextOps.h"

namespace ovx {

// The parsed document: the root owns the whole tree.
struct JsonValue::Impl {
    json_object* root = nullptr;
    explicit Impl(json_object* r) : root(r) {}
    ~Impl() { json_object_put(root); }
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;
};

namespace {

json_object* AsObject(void* value) {
    return static_cast<json_object*>(value);
}

bool IsJsonSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Appends a UTF-8 string in the JSON text form: '"', '\' and '/' behind a backslash,
// \b \t \n \r, other controls (the zero byte too) as \u00xx, everything else unchanged.
void AppendString(std::string& out, const char* s, std::size_t n) {
    static const char kHex[] = "0123456789abcdef";
    out.push_back('"');
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '/':
                out += "\\/";
                break;
            case '\b':
                out += "\\b";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                if (c < 0x20) {
                    out += "\\u00";
                    out.push_back(kHex[c >> 4]);
                    out.push_back(kHex[c & 0xF]);
                } else {
                    out.push_back(static_cast<char>(c));
                }
        }
    }
    out.push_back('"');
}

// A double with no kept source text: the shortest decimal that reads back to the same value,
// as a double.
void AppendDouble(std::string& out, double d) {
    if (std::isnan(d)) {
        out += "NaN";
        return;
    }
    if (std::isinf(d)) {
        out += d < 0 ? "-Infinity" : "Infinity";
        return;
    }
    char buffer[40];
    for (int precision = 1; precision <= 17; ++precision) {
        std::snprintf(buffer, sizeof buffer, "%.*g", precision, d);
        if (std::strtod(buffer, nullptr) == d) break;
    }
    out += buffer;
    // A whole number stays a double when read back ("-0" would read as the integer 0).
    if (std::strpbrk(buffer, ".e") == nullptr) out += ".0";
}

void AppendNumber(std::string& out, json_object* o) {
    if (json_object_is_type(o, json_type_double)) {
        // A parsed double keeps the text it was written with (json-c's userdata). That text
        // can look like an integer ("12e" is kept as "12"): written as such it would read back
        // as an integer, clamped when out of range, so the value is written instead.
        const char* source = static_cast<const char*>(json_object_get_userdata(o));
        if (source != nullptr && std::strpbrk(source, ".eEnNiI") != nullptr) {
            out += source;
        } else {
            AppendDouble(out, json_object_get_double(o));
        }
        return;
    }
    // Integers: json-c keeps int64 and, above INT64_MAX, uint64; never through a double.
    char buffer[32];
    const std::int64_t i = json_object_get_int64(o);
    if (i == INT64_MAX) {
        std::snprintf(buffer, sizeof buffer, "%" PRIu64, json_object_get_uint64(o));
    } else {
        std::snprintf(buffer, sizeof buffer, "%" PRId64, i);
    }
    out += buffer;
}

// The JSON text of `o` in UTF-8. Parsing bounds the depth, so the recursion is bounded;
// `depth` guards it all the same.
void AppendValue(std::string& out, json_object* o, int depth) {
    if (o == nullptr || depth > kMaxJsonDepth + 1) {
        out += "null";
        return;
    }
    switch (json_object_get_type(o)) {
        case json_type_null:
            out += "null";
            break;
        case json_type_boolean:
            out += json_object_get_boolean(o) ? "true" : "false";
            break;
        case json_type_int:
        case json_type_double:
            AppendNumber(out, o);
            break;
        case json_type_string:
            AppendString(out, json_object_get_string(o),
                         static_cast<std::size_t>(json_object_get_string_len(o)));
            break;
        case json_type_array: {
            out.push_back('[');
            const std::size_t n = json_object_array_length(o);
            for (std::size_t i = 0; i < n; ++i) {
                if (i) out.push_back(',');
                AppendValue(out, json_object_array_get_idx(o, i), depth + 1);
            }
            out.push_back(']');
            break;
        }
        case json_type_object: {
            out.push_back('{');
            bool first = true;
            json_object_object_foreach(o, key, member) {
                if (!first) out.push_back(',');
                first = false;
                AppendString(out, key, std::char_traits<char>::length(key));
                out.push_back(':');
                AppendValue(out, member, depth + 1);
            }
            out.push_back('}');
            break;
        }
    }
}

}  // namespace

JsonValue::JsonValue() = default;
JsonValue::~JsonValue() = default;
JsonValue::JsonValue(const JsonValue& other) = default;
JsonValue& JsonValue::operator=(const JsonValue& other) = default;

JsonValue::JsonValue(JsonValue&& other) noexcept
    : doc_(std::move(other.doc_)), value_(std::exchange(other.value_, nullptr)) {}

JsonValue& JsonValue::operator=(JsonValue&& other) noexcept {
    if (this != &other) {
        doc_ = std::move(other.doc_);
        value_ = std::exchange(other.value_, nullptr);
    }
    return *this;
}

JsonValue::JsonValue(std::shared_ptr<const Impl> impl, void* value)
    : doc_(std::move(impl)), value_(value) {
    if (value_ == nullptr) doc_.reset();
}

bool JsonValue::Parse(const Text& text) {
    doc_.reset();
    value_ = nullptr;
    if (text.size() > kMaxJsonBytes) return false;
    const std::string utf8 = LocalToUtf8(text);
    if (utf8.size() > static_cast<std::size_t>(INT32_MAX) - 1) return false;

    json_tokener* tok = json_tokener_new_ex(kMaxJsonDepth);
    if (tok == nullptr) return false;
    json_object* root = json_tokener_parse_ex(tok, utf8.c_str(), static_cast<int>(utf8.size()) + 1);
    const json_tokener_error error = json_tokener_get_error(tok);
    std::size_t end = json_tokener_get_parse_end(tok);
    json_tokener_free(tok);
    if (error != json_tokener_success) {
        json_object_put(root);
        return false;
    }
    // Only white space may follow the value (the terminating zero byte was part of the input).
    while (end < utf8.size() && IsJsonSpace(utf8[end])) ++end;
    if (end < utf8.size()) {
        json_object_put(root);
        return false;
    }
    if (root != nullptr) {
        doc_ = std::make_shared<const Impl>(root);
        value_ = root;
    }
    return true;
}

JsonValue JsonValue::Member(const Text& key) const {
    const std::string utf8 = LocalToUtf8(key);
    return Member(utf8.c_str());
}

JsonValue JsonValue::Member(const char* asciiKey) const {
    json_object* o = AsObject(value_);
    json_object* member = nullptr;
    if (o == nullptr || asciiKey == nullptr || !json_object_is_type(o, json_type_object) ||
        !json_object_object_get_ex(o, asciiKey, &member)) {
        return JsonValue();
    }
    return JsonValue(doc_, member);
}

JsonValue JsonValue::Element(int index) const {
    json_object* o = AsObject(value_);
    if (o == nullptr || index < 0 || !json_object_is_type(o, json_type_array) ||
        static_cast<std::size_t>(index) >= json_object_array_length(o)) {
        return JsonValue();
    }
    return JsonValue(doc_, json_object_array_get_idx(o, static_cast<std::size_t>(index)));
}

int JsonValue::Length() const {
    json_object* o = AsObject(value_);
    if (o == nullptr || !json_object_is_type(o, json_type_array)) return 0;
    const std::size_t n = json_object_array_length(o);
    return n > static_cast<std::size_t>(INT32_MAX) ? INT32_MAX : static_cast<int>(n);
}

bool JsonValue::IsNull() const {
    return value_ == nullptr || json_object_is_type(AsObject(value_), json_type_null);
}

bool JsonValue::IsArray() const {
    return value_ != nullptr && json_object_is_type(AsObject(value_), json_type_array);
}

Text JsonValue::ToText() const {
    std::string out;
    AppendValue(out, AsObject(value_), 0);
    return Utf8ToLocal(out);
}

Text JsonValue::MemberText(const char* asciiKey) const {
    return ReplaceText(Member(asciiKey).ToText(), Text("\""));
}

Text JsonValue::MemberString(const char* asciiKey) const {
    const JsonValue member = Member(asciiKey);
    json_object* o = AsObject(member.value_);
    if (o == nullptr || json_object_is_type(o, json_type_object) ||
        json_object_is_type(o, json_type_array))
        return Text();
    if (!json_object_is_type(o, json_type_string)) return member.ToText();
    std::string s(json_object_get_string(o),
                  static_cast<std::size_t>(json_object_get_string_len(o)));
    for (char& c : s) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
    }
    return Utf8ToLocal(s);
}

}  // namespace ovx
