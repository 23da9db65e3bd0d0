#include "backup/walk.h"

#include <algorithm>
#include <atomic>
#include <span>

#include "backup/temporary.h"
#include "platform/directory.h"
#include "platform/file_info.h"
#include "platform/file_system.h"
#include "platform/status_lookups.h"
#include "platform/text.h"
#include "store/placement.h"

namespace backup {

namespace {

// Below this many entries a second thread costs more than the lookups it takes over.
constexpr std::size_t kSplitLookupsFrom = 64;
// How many entries a thread takes at a time when two share a directory: a few when each
// look is a system call of its own, more when the kernel takes a thread's looks together.
constexpr std::size_t kLooksAtATime = 8;
constexpr std::size_t kLooksTogetherAtATime = 64;

// What the walk does with one entry, decided before it stores anything of the directory.
struct Decision {
  enum Kind : unsigned char { kSkip, kStore, kEnter };
  Kind kind = kSkip;
  store::DirectoryId id;        // of a directory to enter
  std::error_code statusError;  // why an entry that could not be looked at is left out
};

// An entry that went between the listing and the look, or a link that dangles or loops, is
// left out without a word: the listing was a moment too early.
bool Vanished(std::error_code error) {
  return error == std::errc::no_such_file_or_directory ||
         error == std::errc::too_many_symbolic_link_levels;
}

bool Chosen(const FolderWalk& walk, const std::string& name) {
  return walk.masks.AnyMatches(platform::UpperCase(name)) == walk.include;
}

// Decides names[from, to) into decisions, looking at an entry only as far as its fate needs.
// A regular file the masks leave out is not looked at; in a mirror directory just made,
// where no archive can be, a file the listing calls regular is stored on its word (unless
// lookAtFiles); a file in an existing mirror is compared with its archive. The looks go to
// the system together as far as mode allows: an entry's own and, for a file the listing
// calls regular, its archive's at once (looked up for nothing only when the file went in
// between); a file the listing could not call regular has its archive looked at afterwards.
void DecideEntries(const WalkLevel& level, const std::vector<platform::ListedName>& names,
                   std::size_t from, std::size_t to, bool made, bool lookAtFiles,
                   const FolderWalk& walk, platform::LookupMode mode,
                   std::vector<Decision>& decisions) {
  constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  struct Entry {
    std::size_t index;
    std::size_t own;
    std::size_t archive;
  };
  std::vector<Entry> entries;
  std::vector<platform::StatusLookup> looks;
  looks.reserve(2 * (to - from));
  for (std::size_t k = from; k < to; ++k) {
    const platform::ListedName& listed = names[k];
    const bool listedRegular = listed.kind == platform::ListedKind::Regular;
    if (listedRegular) {
      if (!Chosen(walk, listed.name)) continue;
      if (made && !lookAtFiles) {
        decisions[k].kind = Decision::kStore;
        continue;
      }
    }
    Entry entry{k, looks.size(), kNone};
    looks.push_back({&level.source, listed.name, {}, {}});
    if (listedRegular && !made) {
      entry.archive = looks.size();
      looks.push_back({&level.target, listed.name + std::string(store::kArchiveExtension), {}, {}});
    }
    entries.push_back(entry);
  }
  platform::GetFileInfos(looks, mode);
  const std::size_t firstLate = looks.size();  // archives looked at afterwards from here on
  for (Entry& entry : entries) {
    const platform::ListedName& listed = names[entry.index];
    const platform::StatusLookup& own = looks[entry.own];
    Decision& decision = decisions[entry.index];
    if (own.error) {
      if (!Vanished(own.error)) decision.statusError = own.error;
      continue;
    }
    const platform::FileInfo& info = own.info;
    if (info.isRegular) {
      if (listed.kind != platform::ListedKind::Regular && !Chosen(walk, listed.name)) continue;
      if (made) {
        decision.kind = Decision::kStore;
      } else if (entry.archive == kNone) {
        entry.archive = looks.size();
        looks.push_back(
            {&level.target, listed.name + std::string(store::kArchiveExtension), {}, {}});
      } else if (!store::IsUnchanged(info.times.lastWrite, looks[entry.archive].error,
                                     looks[entry.archive].info)) {
        decision.kind = Decision::kStore;
      }
    } else if (info.isDirectory && !info.isSymlink && listed.name[0] != '.') {
      decision.kind = Decision::kEnter;
      decision.id = {info.device, info.inode};
    }
  }
  if (looks.size() == firstLate) return;
  platform::GetFileInfos(std::span(looks).subspan(firstLate), mode);
  for (const Entry& entry : entries) {
    if (entry.archive == kNone || entry.archive < firstLate) continue;
    const platform::StatusLookup& archive = looks[entry.archive];
    if (!store::IsUnchanged(looks[entry.own].info.times.lastWrite, archive.error, archive.info)) {
      decisions[entry.index].kind = Decision::kStore;
    }
  }
}

// Whether the files of a just-made mirror's source directory must be looked at one by one:
// only when the directory may be listed but not entered, which one look tells. Each file
// would then fail alone; looked at, they make one report of the directory.
bool MustLookAtFiles(const WalkLevel& level, const std::vector<platform::ListedName>& names,
                     const FolderWalk& walk) {
  for (const platform::ListedName& listed : names) {
    if (listed.kind != platform::ListedKind::Regular || !Chosen(walk, listed.name)) continue;
    platform::FileInfo info;
    const std::error_code error = level.source.GetFileInfo(listed.name, info);
    if (!error) return false;
    if (!Vanished(error)) return true;
  }
  return false;
}

}  // namespace

bool ProcessDirectory(const std::string& sourceDir, const std::string& targetDir,
                      const FolderWalk& walk) {
  // Exists already on every later run. One just made holds no archive and no leftover, so
  // nothing in it is looked up: the masks alone select.
  const bool made = !platform::CreateDirectory(targetDir);
  if (made && walk.madeDirectory) walk.madeDirectory(targetDir);
  std::vector<platform::ListedName> names;
  if (std::error_code error = platform::ListKinds(sourceDir, names)) {
    if (!made) RemoveStaleTemporaries(targetDir);
    if (walk.unreadable) walk.unreadable(sourceDir, error);
    return false;
  }
  const bool together =
      walk.looks == platform::LookupMode::Batched && platform::BatchedLookupsWork();
  const bool split = !made && walk.runBoth && names.size() >= kSplitLookupsFrom;
  // Leftovers go before the first store; when two threads share the looks, the second one
  // clears them first (they are no archive a look could find).
  if (!made && !split) RemoveStaleTemporaries(targetDir);
  const auto level = std::make_shared<const WalkLevel>(sourceDir, targetDir);
  // Every entry's fate is decided before the first store: the looks at files and at their
  // archives are most of the work of a run in which little changed: they go to the kernel
  // together where it takes them so, and in a large directory two threads share them. A
  // store writes only its own file's archive, so no decision depends on the stores before it.
  const bool lookAtFiles = !made || MustLookAtFiles(*level, names, walk);
  std::vector<Decision> decisions(names.size());
  const auto decide = [&](std::size_t from, std::size_t to) {
    DecideEntries(*level, names, from, to, made, lookAtFiles, walk,
                  together ? platform::LookupMode::Batched : platform::LookupMode::OneByOne,
                  decisions);
  };
  if (split) {
    // Both threads take the entries a few at a time from one counter: a thread that starts
    // late (a worker first has to be woken) or meets slower looks simply takes fewer.
    const std::size_t atATime = together ? kLooksTogetherAtATime : kLooksAtATime;
    std::atomic<std::size_t> next{0};
    const auto share = [&] {
      for (std::size_t from; (from = next.fetch_add(atATime)) < names.size();) {
        decide(from, std::min(from + atATime, names.size()));
      }
    };
    walk.runBoth(share, [&] {
      RemoveStaleTemporaries(targetDir);
      share();
    });
  } else {
    decide(0, names.size());
  }
  if (walk.unreadable) {
    const auto failed = std::find_if(decisions.begin(), decisions.end(),
                                     [](const Decision& d) { return bool(d.statusError); });
    if (failed != decisions.end()) walk.unreadable(sourceDir, failed->statusError);
  }
  for (std::size_t k = 0; k < names.size(); ++k) {
    const Decision& decision = decisions[k];
    const std::string& name = names[k].name;
    if (decision.kind == Decision::kStore) {
      walk.store(level, name);
    } else if (decision.kind == Decision::kEnter &&
               std::find(walk.leftOut.begin(), walk.leftOut.end(), decision.id) ==
                   walk.leftOut.end()) {
      ProcessDirectory(platform::JoinPath(sourceDir, name),
                       store::SubTargetDirectory(targetDir, name), walk);
    }
    if (walk.afterEntry) walk.afterEntry();
  }
  return true;
}

}  // namespace backup
