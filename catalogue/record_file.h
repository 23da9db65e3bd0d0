// One catalogue file: a bare sequence of fixed-size records, addressed by record index.
//
// Every read and write is one system call of exactly the record size, straight to the
// file: there is no cache, so the file is current after every call. Every failure, and
// every call on a file that is not open, raises ECatalogueError naming the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <system_error>
#include <utility>

#include "platform/file.h"

namespace catalogue {

class TRecordFile {
 public:
  // name is what error messages show until Open binds the file to a name of its own.
  TRecordFile(std::string name, std::size_t recordSize)
      : recordSize_(recordSize), name_(std::move(name)) {}

  // Opens the named file for reading and writing, creating it empty when it is missing
  // and never truncating it. Failure is only reported through the result.
  std::error_code Open(const std::string& name);
  // Closes the file; a file that is not open is left alone.
  void Close();
  // Closes the file and creates it anew, empty, under the same name, open again.
  void Truncate();

  bool IsOpen() const { return file_.IsOpen(); }
  const std::string& Name() const { return name_; }
  std::size_t RecordSize() const { return recordSize_; }

  void Seek(std::int64_t index);
  // Reads the record at the current index into buffer (RecordSize() bytes) and moves on.
  // False at the end of the file. A record cut short by the end of the file is a read error.
  bool Read(std::uint8_t* buffer);
  // Writes the record at the current index and moves on.
  void Write(const std::uint8_t* buffer);
  // Writes count records (count * RecordSize() bytes of buffer) after the last whole record
  // of the file, in one write. A write that fails (a full disk, a file size limit) may have
  // put part of them there: the file is cut back to its whole records before the error is
  // raised, so that it stays a whole number of records and holds none of the count. A part
  // record left at the end by an earlier failure is overwritten.
  void Append(const std::uint8_t* buffer, std::size_t count = 1);
  // The record index of the current position.
  std::int64_t Index() const { return index_; }
  // The number of whole records in the file.
  std::int64_t Count();

 private:
  void RequireOpen(const char* operation) const;
  [[noreturn]] void Fail(const char* operation, std::error_code code,
                         const std::string& detail = {}, bool damaged = false) const;

  std::size_t recordSize_;
  platform::File file_;
  std::string name_;
  std::int64_t index_ = 0;
  // The file's offset is index_ whole records: an Append at that end needs no seek first.
  // False after anything failed midway.
  bool positioned_ = true;
};

}  // namespace catalogue
