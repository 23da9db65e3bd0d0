// An interaction that answers as the archive components behave without one: every dialog
// cancelled, every question answered No, every box dismissed. Tests derive from it and
// override only the calls they watch or script.
#pragma once

#include <string>

#include "archive/zip_interaction.h"

namespace testsupport {

class SilentInteraction : public archive::TZipInteraction {
 public:
  bool ChooseFile(const std::string&, const std::string&, const std::string&,
                  std::string&) override {
    return false;
  }
  bool ChooseDirectory(const std::string&, std::string&) override { return false; }
  bool ConfirmOkCancel(const std::string&, const std::string&) override { return false; }
  bool AskYesNo(const std::string&, const std::string&) override { return false; }
  void ShowMessage(const std::string&, const std::string&) override {}
};

}  // namespace testsupport
