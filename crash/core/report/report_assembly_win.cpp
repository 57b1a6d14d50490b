#include "crash/core/report/report_assembly_win.h"

#include "base/com_object.h"
#include "base/crc32.h"
#include "base/guarded_reader.h"
#include "base/hex.h"
#include "base/seh_frame.h"
#include "base/utf.h"
#include "base/win_handle.h"
#include "crash/core/debug_info/module_debug_info.h"
#include "crash/core/intercept/base_exception.h"
#include "crash/core/intercept/dispatch_win.h"
#include "crash/core/intercept/thread_registry_win.h"
#include "crash/core/pipeline/exception_report_win.h"
#include "crash/core/pipeline/handlers_win.h"
#include "crash/core/report/please_wait_win.h"
#include "crash/core/report/report_header_win.h"
#include "crash/core/report/report_plugins_win.h"
#include "crash/core/report/report_text.h"
#include "crash/core/report/thread_title.h"
#include "crash/core/report/trace_process_win.h"
#include "crash/core/stack/stack_tracer_win.h"
#include "crash/core/x86/process_code_memory.h"
#include "crash/core/x86/x86_listing.h"
#include "crash/settings/report_fields.h"

#include <tlhelp32.h>

#include <cstring>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

namespace crash {
namespace {

constexpr char16_t Placeholder[] = u">> will be calculated soon";

// One thread section: whose, and what is known to trace it.
struct TThreadEntry
{
    DWORD ThreadId = 0;
    std::u16string Title;
    int InnerLevel = 0; // 0: the thread itself; 1...: its inner exceptions
    bool Crashed = false;
    bool HasContext = false;
    CONTEXT Context{};
    uint32_t ExceptAddr = 0;
    std::vector<uint8_t> PreparedStack;
    uint32_t CreatorAddr = 0;
    std::u16string InnerHeading; // ">> class, message" of an inner level
    std::u16string CreatorTitle; // of the thread that created it, when known
    bool External = false;       // the exception is an operating-system one
    bool CppTermination = false;
};

// What one report's assembly keeps between the calls.
struct TAssembly
{
    // Guards the flags; the completion itself runs without it. Recursive: a header plug-in
    // may ask for the report while it is being built.
    std::recursive_mutex Lock;
    bool Built = false, Complete = false;
    DWORD CompletingThread = 0; // the thread that runs the completion, while it runs
    std::vector<TThreadEntry> Threads;
    base::KernelHandle Completed{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    base::KernelHandle CompletionThread; // when one was started
    TCompletionProgress Progress;
    // Set when nobody but the completion thread holds the report any more: nobody will read
    // what is left to make.
    std::atomic<bool> Abort{false};
};

std::shared_ptr<TAssembly> AssemblyOf(ExceptionReport& report)
{
    return std::static_pointer_cast<TAssembly>(
        report.AssemblyState([]() -> std::shared_ptr<void> { return std::make_shared<TAssembly>(); }));
}

// The top of a thread's stack, else the end of the memory region its stack pointer is in.
uint32_t StackTop(DWORD thread, uint32_t esp)
{
    if (const base::KernelHandle h{::OpenThread(THREAD_QUERY_INFORMATION, FALSE, thread)})
        if (const uint32_t top = StackTopOf(h.Get()))
            return top;
    MEMORY_BASIC_INFORMATION info;
    if (::VirtualQuery(reinterpret_cast<const void*>(static_cast<uintptr_t>(esp)), &info, sizeof info) !=
        sizeof info)
        return 0;
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(info.BaseAddress) + info.RegionSize);
}

std::u16string Ascii(const std::string& text)
{
    return base::Utf8ToUtf16(text);
}

TStackLine LineAt(uint32_t address)
{
    const TAddressInfo info = AddressInfo(address);
    TStackLine line;
    line.Addr = address;
    line.PublicAddr = info.PublicAddress;
    const size_t slash = info.ModuleName.find_last_of(L"\\/");
    const std::wstring module =
        slash == std::wstring::npos ? info.ModuleName : info.ModuleName.substr(slash + 1);
    line.ModuleName = std::u16string(module.begin(), module.end());
    line.UnitName = Ascii(info.Unit);
    line.Line = info.Line > 0 ? static_cast<uint32_t>(info.Line) : 0;
    line.FunctionName = Ascii(info.PublicName);
    if (info.PublicAddress && info.Line > 0) // the line the function starts at
        line.PublicLine = static_cast<uint32_t>(std::max(0, AddressInfo(info.PublicAddress).Line));
    return line;
}

TStackTextOptions TextOptions(IExceptionReport& report)
{
    TStackTextOptions options;
    options.ShowRelativeAddrs = report.GetShowRelativeAddrs();
    options.ShowRelativeLines = report.GetShowRelativeLines();
    return options;
}

// How long a section's title waits for the thread registry.
constexpr DWORD TitleRegistryWaitMs = 50;

// A thread's title; with `state`, whether it was suspended and its priority.
std::u16string TitleOf(DWORD thread, bool state = true)
{
    TThreadTitleInfo t;
    t.ThreadId = thread;
    if (const std::optional<TThreadInfo> info = LookupThreadInfo(thread, TitleRegistryWaitMs)) {
        t.Name = Ascii(info->Name);
        t.ClassName = Ascii(info->ClassName);
    }
    if (!state) {
        std::u16string title = ThreadTitle(t);
        title.pop_back(); // the ":"
        return title;
    }
    if (const base::KernelHandle h{
            ::OpenThread(THREAD_QUERY_INFORMATION | THREAD_SUSPEND_RESUME, FALSE, thread)}) {
        const int priority = ::GetThreadPriority(h.Get());
        t.Priority = priority == THREAD_PRIORITY_ERROR_RETURN ? 0 : priority;
        // Suspended already when it was suspended before this probe.
        if (thread != ::GetCurrentThreadId()) {
            const DWORD before = ::SuspendThread(h.Get());
            if (before != static_cast<DWORD>(-1)) {
                ::ResumeThread(h.Get());
                t.Suspended = before > 0;
            }
        }
    }
    return ThreadTitle(t);
}

// A trace whose last line is where its thread was created: ">> created by", the creator's
// title and " at:" before that line.
std::u16string WithCreator(const std::u16string& trace, const std::u16string& creator)
{
    if (creator.empty())
        return trace;
    std::u16string text = trace;
    while (!text.empty() && (text.back() == u'\n' || text.back() == u'\r'))
        text.pop_back();
    const size_t last = text.find_last_of(u'\n');
    const size_t at = last == std::u16string::npos ? 0 : last + 1;
    return text.substr(0, at) + u">> created by " + creator + u" at:\r\n" + text.substr(at);
}

// The context of a thread, read while it stands still (where it may not be suspended, as it
// is); the calling thread's is where it calls.
bool ThreadContext(DWORD thread, CONTEXT& context)
{
    context.ContextFlags = CONTEXT_FULL;
    if (thread == ::GetCurrentThreadId()) {
        ::RtlCaptureContext(&context);
        return true;
    }
    base::KernelHandle h(
        ::OpenThread(THREAD_SUSPEND_RESUME | THREAD_GET_CONTEXT | THREAD_QUERY_INFORMATION, FALSE, thread));
    if (!h) {
        h.Reset(::OpenThread(THREAD_GET_CONTEXT, FALSE, thread));
        return h && ::GetThreadContext(h.Get(), &context);
    }
    const bool suspended = ::SuspendThread(h.Get()) != static_cast<DWORD>(-1);
    const bool read = ::GetThreadContext(h.Get(), &context);
    if (suspended)
        ::ResumeThread(h.Get());
    return read;
}

// Where the thread was created and by whom, as the thread registry knows.
void SetCreator(TThreadEntry& e)
{
    if (const std::optional<TThreadInfo> info = LookupThreadInfo(e.ThreadId, TitleRegistryWaitMs);
        info && info->CreatorAddress) {
        e.CreatorAddr = info->CreatorAddress;
        if (info->CreatorThreadId)
            e.CreatorTitle = TitleOf(info->CreatorThreadId, false);
    }
}

std::vector<TThreadEntry> ThreadsOf(IExceptionReport& report)
{
    std::vector<TThreadEntry> threads;
    const DWORD crashed = report.GetCrashedThreadId(),
                main = MainThreadId() ? MainThreadId() : FirstThreadOfProcess();
    const bool frozen = report.GetExceptType() == etFrozen;
    if (!frozen) {
        TThreadEntry e;
        e.ThreadId = crashed;
        e.Title = TitleOf(crashed);
        e.Crashed = true;
        SetCreator(e);
        if (const std::exception_ptr* object = report.GetExceptObject()) {
            e.External = CaughtAs<EExternal>(*object) != nullptr;
            e.CppTermination = CaughtAs<BcbTermination>(*object) != nullptr;
        }
        e.ExceptAddr = report.GetExceptAddr();
        e.PreparedStack = report.GetPreparedStack();
        if (const CONTEXT* c = report.GetContext()) {
            e.Context = *c;
        } else {
            e.Context.Esp = report.GetCurrentEsp();
            e.Context.Ebp = report.GetCurrentEbp();
            e.Context.Eip = report.GetExceptAddr();
        }
        e.HasContext = true;
        threads.push_back(e);
        // An inner level's title: the thread's, the level, then how the thread was found.
        const std::u16string name = TitleOf(crashed, false);
        const std::u16string state = e.Title.starts_with(name + u":") ? e.Title.substr(name.size() + 1) : u"";
        int level = 0;
        for (const TInnerException& inner : report.GetInner()) {
            TThreadEntry i = e;
            i.InnerLevel = ++level;
            i.Title = name + u", inner exception level " + Ascii(std::to_string(level)) + u":" + state;
            std::memcpy(&i.Context, inner.Context, sizeof inner.Context);
            i.ExceptAddr = inner.ExceptAddr;
            i.External = inner.ExtException;
            i.CppTermination = inner.BcbTermination;
            i.PreparedStack.clear();
            i.InnerHeading = u">> " + Ascii(inner.ExceptClass) + u", " + Ascii(inner.ExceptMessage);
            threads.push_back(i);
        }
    }
    const auto add = [&](DWORD thread) {
        TThreadEntry e;
        e.ThreadId = thread;
        e.Title = TitleOf(thread);
        e.HasContext = ThreadContext(thread, e.Context);
        SetCreator(e);
        threads.push_back(e);
    };
    if (main && (frozen || main != crashed))
        add(main);
    if (!report.GetListThreads())
        return threads;
    const base::FileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = snapshot && ::Thread32First(snapshot.Get(), &entry); more;
         more = ::Thread32Next(snapshot.Get(), &entry)) {
        const DWORD t = entry.th32ThreadID;
        if (entry.th32OwnerProcessID != ::GetCurrentProcessId() || t == main || (t == crashed && !frozen) ||
            (t == HandlingThreadId() && !TracingProcess()))
            continue;
        if (const std::optional<TThreadInfo> info = LookupThreadInfo(t, TitleRegistryWaitMs);
            info && HiddenThreadName(Ascii(info->Name)))
            continue;
        add(t);
    }
    return threads;
}

void Build(ExceptionReport& report, TAssembly& a)
{
    const TReportHeader header = BuildReportHeader(report);
    const base::ComPtr<IReportFields> h = report.HeaderFields();
    h->Lock();
    for (const auto& [name, content] : header.Items)
        h->SetContent(name, content);
    h->Unlock();
    if (const auto ex = base::Query<IReportFieldsEx>(h.Get()))
        ex->SetAddIndex(header.AddIndex);

    const base::ComPtr<IReportFields> s = report.SectionFields();
    base::Guarded([&] { a.Threads = ThreadsOf(report); });
    const TStackTextOptions options = TextOptions(report);
    for (const TThreadEntry& t : a.Threads) {
        std::u16string location;
        if (t.Crashed && t.ExceptAddr)
            base::Guarded([&] { location = LocationLine(LineAt(t.ExceptAddr), options); });
        s->SetContent(t.Title, location + u"\r\n>> stack will be calculated soon");
    }
    for (const TReportPlugin& plugin : ListedPlugins(report, true))
        s->SetContent(plugin.Name, Placeholder);
    const bool context = report.GetContext() != nullptr;
    if (context && report.GetShowCpuRegisters())
        s->SetContent(u"cpu registers", Placeholder);
    if (context && report.GetShowStackDump())
        s->SetContent(u"stack dump", Placeholder);
    if (report.GetShowDisAsm())
        s->SetContent(u"disassembling", Placeholder);
}

std::u16string StackDump(const CONTEXT& c)
{
    MEMORY_BASIC_INFORMATION info;
    uint32_t end = c.Esp + 20 * 16;
    if (::VirtualQuery(reinterpret_cast<const void*>(static_cast<uintptr_t>(c.Esp)), &info, sizeof info) ==
        sizeof info)
        end = std::min<uint32_t>(
            end, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(info.BaseAddress) + info.RegionSize));
    std::vector<uint8_t> bytes(end > c.Esp ? end - c.Esp : 0);
    size_t read = 0;
    while (read < bytes.size() &&
           base::GuardedRead(reinterpret_cast<const void*>(static_cast<uintptr_t>(c.Esp + read)),
                             &bytes[read], 1))
        ++read;
    bytes.resize(read);
    return StackDumpText(c.Esp, bytes);
}

std::u16string Disassembly(IExceptionReport& report, uint32_t entry, uint32_t at)
{
    if (!entry)
        return {};
    TProcessCodeMemory memory;
    const TFunctionInfo info = AnalyseFunction(memory, entry);
    TListingOptions options;
    options.ExceptionAddress = at;
    options.AutoDelimiters = report.GetFormatDisassembly();
    options.Limit = report.GetLimitDisassembly();
    options.NameOf = [](uint32_t address) { return FunctionName(address); };
    options.LineOf = [](uint32_t address) { return AddressInfo(address).Line; };
    return Ascii(DisassemblyListing(memory, info, options));
}

// Fills in every placeholder, in the order a reader needs them: the failing thread, the
// registers, the stack dump and (without inner exceptions) the disassembly, the plug-ins'
// sections, then every further thread. `tick` runs at every step of progress (the please-wait
// window of a thread that completes the report itself); `releasable`: on the completion
// thread, which stops as soon as it holds the report's last reference.
void Complete(ExceptionReport& report, TAssembly& a, const std::function<void()>& tick, bool releasable)
{
    const auto stopped = [&] {
        if (releasable && report.References() <= 1)
            a.Abort = true;
        return a.Abort.load();
    };
    const auto progress = [&](int area, int permille) {
        a.Progress.Area = area;
        a.Progress.Permille = permille;
        tick();
    };
    const base::ComPtr<IReportFields> s = report.SectionFields();
    // Without ListThreads only the failing thread (a freeze's main thread) and its inner
    // exceptions stay.
    if (!report.GetListThreads())
        std::erase_if(a.Threads, [&](const TThreadEntry& t) {
            if (t.Crashed || &t == &a.Threads.front())
                return false;
            s->Delete(t.Title);
            return true;
        });
    const int inner = static_cast<int>(report.GetInner().size());
    const TThreadEntry* oldest = nullptr; // the oldest inner exception's entry, else the thread's
    for (const TThreadEntry& t : a.Threads)
        if (t.Crashed && t.InnerLevel == inner)
            oldest = &t;
    const TStackTextOptions options = TextOptions(report);
    uint32_t crc[3] = {0, 0, 0};
    uint32_t funcEntry = 0, funcAddr = 0;
    std::vector<std::u16string> minimal;
    const int threads = static_cast<int>(a.Threads.size());
    a.Progress.Areas = threads + 1;
    std::vector<DWORD> ids;
    for (const TThreadEntry& t : a.Threads)
        ids.push_back(t.ThreadId);
    report.SetThreadStacks(std::move(ids));
    const auto section = [&](const std::u16string& title, const std::u16string& content) {
        s->SetContent(title, content);
        report.Changed();
    };
    const auto traceThread = [&](int k, int area) {
        progress(area, 0);
        const TThreadEntry& t = a.Threads[k];
        std::u16string content = u">> stack not accessible";
        bool failed = true;
        base::Guarded([&] {
            if (!t.HasContext)
                return;
            TTraceRequest request;
            request.HideUglyItems = report.GetHideUglyItems();
            request.Text = options;
            request.IsException = t.Crashed;
            request.ExternalException = t.External;
            request.CppTermination = t.CppTermination;
            request.TopAddr = t.ExceptAddr ? t.ExceptAddr : t.Context.Eip;
            request.CreatorAddr = t.CreatorAddr;
            if (!t.PreparedStack.empty())
                request.PreparedStack = t.PreparedStack;
            request.Abort = &a.Abort;
            request.Progress = [&](int permille) {
                if (!stopped())
                    progress(area, permille);
            };
            // The thread that completes the report is traced from where it is now: the stack
            // below a context taken earlier has been written over since.
            CONTEXT context = t.Context;
            if (!t.Crashed && t.ThreadId == ::GetCurrentThreadId())
                ::RtlCaptureContext(&context);
            const TTraceResult trace =
                TraceContext(context, StackTop(t.ThreadId, context.Esp), std::move(request));
            failed = false;
            report.SetCallstack(k, trace.Trace);
            if (trace.Text.empty())
                return;
            content = trace.EndsWithCreator ? WithCreator(trace.Text, t.CreatorTitle) : trace.Text;
            if (k == 0) {
                crc[0] = trace.Checksums.First;
                crc[1] = crc[2] = trace.Checksums.All;
            } else if (trace.HasLineNumbers) {
                crc[2] = base::Crc32(&trace.Checksums.All, 4, crc[2]);
            }
            if (&t == oldest) { // the function that failed (or raised the oldest inner exception)
                funcEntry = trace.ExceptFuncEntry;
                funcAddr = trace.ExceptFuncAddr;
            }
            for (const std::u16string& m : trace.MinDebugInfo)
                minimal.push_back(m);
        });
        if (failed && t.HasContext)
            content = InternalErrorText(u"GetThreadStack");
        else if (content == u">> stack not accessible" && t.Crashed && !t.InnerLevel && t.ExceptAddr)
            content += u", exception location: \r\n" + LocationLine(LineAt(t.ExceptAddr), options);
        if (!t.InnerHeading.empty())
            content = t.InnerHeading + u"\r\n" + content;
        section(t.Title, content);
    };
    const auto disassembly = [&] {
        if (s->FindItem(u"disassembling") < 0)
            return;
        std::u16string listing = InternalErrorText(u"GetCleartextDisAsm");
        base::Guarded([&] { listing = Disassembly(report, funcEntry, funcAddr); });
        section(u"disassembling", listing); // empty: the section goes
    };

    if (threads > 0 && !stopped())
        traceThread(0, 0);
    if (stopped())
        return;
    progress(threads > 0 ? 1 : 0, 0);
    if (const CONTEXT* c = report.GetContext()) {
        const CONTEXT& context = oldest && oldest->InnerLevel ? oldest->Context : *c;
        if (s->FindItem(u"cpu registers") >= 0)
            section(u"cpu registers",
                    CpuRegistersText({context.Eax, context.Ebx, context.Ecx, context.Edx, context.Esi,
                                      context.Edi, context.Eip, context.Esp, context.Ebp}));
        if (s->FindItem(u"stack dump") >= 0) {
            std::u16string dump = InternalErrorText(u"GetStackDump");
            base::Guarded([&] { dump = StackDump(context); });
            section(u"stack dump", dump);
        }
    }
    if (!inner)
        disassembly();
    for (const TReportPlugin& plugin : ListedPlugins(report, true))
        if (s->FindItem(plugin.Name) >= 0) {
            if (stopped())
                return;
            section(plugin.Name, PluginText(plugin, &report));
            progress(1, 500);
        }
    for (int k = 1; k < threads; ++k) {
        if (stopped())
            return;
        traceThread(k, k + 1);
    }
    if (inner)
        disassembly();
    report.SetCallstackCrc(crc);
    const base::ComPtr<IReportFields> h = report.HeaderFields();
    h->Lock();
    h->SetContent(u"callstack crc", CallstackCrcText(crc[0], crc[1], crc[2]));
    for (const std::u16string& m : minimal)
        if (const size_t bar = m.find(u'|'); bar != std::u16string::npos)
            h->SetContent(m.substr(0, bar) + u".vex", m.substr(bar + 1));
    h->Unlock();
}

TReportItems Items(IReportFields& fields)
{
    TReportItems items;
    fields.Lock();
    for (int k = 0; k < fields.GetItemCount(); ++k) {
        std::u16string name = fields.GetItem(k);
        items.emplace_back(name, fields.GetContent(name));
    }
    fields.Unlock();
    return items;
}

} // namespace

namespace {

// Completes the report once: the caller that takes it on (or the completion thread) runs it,
// the others wait for it with the please-wait window (not while the process is blocked: the
// completion may need what blocks it). A thread that asks again while it completes the report
// itself (from a message its window processes meanwhile) gets what is there so far. The one
// that completed it then tells the callbacks and, while the report is in its post-processing
// phase, fires the handlers of the complete report, unless nobody holds the report any more.
void CompleteOnce(ExceptionReport& report, TAssembly& a, bool onCompletionThread)
{
    const DWORD self = ::GetCurrentThreadId();
    bool mine = false;
    HANDLE completer = nullptr;
    {
        const std::lock_guard lock(a.Lock);
        if (a.Complete || (a.CompletingThread == self && !onCompletionThread))
            return;
        if (!a.CompletingThread)
            a.CompletingThread = self;
        mine = a.CompletingThread == self;
        completer = a.CompletionThread.Get();
    }
    if (!mine) {
        // The completion thread may need the loader lock: no wait while the process is
        // blocked.
        if (LoaderLockBusy(BlockedWaitMs))
            return;
        TPleaseWait wait(report, a.Progress, completer);
        while (::WaitForSingleObject(a.Completed.Get(), 50) == WAIT_TIMEOUT)
            wait.Tick();
        return;
    }
    {
        std::optional<TPleaseWait> wait;
        if (!onCompletionThread)
            wait.emplace(report, a.Progress, nullptr);
        base::Guarded([&] {
            Complete(
                report, a,
                [&] {
                    if (wait)
                        wait->Tick();
                },
                onCompletionThread);
        });
    }
    {
        const std::lock_guard lock(a.Lock);
        a.Complete = !a.Abort;
        a.CompletingThread = 0;
    }
    ::SetEvent(a.Completed.Get());
    if (a.Abort)
        return;
    report.GetBugReport(true);
    if (report.AdvancePhase(epPostProcessing, epCompleteReport)) {
        bool handled = false;
        base::Guarded([&] {
            FireHandlerEvent(nullptr, heException, eaSendBugReport, handled, report, epCompleteReport);
        });
    }
}

struct TCompletion
{
    base::ComPtr<ExceptionReport> Report; // kept alive while the completion runs
    std::shared_ptr<TAssembly> Assembly;
};

DWORD WINAPI CompletionThread(void* p)
{
    const std::unique_ptr<TCompletion> c(static_cast<TCompletion*>(p));
    RegisterThreadInfo(::GetCurrentThreadId(), nullptr, "-", 0, 0, nullptr);
    c->Report->SetCompleteThreadId(::GetCurrentThreadId());
    CompleteOnce(*c->Report, *c->Assembly, true);
    UnregisterThread(::GetCurrentThreadId());
    return 0;
}

// Starts the completion thread; false when it cannot be had. Called with the lock held, so
// that the thread is known before a waiter looks.
bool StartCompletionThread(ExceptionReport& report, const std::shared_ptr<TAssembly>& a)
{
    auto* c = new TCompletion{base::ComPtr<ExceptionReport>::Share(&report), a};
    DWORD id = 0;
    a->CompletionThread.Reset(::CreateThread(nullptr, 0, &CompletionThread, c, CREATE_SUSPENDED, &id));
    const HANDLE thread = a->CompletionThread.Get();
    if (!thread) {
        delete c;
        return false;
    }
    a->CompletingThread = id; // nobody else takes the completion on from now
    ::SetThreadPriority(thread, THREAD_PRIORITY_ABOVE_NORMAL);
    ::ResumeThread(thread);
    return true;
}

} // namespace

std::u16string AssembledReportText(IExceptionReport& exc, bool mustBeComplete, bool& complete)
{
    complete = true; // a report that is not made has nothing to wait for
    auto* report = dynamic_cast<ExceptionReport*>(&exc);
    if (!report || !report->GetCreateBugReport())
        return {};
    const std::shared_ptr<TAssembly> a = AssemblyOf(*report);
    {
        const std::lock_guard lock(a->Lock);
        if (!a->Built) {
            a->Built = true;
            base::Guarded([&] { Build(*report, *a); });
            // The completion starts with the first request, unless it is to wait until asked
            // for: on a thread of its own for the pipeline (and once a callback listens), so
            // that the dialog shows at once while the slow parts replace their placeholders;
            // otherwise (or when no thread can be had) at once on this thread.
            if (!report->GetDontCompleteYet() && !mustBeComplete)
                mustBeComplete =
                    !((::GetCurrentThreadId() == HandlingThreadId() || report->GetMultiThreadedComplete()) &&
                      !LoaderLockBusy(BlockedWaitMs) && StartCompletionThread(*report, a));
        }
    }
    if (mustBeComplete)
        CompleteOnce(*report, *a, false);
    {
        const std::lock_guard lock(a->Lock);
        complete = a->Complete;
    }
    const base::ComPtr<IReportFields> header = report->HeaderFields(), sections = report->SectionFields();
    return ReportText(Items(*header), Items(*sections));
}

} // namespace crash
