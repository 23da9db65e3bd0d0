#include "store/selection.h"

#include <algorithm>

#include "catalogue/masks.h"
#include "platform/file_info.h"
#include "platform/file_system.h"
#include "platform/text.h"
#include "store/placement.h"

namespace store {
namespace {

// Decodes UTF-8 into code points so that "?" takes one character, not one byte. A byte that
// does not start a valid sequence stands for itself, moved above the Unicode range so that
// it can never equal a real character.
std::u32string DecodeUtf8(std::string_view text) {
  std::u32string out;
  out.reserve(text.size());
  std::size_t k = 0;
  while (k < text.size()) {
    const unsigned char lead = static_cast<unsigned char>(text[k]);
    int length = 0;
    char32_t cp = 0;
    if (lead < 0x80) {
      length = 1;
      cp = lead;
    } else if ((lead & 0xE0) == 0xC0) {
      length = 2;
      cp = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
      length = 3;
      cp = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
      length = 4;
      cp = lead & 0x07;
    }
    bool valid = length > 0 && k + length <= text.size();
    for (int n = 1; valid && n < length; ++n) {
      const unsigned char next = static_cast<unsigned char>(text[k + n]);
      if ((next & 0xC0) != 0x80) valid = false;
      cp = (cp << 6) | (next & 0x3F);
    }
    if (valid) {
      out.push_back(cp);
      k += length;
    } else {
      out.push_back(0x110000u + lead);
      ++k;
    }
  }
  return out;
}

// One file time unit is 100 ns; a minute is 60 * 10^7 of them. The FileTime epoch,
// 1 January 1601 00:00 UTC, starts a minute, and UTC minutes have no leap seconds in this
// count, so two times share their calendar minute exactly when they share this quotient.
constexpr platform::FileTime kFileTimeUnitsPerMinute = 600000000ULL;

}  // namespace

bool MatchMask(std::string_view nameText, std::string_view maskText) {
  if (maskText.empty()) return false;
  const std::u32string name = DecodeUtf8(nameText);
  const std::u32string mask = DecodeUtf8(maskText);
  // Positions count from 1 as in the rule's description; a name position past the end
  // holds no character and equals no mask character.
  const std::size_t n = name.size();
  const std::size_t m = mask.size();
  constexpr char32_t kNone = 0xFFFFFFFFu;
  auto N = [&](std::size_t j) { return (j >= 1 && j <= n) ? name[j - 1] : kNone; };
  auto P = [&](std::size_t i) { return mask[i - 1]; };
  std::size_t i = 1;
  std::size_t j = 1;
  for (;;) {
    if (P(i) == U'*') {
      if (i == m) return true;
      ++i;
      const char32_t c = P(i);
      while (j < n && N(j) != c) ++j;
      if (j == n && N(j) != c) return false;
    }
    if (P(i) == U'?') {
      ++i;
      ++j;
      if (i > m) return j == n + 1;
    }
    const char32_t c = P(i);
    if (c != U'*' && c != U'?' && N(j) != c) return false;
    ++j;
    if (i == m) return j == n + 1;
    ++i;
  }
}

bool SameFileMinute(platform::FileTime a, platform::FileTime b) {
  return a / kFileTimeUnitsPerMinute == b / kFileTimeUnitsPerMinute;
}

MaskList::MaskList(std::string_view maskText)
    : masks_(catalogue::SplitMasks(platform::UpperCase(maskText))) {}

bool MaskList::AnyMatches(std::string_view upperName) const {
  return std::any_of(masks_.begin(), masks_.end(),
                     [&](const std::string& mask) { return MatchMask(upperName, mask); });
}

namespace {

// The rule, once the archive's status is known (archiveError set when there is none).
bool Selected(platform::FileTime fileLastWrite, std::error_code archiveError,
              const platform::FileInfo& archive, const std::string& name, const MaskList& masks,
              bool include) {
  if (!archiveError && archive.isRegular && SameFileMinute(fileLastWrite, archive.times.lastWrite))
    return false;
  return masks.AnyMatches(platform::UpperCase(name)) == include;
}

}  // namespace

bool IsFileSelected(platform::FileTime fileLastWrite, const std::string& targetDir,
                    const std::string& name, const MaskList& masks, bool include) {
  platform::FileInfo archive;
  const std::error_code error = platform::GetFileInfo(ArchivePath(targetDir, name), archive);
  return Selected(fileLastWrite, error, archive, name, masks, include);
}

bool IsFileSelected(platform::FileTime fileLastWrite, const platform::OpenDirectory& target,
                    const std::string& name, const MaskList& masks, bool include) {
  // The masks first: a name they leave out needs no look at its archive.
  return masks.AnyMatches(platform::UpperCase(name)) == include &&
         !IsUnchanged(fileLastWrite, target, name);
}

bool IsUnchanged(platform::FileTime fileLastWrite, const platform::OpenDirectory& target,
                 const std::string& name) {
  platform::FileInfo archive;
  const std::error_code error = target.GetFileInfo(name + std::string(kArchiveExtension), archive);
  return IsUnchanged(fileLastWrite, error, archive);
}

bool IsUnchanged(platform::FileTime fileLastWrite, std::error_code archiveError,
                 const platform::FileInfo& archive) {
  return !archiveError && archive.isRegular &&
         SameFileMinute(fileLastWrite, archive.times.lastWrite);
}

bool IsFileSelected(const std::string& sourceDir, const std::string& targetDir,
                    const std::string& name, const std::string& masks, bool include) {
  const MaskList maskList(masks);
  platform::FileTimes times;
  if (platform::ReadFileTimes(platform::JoinPath(sourceDir, name), times)) {
    return maskList.AnyMatches(platform::UpperCase(name)) == include;
  }
  return IsFileSelected(times.lastWrite, targetDir, name, maskList, include);
}

bool GetDirectoryId(const std::string& path, DirectoryId& out) {
  platform::FileInfo info;
  if (platform::GetFileInfo(path, info) || !info.isDirectory) return false;
  out = {info.device, info.inode};
  return true;
}

}  // namespace store
