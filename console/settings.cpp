#include "console/settings.h"

namespace console {

int TSettings::Read(const IntSetting& setting, int fallback) const {
  return ini_.ReadInteger(kSettingsSection, setting.key, fallback);
}

std::string TSettings::Read(const StringSetting& setting) const {
  return ini_.ReadString(kSettingsSection, setting.key, setting.defaultValue);
}

void TSettings::Write(const IntSetting& setting, int value) {
  if (ini_.WriteInteger(kSettingsSection, setting.key, value)) {
    throw ESettingsError("Unable to write to " + ini_.Path());
  }
}

void TSettings::Write(const StringSetting& setting, const std::string& value) {
  if (ini_.WriteString(kSettingsSection, setting.key, value)) {
    throw ESettingsError("Unable to write to " + ini_.Path());
  }
}

}  // namespace console
