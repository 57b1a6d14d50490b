#pragma once
// Import-table patches: every cell of every loaded module's import tables that holds a
// function's address is pointed at a replacement, with a record each (so that undo restores
// them). Modules loaded later are not seen. A reporter that lives in a library patches its
// own module's imports only.

#include "crash/core/intercept/patches_win.h"

#include <vector>

namespace crash {

struct TImportPatch
{
    const void* Real; // the function whose imports are re-pointed (null: none)
    const void* Hook;
    // Where the hook keeps the function it calls on, when it calls on: see PatchImports.
    void** Original = nullptr;
};

// Points every import of each patch's function in every loaded module at its hook, in one
// walk over the modules. A function that is itself only a jump through a cell (0xFF 0x25,
// the stubs of a system library that forward to another) gets that cell pointed at the
// hook too, so that callers that found it by name arrive at the hook; the hook then calls
// on to the cell's former target, which is stored in `Original`.
void PatchImports(TPatches& patches, const std::vector<TImportPatch>& list);

} // namespace crash
