#pragma once
// Integer helpers and the per-thread pseudo-random generator.

#include <cstdint>
#include <initializer_list>
#include <optional>

namespace ovx {

int BitOr(std::initializer_list<int> values);
int FloorInt(double value);

// Seeds the calling thread's generator; without a seed, from the tick count and a
// process-wide counter so that two seedings in the same millisecond differ.
void SeedRandom(std::optional<std::uint32_t> seed = std::nullopt);
// A value in the closed range [min, max] (defaults 0 and 2147483647), see the generator rules.
int RandomInt(std::optional<int> min = std::nullopt, std::optional<int> max = std::nullopt);

}  // namespace ovx
