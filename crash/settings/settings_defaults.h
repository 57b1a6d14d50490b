#pragma once
// The built-in defaults: 138 read-only settings that answer for the main module when its
// own block lacks a setting. Their texts are 8-bit text.

#include "crash/settings/settings_property.h"

namespace crash {

const TSettingsList& BuiltInDefaults();

} // namespace crash
