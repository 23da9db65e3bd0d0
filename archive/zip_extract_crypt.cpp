#include "archive/zip_extract_crypt.h"

namespace archive {

namespace {

// One step of the CRC-32 register (reflected polynomial 0xEDB88320) per byte, without the
// pre- and post-complement: the keys use the raw register.
constexpr auto kCrcTable = [] {
  struct {
    std::uint32_t entries[256];
  } t{};
  for (std::uint32_t n = 0; n < 256; ++n) {
    std::uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    t.entries[n] = c;
  }
  return t;
}();

inline std::uint32_t CrcStep(std::uint32_t crc, std::uint8_t byte) {
  return kCrcTable.entries[(crc ^ byte) & 0xFF] ^ (crc >> 8);
}

}  // namespace

TZipDecrypter::TZipDecrypter(const std::string& password) {
  for (char c : password) UpdateKeys(static_cast<std::uint8_t>(c));
}

void TZipDecrypter::UpdateKeys(std::uint8_t plain) {
  key0_ = CrcStep(key0_, plain);
  key1_ = (key1_ + (key0_ & 0xFF)) * 134775813u + 1;
  key2_ = CrcStep(key2_, static_cast<std::uint8_t>(key1_ >> 24));
}

void TZipDecrypter::Decrypt(std::uint8_t* data, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) {
    const std::uint32_t temp = (key2_ | 2) & 0xFFFF;
    const std::uint8_t plain = static_cast<std::uint8_t>(data[i] ^ ((temp * (temp ^ 1)) >> 8));
    data[i] = plain;
    UpdateKeys(plain);
  }
}

}  // namespace archive
