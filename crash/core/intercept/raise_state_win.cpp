#include "crash/core/intercept/raise_state_win.h"

#include "base/srw_lock.h"
#include "base/win_handle.h"
#include "crash/core/intercept/base_exception.h"
#include "crash/core/intercept/dispatch_win.h"
#include "crash/core/stack/stack_tracer_win.h"

#include <windows.h>

#include <cxxabi.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <shared_mutex>
#include <unordered_map>

using TDestructor = void(_GLIBCXX_CDTOR_CALLABI*)(void*);

extern "C" {
[[noreturn]] void __real___cxa_throw(void* object, std::type_info* type, TDestructor destructor);
void __real___cxa_free_exception(void* object) noexcept;
void __real___cxa_end_catch();
}

namespace crash {
namespace {

static_assert(offsetof(CONTEXT, ExtendedRegisters) == sizeof(TRaiseStackInfo::Context),
              "the raise-time context is the CONTEXT without its extended registers");

// Inside the wrappers on this thread: what they call is not captured again. A plain flag:
// per-thread state with a destructor would run at every thread's end.
thread_local bool Busy = false;

// What the thrown objects carry beyond themselves, by object address, until the runtime
// frees the object: the raise-time state of objects that are no BaseException, the inner
// exceptions, whether the object was reported.
struct TSideEntry
{
    TRaiseStackInfo* Info = nullptr;
    std::unique_ptr<TInnerException> Inner;
    bool Reported = false;
};

class TSideTable
{
public:
    constexpr TSideTable() = default;

    TRaiseStackInfo* Info(const void* object) noexcept
    {
        const std::shared_lock lock(FLock);
        const TSideEntry* entry = Find(object);
        return entry ? entry->Info : nullptr;
    }
    const TInnerException* Inner(const void* object) noexcept
    {
        const std::shared_lock lock(FLock);
        const TSideEntry* entry = Find(object);
        return entry ? entry->Inner.get() : nullptr;
    }
    bool Reported(const void* object) noexcept
    {
        const std::shared_lock lock(FLock);
        const TSideEntry* entry = Find(object);
        return entry && entry->Reported;
    }
    // Keeps what a throw captured (a first raise's only: a later one's is freed). Without
    // memory for the entry, it is freed.
    void Attach(const void* object, TRaiseStackInfo* info, std::unique_ptr<TInnerException> inner) noexcept
    {
        try {
            const std::lock_guard lock(FLock);
            TSideEntry& entry = Entry(object);
            if (!entry.Info)
                std::swap(entry.Info, info);
            if (!entry.Inner)
                entry.Inner = std::move(inner);
        } catch (...) {
        }
        FreeRaiseStackInfo(info);
    }
    void MarkReported(const void* object) noexcept
    {
        try {
            const std::lock_guard lock(FLock);
            Entry(object).Reported = true;
        } catch (...) {
        }
    }
    // Takes the object's entry out (when the runtime frees the object).
    TSideEntry Take(const void* object) noexcept
    {
        TSideEntry taken;
        if (FCount == 0)
            return taken;
        const std::lock_guard lock(FLock);
        const auto found = FMap->find(object);
        if (found != FMap->end()) {
            taken = std::move(found->second);
            FMap->erase(found);
            FCount = static_cast<LONG>(FMap->size());
        }
        return taken;
    }

private:
    const TSideEntry* Find(const void* object) const
    {
        if (FCount == 0 || !FMap)
            return nullptr;
        const auto found = FMap->find(object);
        return found != FMap->end() ? &found->second : nullptr;
    }
    TSideEntry& Entry(const void* object)
    {
        if (!FMap)
            FMap = new std::unordered_map<const void*, TSideEntry>; // lives as long as the process
        TSideEntry& entry = (*FMap)[object];
        FCount = static_cast<LONG>(FMap->size());
        return entry;
    }

    base::SrwLock FLock;
    std::unordered_map<const void*, TSideEntry>* FMap = nullptr;
    volatile LONG FCount = 0; // entries: none means nothing to look up
};

constinit TSideTable Side;
volatile LONG HiddenReported = 0;
volatile LONG Capturing = 0;
// The most of a stack a throw copies (from the throw up: the outermost frames of a deeper
// stack are left out).
constexpr uint32_t MaxStackCopy = 256 << 10;

class TBusy
{
public:
    TBusy() : FWas(Busy) { Busy = true; }
    ~TBusy() { Busy = FWas; }
    bool WasBusy() const { return FWas; }

private:
    bool FWas;
};

const BaseException* AsBase(const std::type_info* type, void* object)
{
    void* adjusted = object;
    return type && typeid(BaseException).__do_catch(type, &adjusted, 1)
               ? static_cast<BaseException*>(adjusted)
               : nullptr;
}

const std::exception* AsStd(const std::type_info* type, void* object)
{
    void* adjusted = object;
    return type && typeid(std::exception).__do_catch(type, &adjusted, 1)
               ? static_cast<std::exception*>(adjusted)
               : nullptr;
}

std::exception_ptr InnerOf(const std::type_info* type, void* object)
{
    if (const BaseException* base = AsBase(type, object))
        return base->InnerException();
    void* adjusted = object;
    if (type && typeid(std::nested_exception).__do_catch(type, &adjusted, 1))
        return static_cast<std::nested_exception*>(adjusted)->nested_ptr();
    return nullptr;
}

TRaiseStackInfo* InfoOf(const std::type_info* type, void* object)
{
    if (const BaseException* base = AsBase(type, object))
        return base->StackInfo();
    return Side.Info(object);
}

void Attach(const std::type_info* type, void* object, TRaiseStackInfo* info,
            std::unique_ptr<TInnerException> inner)
{
    if (const BaseException* base = AsBase(type, object)) {
        if (!const_cast<BaseException*>(base)->AttachStackInfo(info))
            FreeRaiseStackInfo(info);
        info = nullptr;
        if (!inner)
            return;
    }
    Side.Attach(object, info, std::move(inner));
}

// The chain of `inner` and its own inner exceptions, as far as the objects tell (at most 16).
std::unique_ptr<TInnerException> ChainOf(std::exception_ptr inner)
{
    std::unique_ptr<TInnerException> newest;
    std::unique_ptr<TInnerException>* tail = &newest;
    for (int depth = 0; inner && depth < 16; ++depth) {
        const std::type_info* type = ThrownType(inner);
        void* object = const_cast<void*>(ThrownObject(inner));
        auto e = std::make_unique<TInnerException>();
        e->ExceptClass = ReadableTypeName(type);
        if (const std::exception* x = AsStd(type, object))
            e->ExceptMessage = x->what();
        void* adjusted = object;
        e->ExtException = type && typeid(EExternal).__do_catch(type, &adjusted, 1);
        adjusted = object;
        e->BcbTermination = type && typeid(BcbTermination).__do_catch(type, &adjusted, 1);
        if (const TRaiseStackInfo* info = InfoOf(type, object); info && info->Captured) {
            e->ExceptAddr = info->Address;
            std::memcpy(e->Context, info->Context, sizeof e->Context);
        }
        inner = InnerOf(type, object);
        *tail = std::move(e);
        tail = &(*tail)->Inner;
    }
    return newest;
}

// The first throw of `object`: its raise-time state and the chain of inner exceptions.
void CaptureRaise(void* object, const std::type_info* type, const void* returnAddress, const uint32_t* frame)
{
    if (InfoOf(type, object))
        return;
    std::unique_ptr<TInnerException> inner = ChainOf(InnerOf(type, object)); // may throw: first
    if (TRaiseStackInfo* info = CaptureRaiseStackInfo(returnAddress, frame))
        Attach(type, object, info, std::move(inner));
}

bool IsReported(const std::exception_ptr& e)
{
    if (const BaseException* base = CaughtAs<BaseException>(e))
        return base->Message() == std::string(1, '\0');
    return Side.Reported(ThrownObject(e));
}

// The handler count of the exception being caught: 1 when this end of a catch block is the
// last (the object is then done with; a rethrown exception's count is negative). The count
// sits after five pointers in the runtime's exception header, as the C++ ABI lays it out.
int CaughtHandlerCount()
{
    const auto* globals = reinterpret_cast<void* const*>(abi::__cxa_get_globals());
    const auto* header = globals ? static_cast<const uint8_t*>(globals[0]) : nullptr;
    int count = 0;
    if (header)
        std::memcpy(&count, header + 5 * sizeof(void*), sizeof count);
    return count;
}

void DispatchHidden()
{
    std::exception_ptr current = std::current_exception();
    if (!current || CaughtHandlerCount() != 1 || IsReported(current))
        return;
    TDispatchRequest request;
    request.Type = etHidden;
    request.Exception = &current;
    request.Source = esHidden;
    DispatchException(request);
}

} // namespace

TRaiseStackInfo* CaptureRaiseStackInfo(const void* returnAddress, const uint32_t* frame) noexcept
{
    base::HeapBlock block(::HeapAlloc(::GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(TRaiseStackInfo)));
    if (!block)
        return nullptr;
    auto* info = static_cast<TRaiseStackInfo*>(block.Get());
    std::memcpy(info->Magic, RaiseStackInfoMagic, sizeof info->Magic);
    info->ThreadId = ::GetCurrentThreadId();
    CONTEXT context{};
    context.ContextFlags = CONTEXT_FULL;
    ::RtlCaptureContext(&context);
    context.Eip = static_cast<DWORD>(reinterpret_cast<uintptr_t>(returnAddress));
    context.Ebp = frame[0];
    context.Esp = static_cast<DWORD>(reinterpret_cast<uintptr_t>(frame + 2));
    std::memcpy(info->Context, &context, sizeof info->Context);
    info->Address = context.Eip;
    info->Captured = 1;
    // The frames between the thrower and the catch are gone by the time a catch block
    // reports the exception: their stack is copied now (the quick pass over it would cost
    // several times the throw itself).
    const uint32_t top = StackTopOf(::GetCurrentThread());
    if (top > context.Esp) {
        const uint32_t length = std::min<uint32_t>(top - context.Esp, MaxStackCopy);
        if (void* copy = ::HeapAlloc(::GetProcessHeap(), 0, length)) {
            std::memcpy(copy, reinterpret_cast<const void*>(static_cast<uintptr_t>(context.Esp)), length);
            info->StackCopy = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(copy));
            info->StackCopyLength = length;
        }
    }
    return static_cast<TRaiseStackInfo*>(block.Release());
}

void PrepareRaiseStack(TRaiseStackInfo* info) noexcept
{
    if (!info || info->PreparedStack || !info->StackCopy)
        return;
    CONTEXT context;
    std::memcpy(&context, info->Context, sizeof info->Context);
    try {
        const std::vector<uint8_t> prepared = PrepareCopiedStack(
            {reinterpret_cast<const uint8_t*>(uintptr_t{info->StackCopy}), info->StackCopyLength},
            context.Esp, {}, 0, context.Ebp);
        base::HeapBlock copy(::HeapAlloc(::GetProcessHeap(), 0, prepared.size() + 1));
        if (!copy)
            return;
        std::memcpy(copy.Get(), prepared.data(), prepared.size());
        // Two threads may report the same object at once: the first prepared stack stays.
        info->PreparedStackLength = static_cast<uint32_t>(prepared.size());
        if (!::InterlockedCompareExchange(reinterpret_cast<volatile LONG*>(&info->PreparedStack),
                                          static_cast<LONG>(reinterpret_cast<uintptr_t>(copy.Get())), 0))
            copy.Release();
    } catch (...) { // no memory for it: reported without
    }
}

BaseException::BaseException(const BaseException& other)
    : std::exception(other), FMessage(other.FMessage), FHelpContext(other.FHelpContext), FInner(other.FInner),
      FAcquireInner(other.FAcquireInner)
{
}

BaseException::~BaseException()
{
    FreeRaiseStackInfo(FStackInfo);
}

bool BaseException::AttachStackInfo(TRaiseStackInfo* info) noexcept
{
    if (FStackInfo)
        return false;
    FStackInfo = info;
    return true;
}

void FreeRaiseStackInfo(TRaiseStackInfo* info) noexcept
{
    if (!info)
        return;
    for (const uint32_t block : {info->PreparedStack, info->StackCopy})
        if (block)
            ::HeapFree(::GetProcessHeap(), 0, reinterpret_cast<void*>(static_cast<uintptr_t>(block)));
    ::HeapFree(::GetProcessHeap(), 0, info);
}

const void* ThrownObject(const std::exception_ptr& e) noexcept
{
    // libstdc++'s exception_ptr is the thrown object's address and nothing else.
    static_assert(sizeof(std::exception_ptr) == sizeof(void*));
    const void* object;
    std::memcpy(&object, &e, sizeof object);
    return object;
}

const std::type_info* ThrownType(const std::exception_ptr& e) noexcept
{
    return e ? e.__cxa_exception_type() : nullptr;
}

std::string ThrownClassName(const std::exception_ptr& e)
{
    return ReadableTypeName(ThrownType(e));
}

const TRaiseStackInfo* RaiseStackInfoOf(const std::exception_ptr& e) noexcept
{
    return e ? InfoOf(ThrownType(e), const_cast<void*>(ThrownObject(e))) : nullptr;
}

const TRaiseStackInfo* PreparedRaiseStackInfoOf(const std::exception_ptr& e) noexcept
{
    auto* info = const_cast<TRaiseStackInfo*>(RaiseStackInfoOf(e));
    PrepareRaiseStack(info);
    return info;
}

const TInnerException* InnerExceptionsOf(const std::exception_ptr& e) noexcept
{
    return e ? Side.Inner(ThrownObject(e)) : nullptr;
}

void SetRaiseCapture(bool on) noexcept
{
    ::InterlockedExchange(&Capturing, on ? 1 : 0);
}

void SetHiddenExceptionsReported(bool reported) noexcept
{
    ::InterlockedExchange(&HiddenReported, reported ? 1 : 0);
}

bool HiddenExceptionsReported() noexcept
{
    return HiddenReported != 0;
}

void MarkReported(const std::exception_ptr& e) noexcept
{
    if (const BaseException* base = CaughtAs<BaseException>(e)) {
        const_cast<BaseException*>(base)->SetMessage(std::string(1, '\0'));
        return;
    }
    if (e)
        Side.MarkReported(ThrownObject(e));
}

} // namespace crash

extern "C" {

// What every throw of this program calls. The wrapper's own frame lies between the thrower
// and the runtime: its saved frame pointer and return address are the thrower's.
[[noreturn]] __attribute__((noinline)) void __wrap___cxa_throw(void* object, std::type_info* type,
                                                               TDestructor destructor)
{
    if (crash::Capturing) {
        crash::TBusy busy;
        try {
            if (!busy.WasBusy())
                crash::CaptureRaise(object, type, __builtin_return_address(0),
                                    static_cast<const uint32_t*>(__builtin_frame_address(0)));
        } catch (...) { // no memory to capture: the program's own exception goes on without
        }
    }
    __real___cxa_throw(object, type, destructor);
}

void __wrap___cxa_free_exception(void* object) noexcept
{
    crash::FreeRaiseStackInfo(crash::Side.Take(object).Info);
    __real___cxa_free_exception(object);
}

void __wrap___cxa_end_catch()
{
    if (crash::HiddenReported && ::GetCurrentThreadId() != crash::HandlingThreadId()) {
        crash::TBusy busy;
        if (!busy.WasBusy())
            crash::DispatchHidden();
    }
    __real___cxa_end_catch();
}
}
