// Settings in the Windows profile format: "[Section]" lines, then "Key=value" lines, no
// quoting or escaping, sections and keys matched without regard to case.
//
// Like the profile functions it stands in for, every write reaches the file at once; the
// file is rewritten through a temporary file and a rename, so a crash never leaves half.
#pragma once

#include <string>
#include <system_error>

namespace platform {

class IniFile {
 public:
  explicit IniFile(std::string path);
  const std::string& Path() const { return path_; }

  // A missing file, section or key gives the default. Values are read up to 1023 bytes.
  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& defaultValue) const;
  // Decimal, or hexadecimal after "0x"/"0X"; anything unreadable gives the default.
  int ReadInteger(const std::string& section, const std::string& key, int defaultValue) const;

  std::error_code WriteString(const std::string& section, const std::string& key,
                              const std::string& value);
  std::error_code WriteInteger(const std::string& section, const std::string& key, int value);

 private:
  std::string path_;
};

// Where the settings file of the given name lives: beside the executable when that
// folder is writable (a portable install), else in $XDG_CONFIG_HOME/varnholt/ (created).
std::string SettingsFilePath(const std::string& fileName);

}  // namespace platform
