#include "catalogue/record_file.h"

#include "catalogue/catalogue_error.h"

namespace catalogue {

std::error_code TRecordFile::Open(const std::string& name) {
  if (file_.IsOpen()) file_.Close();
  name_ = name;
  index_ = 0;
  positioned_ = true;
  return file_.Open(name, platform::File::Mode::OpenOrCreate);
}

void TRecordFile::Close() {
  if (!file_.IsOpen()) return;
  if (std::error_code ec = file_.Close()) Fail("Close", ec);
}

void TRecordFile::Truncate() {
  RequireOpen("Truncate");
  if (std::error_code ec = file_.Close()) Fail("Close", ec);
  index_ = 0;
  positioned_ = true;
  if (std::error_code ec = file_.Open(name_, platform::File::Mode::Create)) Fail("Create", ec);
}

void TRecordFile::Seek(std::int64_t index) {
  RequireOpen("Seek");
  std::uint64_t position = 0;
  const auto offset = index * static_cast<std::int64_t>(recordSize_);
  if (std::error_code ec = file_.Seek(offset, platform::File::Origin::Begin, position)) {
    positioned_ = false;
    Fail("Seek", ec);
  }
  index_ = index;
  positioned_ = true;
}

bool TRecordFile::Read(std::uint8_t* buffer) {
  RequireOpen("Read");
  std::size_t bytesRead = 0;
  if (std::error_code ec = file_.Read(buffer, recordSize_, bytesRead)) {
    positioned_ = false;
    Fail("Read", ec);
  }
  if (bytesRead == 0) return false;
  if (bytesRead < recordSize_) {
    positioned_ = false;
    Fail("Read", std::make_error_code(std::errc::io_error),
         "record " + std::to_string(index_) + " is incomplete (" + std::to_string(bytesRead) +
             " of " + std::to_string(recordSize_) +
             " bytes): the file length is not a whole number of records",
         true);
  }
  ++index_;
  return true;
}

void TRecordFile::Write(const std::uint8_t* buffer) {
  RequireOpen("Write");
  if (std::error_code ec = file_.Write(buffer, recordSize_)) {
    positioned_ = false;
    Fail("Write", ec);
  }
  ++index_;
}

void TRecordFile::Append(const std::uint8_t* buffer, std::size_t count) {
  const std::int64_t end = Count();
  // Usually the last Append left the file there; another program appending meanwhile moves
  // the end, and then the seek is made.
  if (!positioned_ || index_ != end) Seek(end);
  if (std::error_code ec = file_.Write(buffer, recordSize_ * count)) {
    positioned_ = false;
    // Truncating only shortens the file, so it works on a full disk as well; if even that
    // fails, the next Append starts at the same whole-record end and overwrites the part.
    (void)file_.Truncate(static_cast<std::uint64_t>(end) * recordSize_);
    Fail("Write", ec);
  }
  index_ += static_cast<std::int64_t>(count);
}

std::int64_t TRecordFile::Count() {
  RequireOpen("Size");
  std::uint64_t size = 0;
  if (std::error_code ec = file_.Size(size)) Fail("Size", ec);
  return static_cast<std::int64_t>(size / recordSize_);
}

void TRecordFile::RequireOpen(const char* operation) const {
  if (!file_.IsOpen()) {
    Fail(operation, std::make_error_code(std::errc::bad_file_descriptor), "file not open");
  }
}

void TRecordFile::Fail(const char* operation, std::error_code code, const std::string& detail,
                       bool damaged) const {
  throw ECatalogueError(name_, operation, code, detail, damaged);
}

}  // namespace catalogue
