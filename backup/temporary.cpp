#include "backup/temporary.h"

#include <vector>

#include "platform/file_info.h"
#include "platform/file_system.h"
#include "store/placement.h"

namespace backup {

namespace {
// The random part platform::OpenDirectory::CreateTempFile appends.
constexpr std::size_t kRandomLength = 6;
}  // namespace

bool IsTemporaryName(std::string_view name) {
  if (name.size() == kTemporaryPrefix.size() + kRandomLength &&
      name.substr(0, kTemporaryPrefix.size()) == kTemporaryPrefix) {
    return true;
  }
  const std::size_t oldSuffix = store::kArchiveExtension.size() + kTemporarySuffix.size();
  return name.size() > oldSuffix &&
         name.substr(name.size() - kTemporarySuffix.size()) == kTemporarySuffix &&
         name.substr(name.size() - oldSuffix, store::kArchiveExtension.size()) ==
             store::kArchiveExtension;
}

int RemoveStaleTemporaries(const std::string& dir) {
  std::vector<std::string> names;
  if (platform::ListNames(dir, names)) return 0;
  int removed = 0;
  for (const std::string& name : names) {
    if (IsTemporaryName(name) && !platform::DeleteFile(platform::JoinPath(dir, name))) ++removed;
  }
  return removed;
}

}  // namespace backup
