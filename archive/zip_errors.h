// The archive layer's error classes. Every error the layer raises derives from EZipError,
// so a caller can catch the layer as a whole; the texts are the ones users and logs see.
//
// What each costs: EListError and EStreamError are faults of one operation; EBadZipFile and
// EIncompleteZip lose the archive (the reader resets itself before raising them);
// EUserCanceled ends the run the user stopped; EFatalUnzipError loses the entry being
// extracted; EBiggerThanUncompressed is absorbed by the extraction driver.
#pragma once

#include <stdexcept>
#include <string>
#include <system_error>

namespace archive {

class EZipError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Index out of range ("Index %d is out of range"), duplicates in sorted lists, list limits.
class EListError : public EZipError {
 public:
  using EZipError::EZipError;
};

// "Not a valid zip file!": neither the central directory nor a header scan found entries.
class EBadZipFile : public EZipError {
 public:
  using EZipError::EZipError;
};

// "Incomplete Zip File": no end of central directory record (and no scan was asked for).
class EIncompleteZip : public EZipError {
 public:
  using EZipError::EZipError;
};

// A dialog, a disk request or a progress handler was cancelled by the user.
class EUserCanceled : public EZipError {
 public:
  using EZipError::EZipError;
};

// Extraction could not go on with the archive ("Premature end of file reached").
class EFatalUnzipError : public EZipError {
 public:
  using EZipError::EZipError;
};

// "File is larger than uncompressed size!": the decoder produced more than the entry says.
class EBiggerThanUncompressed : public EZipError {
 public:
  using EZipError::EZipError;
};

// Buffered stream failures: "Seek error", "Invalid seek origin (%d)", "Putback overflow",
// and read/write failures of the file below. code() is the system's error, when one caused it.
class EStreamError : public EZipError {
 public:
  explicit EStreamError(const std::string& what, std::error_code code = {})
      : EZipError(what), code_(code) {}
  std::error_code code() const { return code_; }

 private:
  std::error_code code_;
};

// The file could not be opened or created: "Cannot open file \"<path>\". <system text>"
// (or "Cannot create file ..."). Callers that report the failure show what().
class EFOpenError : public EStreamError {
 public:
  using EStreamError::EStreamError;
};

}  // namespace archive
