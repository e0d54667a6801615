#include "settings/DetectSetting.h"

void DetectSetting::ResetToStart() { values = Values{}; }
