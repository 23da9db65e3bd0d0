// A minimal ZIP directory walk for the decoder tests, written from the record layouts of the
// application note, so that the decoders can be tested on other programs' archives without
// the reader. No ZIP64, no multi-disk; enough for the test archives.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/support/files.h"

namespace decode_test {

struct TRawEntry {
  std::string name;
  std::uint16_t flags = 0;
  std::uint16_t method = 0;
  std::uint32_t crc = 0;
  std::uint32_t compressedSize = 0;
  std::uint32_t uncompressedSize = 0;
  std::vector<std::uint8_t> data;  // the compressed bytes
};

inline std::vector<TRawEntry> ReadRawEntries(const std::string& path) {
  const testsupport::Bytes z = testsupport::ReadAll(path);  // empty when missing
  auto u16 = [&](std::size_t at) { return testsupport::Le16(z, at); };  // throws past the end
  auto u32 = [&](std::size_t at) { return testsupport::Le32(z, at); };
  if (z.size() < 22) throw std::runtime_error("no end record");
  std::size_t end = z.size() - 22;
  while (u32(end) != 0x06054b50) {
    if (end == 0) throw std::runtime_error("no end record");
    --end;
  }
  const std::uint32_t count = u16(end + 10);
  std::size_t at = u32(end + 16);
  std::vector<TRawEntry> entries;
  for (std::uint32_t i = 0; i < count; ++i) {
    if (u32(at) != 0x02014b50) throw std::runtime_error("bad central header");
    TRawEntry e;
    e.flags = static_cast<std::uint16_t>(u16(at + 8));
    e.method = static_cast<std::uint16_t>(u16(at + 10));
    e.crc = u32(at + 16);
    e.compressedSize = u32(at + 20);
    e.uncompressedSize = u32(at + 24);
    const std::uint32_t nameLength = u16(at + 28);
    const std::uint32_t extraLength = u16(at + 30);
    const std::uint32_t commentLength = u16(at + 32);
    const std::uint32_t local = u32(at + 42);
    e.name.assign(z.begin() + at + 46, z.begin() + at + 46 + nameLength);
    const std::size_t dataStart = local + 30 + u16(local + 26) + u16(local + 28);
    if (dataStart + e.compressedSize > z.size()) throw std::runtime_error("short entry");
    e.data.assign(z.begin() + dataStart, z.begin() + dataStart + e.compressedSize);
    entries.push_back(std::move(e));
    at += 46 + nameLength + extraLength + commentLength;
  }
  return entries;
}

}  // namespace decode_test
