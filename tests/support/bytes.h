// Little-endian builders and readers for tests that write or check binary layouts by hand
// (ZIP records, catalogue records), independent of the code under test.
#pragma once

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace testsupport {

using Bytes = std::vector<std::uint8_t>;

inline void Put16(Bytes& out, std::uint64_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}
inline void Put32(Bytes& out, std::uint64_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, (v >> 16) & 0xFFFF);
}
inline void Put64(Bytes& out, std::uint64_t v) {
  Put32(out, v & 0xFFFFFFFFu);
  Put32(out, v >> 32);
}
inline void PutText(Bytes& out, const std::string& text) {
  out.insert(out.end(), text.begin(), text.end());
}
inline Bytes ToBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

// Bytes that do not compress, the same for the same seed.
inline std::string RandomBytes(std::size_t size, unsigned seed) {
  std::mt19937 rng(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(rng() & 0xFF);
  return bytes;
}

// Reads count bytes at offset at of any byte or char buffer (bounds-checked).
template <class Buffer>
std::uint64_t LoadLe(const Buffer& buffer, std::size_t at, int count) {
  std::uint64_t v = 0;
  for (int i = count - 1; i >= 0; --i) v = v << 8 | static_cast<std::uint8_t>(buffer.at(at + i));
  return v;
}
template <class Buffer>
std::uint32_t Le16(const Buffer& buffer, std::size_t at) {
  return static_cast<std::uint32_t>(LoadLe(buffer, at, 2));
}
template <class Buffer>
std::uint32_t Le32(const Buffer& buffer, std::size_t at) {
  return static_cast<std::uint32_t>(LoadLe(buffer, at, 4));
}
template <class Buffer>
std::uint64_t Le64(const Buffer& buffer, std::size_t at) {
  return LoadLe(buffer, at, 8);
}
// An IEEE double stored little-endian.
template <class Buffer>
double LeDouble(const Buffer& buffer, std::size_t at) {
  const std::uint64_t bits = Le64(buffer, at);
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}
// A counted string: a length byte, then the characters.
template <class Buffer>
std::string Counted(const Buffer& buffer, std::size_t at) {
  std::string text;
  const std::size_t length = static_cast<std::uint8_t>(buffer.at(at));
  for (std::size_t i = 1; i <= length; ++i) text += static_cast<char>(buffer.at(at + i));
  return text;
}

}  // namespace testsupport
