#pragma once
// Import-table patches: every cell of every loaded module's import tables that holds a
// function's address is pointed at a replacement, with a record each (so that undo restores
// them). Modules loaded later are not seen.

#include "crash/core/intercept/patches_win.h"

namespace crash {

// Points every import of `real` in every loaded module at `hook`.
void PatchImports(TPatches& patches, const void* real, const void* hook);

} // namespace crash
