#pragma once
// A module's settings block: the RCDATA resource "TVEXCATCH", parsed with the system's
// ANSI code page for its 8-bit texts.

#include "crash/settings/settings_property.h"

#include <windows.h>

#include <span>

namespace crash {

// The bytes of the module's settings resource; empty when it has none.
std::span<const uint8_t> SettingsResource(HMODULE module);

// Parses the module's block. A block with an unknown value kind keeps the records before
// it and tells the user in a message box (caption "Vexcatch").
TSettingsParse LoadModuleSettings(HMODULE module);

} // namespace crash
