// Feeds random bytes to the URL and cookie helpers: they must neither crash nor break their
// own invariants on any input.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "../FuzzInput.h"
#include "web/UrlHelpers.h"

namespace {

using ovx::fuzz::Check;

// Splits the input into up to four texts at 0xFF bytes (a Text stops at a zero byte anyway).
std::string Piece(const std::uint8_t*& data, std::size_t& size) {
    return ovx::fuzz::TakePiece(data, size, 0xff);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace ovx;
    if (size > 8192) return 0;  // the helpers are quadratic in the item count by design
    const Text a(Piece(data, size));
    const Text b(Piece(data, size));
    const Text c(Piece(data, size));
    const Text d(Piece(data, size));

    const Text between =
        TextBetween(a, b, c, static_cast<int>(d.size()) - 2, !d.empty() && d[0] & 1);
    Check(between.size() <= a.size());
    TextAfterColon(a);
    TextBeforeColon(a);

    const Text host = UrlHost(a);
    Check(FindText(host, Text(":")) == -1);
    Check(FindText(UrlHost(a, true), Text("/")) == -1);
    UrlPort(a);
    const Text path = UrlPath(a);
    Check(!path.empty() && path[0] == '/');

    Text old = b;
    Text fresh = c;
    const Text merged = MergeCookies(old, fresh);
    Check(merged == old);
    Check(FindText(fresh, Text(" ")) == -1);
    // Merging again with nothing new keeps the text as it is, spaces aside.
    Text again = merged;
    Text none;
    MergeCookies(again, none);

    ExtractSetCookies(a);
    JoinDistinct(a, d);
    CookieName(b);

    // Values from pages go into addresses encoded: nothing but unreserved bytes and escapes.
    const Text encoded = EncodeQueryValue(a);
    for (const char ch : encoded.view()) {
        const bool plain = (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') ||
                           (ch >= '0' && ch <= '9') || ch == '-' || ch == '.' || ch == '_' ||
                           ch == '~' || ch == '%';
        Check(plain);
    }
    if (IsUserId(b)) Check(b.size() >= 1 && b.size() <= 20);
    const Text completed = CompleteWebAddress(a);
    Check(FindText(ToLowerCase(completed), Text("http")) == 1);
    UrlOrigin(a);
    return 0;
}
