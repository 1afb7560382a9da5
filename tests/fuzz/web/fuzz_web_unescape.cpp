// Feeds random texts to UnescapeUnicode: no crash, and a plain ASCII text without escapes,
// percent signs or a leading carriage return comes back unchanged.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "web/ScriptHelpers.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const ovx::Text text(std::string(reinterpret_cast<const char*>(data), size));
    const ovx::Text result = ovx::UnescapeUnicode(text);
    bool plain = text.empty() || text[0] != '\r';
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] >= 0x80 || text[i] == '\\' || text[i] == '%') plain = false;
    }
    if (plain && result != text) std::abort();
    return 0;
}
