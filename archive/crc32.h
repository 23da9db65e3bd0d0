// CRC-32 of the ZIP application note (IEEE 802.3 polynomial, reflected).
//
// UpdateCrc32 works on the running register: start with 0xFFFFFFFF, feed the data in any
// number of pieces, and complement the register at the end. Crc32 does all three for one
// buffer. The routine picks, once per process, a carry-less-multiply folding path where the
// CPU has one and falls back to an 8-byte-at-a-time table loop otherwise; all paths give the
// same result for every split of the data.
#pragma once

#include <cstddef>
#include <cstdint>

namespace archive {

std::uint32_t UpdateCrc32(std::uint32_t crc, const void* data, std::size_t size);
std::uint32_t Crc32(const void* data, std::size_t size);

namespace crc32_detail {
// The individual paths, exposed for tests and the benchmark (same contract as UpdateCrc32).
// A path the CPU lacks falls back to the table loop, so every one is safe to call.
std::uint32_t UpdateSliceBy8(std::uint32_t crc, const void* data, std::size_t size);
std::uint32_t UpdatePclmul(std::uint32_t crc, const void* data, std::size_t size);
std::uint32_t UpdateVpclmul256(std::uint32_t crc, const void* data, std::size_t size);
std::uint32_t UpdateVpclmul(std::uint32_t crc, const void* data, std::size_t size);
bool HasPclmul();
bool HasVpclmul256();
bool HasVpclmul();
}  // namespace crc32_detail

}  // namespace archive
