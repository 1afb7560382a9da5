#pragma once
// Little-endian numbers in byte buffers.

#include <cstdint>
#include <cstring>

namespace ovx::le {

inline std::uint32_t U32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
           std::uint32_t{p[3]} << 24;
}
inline std::int32_t I32(const std::uint8_t* p) {
    return static_cast<std::int32_t>(U32(p));
}
inline std::int16_t I16(const std::uint8_t* p) {
    return static_cast<std::int16_t>(std::uint16_t{p[0]} | std::uint16_t(p[1] << 8));
}
inline std::uint64_t U64(const std::uint8_t* p) {
    return std::uint64_t{U32(p)} | std::uint64_t{U32(p + 4)} << 32;
}
inline double F64(const std::uint8_t* p) {
    std::uint64_t bits = U64(p);
    double d;
    std::memcpy(&d, &bits, 8);
    return d;
}
inline float F32(const std::uint8_t* p) {
    std::uint32_t bits = U32(p);
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

inline void Put32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline void Put16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void Put64(std::uint8_t* p, std::uint64_t v) {
    Put32(p, static_cast<std::uint32_t>(v));
    Put32(p + 4, static_cast<std::uint32_t>(v >> 32));
}
inline void PutF64(std::uint8_t* p, double d) {
    std::uint64_t bits;
    std::memcpy(&bits, &d, 8);
    Put64(p, bits);
}
inline void PutF32(std::uint8_t* p, float f) {
    std::uint32_t bits;
    std::memcpy(&bits, &f, 4);
    Put32(p, bits);
}

}  // namespace ovx::le
