#pragma once
// The paths of other kinds of host than this program: the routines of their runtimes, found
// by the build (the hook target table) or, for a host that runs on runtime packages (the
// visual library, the runtime and the cross-platform visual library as DLLs named
// "<name>150.bpl" or "<name>.bpl"), by their exported names, each package recognised by a
// name only it exports. Each is hooked at entry like the framework's:
//   - the application's HandleException of each visual library: esApplicationHandleException,
//     the sender as the related object (after the window holding the mouse lets it go);
//   - the application's ShowException of each visual library: esApplicationShowException;
//   - the runtime's ShowException (object, address): esSysUtilsShowException;
//   - the call of InitializePackage inside LoadPackage, re-pointed: an exception escaping a
//     package's initialization is dispatched with esInitializePackage and the package, and
//     goes on to LoadPackage as before;
//   - a CGI application's exception handler: esCGI, the sender as the related object;
//   - an ISAPI application's exception handler: esISAPI, with the thread's report text as the
//     target of the report, and the thread's ISAPI exception address set afterwards;
//   - a C++Builder runtime module (recognised by the five names only it exports): the pointer
//     its abnormal termination calls through ("___terminatePTR") points at a replacement that
//     dispatches a BcbTermination with esBcbAbnormalProgramTermination and ends the process,
//     and its throw routine's allocation of the thrown object is re-pointed to capture the
//     raise (bcb_raise_win.h).
// The routines use the runtimes' register convention (the first arguments in eax, edx, ecx);
// their exception objects are the runtime's own, handed over as such. This program has no
// runtime packages: a test drives the paths with stand-ins.

#include "crash/core/intercept/patches_win.h"

#include <windows.h>

#include <cstdint>
#include <string>

namespace crash {

// The routines of another host's runtime (null where the process has none).
struct THookTargets
{
    void* HandleException[3] = {}; // visual library, cross-platform visual library, FireMonkey
    void* ShowException[3] = {};
    void* SysUtilsShowException = nullptr;
    void* LoadPackage = nullptr;
    void* InitializePackage = nullptr;
    void* CgiHandleException = nullptr;
    void* IsapiHandleException = nullptr;
    HMODULE IsapiExtension = nullptr;     // whose request entry point is replaced (isapi_requests_win.h)
    void** BcbTerminatePointer = nullptr; // the C++Builder runtime's ___terminatePTR
    void* BcbThrow = nullptr;             // its throw routine
    void* BcbMalloc = nullptr;            // its malloc
};

// The build's table (empty in this program), completed from the runtime packages.
THookTargets FindHookTargets();

// Installs a hook for every routine found; the number installed.
int InstallHostHooks(TPatches& patches, const THookTargets& targets);

// What an ISAPI request's exception left on its thread: the report text for the client and
// the exception's address.
struct TIsapiThreadState
{
    std::string Report;
    uint32_t ExceptAddress = 0;
};
TIsapiThreadState& IsapiThreadState();

} // namespace crash
