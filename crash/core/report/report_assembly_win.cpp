#include "crash/core/report/report_assembly_win.h"

#include "base/com_object.h"
#include "base/crc32.h"
#include "base/guarded_reader.h"
#include "base/hex.h"
#include "base/seh_frame.h"
#include "base/utf.h"
#include "base/win_handle.h"
#include "crash/core/debug_info/module_debug_info.h"
#include "crash/core/intercept/dispatch_win.h"
#include "crash/core/intercept/thread_registry_win.h"
#include "crash/core/pipeline/exception_report_win.h"
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
};

// What one report's assembly keeps between the calls.
struct TAssembly
{
    std::mutex Lock; // guards the flags; the completion itself runs without it
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
    return line;
}

TStackTextOptions TextOptions(IExceptionReport& report)
{
    TStackTextOptions options;
    options.ShowRelativeAddrs = report.GetShowRelativeAddrs();
    options.ShowRelativeLines = report.GetShowRelativeLines();
    return options;
}

std::u16string TitleOf(DWORD thread)
{
    TThreadTitleInfo t;
    t.ThreadId = thread;
    if (const std::optional<TThreadInfo> info = LookupThreadInfo(thread)) {
        t.Name = Ascii(info->Name);
        t.ClassName = Ascii(info->ClassName);
    }
    if (const base::KernelHandle h{::OpenThread(THREAD_QUERY_INFORMATION, FALSE, thread)})
        t.Priority =
            ::GetThreadPriority(h.Get()) == THREAD_PRIORITY_ERROR_RETURN ? 0 : ::GetThreadPriority(h.Get());
    return ThreadTitle(t);
}

// The context of a thread other than the calling one, read while it stands still.
bool ThreadContext(DWORD thread, CONTEXT& context)
{
    const base::KernelHandle h(
        ::OpenThread(THREAD_SUSPEND_RESUME | THREAD_GET_CONTEXT | THREAD_QUERY_INFORMATION, FALSE, thread));
    if (!h || ::SuspendThread(h.Get()) == static_cast<DWORD>(-1))
        return false;
    context.ContextFlags = CONTEXT_FULL;
    const bool read = ::GetThreadContext(h.Get(), &context);
    ::ResumeThread(h.Get());
    return read;
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
        int level = 0;
        for (const TInnerException& inner : report.GetInner()) {
            TThreadEntry i = e;
            i.InnerLevel = ++level;
            i.Title = e.Title;
            if (!i.Title.empty() && i.Title.back() == u':')
                i.Title.pop_back();
            i.Title += u", inner exception level " + Ascii(std::to_string(level)) + u":";
            std::memcpy(&i.Context, inner.Context, sizeof inner.Context);
            i.ExceptAddr = inner.ExceptAddr;
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
        if (const std::optional<TThreadInfo> info = LookupThreadInfo(thread))
            e.CreatorAddr = info->CreatorAddress;
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
            (t == HandlingThreadId() && !TracingProcess()) || t == ::GetCurrentThreadId())
            continue;
        if (const std::optional<TThreadInfo> info = LookupThreadInfo(t);
            info && HiddenThreadName(Ascii(info->Name)))
            continue;
        add(t);
    }
    return threads;
}

void Build(ExceptionReport& report, TAssembly& a)
{
    const TReportHeader header = BuildReportHeader(report);
    const base::ComPtr<IReportFields> h = report.GetBugReportHeader();
    h->Lock();
    for (const auto& [name, content] : header.Items)
        h->SetContent(name, content);
    h->Unlock();
    if (const auto ex = base::Query<IReportFieldsEx>(h.Get()))
        ex->SetAddIndex(header.AddIndex);

    const base::ComPtr<IReportFields> s = report.GetBugReportSections();
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

// Fills in every placeholder. `tick` runs at every step of progress (the please-wait window
// of a thread that completes the report itself); `releasable`: on the completion thread, which
// stops as soon as it holds the report's last reference.
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
    const base::ComPtr<IReportFields> s = report.GetBugReportSections();
    // Without ListThreads only the failing thread and its inner exceptions stay.
    if (!report.GetListThreads())
        std::erase_if(a.Threads, [&](const TThreadEntry& t) {
            if (t.Crashed)
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
    for (int k = 0; k < threads; ++k) {
        if (stopped())
            return;
        progress(k, 0);
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
            request.TopAddr = t.ExceptAddr ? t.ExceptAddr : t.Context.Eip;
            request.CreatorAddr = t.CreatorAddr;
            if (!t.PreparedStack.empty())
                request.PreparedStack = t.PreparedStack;
            request.Abort = &a.Abort;
            request.Progress = [&](int permille) {
                if (!stopped())
                    progress(k, permille);
            };
            const TTraceResult trace =
                TraceContext(t.Context, StackTop(t.ThreadId, t.Context.Esp), std::move(request));
            failed = false;
            if (trace.Text.empty())
                return;
            content = trace.Text;
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
        if (!t.InnerHeading.empty())
            content = t.InnerHeading + u"\r\n" + content;
        s->SetContent(t.Title, content);
        report.Changed();
    }
    if (stopped())
        return;
    progress(threads, 0);
    if (const CONTEXT* c = report.GetContext()) {
        const CONTEXT& context = oldest && oldest->InnerLevel ? oldest->Context : *c;
        if (s->FindItem(u"cpu registers") >= 0)
            s->SetContent(u"cpu registers",
                          CpuRegistersText({context.Eax, context.Ebx, context.Ecx, context.Edx, context.Esi,
                                            context.Edi, context.Eip, context.Esp, context.Ebp}));
        if (s->FindItem(u"stack dump") >= 0) {
            std::u16string dump = InternalErrorText(u"GetStackDump");
            base::Guarded([&] { dump = StackDump(context); });
            s->SetContent(u"stack dump", dump);
        }
    }
    if (s->FindItem(u"disassembling") >= 0) {
        std::u16string listing = InternalErrorText(u"GetCleartextDisAsm");
        base::Guarded([&] { listing = Disassembly(report, funcEntry, funcAddr); });
        s->SetContent(u"disassembling", listing); // empty: the section goes
    }
    for (const TReportPlugin& plugin : ListedPlugins(report, true))
        if (s->FindItem(plugin.Name) >= 0) {
            if (stopped())
                return;
            s->SetContent(plugin.Name, PluginText(plugin, &report));
            progress(threads, 500);
        }
    const base::ComPtr<IReportFields> h = report.GetBugReportHeader();
    h->Lock();
    h->SetContent(u"callstack crc", CallstackCrcText(crc[0], crc[1], crc[2]));
    for (const std::u16string& m : minimal)
        if (const size_t bar = m.find(u'|'); bar != std::u16string::npos)
            h->SetContent(m.substr(0, bar) + u".vex", m.substr(bar + 1));
    h->Unlock();
    a.Complete = true;
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
// the others wait for it with the please-wait window. A thread that asks again while it
// completes the report itself (from a message its window processes meanwhile) gets what is
// there so far.
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
        a.Complete = true;
        a.CompletingThread = 0;
    }
    ::SetEvent(a.Completed.Get());
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
    // Unless nobody holds the report any more: its callbacks hear of the completion, and the
    // handlers of the complete report run while it is still in its post-processing phase.
    if (!c->Assembly->Abort) {
        c->Report->GetBugReport(true);
        if (c->Report->GetPhase() == epPostProcessing) {
            bool handled = false;
            c->Report->FireHandlers(epCompleteReport, handled);
        }
    }
    UnregisterThread(::GetCurrentThreadId());
    return 0;
}

} // namespace

std::u16string AssembledReportText(IExceptionReport& exc, bool mustBeComplete)
{
    auto* report = dynamic_cast<ExceptionReport*>(&exc);
    if (!report || !report->GetCreateBugReport())
        return {};
    const std::shared_ptr<TAssembly> a = AssemblyOf(*report);
    bool startCompletion = false;
    {
        const std::lock_guard lock(a->Lock);
        if (!a->Built) {
            a->Built = true;
            base::Guarded([&] { Build(*report, *a); });
            // The pipeline's first request starts the completion on a thread of its own, so that
            // the dialog shows at once; the slow parts replace their placeholders meanwhile.
            startCompletion =
                !mustBeComplete && ::GetCurrentThreadId() == HandlingThreadId() && !LoaderLockBusy(0);
        }
    }
    if (startCompletion) {
        auto* c = new TCompletion{base::ComPtr<ExceptionReport>::Share(report), a};
        const std::lock_guard lock(a->Lock); // the thread is known before a waiter looks
        DWORD id = 0;
        a->CompletionThread.Reset(::CreateThread(nullptr, 0, &CompletionThread, c, CREATE_SUSPENDED, &id));
        if (const HANDLE thread = a->CompletionThread.Get()) {
            a->CompletingThread = id; // nobody else takes the completion on from now
            ::SetThreadPriority(thread, THREAD_PRIORITY_ABOVE_NORMAL);
            ::ResumeThread(thread);
        } else {
            delete c;
        }
    }
    if (mustBeComplete)
        CompleteOnce(*report, *a, false);
    const base::ComPtr<IReportFields> header = report->GetBugReportHeader(),
                                      sections = report->GetBugReportSections();
    return ReportText(Items(*header), Items(*sections));
}

} // namespace crash
