#include "web/ScriptHelpers.h"

#include <charconv>
#include <random>
#include <string>
#include <string_view>

#include "runtime/CodePage.h"

namespace ovx {
namespace {

std::mt19937_64& Generator() {
    thread_local std::mt19937_64 generator{[] {
        std::random_device device;
        std::seed_seq seed{device(), device(), device(), device()};
        return std::mt19937_64(seed);
    }()};
    return generator;
}

bool IsFraction17(std::string_view s) {
    if (s.size() != 17 || s[0] != '0' || s[1] != '.') return false;
    for (char c : s.substr(2)) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

// ---- UTF-8 <-> UTF-16 -------------------------------------------------------------------

void AppendUtf16(std::u16string& out, char32_t cp) {
    if (cp >= 0x10000) {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
        out.push_back(static_cast<char16_t>(cp));
    }
}

// Decodes UTF-8; a byte that does not start a well-formed sequence becomes U+FFFD.
std::u16string Utf8ToUtf16(std::string_view in) {
    std::u16string out;
    out.reserve(in.size());
    std::size_t i = 0;
    while (i < in.size()) {
        auto b = static_cast<unsigned char>(in[i]);
        int extra = b < 0x80 ? 0 : (b >> 5) == 6 ? 1 : (b >> 4) == 14 ? 2 : (b >> 3) == 30 ? 3 : -1;
        char32_t cp = extra == 0   ? b
                      : extra == 1 ? (b & 0x1F)
                      : extra == 2 ? (b & 0x0F)
                                   : (b & 0x07);
        bool ok = extra >= 0 && i + static_cast<std::size_t>(extra) < in.size() + (extra == 0);
        for (int k = 1; ok && k <= extra; ++k) {
            auto c = static_cast<unsigned char>(in[i + static_cast<std::size_t>(k)]);
            if ((c & 0xC0) != 0x80) ok = false;
            cp = (cp << 6) | (c & 0x3F);
        }
        static constexpr char32_t kMin[] = {0, 0x80, 0x800, 0x10000};
        if (ok && (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) ok = false;
        if (!ok) {
            out.push_back(u'\uFFFD');
            ++i;
            continue;
        }
        AppendUtf16(out, cp);
        i += static_cast<std::size_t>(extra) + 1;
    }
    return out;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

// Encodes UTF-16 as UTF-8: surrogate pairs join, unpaired surrogates become '?'.
std::string Utf16ToUtf8(std::u16string_view in) {
    std::string out;
    out.reserve(in.size() * 3);
    for (std::size_t i = 0; i < in.size(); ++i) {
        char32_t c = in[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < in.size() && in[i + 1] >= 0xDC00 &&
            in[i + 1] <= 0xDFFF) {
            AppendUtf8(out, 0x10000 + ((c - 0xD800) << 10) + (in[i + 1] - 0xDC00));
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            out.push_back('?');
        } else {
            AppendUtf8(out, c);
        }
    }
    return out;
}

// ---- escapes ------------------------------------------------------------------------------

int HexValue(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

// The value of `count` hex digits at `pos`, or -1 when they are not all there.
int HexAt(std::u16string_view s, std::size_t pos, std::size_t count) {
    if (pos + count > s.size()) return -1;
    int value = 0;
    for (std::size_t k = 0; k < count; ++k) {
        int digit = HexValue(s[pos + k]);
        if (digit < 0) return -1;
        value = value * 16 + digit;
    }
    return value;
}

bool IsOctal(char16_t c) {
    return c >= u'0' && c <= u'7';
}

// The escapes of a single-quoted script string literal.
std::u16string ResolveLiteralEscapes(std::u16string_view s) {
    std::u16string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != u'\\' || i + 1 == s.size()) {
            out.push_back(s[i]);  // a trailing backslash has nothing to escape and stays
            continue;
        }
        char16_t e = s[++i];
        switch (e) {
            case u'b':
                out.push_back(u'\b');
                break;
            case u'f':
                out.push_back(u'\f');
                break;
            case u'n':
                out.push_back(u'\n');
                break;
            case u'r':
                out.push_back(u'\r');
                break;
            case u't':
                out.push_back(u'\t');
                break;
            case u'v':
                out.push_back(u'\v');
                break;
            case u'x':
            case u'u': {
                std::size_t digits = e == u'x' ? 2 : 4;
                int value = HexAt(s, i + 1, digits);
                if (value < 0) {
                    out.push_back(e);
                } else {
                    out.push_back(static_cast<char16_t>(value));
                    i += digits;
                }
                break;
            }
            default:
                if (IsOctal(e)) {
                    // Legacy octal escape: up to three digits, at most \377.
                    int value = e - u'0';
                    std::size_t maxDigits = e <= u'3' ? 3 : 2;
                    for (std::size_t n = 1; n < maxDigits && i + 1 < s.size() && IsOctal(s[i + 1]);
                         ++n) {
                        value = value * 8 + (s[++i] - u'0');
                    }
                    out.push_back(static_cast<char16_t>(value));
                } else {
                    out.push_back(e);  // unknown escape: the backslash goes
                }
        }
    }
    return out;
}

// %uXXXX and %XX; anything malformed is kept as it stands.
std::u16string UnescapePercent(std::u16string_view s) {
    std::u16string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == u'%') {
            int value = -1;
            if (i + 1 < s.size() && s[i + 1] == u'u') value = HexAt(s, i + 2, 4);
            if (value >= 0) {
                out.push_back(static_cast<char16_t>(value));
                i += 5;
                continue;
            }
            value = HexAt(s, i + 1, 2);
            if (value >= 0) {
                out.push_back(static_cast<char16_t>(value));
                i += 2;
                continue;
            }
        }
        out.push_back(s[i]);
    }
    return out;
}

}  // namespace

Text RandomFraction17() {
    std::uniform_real_distribution<double> fraction(0.0, 1.0);
    char buffer[64];
    // About four draws in five succeed; the bound only guards against a broken generator.
    for (int draw = 0; draw < 1000; ++draw) {
        double value = fraction(Generator());
        buffer[0] = '0';
        auto [end, ec] = std::to_chars(buffer + 1, buffer + sizeof buffer, value,
                                       std::chars_format::general, 15);
        if (ec != std::errc()) continue;
        std::string_view text(buffer + 1, static_cast<std::size_t>(end - buffer - 1));
        if (text.empty() || text[0] != '0') text = std::string_view(buffer, text.size() + 1);
        if (IsFraction17(text)) return Text(text);
    }
    std::string text = "0.";
    std::uniform_int_distribution<int> digit(0, 9), nonZero(1, 9);
    text.push_back(static_cast<char>('0' + nonZero(Generator())));
    for (int k = 0; k < 13; ++k) text.push_back(static_cast<char>('0' + digit(Generator())));
    text.push_back(static_cast<char>('0' + nonZero(Generator())));
    return Text(text);
}

Text UnescapeUnicode(const Text& text) {
    std::u16string s = Utf8ToUtf16(LocalToUtf8(text));
    if (s.size() >= 1 && s[0] == u'\r' && (s.size() == 1 || s[1] != u'\n')) s.erase(0, 1);
    // "\u" is read as "%u", so it is resolved by the percent step, not the literal step.
    for (std::size_t i = 0; i + 1 < s.size(); ++i) {
        if (s[i] == u'\\' && s[i + 1] == u'u') s[i++] = u'%';
    }
    std::u16string resolved = UnescapePercent(ResolveLiteralEscapes(s));
    std::u16string result;
    result.reserve(resolved.size());
    for (char16_t c : resolved) {
        if (c == 0) continue;
        result.push_back(c == u'\u2019' ? u'\'' : c);
    }
    return Utf8ToLocal(Utf16ToUtf8(result));
}

}  // namespace ovx
