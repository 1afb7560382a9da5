#include "runtime/Text.h"

#include "runtime/CodePage.h"

namespace ovx {

Text::Text(std::string bytes) : bytes_(std::move(bytes)) {
    if (auto nul = bytes_.find('\0'); nul != std::string::npos) bytes_.resize(nul);
}

void PrintTo(const Text& t, std::ostream* os) { *os << '"' << LocalToUtf8(t) << '"'; }

inline namespace literals {
Text operator""_t(const char* utf8, std::size_t n) { return Utf8ToLocal(std::string_view(utf8, n)); }
}  // namespace literals

}  // namespace ovx
