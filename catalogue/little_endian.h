// Little-endian field helpers for the fixed-layout record files.
//
// Records are built and read field by field through these, never by copying a struct, so
// the on-disk layout does not depend on the compiler's padding or the host's byte order.
#pragma once

#include <bit>
#include <cstdint>

namespace catalogue {

inline std::uint32_t LoadLe32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

inline std::uint64_t LoadLe64(const std::uint8_t* p) {
  return static_cast<std::uint64_t>(LoadLe32(p)) | static_cast<std::uint64_t>(LoadLe32(p + 4))
                                                       << 32;
}

inline void StoreLe32(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
  p[2] = static_cast<std::uint8_t>(v >> 16);
  p[3] = static_cast<std::uint8_t>(v >> 24);
}

inline void StoreLe64(std::uint8_t* p, std::uint64_t v) {
  StoreLe32(p, static_cast<std::uint32_t>(v));
  StoreLe32(p + 4, static_cast<std::uint32_t>(v >> 32));
}

inline std::int32_t LoadLeInt32(const std::uint8_t* p) {
  return static_cast<std::int32_t>(LoadLe32(p));
}
inline void StoreLeInt32(std::uint8_t* p, std::int32_t v) {
  StoreLe32(p, static_cast<std::uint32_t>(v));
}

// IEEE 754 binary64, stored as its bit pattern in little-endian order.
inline double LoadLeDouble(const std::uint8_t* p) { return std::bit_cast<double>(LoadLe64(p)); }
inline void StoreLeDouble(std::uint8_t* p, double v) {
  StoreLe64(p, std::bit_cast<std::uint64_t>(v));
}

}  // namespace catalogue
