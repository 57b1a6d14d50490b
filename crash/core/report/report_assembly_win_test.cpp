// A report assembled in this process: placeholders first, then the completed sections, the
// checksums in the header, the threads as ListThreads says, nothing without CreateBugReport.

#include "crash/core/report/report_assembly_win.h"
#include "crash/core/report/report_plugins_win.h"

#include "base/hex.h"
#include "base/win_handle.h"
#include "crash/core/intercept/raise_state_win.h"
#include "crash/core/pipeline/exception_report_win.h"
#include "crash/core/pipeline/pipeline_services.h"

#include <gtest/gtest.h>

#include <cstring>
#include <regex>
#include <stdexcept>
#include <string>

namespace crash {
namespace {

std::string Narrow(const std::u16string& text)
{
    std::string out;
    for (char16_t c : text)
        out.push_back(c < 128 ? static_cast<char>(c) : '?');
    return out;
}

[[gnu::noinline]] void Fail()
{
    throw std::runtime_error("assembled");
}

// A report of an exception thrown and caught here, with what its throw captured.
base::ComPtr<ExceptionReport> CaughtReport(bool listThreads, bool createReport = true,
                                           bool dontCompleteYet = false)
{
    SetRaiseCapture(true);
    std::exception_ptr caught;
    try {
        Fail();
    } catch (...) {
        caught = std::current_exception();
    }
    SetRaiseCapture(false);
    const TRaiseStackInfo* raised = PreparedRaiseStackInfoOf(caught);
    EXPECT_TRUE(raised && raised->Captured);
    CONTEXT context{};
    if (raised)
        std::memcpy(&context, raised->Context, sizeof raised->Context);
    TReportRequest request;
    request.Exception = &caught;
    request.Address = raised ? raised->Address : 0;
    request.Context = &context;
    if (raised && raised->PreparedStack)
        request.PreparedStack.assign(reinterpret_cast<const uint8_t*>(raised->PreparedStack),
                                     reinterpret_cast<const uint8_t*>(raised->PreparedStack) +
                                         raised->PreparedStackLength);
    request.Source = esManual;
    request.DontCompleteYet = dontCompleteYet;
    base::ComPtr<ExceptionReport> report = CreateExceptionReport(std::move(request));
    report->SetListThreads(listThreads);
    report->SetCreateBugReport(createReport);
    return report;
}

// The report object's text is made by the assembly, as in the reporter.
void UseTheAssembly()
{
    TPipelineServices services = PipelineServices();
    services.ReportText = &AssembledReportText;
    SetPipelineServices(services);
}

// A report that is to wait until asked for shows its placeholders first; one built off the
// pipeline's thread is complete at once.
TEST(ReportAssembly, PlaceholdersThenTheCompleteReport)
{
    bool done = false;
    EXPECT_EQ(Narrow(AssembledReportText(*CaughtReport(false), false, done)).find("will be calculated soon"),
              std::string::npos);
    EXPECT_TRUE(done);

    const base::ComPtr<ExceptionReport> report = CaughtReport(true, true, true);
    const std::string first = Narrow(AssembledReportText(*report, false, done));
    EXPECT_FALSE(done);
    EXPECT_NE(first.find("callstack crc     : will be calculated soon"), std::string::npos) << first;
    EXPECT_NE(first.find(">> stack will be calculated soon"), std::string::npos);
    EXPECT_NE(first.find("\r\n\r\nmodules:\r\n>> will be calculated soon"), std::string::npos);

    const std::string complete = Narrow(AssembledReportText(*report, true));
    EXPECT_EQ(complete.find("will be calculated soon"), std::string::npos) << complete;
    EXPECT_TRUE(std::regex_search(complete, std::regex("callstack crc +: \\$[0-9a-f]{8}, \\$[0-9a-f]{8}, "
                                                       "\\$[0-9a-f]{8}\r\n")))
        << complete;
    EXPECT_NE(complete.find("\r\n\r\ncpu registers:\r\neax = "), std::string::npos);
    const std::string esp = base::AddressText(report->GetContext()->Esp);
    EXPECT_NE(complete.find("\r\n\r\nstack dump:\r\n" + esp + "  "), std::string::npos);
    EXPECT_NE(complete.find("crash_report_win_test.exe"), std::string::npos); // the modules list, the stack
    // The traces and their checksums are kept with the report, in section order.
    EXPECT_EQ(report->GetThreadId(0), ::GetCurrentThreadId());
    EXPECT_FALSE(report->GetCallstack(0).empty());
    EXPECT_TRUE(report->GetCallstack(99).empty());
    EXPECT_NE(complete.find("callstack crc     : " +
                            base::AddressText(report->GetCallstackCrc(0)).insert(0, "$") + ", "),
              std::string::npos);
    // The same text when asked again.
    EXPECT_EQ(Narrow(AssembledReportText(*report, true)), complete);
}

TEST(ReportAssembly, OtherThreadsOnlyWithListThreads)
{
    const base::KernelHandle stop(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    DWORD id = 0;
    // Suspended before it ran (a thread suspended anywhere else may hold a lock the report
    // needs).
    const base::KernelHandle worker(::CreateThread(
        nullptr, 0, [](void* e) WINAPI -> DWORD { return ::WaitForSingleObject(e, INFINITE); }, stop.Get(),
        CREATE_SUSPENDED, &id));
    const std::string title = "thread " + base::HexText(id) + ":";
    const std::string listed = Narrow(AssembledReportText(*CaughtReport(true), true));
    ::ResumeThread(worker.Get());
    EXPECT_NE(listed.find("\r\n\r\n" + title + " <suspended>\r\n"), std::string::npos) << listed;
    const std::string alone = Narrow(AssembledReportText(*CaughtReport(false), true));
    EXPECT_EQ(alone.find(title), std::string::npos);
    ::SetEvent(stop.Get());
    ::WaitForSingleObject(worker.Get(), INFINITE);

    EXPECT_EQ(AssembledReportText(*CaughtReport(true, false), true), u"");
}

// A field that a handler adds before anything else asked for the report goes in with the
// fields added later: the header is built first, on that first use.
TEST(ReportAssembly, AFieldAddedFirstGoesBeforeTheChecksum)
{
    UseTheAssembly();
    const base::ComPtr<ExceptionReport> report = CaughtReport(false);
    report->GetBugReportHeader()->SetContent(u"ticket", u"4711");
    const std::string text = Narrow(report->GetBugReport(true));
    const size_t field = text.find("\r\nticket            : 4711\r\n");
    EXPECT_LT(text.find("date/time"), field) << text;
    EXPECT_LT(field, text.find("\r\ncallstack crc")) << text;
}

// Changes made between BeginUpdate and EndUpdate (nested) tell the callbacks once, at the
// end; an update without changes tells nothing. A new callback hears of the report at once.
int Heard = 0;

TEST(ReportAssembly, AnUpdateTellsTheCallbacksOnce)
{
    UseTheAssembly();
    const base::ComPtr<ExceptionReport> report = CaughtReport(false, true, true);
    report->RegisterBugReportCallback([](bool, const std::u16string&, IExceptionReport*) { ++Heard; }, false);
    EXPECT_EQ(Heard, 1);
    report->BeginUpdate();
    report->BeginUpdate();
    report->GetBugReportHeader()->SetContent(u"ticket", u"1");
    report->EndUpdate();
    report->GetBugReportSections()->SetContent(u"notes", u"typed");
    EXPECT_EQ(Heard, 1);
    report->EndUpdate();
    EXPECT_EQ(Heard, 2);
    report->BeginUpdate();
    report->EndUpdate();
    EXPECT_EQ(Heard, 2);
    EXPECT_NE(Narrow(report->GetBugReport(false)).find("\r\n\r\nnotes:\r\ntyped"), std::string::npos);
}

// A freeze report of the main thread, made on the main thread itself (which it must not
// suspend), keeps that thread's trace without ListThreads.
TEST(ReportAssembly, AFreezeOfTheCallingMainThread)
{
    TReportRequest request;
    request.Type = etFrozen;
    const base::ComPtr<ExceptionReport> report = CreateExceptionReport(std::move(request));
    report->SetListThreads(false);
    const std::string text = Narrow(AssembledReportText(*report, true));
    EXPECT_NE(text.find("\r\n\r\nthread " + base::HexText(::GetCurrentThreadId())), std::string::npos)
        << text;
    EXPECT_EQ(text.find("callstack crc     : $00000000, $00000000"), std::string::npos) << text;
}

// Plug-ins named by the Plugins setting, in its order: a field of the header, a section of
// its own; one that fails shows the internal error; an unregistered name is passed over.
TEST(ReportAssembly, PluginsAsFieldsAndSections)
{
    AddReportPlugin(u"build", u"the build", TBugReportPluginA([] { return std::string("nightly 42"); }),
                    false);
    AddReportPlugin(u"failing", u"fails", TBugReportPluginExW([](IExceptionReport*) -> std::u16string {
                        throw std::runtime_error("a plug-in failed");
                    }),
                    true);
    const base::ComPtr<ExceptionReport> report = CaughtReport(false);
    report->SetPropStr("Plugins", u"failing|build|nothing|modules");
    const std::string text = Narrow(AssembledReportText(*report, true));
    EXPECT_NE(text.find("\r\nbuild             : nightly 42\r\n"), std::string::npos) << text;
    const size_t failing = text.find("\r\n\r\nfailing:\r\n>> internal error in plugin");
    EXPECT_NE(failing, std::string::npos);
    EXPECT_GT(text.find("\r\n\r\nmodules:"), failing); // in the setting's order
    EXPECT_EQ(text.find("nothing"), std::string::npos);
    RemoveReportPlugin(u"Build"); // names are compared ignoring case
    RemoveReportPlugin(u"failing");
    EXPECT_FALSE(FindReportPlugin(u"build"));
    EXPECT_TRUE(FindReportPlugin(u"hardware"));
}

// A completion that takes a while shows the please-wait window (its title and text from the
// settings) to the thread that completes the report itself; it is gone afterwards, and a
// report whose ShowPleaseWaitBox is off never shows it.
std::u16string WindowSeen;

std::u16string AlertText()
{
    const HWND alert = ::FindWindowW(L"prgrAlertWndClass", L"Hold on");
    if (!alert || !::IsWindowVisible(alert))
        return u"none";
    wchar_t text[100] = L"";
    ::GetWindowTextW(::FindWindowExW(alert, nullptr, L"Static", nullptr), text, 100);
    return std::u16string(text, text + std::wcslen(text));
}

TEST(ReportAssembly, PleaseWaitWhileASlowCompletionRuns)
{
    AddReportPlugin(u"slow", u"takes a while", TBugReportPluginW([] {
                        ::Sleep(150); // longer than a wait lasts before the window shows
                        return std::u16string(u"slept");
                    }),
                    true);
    AddReportPlugin(u"looking", u"looks for the window", TBugReportPluginW([] {
                        WindowSeen = AlertText();
                        return std::u16string(u"looked");
                    }),
                    true);
    for (const bool show : {true, false}) {
        const base::ComPtr<ExceptionReport> report = CaughtReport(false);
        report->SetPropStr("Plugins", u"slow|looking");
        report->SetShowPleaseWaitBox(show);
        report->SetPleaseWaitTitle(u"Hold on");
        report->SetPleaseWaitText(u"Collecting the threads...");
        WindowSeen.clear();
        const std::string text = Narrow(AssembledReportText(*report, true));
        EXPECT_NE(text.find("\r\n\r\nlooking:\r\nlooked"), std::string::npos) << text;
        EXPECT_EQ(Narrow(WindowSeen), show ? "Collecting the threads..." : "none");
        EXPECT_EQ(Narrow(AlertText()), "none");
    }
    RemoveReportPlugin(u"slow");
    RemoveReportPlugin(u"looking");
}

} // namespace
} // namespace crash
