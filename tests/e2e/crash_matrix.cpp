// The crash matrix of the real crash demo: every crash kind on every kind of thread, each
// through the crash dialog to the report file beside the demo. A cell holds when
//   - the crash dialog shows with this program's ways out, continue exactly where the program
//     can go on,
//   - the way out taken behaves as chosen: continue lets the program go on and answer,
//     restart starts it anew and ends the old process with exit code 2, close ends it with
//     the exit code of the failure (each cell takes one of them in turn),
//   - the report file has exactly one report, complete, whose header names the class and
//     message of what the crash kind raises, and whose crashed thread names the demo's
//     failing function with its source file and line among its first frames.
// Three rows are a read violation during which the reporter fails too: in a handler of the
// program, in a report plug-in (whose text then says so), in the crash dialog's window
// procedure; each still gives one report and the same ways out.
// Prints the matrix as a table (a cell that holds names the way out it took, else what
// failed). Then eight threads fail at the
// same moment: eight dialogs, one after the other, are continued, the program still answers,
// and the file counts eight failures in reports merged as duplicates. Ends with 0 when every
// cell and that check hold. Each cell's report is kept in ARTIFACTS_FOLDER\matrix, and the
// whole matrix's table in ARTIFACTS_FOLDER\crash-matrix.txt.
//     crash_matrix CRASH_DEMO_EXE ARTIFACTS_FOLDER [THREAD_KIND [CRASH_KIND] | together]
// (THREAD_KIND 0 to 6, CRASH_KIND a button's caption: only those cells; "together": only the
// eight threads)

#include "tests/e2e/driver.h"

#include "base/win_handle.h"

#include <windows.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace {

// The demo's buttons, as captioned, and what each crash's report and way out must show. The
// object is the framework's on its own threads (the first four kinds), the reporter's on the
// others, where the OS exception reaches the reporter before any framework code; the
// reporter's messages are its runtime table's. In a message, "*" stands for any text; an
// empty message means the header has no message line (the message equals the class).
// Where the dialog offers to continue: everywhere, nowhere (the exception cannot continue, or
// the runtime ends the process), or only off the main thread (an exception thrown while
// unwinding ends the runtime's work on its thread: the main thread cannot go on).
enum TGoesOn
{
    goAlways,
    goNever,
    goOffMainThread
};

struct TKind
{
    const wchar_t* Caption;
    const char* Class;
    const char* Message;
    const char* OwnClass; // null: as on the framework's threads
    const char* OwnMessage;
    DWORD ExitCode; // of a close: the exception's code, 3 where there is none
    TGoesOn GoesOn = goAlways;
    const char* Through = nullptr; // a frame the crashed thread shows above CrashHere
};

#define EXTERNAL "framework::EExternal"
#define OWN_EXTERNAL "crash::EExternal"
#define OWN_UNKNOWN "crash::EExternalException"
#define READ_AV "Access violation at address *. Read of address 00000008."
#define OWN_READ_AV "Zugriffsverletzung bei Adresse $* in Modul 'crash_demo.exe'. Lesen von Adresse $8."

const TKind Kinds[] = {
    {L"read violation", EXTERNAL, READ_AV, OWN_EXTERNAL, OWN_READ_AV, 0xC0000005},
    {L"write violation", EXTERNAL, "Access violation at address *. Write of address 00000010.", OWN_EXTERNAL,
     "Zugriffsverletzung bei Adresse $* in Modul 'crash_demo.exe'. Schreiben von Adresse $10.", 0xC0000005},
    // Nothing is at the address executed: the reporter has no module to name.
    {L"execute violation", EXTERNAL, "Access violation at address 00000020. Execution of address 00000020.",
     OWN_EXTERNAL, "Access Violation.", 0xC0000005},
    {L"division by zero", EXTERNAL, "Division by zero.", OWN_EXTERNAL, "Division durch Null.", 0xC0000094},
    {L"FPU fault", EXTERNAL, "Floating point division by zero.", OWN_EXTERNAL,
     "Gleitkommadivision durch Null.", 0xC000008E},
    {L"breakpoint", EXTERNAL, "External exception 80000003.", OWN_UNKNOWN, "Externe Exception $80000003.",
     0x80000003},
    {L"illegal instruction", EXTERNAL, "Illegal instruction.", OWN_UNKNOWN, "Externe Exception $c000001d.",
     0xC000001D},
    {L"privileged instruction", EXTERNAL, "Privileged instruction.", OWN_EXTERNAL, "Privilegierte Anweisung.",
     0xC0000096},
    {L"OS exception", EXTERNAL, "External exception E0001234.", OWN_UNKNOWN, "Externe Exception $e0001234.",
     0xE0001234},
    // Not continuable: the reporter sees them first on every thread.
    {L"heap corruption", OWN_UNKNOWN, "Externe Exception $c0000374.", nullptr, nullptr, 0xC0000374, goNever},
    {L"fast fail", OWN_UNKNOWN, "Externe Exception $c0000409.", nullptr, nullptr, 0xC0000409, goNever},
    {L"std::exception", "std::runtime_error", "thrown on purpose.", nullptr, nullptr, 3},
    {L"thrown int", "int", "", nullptr, nullptr, 3},
    {L"inner exception", "crash::BaseException", "what it caused.", nullptr, nullptr, 3},
    {L"rethrow", "std::runtime_error", "thrown once.", nullptr, nullptr, 3},
    {L"throw in unwinding", "std::runtime_error", "thrown by a destructor.", nullptr, nullptr, 3,
     goOffMainThread},
    {L"invalid parameter", "crash::BaseException",
     "A function of the C runtime was called with an invalid parameter.", nullptr, nullptr, 3, goNever},
    {L"abort", "crash::BaseException", "Abnormal program termination.", nullptr, nullptr, 3, goNever},
    {L"terminate", "crash::BaseException", "The runtime terminated the program.", nullptr, nullptr, 3,
     goNever},
    // The runtime ends a pure call through terminate: its own routine tells the two apart.
    {L"pure call", "crash::BaseException", "The runtime terminated the program.", nullptr, nullptr, 3,
     goNever, "__cxa_pure_virtual"},
    {L"out of memory", "std::bad_alloc", "", nullptr, nullptr, 3},
    {L"stack overflow", EXTERNAL, "Stack overflow.", OWN_EXTERNAL, "Stack-\u00DCberlauf.", 0xC00000FD},
    // The thread-naming exception first: no report of its own, and the read violation's names
    // the thread (see CheckReport).
    {L"named thread", EXTERNAL, READ_AV, OWN_EXTERNAL, OWN_READ_AV, 0xC0000005},
    // A read violation, and the reporter fails too while it handles it.
    {L"fails in a handler", EXTERNAL, READ_AV, OWN_EXTERNAL, OWN_READ_AV, 0xC0000005},
    {L"fails in a plug-in", EXTERNAL, READ_AV, OWN_EXTERNAL, OWN_READ_AV, 0xC0000005},
    {L"fails in the dialog", EXTERNAL, READ_AV, OWN_EXTERNAL, OWN_READ_AV, 0xC0000005},
};
constexpr int FrameworkThreads = 4; // main thread, timer, synchronized, TThread
constexpr int MainThreadKinds = 3;  // main thread, timer, synchronized: they fail on the main thread
constexpr int CreateThreadKind = 5; // where the eight threads fail at once
const wchar_t* const Threads[] = {L"main thread", L"timer",        L"synchronized", L"TThread",
                                  L"std::thread", L"CreateThread", L"work item"};

std::string Narrow(const std::wstring& text)
{
    std::string out;
    for (wchar_t c : text)
        out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}

// The reports of the file, each from its "date/time" line.
std::vector<std::string> Reports(const std::string& file)
{
    std::vector<std::string> reports;
    for (size_t at = file.rfind("date/time", 0) == 0 ? 0 : file.find("\ndate/time");
         at != std::string::npos;) {
        const size_t start = file[at] == '\n' ? at + 1 : at;
        const size_t next = file.find("\ndate/time", start);
        reports.push_back(file.substr(start, next == std::string::npos ? std::string::npos : next - start));
        at = next;
    }
    return reports;
}

// The line of the demo's source where CrashHere calls the failure: the line its frame must
// name.
int FailLine = 0;

// That line, read from the demo's source (CRASH_DEMO_SOURCE, as the test's registration sets
// it; else where it lies when the build folder is the repository's build\\win); 0 when it
// cannot be found.
int FindFailLine(const std::wstring& exe)
{
    std::wstring path = exe.substr(0, exe.find_last_of(L'\\'));
    for (int up = 0; up < 3; ++up)
        path = path.substr(0, path.find_last_of(L'\\'));
    const char* given = std::getenv("CRASH_DEMO_SOURCE");
    std::ifstream in(given ? std::string(given) : Narrow(path + L"\\demo\\crash_demo.cpp"));
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        if (line.find("crash::testing::Fail(failure);") != std::string::npos)
            return number;
    }
    return 0;
}

// Whether `text` is `pattern`, where a "*" of the pattern stands for any run of characters.
bool Matches(std::string_view pattern, std::string_view text)
{
    const size_t star = pattern.find('*');
    if (star == std::string_view::npos)
        return pattern == text;
    if (text.substr(0, star) != pattern.substr(0, star))
        return false;
    for (size_t from = star; from <= text.size(); ++from)
        if (Matches(pattern.substr(star + 1), text.substr(from)))
            return true;
    return false;
}

// What is wrong with the report of a crash of that kind on that thread ("" when nothing is).
std::string CheckReport(const std::string& report, const TKind& kind, int thread)
{
    if (report.find(">> will be calculated soon") != std::string::npos ||
        report.find(">> stack will be calculated soon") != std::string::npos)
        return "incomplete";
    const bool own = thread >= FrameworkThreads && kind.OwnClass;
    const std::string exceptClass = e2e::ReportHeaderValue(report, "exception class");
    if (exceptClass != (own ? kind.OwnClass : kind.Class))
        return "class " + exceptClass;
    const std::string message = e2e::ReportHeaderValue(report, "exception message");
    const bool hasMessage = report.find("\r\nexception message") != std::string::npos;
    if (hasMessage != (*kind.Message != 0) || !Matches(own ? kind.OwnMessage : kind.Message, message))
        return "message " + (hasMessage ? message : "left out");
    // The first section after the header is the crashed thread's; its first frames name the
    // demo's failing function with its file and line (the column after the file is the line
    // number).
    const std::string function = "CrashHere", source = "crash_demo.cpp";
    const std::string line = std::to_string(FailLine);
    const size_t section = report.find("\r\n\r\n");
    if (section == std::string::npos)
        return "no stack";
    size_t at = report.find("\r\n", section + 4); // past the section's title
    if (std::wstring(kind.Caption) == L"named thread" &&
        report.substr(section + 4, at - section - 4).find("named on purpose") == std::string::npos)
        return "not named";
    bool through = false;
    for (int frame = 0; frame < 24 && at != std::string::npos; ++frame) {
        const size_t end = report.find("\r\n", at + 2);
        const std::string text = report.substr(at + 2, end - at - 2);
        if (text.empty())
            break;
        through = through || (kind.Through && text.find(kind.Through) != std::string::npos);
        const size_t file = text.find(source);
        if (file != std::string::npos && text.find(function) != std::string::npos) {
            if (kind.Through && !through)
                return std::string("not through ") + kind.Through;
            const size_t number = text.find_first_not_of(' ', file + source.size());
            if (number == std::string::npos)
                return "no line";
            return text.compare(number, line.size() + 1, line + " ") == 0 ? ""
                                                                          : "line " + text.substr(number);
        }
        at = end;
    }
    return "no " + function;
}

// The visible buttons of the dialog that can be pressed, as captioned.
std::vector<std::wstring> WaysOut(HWND dialog)
{
    std::vector<std::wstring> ways;
    for (HWND c = ::FindWindowExW(dialog, nullptr, L"Button", nullptr); c;
         c = ::FindWindowExW(dialog, c, L"Button", nullptr))
        if (::IsWindowVisible(c) && ::IsWindowEnabled(c))
            ways.push_back(e2e::WindowText(c));
    return ways;
}

bool Has(const std::vector<std::wstring>& ways, const wchar_t* caption)
{
    for (const std::wstring& way : ways)
        if (way == caption)
            return true;
    return false;
}

struct TDemo
{
    std::unique_ptr<e2e::TProgram> Program;
    HWND Form = nullptr;
    size_t Reports = 0; // in the file when the last cell that ran it ended
};

enum TWay
{
    wContinue,
    wRestart,
    wClose
};
const char* const WayNames[] = {"continued", "restarted", "closed"};

// A cell that failed while the demo's dialog is open ends the demo: the next cell starts a new
// one.
std::string Failed(TDemo& demo, std::string what)
{
    demo.Program.reset();
    return what;
}

// One cell: the crash, its dialog, the way out, the report. "ok" or what went wrong. The
// dialog offers to continue exactly where the program can go on; elsewhere a cell due to
// continue closes instead (`way` becomes close).
std::string Cell(const std::wstring& exe, int thread, size_t k, TWay& way, TDemo& demo,
                 const std::wstring& file, const std::wstring& kept)
{
    const TKind& kind = Kinds[k];
    if (demo.Program && !demo.Program->WaitForExit(0)) {
        // The cell before continued this demo: it left no dialog open and no report it did
        // not count.
        if (e2e::WaitForWindow(L"VexcatchWndClass", demo.Program->Id(), 0, 0))
            return Failed(demo, "a dialog open before the crash");
        if (Reports(e2e::ReadWhole(file)).size() != demo.Reports)
            return Failed(demo, "a late report of the cell before");
    } else {
        demo.Program = std::make_unique<e2e::TProgram>(exe, std::to_wstring(thread));
        demo.Form = demo.Program->Started() ? demo.Program->WaitForMainWindow() : nullptr;
        if (!demo.Form)
            return "no demo";
    }
    ::DeleteFileW(file.c_str()); // a file that outgrows its limit loses its oldest reports
    // In the rows where the reporter fails too, the demo tells through this event that the
    // reporter's part met its failure.
    const bool reporterFails = std::wstring(kind.Caption).starts_with(L"fails in ");
    const base::KernelHandle reporterFailed(
        reporterFails
            ? ::CreateEventW(nullptr, TRUE, FALSE,
                             (L"crash_demo reporter failed " + std::to_wstring(demo.Program->Id())).c_str())
            : nullptr);
    if (reporterFails && !reporterFailed)
        return "no event";
    const HWND button = ::FindWindowExW(demo.Form, nullptr, L"Button", kind.Caption);
    ::PostMessageW(button, BM_CLICK, 0, 0);
    const HWND dialog = e2e::WaitForWindow(L"VexcatchWndClass", demo.Program->Id(), 0, 20000);
    if (!dialog)
        return demo.Program->WaitForExit(0) ? "ended" : Failed(demo, "no dialog");
    if (reporterFailed && ::WaitForSingleObject(reporterFailed.Get(), 10000) != WAIT_OBJECT_0)
        return Failed(demo, "the reporter did not fail");
    const std::vector<std::wstring> ways = WaysOut(dialog);
    for (const wchar_t* offered :
         {L"save bug report", L"show bug report", L"restart application", L"close application"})
        if (!Has(ways, offered))
            return Failed(demo, "no " + Narrow(offered));
    const bool goesOn =
        kind.GoesOn == goAlways || (kind.GoesOn == goOffMainThread && thread >= MainThreadKinds);
    if (Has(ways, L"continue application") != goesOn)
        return Failed(demo, goesOn ? "no continue" : "continue offered");
    if (!goesOn && way == wContinue)
        way = wClose;
    std::string outcome;
    if (way == wContinue) {
        e2e::PressButton(dialog, L"continue application");
        for (int i = 0; i < 100 && ::IsWindow(dialog); ++i)
            ::Sleep(100);
        DWORD_PTR answer = 0;
        if (::IsWindow(dialog))
            return Failed(demo, "stays");
        if (demo.Program->WaitForExit(500))
            outcome = "ended after continue";
        else if (!::SendMessageTimeoutW(demo.Form, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 10000, &answer))
            outcome = "no answer after continue";
    } else if (way == wRestart) {
        // A new process with the same command line; the old one ends with 2.
        e2e::PressButton(dialog, L"restart application");
        if (!demo.Program->WaitForExit(20000))
            return Failed(demo, "not restarted");
        const DWORD old = demo.Program->Id();
        if (demo.Program->ExitCode() != 2)
            outcome = "restarted with " + std::to_string(demo.Program->ExitCode());
        const HWND form = e2e::WaitForWindow(L"LumigateForm", 0, old, 20000);
        demo.Program = form ? std::make_unique<e2e::TProgram>(e2e::ProcessOf(form)) : nullptr;
        demo.Form = form;
        if (!form && outcome.empty())
            outcome = "no restarted demo";
    } else {
        e2e::PressButton(dialog, L"close application");
        if (!demo.Program->WaitForExit(20000))
            return Failed(demo, "not closed");
        if (demo.Program->ExitCode() != kind.ExitCode) {
            char code[32];
            std::snprintf(code, sizeof code, "closed with %lx", demo.Program->ExitCode());
            outcome = code;
        }
    }
    // The report file has the crash's report (saved when it is complete, maybe after the
    // dialog closed).
    std::vector<std::string> reports;
    for (int i = 0; i < 100 && reports.empty(); ++i) {
        reports = Reports(e2e::ReadWhole(file));
        ::Sleep(100);
    }
    ::CopyFileW(file.c_str(), kept.c_str(), FALSE);
    demo.Reports = reports.size();
    if (reports.size() != 1)
        return std::to_string(reports.size()) + " reports";
    const std::string wrong = CheckReport(reports.back(), kind, thread);
    if (wrong.empty() && std::wstring(kind.Caption) == L"fails in a plug-in" &&
        reports.back().find(">> internal error in plugin") == std::string::npos)
        return "no plug-in failure";
    return !outcome.empty() ? outcome : !wrong.empty() ? wrong : "ok";
}

// Eight threads failing at once: "ok", or what went wrong.
std::string Together(const std::wstring& exe, const std::wstring& file, const std::wstring& kept)
{
    ::DeleteFileW(file.c_str());
    e2e::TProgram demo(exe, std::to_wstring(CreateThreadKind));
    const HWND form = demo.Started() ? demo.WaitForMainWindow() : nullptr;
    if (!form)
        return "no demo";
    ::PostMessageW(::FindWindowExW(form, nullptr, L"Button", L"eight threads at once"), BM_CLICK, 0, 0);
    std::string wrong;
    int dialogs = 0;
    for (; dialogs < 8 && wrong.empty(); ++dialogs) {
        const HWND dialog = e2e::WaitForWindow(L"VexcatchWndClass", demo.Id(), 0, 30000);
        if (!dialog) {
            wrong = demo.WaitForExit(0) ? "ended" : "no dialog";
            break;
        }
        e2e::PressButton(dialog, L"continue application");
        for (int i = 0; i < 100 && ::IsWindow(dialog); ++i)
            ::Sleep(100);
        if (::IsWindow(dialog))
            wrong = "a dialog stays";
    }
    if (wrong.empty() && e2e::WaitForWindow(L"VexcatchWndClass", demo.Id(), 0, 2000))
        wrong = "a ninth dialog";
    DWORD_PTR answer = 0;
    if (wrong.empty() && !::SendMessageTimeoutW(form, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 10000, &answer))
        wrong = "the program does not answer";
    // Every failure counted in the file, the alike merged: fewer reports than failures.
    long counted = 0;
    std::vector<std::string> reports;
    for (int i = 0; i < 100 && counted < 8; ++i) {
        reports = Reports(e2e::ReadWhole(file));
        counted = 0;
        for (const std::string& report : reports) {
            const std::string count = e2e::ReportHeaderValue(report, "count");
            counted += count.empty() ? 1 : std::atol(count.c_str());
        }
        if (counted < 8)
            ::Sleep(100);
    }
    ::CopyFileW(file.c_str(), (kept + L"eight threads at once.txt").c_str(), FALSE);
    ::PostMessageW(form, WM_CLOSE, 0, 0);
    if (!demo.WaitForExit(10000) && wrong.empty())
        wrong = "not closed";
    if (!wrong.empty())
        return wrong + " after " + std::to_string(dialogs) + " dialogs";
    if (counted != 8)
        return std::to_string(counted) + " failures counted";
    if (reports.size() >= 8)
        return "nothing merged";
    // Each a read violation on a thread of CreateThread, through the demo's CrashHere.
    for (const std::string& report : reports)
        if (std::string bad = CheckReport(report, Kinds[0], CreateThreadKind); !bad.empty())
            return bad;
    return "ok";
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
        return 2;
    const std::wstring exe = e2e::WindowsPath(argv[1]);
    const std::wstring artifacts = e2e::WindowsPath(argv[2]) + L"\\";
    const std::wstring kept = artifacts + L"matrix\\";
    ::CreateDirectoryW(kept.c_str(), nullptr);
    const std::wstring file = exe.substr(0, exe.find_last_of(L'\\') + 1) + L"bugreport.txt";
    if (!(FailLine = FindFailLine(exe))) {
        std::printf("the demo's source, which names the line of its failure, was not found\n");
        return 2;
    }
    ::DeleteFileW(file.c_str());

    std::vector<std::vector<std::string>> cells(std::size(Threads),
                                                std::vector<std::string>(std::size(Kinds), "-"));
    int failed = 0;
    const bool onlyTogether = argc > 3 && std::string(argv[3]) == "together";
    for (int thread = 0; thread < static_cast<int>(std::size(Threads)); ++thread) {
        if (onlyTogether || (argc > 3 && std::atoi(argv[3]) != thread))
            continue;
        TDemo demo;
        for (size_t k = 0; k < std::size(Kinds); ++k) {
            const wchar_t* kind = Kinds[k].Caption;
            if (argc > 4 && std::string(argv[4]).find(Narrow(kind)) == std::string::npos)
                continue;
            std::wstring name = std::wstring(Threads[thread]) + L" - " + kind + L".txt";
            for (wchar_t& c : name)
                c = c == L':' ? L'_' : c;
            // The way out changes from cell to cell: every crash kind is continued, restarted
            // and closed on some thread.
            TWay way = static_cast<TWay>((k + static_cast<size_t>(thread)) % 3);
            std::string cell = Cell(exe, thread, k, way, demo, file, kept + name);
            failed += cell != "ok";
            std::printf("%-22s on %-12s (%-9s): %s\n", Narrow(kind).c_str(), Narrow(Threads[thread]).c_str(),
                        WayNames[way], cell.c_str());
            std::fflush(stdout);
            // A cell that holds tells the way out it took.
            cells[static_cast<size_t>(thread)][k] = cell == "ok" ? WayNames[way] : cell;
        }
        if (demo.Form)
            ::PostMessageW(demo.Form, WM_CLOSE, 0, 0);
        if (demo.Program && !demo.Program->WaitForExit(10000))
            ++failed;
    }

    if (onlyTogether) {
        const std::string together = Together(exe, file, kept);
        std::printf("eight threads at once: %s\n", together.c_str());
        return together == "ok" ? 0 : 1;
    }
    // The table: a row per crash kind, a column per thread kind.
    std::string table = "| crash kind |";
    for (const wchar_t* thread : Threads)
        table += " " + Narrow(thread) + " |";
    table += "\n|---|";
    for (size_t t = 0; t < std::size(Threads); ++t)
        table += "---|";
    table += "\n";
    for (size_t k = 0; k < std::size(Kinds); ++k) {
        table += "| " + Narrow(Kinds[k].Caption) + " |";
        for (size_t t = 0; t < std::size(Threads); ++t)
            table += " " + cells[t][k] + " |";
        table += "\n";
    }
    table += "\n" + std::to_string(failed) + " of " + std::to_string(std::size(Kinds) * std::size(Threads)) +
             " cells failed\n";
    if (argc <= 3) {
        const std::string together = Together(exe, file, kept);
        table += "eight threads at once: " + together + "\n";
        failed += together != "ok";
        std::ofstream(Narrow(artifacts) + "crash-matrix.txt", std::ios::binary) << table;
    }
    std::printf("\n%s", table.c_str());
    return failed ? 1 : 0;
}
