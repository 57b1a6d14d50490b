#pragma once
// The values of the text variables that come from the system: file names and versions of
// the executable and of a settings' module, the clock, the computer's name, the operating
// system and the user's folders.

#include "crash/settings/text_variables.h"

#include <windows.h>

#include <string>

namespace crash {

// `moduleVersionVar` and `appVersionVar` are the modules' own version texts (VersionVar),
// which take precedence over the version resource of their files.
TTextVariables SystemTextVariables(HMODULE module, const std::u16string& moduleVersionVar,
                                   const std::u16string& appVersionVar);

// The file name (without folder) and the full path of a module.
std::u16string ModuleFileName(HMODULE module);
std::u16string ModulePath(HMODULE module);

} // namespace crash
