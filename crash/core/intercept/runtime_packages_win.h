#pragma once
// The paths of a host that runs on runtime packages (the visual library, the runtime and the
// cross-platform visual library as DLLs named "<name>150.bpl" or "<name>.bpl"). Their
// routines are found by their exported names, each package recognised by a name only it
// exports, and hooked at entry like the framework's:
//   - the application's HandleException of each visual library: esApplicationHandleException,
//     the sender as the related object (after the window holding the mouse lets it go);
//   - the application's ShowException of each visual library: esApplicationShowException;
//   - the runtime's ShowException (object, address): esSysUtilsShowException;
//   - the call of InitializePackage inside LoadPackage, re-pointed: an exception escaping a
//     package's initialization is dispatched with esInitializePackage and the package, and
//     goes on to LoadPackage as before.
// The routines use the runtimes' register convention (the first arguments in eax, edx, ecx);
// their exception objects are the runtime's own, handed over as such. This program has no
// runtime packages: a test drives the paths with stand-ins.

#include "crash/core/intercept/patches_win.h"

#include <windows.h>

namespace crash {

// The routines of the process's runtime packages (null where it has none).
struct TPackageRoutines
{
    void* HandleException[3] = {}; // visual library, cross-platform visual library, FireMonkey
    void* ShowException[3] = {};
    void* SysUtilsShowException = nullptr;
    void* LoadPackage = nullptr;
    void* InitializePackage = nullptr;
};

TPackageRoutines FindPackageRoutines();

// Installs a hook for every routine found; the number installed.
int InstallPackageHooks(TPatches& patches, const TPackageRoutines& routines);

} // namespace crash
