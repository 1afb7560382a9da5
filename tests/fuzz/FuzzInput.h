#pragma once
// Small helpers shared by the fuzz targets.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace ovx::fuzz {

// A broken invariant: abort so that libFuzzer keeps the input.
inline void Check(bool ok) {
    if (!ok) std::abort();
}

// Takes the next piece of the input, up to (and consuming) `separator` or the end.
inline std::string TakePiece(const std::uint8_t*& data, std::size_t& size, std::uint8_t separator) {
    std::string out;
    while (size > 0) {
        const std::uint8_t b = *data++;
        --size;
        if (b == separator) break;
        out.push_back(static_cast<char>(b));
    }
    return out;
}

}  // namespace ovx::fuzz
