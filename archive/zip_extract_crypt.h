// The traditional PKWARE encryption of the ZIP application note (section 6.1), decrypting.
//
// Three 32-bit keys start from fixed values and are stirred with every password byte, then
// with every plain byte; each ciphertext byte is XORed with a byte derived from the third key.
// An entry's data starts with a 12-byte header whose last plain byte checks the password.
// This is weak encryption, kept only to read archives that use it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace archive {

class TZipDecrypter {
 public:
  explicit TZipDecrypter(const std::string& password);
  void Decrypt(std::uint8_t* data, std::size_t size);

  static constexpr std::size_t kHeaderBytes = 12;

 private:
  void UpdateKeys(std::uint8_t plain);
  std::uint32_t key0_ = 0x12345678;
  std::uint32_t key1_ = 0x23456789;
  std::uint32_t key2_ = 0x34567890;
};

}  // namespace archive
