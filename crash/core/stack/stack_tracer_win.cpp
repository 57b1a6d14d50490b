#include "crash/core/stack/stack_tracer_win.h"

#include "base/guarded_reader.h"
#include "base/seh_frame.h"
#include "crash/core/debug_info/module_debug_info.h"
#include "crash/core/x86/process_code_memory.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>

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

// The regions a quick pass asked the system about, readable or not: the values on a stack
// point into few of them.
struct TRegionCache
{
    struct TRegion
    {
        uint32_t Base = 0, Size = 0;
        bool Readable = false;
    };
    std::array<TRegion, 16> Regions{};
    size_t Count = 0, Next = 0;

    const TRegion* Of(uint32_t address)
    {
        for (size_t k = 0; k < Count; ++k)
            if (address - Regions[k].Base < Regions[k].Size)
                return &Regions[k];
        MEMORY_BASIC_INFORMATION info;
        if (::VirtualQuery(reinterpret_cast<const void*>(static_cast<uintptr_t>(address)), &info,
                           sizeof info) != sizeof info)
            return nullptr;
        const DWORD readable = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                               PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
        TRegion& r = Regions[Count < Regions.size() ? Count++ : Next++ % Regions.size()];
        r.Base = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(info.BaseAddress));
        r.Size = static_cast<uint32_t>(info.RegionSize);
        r.Readable = info.State == MEM_COMMIT && (info.Protect & readable) && !(info.Protect & PAGE_GUARD);
        return &r;
    }
};

// This process's memory for the quick pass over a stack copied at a throw or a fault: the
// stack's range is read from the copy (its part that was not copied cannot be read),
// anything else directly once its region is known to be readable, under the one guard that
// PrepareCopiedStack puts around the pass.
class TCopiedStackMemory : public ITraceMemory
{
public:
    TCopiedStackMemory(std::span<const uint8_t> newest, uint32_t stackBottom,
                       std::span<const uint8_t> outermost, uint32_t stackTop, TRegionCache& regions)
        : FNewest(newest), FOutermost(outermost), FBottom(stackBottom), FTop(stackTop), FRegions(regions)
    {
    }
    bool Read(uint32_t address, uint8_t* out, size_t size) override
    {
        const uint64_t end = uint64_t{address} + size;
        if (end > FBottom && address < FTop) {
            const uint64_t outermostAt = uint64_t{FTop} - FOutermost.size();
            if (address >= FBottom && end <= FBottom + uint64_t{FNewest.size()})
                std::memcpy(out, FNewest.data() + (address - FBottom), size);
            else if (address >= outermostAt && end <= FTop)
                std::memcpy(out, FOutermost.data() + (address - outermostAt), size);
            else
                return false;
            return true;
        }
        if (address < 0x10000) // the lowest 64 KB are never mapped
            return false;
        const TRegionCache::TRegion* region = FRegions.Of(address);
        if (!region || !region->Readable || end > uint64_t{region->Base} + region->Size)
            return false;
        // The pass runs under one guard (PrepareThreadStack): a region freed since it was
        // asked about ends the pass instead of faulting.
        std::memcpy(out, reinterpret_cast<const void*>(static_cast<uintptr_t>(address)), size);
        return true;
    }
    std::optional<std::pair<uint32_t, uint32_t>> CodeRange(uint32_t) override { return std::nullopt; }
    std::optional<TMemoryRegion> Query(uint32_t) override { return std::nullopt; }

private:
    std::span<const uint8_t> FNewest, FOutermost;
    uint32_t FBottom, FTop;
    TRegionCache& FRegions;
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
    if (thread == ::GetCurrentThread()) { // the calling thread's block, without asking the system
        uint32_t top;
        asm volatile("movl %%fs:4, %0" : "=r"(top));
        return top;
    }
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

std::vector<uint8_t> PrepareCopiedStack(std::span<const uint8_t> newest, uint32_t stackBottom,
                                        std::span<const uint8_t> outermost, uint32_t stackTop,
                                        uint32_t framePointer)
{
    if (outermost.empty())
        stackTop = stackBottom + static_cast<uint32_t>(newest.size());
    TRegionCache regions;
    struct TPass
    {
        TCopiedStackMemory Memory;
        uint32_t Bottom, Top, FramePointer;
        std::vector<uint8_t> Result;
    } pass{{newest, stackBottom, outermost, stackTop, regions}, stackBottom, stackTop, framePointer, {}};
    EXCEPTION_RECORD caught;
    try {
        const bool done = base::CallUnderSehFrame(
            [](void* p) {
                auto& r = *static_cast<TPass*>(p);
                r.Result = PrepareStack(r.Memory, r.Bottom, r.Top, r.FramePointer);
            },
            &pass, caught);
        return done ? std::move(pass.Result) : std::vector<uint8_t>{};
    } catch (const std::bad_alloc&) {
        return {};
    }
}

} // namespace crash
