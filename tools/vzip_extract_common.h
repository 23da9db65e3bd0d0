// What "vzip t" and "vzip x" share: their arguments and the console answers to the archive
// layer's questions (messages to err; every question answered No).
#pragma once

#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "archive/zip_interaction.h"

namespace vzip {

struct TExtractOptions {
  std::string archive;
  std::string directory;
  std::string password;
};

// ARCHIVE, up to maxPlain - 1 more plain arguments (the directory), and "-P PASSWORD".
inline bool ParseExtractArguments(const std::vector<std::string>& args, std::size_t maxPlain,
                                  TExtractOptions& options) {
  std::vector<std::string> plain;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "-P") {
      if (i + 1 >= args.size()) return false;
      options.password = args[++i];
    } else {
      plain.push_back(args[i]);
    }
  }
  if (plain.empty() || plain.size() > maxPlain) return false;
  options.archive = plain[0];
  if (plain.size() > 1) options.directory = plain[1];
  return true;
}

class TConsoleInteraction : public archive::TZipInteraction {
 public:
  explicit TConsoleInteraction(std::ostream& err) : err_(err) {}
  bool ChooseFile(const std::string&, const std::string&, const std::string&,
                  std::string&) override {
    return false;
  }
  bool ChooseDirectory(const std::string&, std::string&) override { return false; }
  bool ConfirmOkCancel(const std::string& text, const std::string& caption) override {
    err_ << "vzip: " << caption << ": " << text << " (Cancel)\n";
    return false;
  }
  bool AskYesNo(const std::string& text, const std::string& caption) override {
    err_ << "vzip: " << caption << ": " << text << " (No)\n";
    return false;
  }
  void ShowMessage(const std::string& text, const std::string& caption) override {
    err_ << "vzip: " << caption << ": " << text << "\n";
  }

 private:
  std::ostream& err_;
};

}  // namespace vzip
