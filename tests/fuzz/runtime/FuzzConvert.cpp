// Conversions from arbitrary text: no crash, and whatever converts prints and reads back.

#include <climits>
#include <cstdint>
#include <cstdlib>

#include "runtime/Convert.h"
#include "runtime/DateTime.h"

using namespace ovx;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Text text(reinterpret_cast<const char*>(data), size);

    DateTime when = ToDateTime(text);
    if (when.days != kMinDateTime) {
        if (when.days < kMinDateTime || when.days > kMaxDateTime) std::abort();
        // A date-time that was read prints in a form that reads back to the same value.
        if (ToDateTime(ToText(when)) != when) std::abort();
    }

    int i = ToInt(text);
    std::int64_t i64 = ToInt64(text);
    // Both read the same digits; the int saturates where the int64 does not.
    if (i64 >= INT_MIN && i64 <= INT_MAX && i != i64) std::abort();
    if (i64 > INT_MAX && i != INT_MAX) std::abort();
    if (i64 < INT_MIN && i != INT_MIN) std::abort();

    double d = ToDouble(text);
    (void)ToText(d);
    (void)ToInt(d);
    (void)ToInt64(d);
    (void)ToText(DateTime{d});
    (void)FoldFullWidth(text);
    return 0;
}
