// The input/output error of the catalogue.
#pragma once

#include <stdexcept>
#include <string>
#include <system_error>

namespace catalogue {

// Raised by every catalogue operation whose file step (seek, read, write, size, close,
// truncation) fails, and by any step on a file that is not open. Code() is the system's
// error (errno values in std::generic_category): EBADF for a file that is not open, EIO
// for a record cut short by the end of the file. what() names the operation and the file,
// e.g. "Read error in catalogue file "/home/u/Folder.vrn": record 3 is incomplete ...".
// Damaged() tells a file whose bytes are wrong (a record cut short) from a file step that
// failed (no space, no permission): the first needs the user's repair, the second may pass.
class ECatalogueError : public std::runtime_error {
 public:
  ECatalogueError(const std::string& fileName, const std::string& operation, std::error_code code,
                  const std::string& detail = {}, bool damaged = false);

  std::error_code Code() const { return code_; }
  const std::string& FileName() const { return fileName_; }
  bool Damaged() const { return damaged_; }

 private:
  std::string fileName_;
  std::error_code code_;
  bool damaged_ = false;
};

}  // namespace catalogue
