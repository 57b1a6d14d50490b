#include "crash/core/stack/stack_tracer_win.h"

#include "base/guarded_reader.h"
#include "base/seh_frame.h"
#include "crash/core/debug_info/module_debug_info.h"
#include "crash/core/x86/process_code_memory.h"

#include <algorithm>
#include <array>

namespace crash {
namespace {

// The memory of this process for one trace: reads through the guarded reader with one
// snapshot of the address space, regions from VirtualQuery (the last few remembered: the
// candidates of a stack fall into few regions).
class TProcessTraceMemory : public ITraceMemory
{
public:
    TProcessTraceMemory() : FCode(&FSession) {}
    bool Read(uint32_t address, uint8_t* out, size_t size) override { return FCode.Read(address, out, size); }
    std::optional<std::pair<uint32_t, uint32_t>> CodeRange(uint32_t address) override
    {
        return FCode.CodeRange(address);
    }
    std::optional<TMemoryRegion> Query(uint32_t address) override
    {
        for (const TKnownRegion& r : FRegions)
            if (address - r.Base < r.Size)
                return r.Region;
        MEMORY_BASIC_INFORMATION info;
        if (::VirtualQuery(reinterpret_cast<const void*>(static_cast<uintptr_t>(address)), &info,
                           sizeof info) != sizeof info)
            return std::nullopt;
        const TKnownRegion known{static_cast<uint32_t>(reinterpret_cast<uintptr_t>(info.BaseAddress)),
                                 static_cast<uint32_t>(info.RegionSize),
                                 {info.State == MEM_COMMIT,
                                  static_cast<uint32_t>(reinterpret_cast<uintptr_t>(info.AllocationBase)),
                                  static_cast<uint32_t>(reinterpret_cast<uintptr_t>(info.BaseAddress))}};
        FRegions[FNext++ % FRegions.size()] = known;
        return known.Region;
    }

private:
    struct TKnownRegion
    {
        uint32_t Base = 0, Size = 0;
        TMemoryRegion Region;
    };

    base::TGuardedReadSession FSession;
    TProcessCodeMemory FCode;
    std::array<TKnownRegion, 8> FRegions{};
    size_t FNext = 0;
};

// The modules of this process as the module cache of the debug information knows them.
class TProcessTraceModules : public ITraceModules
{
public:
    std::optional<TTraceModuleInfo> ModuleAt(uint32_t base) override
    {
        const std::optional<TModuleSymbols> symbols = ModuleSymbols(base);
        if (!symbols || symbols->Handle != base)
            return std::nullopt;
        TTraceModuleInfo info;
        const size_t slash = symbols->FileName.find_last_of(L"\\/");
        const std::wstring name =
            slash == std::wstring::npos ? symbols->FileName : symbols->FileName.substr(slash + 1);
        info.FileName.assign(name.begin(), name.end());
        const TModuleRanges& ranges = symbols->Map->Ranges();
        info.CodeBegin = ranges.BaseOfCode;
        info.CodeEnd = ranges.TopOfCode;
        info.DataBegin = ranges.BaseOfData;
        info.DataEnd = ranges.TopOfData;
        info.Debug = symbols->Map->Valid() ? symbols->Map : nullptr;
        info.MainExecutable =
            base == static_cast<uint32_t>(reinterpret_cast<uintptr_t>(::GetModuleHandleW(nullptr)));
        for (const TPeExport& e : *symbols->Exports)
            info.Exports.emplace_back(base + e.Rva, e.Name);
        std::sort(info.Exports.begin(), info.Exports.end());
        return info;
    }
};

} // namespace

TTracerCaches& ProcessTracerCaches()
{
    // Never destroyed: a crash may be traced while the process ends.
    static TProcessTraceModules* modules = new TProcessTraceModules;
    static TTracerCaches* caches = new TTracerCaches(*modules);
    return *caches;
}

uint32_t StackTopOf(HANDLE thread)
{
    struct TThreadBasicInformation
    {
        LONG ExitStatus;
        void* TebBaseAddress;
        void* UniqueProcess;
        void* UniqueThread;
        ULONG_PTR AffinityMask;
        LONG Priority;
        LONG BasePriority;
    } info{};
    using TQuery = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
    static const auto query = reinterpret_cast<TQuery>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationThread")));
    if (!query || query(thread, 0, &info, sizeof info, nullptr) != 0 || !info.TebBaseAddress)
        return 0;
    // The thread information block: the exception list, then the stack's base (its top).
    uint32_t top = 0;
    return base::GuardedRead(static_cast<const uint8_t*>(info.TebBaseAddress) + 4, &top, sizeof top) ? top
                                                                                                     : 0;
}

namespace {

bool UnderSehFrame(void (*fn)(void*), void* argument)
{
    EXCEPTION_RECORD record;
    return base::CallUnderSehFrame(fn, argument, record);
}

TTraceResult Trace(TTraceRequest& request)
{
    if (!request.Protect)
        request.Protect = &UnderSehFrame;
    TProcessTraceMemory memory;
    return TraceStack(memory, ProcessTracerCaches(), request);
}

} // namespace

TTraceResult TraceContext(const CONTEXT& context, uint32_t stackTop, TTraceRequest request)
{
    request.StackBottom = context.Esp;
    request.StackTop = stackTop;
    request.FramePointer = context.Ebp;
    request.TopAddr = context.Eip;
    return Trace(request);
}

__attribute__((noinline)) TTraceResult TraceCallingThread(TTraceRequest request)
{
    // This function's frame: the caller's frame pointer saved at its base, the return
    // address above it, and the caller's stack right above that. What the request gives
    // is kept.
    const auto* frame = static_cast<const uint32_t*>(__builtin_frame_address(0));
    if (!request.StackBottom)
        request.StackBottom = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(frame + 2));
    if (!request.StackTop)
        request.StackTop = StackTopOf(::GetCurrentThread());
    if (!request.FramePointer)
        request.FramePointer = frame[0];
    if (!request.TopAddr)
        request.TopAddr = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(__builtin_return_address(0)));
    return Trace(request);
}

std::vector<uint8_t> PrepareThreadStack(uint32_t stackBottom, uint32_t stackTop, uint32_t framePointer,
                                        std::optional<uint32_t> stopValue)
{
    TProcessTraceMemory memory;
    return PrepareStack(memory, stackBottom, stackTop, framePointer, stopValue);
}

} // namespace crash
