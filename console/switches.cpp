#include "console/switches.h"

#include <cstdio>
#include <limits>

#include "catalogue/catalogue.h"
#include "console/workers.h"
#include "platform/text.h"
#include "store/placement.h"

namespace console {

namespace {

// The longest project name a switch can give (the length of a command-line text).
constexpr std::size_t kSwitchNameLimit = 255;
const std::string kErrorCaption = "Error!";

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

// The project a switch names: upper-cased, as every project name is looked up.
std::string ProjectOf(const std::string& upper) {
  return std::string(platform::TruncateUtf8(upper.substr(3), kSwitchNameLimit));
}

}  // namespace

RunOutcome OutcomeOfError(const std::exception& error) {
  const auto* catalogueError = dynamic_cast<const catalogue::ECatalogueError*>(&error);
  return catalogueError && catalogueError->Damaged() ? RunOutcome::CatalogueFailed
                                                     : RunOutcome::Incomplete;
}

void TSwitchRun::Run(const std::vector<std::string>& arguments) {
  auto guarded = [this](auto&& action) {
    try {
      action();
    } catch (const std::exception& e) {
      host_.NoteOutcome(OutcomeOfError(e));
      host_.ShowError(e.what());
    }
  };
  // A log that cannot take the first entry does not stop the switches either.
  guarded([&] {
    std::string line;
    for (const std::string& argument : arguments) {
      if (!line.empty()) line += ' ';
      line += argument;
    }
    catalogue_.AddLogEntry("Running with command line \"" + line + "\"...");
  });
  for (const std::string& argument : arguments) guarded([&] { Act(argument); });
}

void TSwitchRun::Act(const std::string& argument) {
  const std::string upper = platform::UpperCase(argument);
  const bool load = StartsWith(upper, "/L:");
  const bool process = StartsWith(upper, "/P:");
  if (load || process) {
    const std::string project = ProjectOf(upper);
    host_.ShowProject(project);
    // A name no project has is a typo in the scheduler's line: said and counted. The run
    // of "/P:" says it itself, in the log as well.
    if (process) {
      host_.BackUpCurrent();
    } else if (catalogue_.ProjectId(project) == 0) {
      Refuse(store::UnknownProjectText(project));
    }
  }
  if (StartsWith(upper, "/W:")) {
    int workers = 0;
    if (ParseWorkers(upper.substr(3), workers)) {
      host_.ChooseWorkers(workers);
    } else {
      Refuse("Unknown number of files at once \"" + argument.substr(3) +
             "\": use /W:1 to /W:" + std::to_string(kMaxWorkers) + "!");
    }
  }
  if (upper == "/ALL") host_.BackUpAll();
  ActOnRestoreSwitch(argument, upper);
  if (upper == "/EXIT") {
    // Requested first: a log that cannot take the entry must not keep the program up.
    host_.RequestEnd();
    catalogue_.AddLogEntry("Exiting by command line parameter.");
  }
}

void TSwitchRun::ActOnRestoreSwitch(const std::string& argument, const std::string& upper) {
  // Folder and directory names keep their letter case; the project name is upper-cased as
  // /L: and /P: do.
  if (StartsWith(upper, "/F:")) {
    restoreSwitches_.folder = argument.substr(3);
    restoreSwitches_.hasFolder = true;
  } else if (StartsWith(upper, "/T:")) {
    restoreSwitches_.target = argument.substr(3);
    restoreSwitches_.hasTarget = true;
  } else if (StartsWith(upper, "/O:")) {
    const std::string option = upper.substr(3);
    if (option == "REWRITE") {
      restoreSwitches_.option = restore::RestoreOption::RewriteAll;
    } else if (option == "MISSED") {
      restoreSwitches_.option = restore::RestoreOption::AppendMissed;
    } else if (option == "REFRESH") {
      restoreSwitches_.option = restore::RestoreOption::Refresh;
    } else {
      Refuse("Unknown restore option \"" + argument.substr(3) +
             "\": use /O:REWRITE, /O:MISSED or /O:REFRESH!");
    }
  } else if (StartsWith(upper, "/R:")) {
    const RestoreSwitches chosen = restoreSwitches_;
    // /F: and /T: serve one /R: only; the option stays.
    restoreSwitches_.hasFolder = restoreSwitches_.hasTarget = false;
    restoreSwitches_.folder.clear();
    restoreSwitches_.target.clear();
    if (chosen.hasTarget && !chosen.hasFolder) {
      Refuse("/T: needs /F: to name the folder to restore: \"" + argument + "\" refused!");
      return;
    }
    RestoreProject(ProjectOf(upper), chosen);
  } else if (StartsWith(upper, "/V:")) {
    VerifyProject(ProjectOf(upper));
  }
}

void TSwitchRun::RestoreProject(const std::string& project, const RestoreSwitches& chosen) {
  host_.ShowProject(project);
  restore::RestoreRequest request;
  request.projectName = project;
  request.prompt = false;
  request.option = chosen.option;
  // An unknown project is the run's to refuse (logged and shown); a folder must be known.
  catalogue::TProjectRecord record;
  if (chosen.hasFolder && catalogue_.GetProject(project, record)) {
    catalogue::TFolderRecord folder;
    if (!catalogue_.GetFolder(project, chosen.folder, folder)) {
      Refuse("Folder \"" + chosen.folder + "\" is not in project \"" + project + "\"!");
      return;
    }
    request.selectedFolderOnly = true;
    request.selectedFolder = folder.Path;
    request.destination = chosen.hasTarget ? chosen.target : request.selectedFolder;
  }
  // An error that ends the run is noted by whoever catches it.
  if (!host_.Restore(request).AllRestored()) host_.NoteOutcome(RunOutcome::Incomplete);
}

void TSwitchRun::VerifyProject(const std::string& project) {
  host_.ShowProject(project);
  // An error that ends the run is noted by whoever catches it.
  const restore::VerifyResult result = host_.Verify(project);
  if (!result.refusal.empty()) {
    Refuse(result.refusal);
    return;
  }
  const std::size_t all = std::numeric_limits<std::size_t>::max();
  std::fputs(restore::VerifyReport(project, result, all, all).c_str(), stdout);
  std::fflush(stdout);
  for (const restore::FolderVerifyResult& folder : result.folders) {
    if (!folder.backupFound) host_.Report(restore::NoBackupLine(folder));
    for (const restore::DamagedArchive& damaged : folder.damaged) {
      host_.Report(restore::DamagedArchiveLine(damaged));
    }
  }
  if (!result.Sound()) host_.NoteOutcome(RunOutcome::Incomplete);
}

void TSwitchRun::Refuse(const std::string& text) {
  host_.NoteOutcome(RunOutcome::Incomplete);
  host_.ShowMessage(text, kErrorCaption);
}

}  // namespace console
