// The program's exit status, gathered over everything one start of the program ran.
//
//   0  everything that should have been stored (or restored) was
//   1  something was not: a file not stored or restored, a folder that could not be read,
//      a project that could not run (unknown, without or with a refused store folder), a
//      log or catalogue write that failed, any error that ended a command
//   2  the catalogue could not be opened, or a catalogue file is damaged
//
// Each run, command and switch notes what it could not do; the worst note wins, so neither
// the order of the switches nor a later success can hide a failure. Whether a message box
// appears ("Raise errors") has no say in it.
#pragma once

#include <algorithm>

namespace console {

enum class RunOutcome { Complete = 0, Incomplete = 1, CatalogueFailed = 2 };

class TExitStatus {
 public:
  void Note(RunOutcome outcome) { worst_ = std::max(worst_, outcome); }
  int Value() const { return static_cast<int>(worst_); }

 private:
  RunOutcome worst_ = RunOutcome::Complete;
};

}  // namespace console
