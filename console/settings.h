// The settings file "Vrnh.ini": window geometry, the folder list's column widths and the
// project that was open last, all in section "Main".
//
// Every key is declared once below with its type and default; readers and writers go
// through Read/Write with these declarations, never with key strings of their own.
#pragma once

#include <stdexcept>
#include <string>

#include "platform/ini_file.h"

namespace console {

struct IntSetting {
  const char* key;
  int defaultValue;  // the design value; start-up passes the window's current value instead
};

struct StringSetting {
  const char* key;
  const char* defaultValue;
};

inline constexpr char kSettingsFileName[] = "Vrnh.ini";
inline constexpr char kSettingsSection[] = "Main";

inline constexpr IntSetting kTop{"Top", 111};
inline constexpr IntSetting kLeft{"Left", 201};
inline constexpr IntSetting kWidth{"Width", 533};
inline constexpr IntSetting kHeight{"Height", 224};
// Widths of the folder list's columns "Folder", "Mask", "Mode" and "Last stored".
inline constexpr IntSetting kFrames[4] = {
    {"Frame0", 250}, {"Frame1", 100}, {"Frame2", 70}, {"Frame3", 80}};
inline constexpr StringSetting kProject{"Project", ""};

// A write the system refused: "Unable to write to <path>".
class ESettingsError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TSettings {
 public:
  explicit TSettings(std::string path) : ini_(std::move(path)) {}
  const std::string& Path() const { return ini_.Path(); }

  // A missing file, key or unreadable value gives fallback (decimal, or hex after "0x").
  int Read(const IntSetting& setting, int fallback) const;
  int Read(const IntSetting& setting) const { return Read(setting, setting.defaultValue); }
  std::string Read(const StringSetting& setting) const;

  // Each write reaches the file at once; a refused write raises ESettingsError.
  void Write(const IntSetting& setting, int value);
  void Write(const StringSetting& setting, const std::string& value);

 private:
  platform::IniFile ini_;
};

}  // namespace console
