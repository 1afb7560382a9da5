#pragma once
// SHA-256 of a byte string, for names that must stay short and tell long texts apart.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace ovx {

std::array<std::uint8_t, 32> Sha256(std::string_view bytes);
// The digest as 64 lower-case hexadecimal digits.
std::string Sha256Hex(std::string_view bytes);

}  // namespace ovx
