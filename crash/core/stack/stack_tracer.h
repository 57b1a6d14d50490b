#pragma once
// The stack tracer: a thread's raw stack memory as a call stack with module, unit, line and
// function names. It does not rely on frame pointers alone. Every stack slot that could be
// a return address is a candidate; the code analysis checks that a call really precedes it;
// each candidate is linked to the candidates its call could have led to; the chains are
// scored and the best one between the certain points of the stack is kept; recursion
// repeats are folded.
//
// Platform-free: the traced memory and the modules come through interfaces (the process's
// own in the reporter, synthetic ones in tests). One lock serializes all traces that share
// a cache.

#include "crash/core/debug_info/map_file.h"
#include "crash/core/stack/prepared_stack.h"
#include "crash/core/stack/stack_text.h"
#include "crash/core/stack/trace_memory.h"
#include "crash/core/x86/x86_function.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace crash {

// What the tracer knows of a module of the traced process.
struct TTraceModuleInfo
{
    std::u16string FileName;             // without folder
    uint32_t CodeBegin = 0, CodeEnd = 0; // an address v is in the code when CodeBegin < v <= CodeEnd
    uint32_t DataBegin = 0, DataEnd = 0;
    const TMapFile* Debug = nullptr; // null when the module has no debug information
    bool MainExecutable = false;
    // The named exports, sorted by address (for a module without debug information).
    std::vector<std::pair<uint32_t, std::string>> Exports;
};

class ITraceModules
{
public:
    virtual ~ITraceModules() = default;
    // The module whose image starts at `base` (a region's allocation base); nothing when no
    // module is there.
    virtual std::optional<TTraceModuleInfo> ModuleAt(uint32_t base) = 0;
};

// The module cache and the function cache of the traces of one process. They live as long
// as the process and only grow; a function found invalid stays invalid.
class TTracerCaches
{
public:
    explicit TTracerCaches(ITraceModules& modules) : FModules(modules) {}

    struct TModule
    {
        uint32_t Base = 0;
        TTraceModuleInfo Info;
    };
    struct TFunction
    {
        int32_t Module = -1;
        std::string Name;
        TFunctionInfo Info;
        bool Approved = false;
        bool Invalid = false;
    };

    // The index of the module at `base`, entered on first use; -1 when none is there.
    int32_t Module(uint32_t base);
    const TModule& ModuleByIndex(int32_t index) const { return FModuleList[static_cast<size_t>(index)]; }
    size_t FunctionCount() const noexcept { return FFunctions.size(); }
    TFunction& FunctionByIndex(int32_t index) { return FFunctions[static_cast<size_t>(index)]; }
    // The function that starts at `entry`, analysed on first use; approving it approves
    // every function it reaches by a jump.
    int32_t Function(ICodeMemory& memory, uint32_t entry, const std::string& name, int32_t module,
                     bool approve);
    void Approve(ICodeMemory& memory, int32_t function);

    // Serializes the traces that use these caches; a trace may start another on the same
    // thread (a failure while tracing is reported with a trace of its own).
    std::recursive_mutex Lock;

private:
    ITraceModules& FModules;
    std::vector<TModule> FModuleList;
    std::vector<uint32_t> FNoModule; // bases known to hold no module
    std::vector<TFunction> FFunctions;
    std::unordered_map<uint32_t, int32_t> FByEntry;
};

// Progress of a trace on the scale 0 to 1000.
using TTraceProgress = std::function<void(int permille)>;

// Runs fn(argument) under a protection of the platform's own (an SEH frame on Windows);
// false when an operating-system exception ended it. Without one a step runs as it is.
using TProtectedCall = bool (*)(void (*fn)(void*), void* argument);

struct TTraceRequest
{
    bool HideUglyItems = false;
    TStackTextOptions Text;
    bool DontAddTopItem = false;
    const std::atomic<bool>* Abort = nullptr;
    std::optional<std::vector<uint8_t>> PreparedStack; // PrepareStack's byte string
    bool CppTermination = false;
    bool DumbTrace = false; // skip the chain realization
    uint32_t FramePointer = 0;
    TTraceProgress Progress;
    uint32_t CreatorAddr = 0; // where the thread was created, 0 when unknown
    uint32_t StackTop = 0, StackBottom = 0;
    bool ExternalException = false; // the exception is an operating-system one
    bool IsException = false;
    uint32_t TopAddr = 0;   // the exception or current address
    uint32_t RaiseAddr = 0; // where an exception is being raised while the trace runs, 0 when none
    TProtectedCall Protect = nullptr;
    // Names of the frames where the operating system hands an exception to this program's
    // handler (hidden with the frames newer than them when a prepared stack is traced).
    std::vector<std::u16string> ExceptionHandlerNames = {u"__ExceptionHandler"};
};

struct TTraceResult
{
    std::u16string Text; // empty for an unreadable stack or an aborted trace
    std::vector<TStackLine> Lines;
    TStackTrace Trace;
    // "module|text" of each module met whose debug information is minimal.
    std::vector<std::u16string> MinDebugInfo;
    bool HasLineNumbers = false;
    bool EndsWithCreator = false; // the last line is where the thread was created
    TStackChecksums Checksums;
    // The first output line with a known function start and first line: the line's address
    // and the function's start, for the disassembly of the crashing function.
    uint32_t ExceptFuncAddr = 0, ExceptFuncEntry = 0;
    uint32_t ExceptAddr = 0; // the address of the newest frame
};

TTraceResult TraceStack(ITraceMemory& memory, TTracerCaches& caches, const TTraceRequest& request);

} // namespace crash
