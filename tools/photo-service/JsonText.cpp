#include "JsonText.h"

#include <cstdio>

namespace photoservice {
namespace {

void AppendUnit(std::string& out, unsigned unit) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "\\u%04x", unit & 0xFFFF);
    out += buffer;
}

// Decodes one UTF-8 character at `i`; returns U+FFFD and length 1 for a bad sequence.
char32_t Decode(std::string_view s, std::size_t i, std::size_t& length) {
    auto b = static_cast<unsigned char>(s[i]);
    int extra = b < 0x80 ? 0 : (b >> 5) == 6 ? 1 : (b >> 4) == 14 ? 2 : (b >> 3) == 30 ? 3 : -1;
    length = 1;
    if (extra < 0 || i + static_cast<std::size_t>(extra) >= s.size() + (extra == 0)) return 0xFFFD;
    char32_t cp = extra == 0 ? b : extra == 1 ? (b & 0x1F) : extra == 2 ? (b & 0x0F) : (b & 0x07);
    for (int k = 1; k <= extra; ++k) {
        auto c = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
        if ((c & 0xC0) != 0x80) return 0xFFFD;
        cp = (cp << 6) | (c & 0x3F);
    }
    static constexpr char32_t kMin[] = {0, 0x80, 0x800, 0x10000};
    if (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0xFFFD;
    length = static_cast<std::size_t>(extra) + 1;
    return cp;
}

}  // namespace

std::string JsonString(std::string_view utf8, bool escapeUnicode) {
    std::string out = "\"";
    for (std::size_t i = 0; i < utf8.size();) {
        std::size_t length = 1;
        char32_t cp = Decode(utf8, i, length);
        switch (cp) {
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
            case '\f':
                out += "\\f";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (cp < 0x20) {
                    AppendUnit(out, cp);
                } else if (cp < 0x80) {
                    out.push_back(static_cast<char>(cp));
                } else if (!escapeUnicode && length > 1) {
                    out.append(utf8.substr(i, length));
                } else if (cp >= 0x10000) {
                    AppendUnit(out, 0xD800 + ((cp - 0x10000) >> 10));
                    AppendUnit(out, 0xDC00 + ((cp - 0x10000) & 0x3FF));
                } else {
                    AppendUnit(out, cp);
                }
        }
        i += length;
    }
    out += '"';
    return out;
}

std::string HtmlEscape(std::string_view text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '&':
                out += "&amp;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out.push_back(c);
        }
    }
    return out;
}

}  // namespace photoservice
