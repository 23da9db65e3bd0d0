// Hand-built ZIP archives for the tests of hostile and Zip64 archives, written from the
// record layouts of the application note and independent of the archive layer: every field
// can be set to what an attacker or another writer would put there.
//
// By default an entry is a stored (method 0) file whose local and central records agree.
// The overrides make them disagree, place the local header anywhere, declare sizes the data
// does not have, or add Zip64 extra fields (ID 0x0001) and the Zip64 end record and locator.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/bytes.h"

namespace ziptest {

using testsupport::Bytes;
using testsupport::Put16;
using testsupport::Put32;
using testsupport::Put64;
using testsupport::PutText;
using testsupport::ToBytes;

inline std::uint32_t Crc(const Bytes& data) {
  return static_cast<std::uint32_t>(
      crc32(crc32(0, nullptr, 0), data.data(), static_cast<uInt>(data.size())));
}

struct TEntry {
  std::string name;                      // raw name bytes of the central record
  Bytes data;                            // the bytes as they lie in the archive
  std::uint16_t method = 0;
  std::optional<std::uint32_t> crc;      // default: CRC-32 of data (right for method 0)
  std::optional<std::uint64_t> size;     // uncompressed size; default data.size()
  std::uint16_t flags = 0;
  std::uint16_t versionMadeBy = 20;
  std::uint32_t externalAttributes = 0;
  // Local record overrides (default: the central values).
  std::optional<std::string> localName;
  std::optional<std::uint32_t> localCrc;
  std::optional<std::uint16_t> localMethod;
  std::optional<std::uint64_t> localSize;
  std::optional<std::uint64_t> localCompressedSize;
  // Zip64: the sizes go into a 0x0001 extra field with 0xFFFFFFFF in the fixed fields.
  bool zip64Local = false;
  bool zip64Central = false;  // sizes and offset in the central extra field
  // No local header and data of its own: the central record points at this offset.
  std::optional<std::uint64_t> pointAt;
  std::optional<std::uint64_t> compressedSizeOverride;  // central compressed size
};

struct TOptions {
  bool zip64End = false;                       // Zip64 end record and locator
  std::optional<std::uint64_t> count16;        // entry count in the 16-bit fields
  Bytes prefix;                                // bytes before the first local header
};

inline Bytes Build(const std::vector<TEntry>& entries, const TOptions& options = {}) {
  Bytes out = options.prefix;
  std::vector<std::uint64_t> offsets;
  for (const TEntry& e : entries) {
    if (e.pointAt) {
      offsets.push_back(*e.pointAt);
      continue;
    }
    offsets.push_back(out.size());
    const std::string name = e.localName.value_or(e.name);
    const std::uint32_t crc = e.localCrc.value_or(e.crc.value_or(Crc(e.data)));
    const std::uint64_t size = e.localSize.value_or(e.size.value_or(e.data.size()));
    const std::uint64_t csize = e.localCompressedSize.value_or(e.data.size());
    Put32(out, 0x04034b50);
    Put16(out, e.zip64Local ? 45 : 20);
    Put16(out, e.flags);
    Put16(out, e.localMethod.value_or(e.method));
    Put32(out, 0x5A210000);  // 2025-01-01 00:00
    Put32(out, crc);
    Put32(out, e.zip64Local ? 0xFFFFFFFFu : csize);
    Put32(out, e.zip64Local ? 0xFFFFFFFFu : size);
    Put16(out, name.size());
    Put16(out, e.zip64Local ? 20 : 0);
    PutText(out, name);
    if (e.zip64Local) {
      Put16(out, 0x0001);
      Put16(out, 16);
      Put64(out, size);
      Put64(out, csize);
    }
    out.insert(out.end(), e.data.begin(), e.data.end());
  }
  const std::uint64_t centralStart = out.size();
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const TEntry& e = entries[i];
    const std::uint64_t size = e.size.value_or(e.data.size());
    const std::uint64_t csize = e.compressedSizeOverride.value_or(e.data.size());
    Put32(out, 0x02014b50);
    Put16(out, e.versionMadeBy);
    Put16(out, e.zip64Central ? 45 : 20);
    Put16(out, e.flags);
    Put16(out, e.method);
    Put32(out, 0x5A210000);
    Put32(out, e.crc.value_or(Crc(e.data)));
    Put32(out, e.zip64Central ? 0xFFFFFFFFu : csize);
    Put32(out, e.zip64Central ? 0xFFFFFFFFu : size);
    Put16(out, e.name.size());
    Put16(out, e.zip64Central ? 28 : 0);
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, 0);
    Put32(out, e.externalAttributes);
    Put32(out, e.zip64Central ? 0xFFFFFFFFu : offsets[i]);
    PutText(out, e.name);
    if (e.zip64Central) {
      Put16(out, 0x0001);
      Put16(out, 24);
      Put64(out, size);
      Put64(out, csize);
      Put64(out, offsets[i]);
    }
  }
  const std::uint64_t centralSize = out.size() - centralStart;
  const std::uint64_t count = entries.size();
  if (options.zip64End) {
    const std::uint64_t recordAt = out.size();
    Put32(out, 0x06064b50);
    Put64(out, 44);
    Put16(out, 45);
    Put16(out, 45);
    Put32(out, 0);
    Put32(out, 0);
    Put64(out, count);
    Put64(out, count);
    Put64(out, centralSize);
    Put64(out, centralStart);
    Put32(out, 0x07064b50);
    Put32(out, 0);
    Put64(out, recordAt);
    Put32(out, 1);
  }
  const std::uint64_t count16 =
      options.count16.value_or(options.zip64End ? 0xFFFF : count & 0xFFFF);
  Put32(out, 0x06054b50);
  Put16(out, 0);
  Put16(out, 0);
  Put16(out, count16);
  Put16(out, count16);
  Put32(out, options.zip64End ? 0xFFFFFFFFu : centralSize);
  Put32(out, options.zip64End ? 0xFFFFFFFFu : centralStart);
  Put16(out, 0);
  return out;
}

}  // namespace ziptest
