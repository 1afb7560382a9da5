#include "web/RegexObject.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <algorithm>
#include <string>
#include <string_view>

#include "runtime/CodePage.h"

namespace ovx {
namespace {

// Bounds that keep a hostile pattern or subject from hanging or exhausting memory.
// PCRE2 counts its match limit per start position, so a long subject multiplies it; the
// per-position limit shrinks with the subject to keep the whole search within kTotalSteps.
constexpr std::uint32_t kMatchLimit = 200000;  // backtracking steps per start position, at most
constexpr std::uint32_t kMinMatchLimit = 100;
constexpr std::size_t kTotalSteps = 20000000;
constexpr std::uint32_t kDepthLimit = 5000;      // nested backtracking frames
constexpr std::uint32_t kHeapLimitKiB = 16384;   // backtracking memory
constexpr std::size_t kMaxPatternBytes = 65536;  // UTF-8 bytes
constexpr std::size_t kMaxStoredOffsets = std::size_t{1} << 22;
constexpr std::size_t kMaxReplaceBytes = std::size_t{64} << 20;
constexpr std::size_t kUnset = PCRE2_UNSET;

// Owners for the PCRE2 handles.
struct CodeDeleter {
    void operator()(pcre2_code* p) const { pcre2_code_free(p); }
};
struct CompileContextDeleter {
    void operator()(pcre2_compile_context* p) const { pcre2_compile_context_free(p); }
};
struct MatchContextDeleter {
    void operator()(pcre2_match_context* p) const { pcre2_match_context_free(p); }
};
struct MatchDataDeleter {
    void operator()(pcre2_match_data* p) const { pcre2_match_data_free(p); }
};

// Length of the UTF-8 character that starts at `pos` (1 for a stray continuation byte).
std::size_t CharLength(std::string_view s, std::size_t pos) {
    std::size_t n = 1;
    while (pos + n < s.size() && (static_cast<unsigned char>(s[pos + n]) & 0xC0) == 0x80) ++n;
    return n;
}

std::string ReplaceAll(std::string s, const std::string& from, const std::string& to) {
    if (from.empty()) return s;
    for (std::size_t pos = s.find(from); pos != std::string::npos;
         pos = s.find(from, pos + to.size())) {
        s.replace(pos, from.size(), to);
    }
    return s;
}

}  // namespace

bool RegexObject::Create(const Text& pattern, const Text& subject, bool caseSensitive,
                         bool multiLine, bool global, bool quoteMarker) {
    result_.reset();
    // '#' is never the second byte of a double-byte character, so a byte search is safe.
    pattern_ = quoteMarker ? Text(ReplaceAll(pattern.bytes(), "#引号"_t.bytes(), "\"")) : pattern;

    std::string utf8Pattern = LocalToUtf8(*pattern_);
    std::unique_ptr<pcre2_compile_context, CompileContextDeleter> compileContext(
        pcre2_compile_context_create(nullptr));
    std::unique_ptr<pcre2_match_context, MatchContextDeleter> matchContext(
        pcre2_match_context_create(nullptr));
    if (!compileContext || !matchContext) return false;
    pcre2_set_newline(compileContext.get(), PCRE2_NEWLINE_ANYCRLF);
    pcre2_set_max_pattern_length(compileContext.get(), kMaxPatternBytes);
    pcre2_set_depth_limit(matchContext.get(), kDepthLimit);
    pcre2_set_heap_limit(matchContext.get(), kHeapLimitKiB);

    std::uint32_t options = PCRE2_UTF | PCRE2_ALT_BSUX | PCRE2_ALLOW_EMPTY_CLASS |
                            PCRE2_DOLLAR_ENDONLY | PCRE2_MATCH_UNSET_BACKREF |
                            PCRE2_NEVER_BACKSLASH_C;
    if (!caseSensitive) options |= PCRE2_CASELESS;
    if (multiLine) options |= PCRE2_MULTILINE;
    int errorCode = 0;
    PCRE2_SIZE errorOffset = 0;
    std::unique_ptr<pcre2_code, CodeDeleter> code(
        pcre2_compile(reinterpret_cast<PCRE2_SPTR>(utf8Pattern.data()), utf8Pattern.size(), options,
                      &errorCode, &errorOffset, compileContext.get()));
    if (!code) return false;
    std::unique_ptr<pcre2_match_data, MatchDataDeleter> matchData(
        pcre2_match_data_create_from_pattern(code.get(), nullptr));
    if (!matchData) return false;

    auto result = std::make_shared<Result>();
    result->subject = LocalToUtf8(subject);
    std::uint32_t groups = 0;
    pcre2_pattern_info(code.get(), PCRE2_INFO_CAPTURECOUNT, &groups);
    result->groupCount = static_cast<int>(groups);
    const std::size_t slots = 2 * (std::size_t{groups} + 1);
    const std::string_view s = result->subject;
    std::size_t characters = 1;
    for (char c : s) characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    pcre2_set_match_limit(matchContext.get(),
                          static_cast<std::uint32_t>(std::clamp<std::size_t>(
                              kTotalSteps / characters, kMinMatchLimit, kMatchLimit)));
    const auto* data = reinterpret_cast<PCRE2_SPTR>(s.data());

    std::uint32_t matchOptions = 0;
    std::size_t start = 0;
    while (start <= s.size()) {
        int rc = pcre2_match(code.get(), data, s.size(), start, matchOptions, matchData.get(),
                             matchContext.get());
        if (rc == PCRE2_ERROR_NOMATCH) break;
        if (rc < 0) return false;  // a resource limit or a bad subject
        matchOptions |= PCRE2_NO_UTF_CHECK;
        if ((result->matches.size() + 1) * slots > kMaxStoredOffsets) return false;
        const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(matchData.get());
        Match match;
        match.offsets.assign(ovector, ovector + slots);
        std::size_t matchStart = ovector[0], matchEnd = ovector[1];
        result->matches.push_back(std::move(match));
        if (!global) break;
        // After an empty match the next search starts one character further on.
        std::size_t next = matchEnd;
        if (matchEnd == matchStart) {
            if (matchEnd >= s.size()) break;
            next = matchEnd + CharLength(s, matchEnd);
        }
        if (next <= start) next = start + CharLength(s, start);
        start = next;
    }
    result_ = std::move(result);
    return true;
}

Text RegexObject::Pattern() const {
    return pattern_.value_or(Text());
}

int RegexObject::MatchCount() const {
    return result_ ? static_cast<int>(result_->matches.size()) : 0;
}

int RegexObject::SubMatchCount() const {
    return result_ && !result_->matches.empty() ? result_->groupCount : 0;
}

Text RegexObject::Piece(const Match& match, std::size_t slot, int* position) const {
    std::size_t begin = match.offsets[2 * slot], end = match.offsets[2 * slot + 1];
    if (begin == kUnset || end == kUnset || end < begin || end > result_->subject.size()) {
        if (position) *position = -1;
        return Text();
    }
    std::string_view s = result_->subject;
    if (position) *position = static_cast<int>(Utf8ToLocal(s.substr(0, begin)).size()) + 1;
    return Utf8ToLocal(s.substr(begin, end - begin));
}

Text RegexObject::MatchText(int index, int* position) const {
    if (position) *position = -1;
    if (index < 1 || index > MatchCount()) return Text();
    return Piece(result_->matches[static_cast<std::size_t>(index - 1)], 0, position);
}

Text RegexObject::SubMatchText(int index, int group, int* position) const {
    if (position) *position = -1;
    if (index < 1 || index > MatchCount() || group < 1 || group > result_->groupCount) {
        return Text();
    }
    return Piece(result_->matches[static_cast<std::size_t>(index - 1)],
                 static_cast<std::size_t>(group), position);
}

Text RegexObject::Replace(const Text& replacement) const {
    if (!result_) return Text();
    const std::string_view s = result_->subject;
    const std::string repl = LocalToUtf8(replacement);
    const int groups = result_->groupCount;
    auto span = [&](const Match& m, std::size_t slot) -> std::string_view {
        std::size_t b = m.offsets[2 * slot], e = m.offsets[2 * slot + 1];
        if (b == kUnset || e == kUnset || e < b || e > s.size()) return {};
        return s.substr(b, e - b);
    };

    std::string out;
    std::size_t copied = 0;
    for (const Match& m : result_->matches) {
        std::size_t begin = m.offsets[0], end = m.offsets[1];
        if (begin < copied || end < begin) continue;  // cannot happen without \K tricks
        out.append(s.substr(copied, begin - copied));
        for (std::size_t i = 0; i < repl.size(); ++i) {
            char c = repl[i];
            if (c != '$' || i + 1 == repl.size()) {
                out.push_back(c);
                continue;
            }
            char n = repl[i + 1];
            if (n == '$') {
                out.push_back('$');
                ++i;
            } else if (n == '&') {
                out.append(span(m, 0));
                ++i;
            } else if (n == '`') {
                out.append(s.substr(0, begin));
                ++i;
            } else if (n == '\'') {
                out.append(s.substr(end));
                ++i;
            } else if (n >= '0' && n <= '9') {
                int one = n - '0';
                bool hasTwo = i + 2 < repl.size() && repl[i + 2] >= '0' && repl[i + 2] <= '9';
                int two = hasTwo ? one * 10 + (repl[i + 2] - '0') : 0;
                if (hasTwo && two >= 1 && two <= groups) {
                    out.append(span(m, static_cast<std::size_t>(two)));
                    i += 2;
                } else if (one >= 1 && one <= groups) {
                    out.append(span(m, static_cast<std::size_t>(one)));
                    ++i;
                } else {
                    out.push_back('$');
                }
            } else {
                out.push_back('$');
            }
            if (out.size() > kMaxReplaceBytes) return Text();
        }
        if (out.size() > kMaxReplaceBytes) return Text();
        copied = end;
    }
    out.append(s.substr(copied));
    return Utf8ToLocal(out);
}

}  // namespace ovx
