// A start of the program without a display, as a scheduler makes one: the switches run
// without any window and without the toolkit, every box goes to standard error with its
// default answer, and the exit status tells the outcome (console/exit_status.h).
#pragma once

#include <string>
#include <vector>

namespace console {

// What the unattended form of the command line is, said when there are no switches.
extern const char kNeedsDisplayText[];

// Opens the catalogue in workingDir, runs the switches (arguments, without the program),
// closes the catalogue and remembers the project shown last in the settings file at
// settingsPath. Returns the exit status.
int RunUnattended(const std::vector<std::string>& arguments, const std::string& settingsPath,
                  const std::string& workingDir);

}  // namespace console
