// The byte stream the ZIP records are read from and written to.
//
// Contract: Read returns fewer bytes than asked only at the end of the data; Write writes
// everything. Both raise EStreamError (zip_errors.h) when the medium fails, and never
// for a short read. Positions and sizes are byte offsets from the start of the data.
#pragma once

#include <cstddef>
#include <cstdint>

namespace archive {

// Seek origins; an int so that a wrong value can still be reported ("Invalid seek origin").
enum class TSeekOrigin { soBeginning = 0, soCurrent = 1, soEnd = 2 };

class TStream {
 public:
  virtual ~TStream() = default;

  virtual std::size_t Read(void* buffer, std::size_t count) = 0;
  virtual void Write(const void* buffer, std::size_t count) = 0;
  // Returns the new position. A target before the start raises "Seek error".
  virtual std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) = 0;
  virtual std::int64_t Size() = 0;
  std::int64_t Position() { return Seek(0, TSeekOrigin::soCurrent); }

  // Read exactly count bytes or raise EStreamError "Stream read error".
  void ReadBuffer(void* buffer, std::size_t count);
};

}  // namespace archive
