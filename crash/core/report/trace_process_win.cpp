#include "crash/core/report/trace_process_win.h"

#include "base/clipboard_win.h"
#include "base/seh_frame.h"
#include "base/utf.h"
#include "base/win_handle.h"
#include "crash/core/intercept/thread_registry_win.h"
#include "crash/core/pipeline/exception_report_win.h"
#include "crash/core/report/report_assembly_win.h"
#include "crash/settings/module_settings.h"

#include <algorithm>
#include <cstring>

namespace crash {
namespace {

volatile LONG Tracing = 0;

void ToSharedMemory(const std::string& text, size_t size)
{
    base::KernelHandle mapping(::OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, L"Global\\vexTraceProcessMap"));
    if (!mapping)
        mapping.Reset(::OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, L"vexTraceProcessMap"));
    const base::MappedView view(mapping ? ::MapViewOfFile(mapping.Get(), FILE_MAP_WRITE, 0, 0, size)
                                        : nullptr);
    if (!view)
        return;
    const size_t length = std::min(text.size(), size - 1);
    std::memcpy(view.Get(), text.data(), length);
    static_cast<char*>(view.Get())[length] = 0;
}

} // namespace

bool TracingProcess()
{
    return Tracing != 0;
}

} // namespace crash

// Exported under its plain name, which an outside tool looks up, and under no other: the
// program's only export.
asm(".section .drectve\n.ascii \" -export:vexTraceProcess=vexTraceProcess@4\"\n.text");

int WINAPI vexTraceProcess(int bufferSize)
{
    using namespace crash;
    const DWORD me = ::GetCurrentThreadId();
    RegisterThreadInfo(me, nullptr, "Vexcatch - TraceProcessThread", 0, 0, nullptr);
    ::InterlockedExchange(&Tracing, 1);
    std::u16string text;
    base::Guarded([&] {
        TReportRequest request;
        request.Type = etFrozen;
        request.Source = esManual;
        request.Settings = ModuleSettingsFor(nullptr);
        const base::ComPtr<ExceptionReport> report = CreateExceptionReport(std::move(request));
        report->SetShowPleaseWaitBox(false);
        report->SetListThreads(true);
        text = AssembledReportText(*report, true);
    });
    ::InterlockedExchange(&Tracing, 0);
    if (bufferSize < 1)
        base::CopyTextToClipboard(text);
    else
        ToSharedMemory(base::Utf16ToUtf8(text), static_cast<size_t>(bufferSize));
    UnregisterThread(me);
    return 0;
}
