#include "catalogue/catalogue_error.h"

namespace catalogue {

namespace {

std::string ComposeMessage(const std::string& fileName, const std::string& operation,
                           std::error_code code, const std::string& detail) {
  std::string message = operation + " error in catalogue file \"" + fileName + "\": ";
  message += detail.empty() ? code.message() : detail;
  message += " (error " + std::to_string(code.value()) + ")";
  return message;
}

}  // namespace

ECatalogueError::ECatalogueError(const std::string& fileName, const std::string& operation,
                                 std::error_code code, const std::string& detail, bool damaged)
    : std::runtime_error(ComposeMessage(fileName, operation, code, detail)),
      fileName_(fileName),
      code_(code),
      damaged_(damaged) {}

}  // namespace catalogue
