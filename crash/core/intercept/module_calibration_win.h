#pragma once
// Module calibration: a module may carry the true bounds of its code and data, written by
// the build after linking as the resource "CALIBRATE" of type "VEX" (five 32-bit values);
// the module's in-memory PE header is corrected from it, so that everything that reads a
// module's code range (the stack tracer, the code analysis) sees the true one. The first
// value's bit 31 tells which kind of module the resource was made for: clear for the
// executable, set for another module; a resource made for the other kind is ignored.

#include <windows.h>

#include <cstdint>

namespace crash {

// Calibrates the executable, `settingsModule` (when another module) and every loaded module
// whose file name ends in ".bpl". Returns how many headers were corrected.
int CalibrateModules(HMODULE settingsModule);

// Calibrates one module; false when it has no valid resource.
bool CalibrateModule(HMODULE module, bool isMain);

// The known places in this code and data that the values are relative to.
uint32_t CalibrationCodeMarker();
uint32_t CalibrationDataMarker();

} // namespace crash
