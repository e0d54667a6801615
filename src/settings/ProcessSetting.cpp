#include "settings/ProcessSetting.h"

#include "settings/SettingsTable.h"

void ProcessSetting::ResetToStart() { settings::ResetToStart(settings::ProcessSettingTable()); }

void ProcessSetting::RestoreDefaults() { settings::RestoreDefaults(settings::ProcessSettingTable()); }
