#include "web/UrlHelpers.h"

#include "runtime/CodePage.h"
#include "runtime/Convert.h"

namespace ovx {
namespace {

const Text& QuoteWord() {
    static const Text word = "#引号"_t;
    return word;
}

Text ExpandQuotes(const Text& marker) {
    return ReplaceText(marker, QuoteWord(), Text("\""));
}

// Drops the last n bytes (nothing left when the text is shorter).
Text DropLast(const Text& text, int n) {
    return LeftText(text, TextLength(text) - n);
}

}  // namespace

Text TextBetween(const Text& text, const Text& left, const Text& right, int start,
                 bool ignoreCase) {
    const Text l = ExpandQuotes(left);
    const Text r = ExpandQuotes(right);
    int from = FindText(text, l, start < 1 ? 1 : start, ignoreCase);
    if (from == -1) return {};
    from += TextLength(l);
    const int to = FindText(text, r, from, ignoreCase);
    if (to == -1) return {};
    return MidText(text, from, to - from);
}

Text TextAfterColon(const Text& text) {
    const int colon = FindText(text, Text(":"));
    if (colon == -1) return {};
    return TrimSpaces(MidText(text, colon + 1, TextLength(text)));
}

Text TextBeforeColon(const Text& text) {
    const int colon = FindText(text, Text(":"));
    if (colon == -1) return {};
    return TrimSpaces(LeftText(text, colon - 1));
}

Text UrlHost(const Text& url, bool keepPort) {
    Text lower = ToLowerCase(url);
    if (RightText(lower, 1) != Text("/")) lower += Text("/");
    Text host;
    if (LeftText(lower, 8) == Text("https://")) {
        host = TextBetween(lower, Text("https://"), Text("/"));
    } else {
        if (FindText(lower, Text("http://")) == -1) lower = Text("http://") + lower;
        host = TextBetween(lower, Text("http://"), Text("/"));
    }
    if (!keepPort) {
        const int colon = FindText(host, Text(":"));
        if (colon != -1) host = LeftText(host, colon - 1);
    }
    return host;
}

int UrlPort(const Text& url) {
    const Text host = UrlHost(url, true);
    const int colon = FindTextBackward(host, Text(":"));
    if (colon == -1) return LeftText(ToLowerCase(url), 5) == Text("https") ? 443 : 80;
    return ToInt(MidText(host, colon + 1, TextLength(host)));
}

Text UrlPath(const Text& url) {
    const Text host = UrlHost(url);
    const int at = FindText(url, host, 1, true);
    const int slash = FindText(url, Text("/"), at);
    if (slash == -1) return Text("/");
    return MidText(url, slash, TextLength(url));
}

Text MergeCookies(Text& cookies, Text& fresh) {
    cookies = RemoveAllSpaces(cookies);
    fresh = RemoveAllSpaces(fresh);
    const TextArray oldItems = SplitText(cookies, Text(";"));
    TextArray items = SplitText(fresh, Text(";"));
    for (const Text& item : oldItems) {
        if (!ListHasCookieName(items, CookieName(item))) items.push_back(item);
    }
    const Text separator("; ");
    Text merged;
    for (const Text& item : items) {
        if (RightText(item, 8) != Text("=deleted")) merged += item + separator;
    }
    merged = JoinDistinct(DropLast(merged, 2), separator);
    cookies = merged;
    return merged;
}

Text CookieName(const Text& item) {
    const int eq = FindText(item, Text("="));
    if (eq == -1) return TrimSpaces(item);
    return TrimSpaces(LeftText(item, eq - 1));
}

bool ListHasCookieName(const TextArray& items, const Text& name) {
    for (const Text& item : items) {
        if (CookieName(item) == name) return true;
    }
    return false;
}

Text JoinDistinct(const Text& text, const Text& separator) {
    TextArray kept;
    for (Text& piece : SplitText(text, separator)) {
        if (FindInList(kept, piece) == -1) kept.push_back(std::move(piece));
    }
    Text joined;
    for (const Text& piece : kept) joined += piece + separator;
    return DropLast(joined, TextLength(separator));
}

int FindInList(const TextArray& list, const Text& text) {
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (list[i] == text) return static_cast<int>(i) + 1;
    }
    return -1;
}

Text ExtractSetCookies(const Text& rawHeaders) {
    const Text name("Set-Cookie");
    const Text prefix("Set-Cookie:");
    Text result;
    for (const Text& line : SplitText(rawHeaders, Text("\r\n"))) {
        if (FindText(line, name) == -1) continue;
        Text piece;
        if (FindText(line, Text(";")) != -1) {
            piece = TrimSpaces(TextBetween(line, prefix, Text(";")));
        } else {
            piece = TrimSpaces(ReplaceText(line, prefix, Text(), 1, -1, false));
        }
        result += piece + Text("; ");
    }
    return DropLast(result, 2);
}

Text EncodeQueryValue(const Text& value) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const unsigned char c : LocalToUtf8(value)) {
        const bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                                (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' ||
                                c == '~';
        if (unreserved) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        }
    }
    return Text(out);
}

Text CompleteWebAddress(const Text& typed) {
    const Text address = TrimSpaces(typed);
    const Text lower = ToLowerCase(address);
    if (LeftText(lower, 7) == Text("http://") || LeftText(lower, 8) == Text("https://"))
        return address;
    const std::string_view v = lower.view();
    std::string_view host = v.substr(0, v.find_first_of("/?#"));
    host = host.substr(host.rfind('@') == std::string_view::npos ? 0 : host.rfind('@') + 1);
    host = host.substr(0, host.find(':'));
    bool loopback = host == "localhost";
    if (host.starts_with("127.")) {
        // Four numbers, the first 127.
        int dots = 0;
        bool digits = true;
        for (const char c : host) {
            if (c == '.') {
                ++dots;
            } else if (c < '0' || c > '9') {
                digits = false;
            }
        }
        loopback = digits && dots == 3;
    }
    return Text(loopback ? "http://" : "https://") + address;
}

bool IsUserId(const Text& id) {
    constexpr std::size_t kUserIdDigits = 20;
    return IsAsciiDigits(id.view(), kUserIdDigits);
}

Text WithoutTrailingSlash(const Text& address) {
    std::string_view v = address.view();
    while (!v.empty() && v.back() == '/') v.remove_suffix(1);
    return Text(v);
}

Text WithoutQueryAndFragment(const Text& address) {
    const std::string_view v = address.view();
    return Text(v.substr(0, v.find_first_of("?#")));
}

Text DecodePercent(const Text& segment) {
    const std::string_view v = segment.view();
    std::string out;
    const auto hex = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        return -1;
    };
    for (std::size_t i = 0; i < v.size(); ++i) {
        if (v[i] == '%' && i + 2 < v.size() && hex(v[i + 1]) >= 0 && hex(v[i + 2]) >= 0) {
            out += static_cast<char>(hex(v[i + 1]) * 16 + hex(v[i + 2]));
            i += 2;
        } else {
            out += v[i];
        }
    }
    return Utf8ToLocal(out);
}

Text HeaderValue(const Text& rawHeaders, std::string_view name) {
    std::string_view rest = rawHeaders.view();
    Text value;
    while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        const std::string_view line =
            TrimAsciiSpaces(rest.substr(0, end == std::string_view::npos ? rest.size() : end));
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        if (StartsWithNoCase(line, "HTTP/")) {
            value = Text();  // a new response
        } else if (line.size() > name.size() && line[name.size()] == ':' &&
                   StartsWithNoCase(line, name)) {
            value = Text(TrimAsciiSpaces(line.substr(name.size() + 1)));
        }
    }
    return value;
}

Text UrlOrigin(const Text& url) {
    const bool secure = ToLowerCase(LeftText(url, 8)) == Text("https://");
    const Text host = WithoutQueryAndFragment(UrlHost(url, true));
    if (host.empty()) return Text();
    return Text(secure ? "https://" : "http://") + host;
}

}  // namespace ovx
