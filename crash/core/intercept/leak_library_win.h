#pragma once
// The leak-checking and debug-memory library "Vexcatch32.dll", which lies outside the
// program: loaded once, on first need, from the first place that has it (the system's
// search order, the folder of the module that carries the reporter, the fixed path of an
// installation, the folder a registry value names), with the FPU's control word kept. Its
// interface version must be 2; a library of another version is announced and not used. The
// reporter starts leak checking or the debug memory manager for a module whose build marked
// it so (neither is marked in this program), and a reporter in a runtime package for the
// other modules whose settings ask for them.

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace crash {

// This runtime's memory manager, as the library wants to be given one.
struct TMemoryManager
{
    void* (*GetMem)(size_t size);
    void (*FreeMem)(void* block);
    void* (*ReallocMem)(void* block, size_t size);
};

struct TLeakLibrary
{
    HMODULE Module = nullptr; // null: no usable library
    BOOL(WINAPI* StartLeakChecking)(HMODULE module, const TMemoryManager* manager) = nullptr;
    BOOL(WINAPI* StopLeakChecking)(HMODULE module) = nullptr;
    BOOL(WINAPI* CalibrateLeakChecking)(HMODULE module) = nullptr;
    BOOL(WINAPI* ReportLeaksNow)(HMODULE module) = nullptr;
    void* GetLeakReport = nullptr;
    void* GetLeakCallstack = nullptr;
    void* ClearLeaks = nullptr;
    void* ShowLeakReport = nullptr;
    BOOL(WINAPI* UnloadLeakModule)(HMODULE module) = nullptr;
    void* HideLeakPtr = nullptr; // or the older ThisIsNoLeak
    void* HideLeakObj = nullptr;
    void* HideInitializationLeaks = nullptr;
    void* SetLeakOption = nullptr;
    BOOL(WINAPI* StartDebugMm)(HMODULE module, const TMemoryManager* manager, BOOL overrun) = nullptr;
    void* SetDebugMmAlignment = nullptr;
};

// The places tried, in order.
std::vector<std::wstring> LeakLibraryCandidates();

// Loads the first candidate that exists and is not `own`; `wrongVersion` is called (with the
// path) for a library whose interface version is not 2, which is then not used.
TLeakLibrary LoadLeakLibrary(const std::vector<std::wstring>& candidates, HMODULE own,
                             void (*wrongVersion)(const std::wstring& path));

// The library of this process, loaded on the first call (with the message box
// "Vexcatch32.dll has the wrong version." for a wrong one).
const TLeakLibrary& LeakLibrary();

// What the build marks in the module's data for the leak checking and the debug memory
// manager (0 in this program): the start-up acts on them.
struct TLeakMarks
{
    uint8_t ReportLeaks = 0;
    uint8_t CrashOnBuffer = 0; // 1: overruns, 2: underruns
};
extern volatile TLeakMarks LeakMarks;

// At start-up: leak checking and the debug memory manager for `module` as the marks say,
// then for the other modules.
void StartLeakServices(HMODULE module);
// When the reporter lives in a runtime package (`reporter` is a ".bpl") and the development
// environment's core package "coreide150.bpl" is not loaded: leak checking for every other
// loaded module whose settings block stores ReportLeaks = true, the debug memory manager for
// one that stores CrashOnBuffer = true (overruns unless it stores CrashOnUnderrun = true).
void StartLeakServicesOfOtherModules(HMODULE reporter);
// At shutdown: the library lets go of every module it was started for.
void StopLeakServices();

} // namespace crash
