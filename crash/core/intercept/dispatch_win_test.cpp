// Every kind of failure on every kind of thread reaches the handling thread exactly once,
// with the source of its path, and the process ends as that path decides. Each case runs in
// a child (testing/crash_child.cpp) so that its failure ends only the child.

#include "base/win_handle.h"
#include "crash/core/intercept/except_source.h"
#include "crash/core/intercept/testing/child_process.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace crash {
namespace {

using testing::Beside;
using testing::Field;
using testing::Start;
using testing::TOutcome;

TOutcome RunChild(const std::string& kind, const std::string& thread)
{
    return Start(L"crash_child.exe", kind + " " + thread);
}

struct TCase
{
    const char* Kind;
    DWORD Code; // the OS exception code, 0 for a C++ or runtime failure
    TExceptSource Source;
    // The record has the failure's context at its address and the stack prepared there: a C++
    // throw captured them, an OS exception's first sight kept them (but an x87 fault's context
    // is at the next floating-point instruction, not at the one that faulted).
    bool Raised = false;
    DWORD ExitCode = 0; // of a process-wide end: 0 for the OS code, or 3 without one
    const char* Inner = "-";
};

constexpr TCase Cases[] = {
    {"av-read", 0xC0000005, esUnhandledFilter, true},
    {"av-write", 0xC0000005, esUnhandledFilter, true},
    {"av-exec", 0xC0000005, esUnhandledFilter, true},
    {"div0", 0xC0000094, esUnhandledFilter, true},
    {"fpu", 0xC000008E, esUnhandledFilter}, // with division by zero unmasked
    {"int3", 0x80000003, esUnhandledFilter, true},
    {"illegal", 0xC000001D, esUnhandledFilter, true},
    {"privileged", 0xC0000096, esUnhandledFilter, true},
    {"raise", 0xE0001234, esUnhandledFilter, true},
    {"throw-std", 0, esExceptProc, true},
    {"throw-int", 0, esExceptProc, true},
    {"throw-inner", 0, esExceptProc, true, 0, "std::logic_error"},
    {"rethrow", 0, esExceptProc, true},
    {"abort", 0, esRuntimeError},
    {"terminate", 0, esRuntimeError},
    // Both ends of the stack are kept: where the recursion started, too.
    {"stack-overflow", 0xC00000FD, esUnhandledFilter, true},
    {"oom", 0, esExceptProc, true}, // std::bad_alloc, nothing catches it
    {"pure-call", 0, esRuntimeError},
    {"invalid-parameter", 0, esRuntimeError, false, 0xC0000417},
};

// On the main thread each failure takes its process-wide path and ends the process; on a
// thread the program started (CreateThread, a std::thread through _beginthreadex, a work
// item) the thread's wrapper takes it, the thread ends and the program goes on. Abort,
// terminate and the CRT's failures end the process wherever they happen.
TEST(Interception, EveryFailureOnEveryThreadIsHandedOverOnce)
{
    for (const TCase& c : Cases) {
        for (const std::string thread : {"main", "thread", "std", "work"}) {
            SCOPED_TRACE(std::string(c.Kind) + " on " + thread);
            const TOutcome o = RunChild(c.Kind, thread);
            const bool wrapped = thread != "main" && c.Source != esRuntimeError;
            ASSERT_EQ(o.Lines.size(), 1u);
            EXPECT_EQ(Field(o.Lines[0], 0), std::to_string(wrapped ? esThreadFrame : c.Source));
            char code[16];
            std::snprintf(code, sizeof code, "%08lx", c.Code);
            EXPECT_EQ(Field(o.Lines[0], 1), code);
            EXPECT_EQ(Field(o.Lines[0], 3), thread == "main" ? "main" : "other");
            EXPECT_EQ(Field(o.Lines[0], 4), "handler"); // handed over, not processed in place
            EXPECT_EQ(Field(o.Lines[0], 5), c.Raised ? "raised" : "-");
            EXPECT_EQ(Field(o.Lines[0], 6), c.Inner);
            EXPECT_EQ(o.ExitCode, wrapped ? 0u : c.ExitCode ? c.ExitCode : c.Code ? c.Code : 3u);
        }
    }
}

// Nothing can catch it (the runtime terminates at once): on the main thread the process
// ends after the report, on another thread only that thread ends.
TEST(Interception, AnExceptionThrownByADestructorDuringUnwindingIsReportedAtTheLastChance)
{
    for (const std::string thread : {"main", "thread"}) {
        const TOutcome o = RunChild("throw-in-unwind", thread);
        ASSERT_EQ(o.Lines.size(), 1u) << thread;
        EXPECT_EQ(Field(o.Lines[0], 0), std::to_string(esExceptProc)) << thread;
        EXPECT_EQ(Field(o.Lines[0], 5), "raised") << thread;
        EXPECT_EQ(o.ExitCode, thread == "main" ? 3u : 0u) << thread;
    }
}

TEST(Interception, AnAbortIsNeverReported)
{
    // Nothing catches it on the main thread: the process ends quietly; on a thread the
    // wrapper takes it, the thread ends and the program goes on.
    const TOutcome main = RunChild("eabort", "main"), thread = RunChild("eabort", "thread");
    EXPECT_TRUE(main.Lines.empty());
    EXPECT_EQ(main.ExitCode, 1u);
    EXPECT_TRUE(thread.Lines.empty());
    EXPECT_EQ(thread.ExitCode, 0u);
}

TEST(Interception, AnExceptionTheProgramHandledIsReportedAsHiddenOnceWhenTheLastCatchBlockEnds)
{
    // Thrown, rethrown by an inner catch block and handled by the outer: one hidden report.
    // Then three exceptions reported from inside their catch blocks (a BaseException, an
    // int, an object made without a throw): not again as hidden.
    const TOutcome o = RunChild("hidden", "main");
    EXPECT_EQ(o.ExitCode, 0u);
    ASSERT_EQ(o.Lines.size(), 4u);
    EXPECT_EQ(Field(o.Lines[0], 0), std::to_string(esHidden));
    EXPECT_EQ(Field(o.Lines[0], 5), "raised");
    for (size_t k = 1; k < 4; ++k)
        EXPECT_EQ(Field(o.Lines[k], 0), std::to_string(esManual)) << k;
}

TEST(Interception, ADamagedHeapOrAFastFailIsHandedOverBeforeTheProcessEnds)
{
    for (const auto& [kind, code] :
         {std::pair{"heap-corruption", 0xC0000374u}, std::pair{"fast-fail", 0xC0000409u}}) {
        for (const char* thread : {"main", "thread"}) {
            SCOPED_TRACE(std::string(kind) + " on " + thread);
            const TOutcome o = RunChild(kind, thread);
            ASSERT_EQ(o.Lines.size(), 1u);
            EXPECT_EQ(Field(o.Lines[0], 0), std::to_string(esSystemExceptionHandler));
            EXPECT_EQ(Field(o.Lines[0], 4), "here"); // the heap may be locked by that thread
            EXPECT_EQ(o.ExitCode, code);             // the process ends, whichever thread it was
        }
    }
}

TEST(Interception, EightThreadsFailingAtOnceAreHandedOverOneAfterTheOther)
{
    const TOutcome o = RunChild("av-write", "eight");
    EXPECT_EQ(o.ExitCode, 0u);
    ASSERT_EQ(o.Lines.size(), 8u);
    for (const std::string& line : o.Lines) {
        EXPECT_EQ(Field(line, 0), std::to_string(esThreadFrame));
        EXPECT_EQ(Field(line, 3), "other");
    }
}

TEST(Interception, AHandlingThreadThatEndsLeavesNoThreadWaitingForIt)
{
    ::SetEnvironmentVariableW(L"CRASH_CHILD_PROCESSOR", L"exit");
    const TOutcome main = RunChild("av-read", "main"), other = RunChild("div0", "thread");
    ::SetEnvironmentVariableW(L"CRASH_CHILD_PROCESSOR", nullptr);
    EXPECT_TRUE(main.Lines.empty() && other.Lines.empty());
    EXPECT_EQ(main.ExitCode, 0xC0000005u);
    EXPECT_EQ(other.ExitCode, 0u);
}

TEST(Interception, NothingIsHandedOverWhileTheMainThreadRunsHandlers)
{
    const TOutcome o = RunChild("handlers-running", "main");
    EXPECT_EQ(o.ExitCode, 0u);
    EXPECT_EQ(o.Lines.size(), 1u); // only the dispatch after they ran
}

TEST(Interception, AQuitMessageDuringTheWaitIsKeptUntilThePipelineIsDone)
{
    ::SetEnvironmentVariableW(L"CRASH_CHILD_PROCESSOR", L"quit");
    const TOutcome o = RunChild("manual-quit", "main");
    ::SetEnvironmentVariableW(L"CRASH_CHILD_PROCESSOR", nullptr);
    EXPECT_EQ(o.ExitCode, 0u);
    ASSERT_EQ(o.Lines.size(), 2u);
    EXPECT_EQ(Field(o.Lines[0], 0), std::to_string(esManual)); // recorded while the main thread waited
    EXPECT_EQ(o.Lines[1], "quit 7");                           // and the quit message is still there
}

TEST(Interception, AFailingProcessorNeitherHangsNorHidesTheEnd)
{
    ::SetEnvironmentVariableW(L"CRASH_CHILD_PROCESSOR", L"fail");
    const TOutcome main = RunChild("av-read", "main"), other = RunChild("div0", "thread"),
                   cpp = RunChild("throw-std", "main");
    ::SetEnvironmentVariableW(L"CRASH_CHILD_PROCESSOR", nullptr);
    EXPECT_TRUE(main.Lines.empty() && other.Lines.empty() && cpp.Lines.empty());
    EXPECT_EQ(main.ExitCode, 0xC0000005u);
    EXPECT_EQ(other.ExitCode, 0u);
    EXPECT_EQ(cpp.ExitCode, 3u);
}

// Every failure at the framework's boundary: in a button's click handler and a timer event
// (the boundary of the main thread's window procedures), in a synchronized call (reported on
// the main thread) and in a framework thread's Execute. What the boundary catches is handed
// over with its source and the program goes on; the runtime's own ends and a damaged heap
// end the process on their own paths; an abort and a thread's naming are not reported.
TEST(Interception, EveryFailureAtTheFrameworksBoundaryIsHandedOverOnce)
{
    struct TEnd
    {
        const char* Kind;
        DWORD Code;
        TExceptSource Source;
        DWORD ExitCode;
    };
    constexpr TEnd Ends[] = {
        {"abort", 0, esRuntimeError, 3},
        {"terminate", 0, esRuntimeError, 3},
        {"pure-call", 0, esRuntimeError, 3},
        {"invalid-parameter", 0, esRuntimeError, 0xC0000417},
        {"throw-in-unwind", 0, esExceptProc, 3},
        {"heap-corruption", 0xC0000374, esSystemExceptionHandler, 0xC0000374},
        {"fast-fail", 0xC0000409, esSystemExceptionHandler, 0xC0000409},
    };
    for (const char* where : {"click", "timer", "sync", "execute"}) {
        const std::string w = where;
        const TExceptSource caught = w == "sync"      ? esTThreadSynchronize
                                     : w == "execute" ? esTThreadExecute
                                                      : esApplicationHandleException;
        const std::string thread = w == "execute" ? "other" : "main";
        for (const TCase& c : Cases) {
            if (c.Source == esRuntimeError)
                continue;
            SCOPED_TRACE(std::string(c.Kind) + " in " + where);
            const TOutcome o = Start(L"framework_child.exe", w + " " + c.Kind);
            EXPECT_EQ(o.ExitCode, 0u); // the program went on
            ASSERT_EQ(o.Lines.size(), 1u);
            EXPECT_EQ(Field(o.Lines[0], 0), std::to_string(caught));
            EXPECT_EQ(Field(o.Lines[0], 1), thread);
            char code[16];
            std::snprintf(code, sizeof code, "%08lx", c.Code);
            EXPECT_EQ(Field(o.Lines[0], 2), code);
            // The context the exception happened in: of the throw, or as the OS exception
            // faulted (an x87 fault is reported at the instruction after the faulting one).
            EXPECT_EQ(Field(o.Lines[0], 3), std::string(c.Kind) == "fpu" ? "-" : "ctx");
        }
        for (const TEnd& e : Ends) {
            SCOPED_TRACE(std::string(e.Kind) + " in " + where);
            const TOutcome o = Start(L"framework_child.exe", w + " " + e.Kind);
            // At the last chance only a thread other than the main thread ends.
            const bool threadEnds = e.Source == esExceptProc && thread == "other";
            EXPECT_EQ(o.ExitCode, threadEnds ? 0u : e.ExitCode);
            ASSERT_EQ(o.Lines.size(), 1u);
            EXPECT_EQ(Field(o.Lines[0], 0), std::to_string(e.Source));
            EXPECT_EQ(Field(o.Lines[0], 1), thread);
        }
        for (const char* quiet : {"eabort", "thread-name"}) {
            const TOutcome o = Start(L"framework_child.exe", w + " " + quiet);
            EXPECT_EQ(o.ExitCode, 0u) << quiet << " in " << where;
            EXPECT_TRUE(o.Lines.empty()) << quiet << " in " << where;
        }
    }
    // A stack overflow that the program survived leaves the thread able to report the next.
    {
        const TOutcome o = Start(L"framework_child.exe", "click-twice stack-overflow");
        EXPECT_EQ(o.ExitCode, 0u);
        ASSERT_EQ(o.Lines.size(), 2u);
        for (const std::string& line : o.Lines)
            EXPECT_EQ(Field(line, 2), "c00000fd");
    }
    // The application's own entries.
    for (const auto& [kind, source] : {std::pair{"show", esApplicationShowException},
                                       std::pair{"handler", esApplicationHandleException}}) {
        const TOutcome o = Start(L"framework_child.exe", kind);
        EXPECT_EQ(o.ExitCode, 0u) << kind;
        ASSERT_EQ(o.Lines.size(), 1u) << kind;
        EXPECT_EQ(Field(o.Lines[0], 0), std::to_string(source)) << kind;
    }
}

// The exceptions of a C++Builder runtime carry where they were thrown, and its abnormal
// termination is reported as such before the process ends.
TEST(Interception, CppBuilderExceptionsAndTheRuntimesAbnormalTerminationAreReportedWhereThrown)
{
    const auto throwSiteOf = [](const TOutcome& o) -> uint32_t {
        if (o.Lines.size() != 2 || Field(o.Lines[0], 0) != "site")
            return 0;
        const uint32_t site = std::stoul(Field(o.Lines[0], 1), nullptr, 16);
        const uint32_t address = std::stoul(Field(o.Lines[1], 5), nullptr, 16);
        return address - site;
    };
    const TOutcome terminated = Start(L"package_child.exe", "bcb");
    EXPECT_EQ(terminated.ExitCode, 3u); // not the runtime's own end (7)
    ASSERT_EQ(terminated.Lines.size(), 2u);
    EXPECT_EQ(Field(terminated.Lines[1], 0), std::to_string(esBcbAbnormalProgramTermination));
    EXPECT_EQ(Field(terminated.Lines[1], 2), "-"); // the object is a C++ one, a BcbTermination
    // At the call of the throw routine (within the routine that throws), not in the runtime.
    const uint32_t offset = throwSiteOf(terminated);
    EXPECT_TRUE(offset > 0 && offset < 0x80) << terminated.Lines[1];

    const TOutcome thrown = Start(L"package_child.exe", "bcb-throw");
    EXPECT_EQ(thrown.ExitCode, 0x0EEDFAE6u);
    ASSERT_EQ(thrown.Lines.size(), 2u);
    EXPECT_EQ(Field(thrown.Lines[1], 0), std::to_string(esUnhandledFilter));
    EXPECT_EQ(throwSiteOf(thrown), offset);
}

// A host on runtime packages (stand-ins): their routines, found by their exported names,
// hand over with their sources and the runtime's object; none of them runs itself.
TEST(Interception, TheRoutinesOfRuntimePackagesHandOverWithTheirSources)
{
    const std::pair<const char*, std::vector<std::string>> expected[] = {
        {"handle", {"5 0 - 2222 0 0"}},              // the sender as the related object
        {"fmx", {"5 0 - 2222 0 0"}},                 // the third visual library's
        {"show", {"4 3333 runtime 1111 0 0"}},       // the exception object, the application
        {"sysutils", {"3 4444 runtime 0 0 401234"}}, // the object and its address
        {"initialize", {"12 6666 runtime 0 5150 7777", "raised again"}}, // and on to LoadPackage
        {"cgi", {"6 0 - 2222 0 0"}},
        {"isapi", {"7 X - 2222 0 A", "the report at its address"}}, // the C++ exception being handled
    };
    for (const auto& [kind, lines] : expected) {
        const TOutcome o = Start(L"package_child.exe", kind);
        EXPECT_EQ(o.ExitCode, 0u) << kind; // else the number of stand-ins that ran unhooked
        ASSERT_EQ(o.Lines.size(), lines.size()) << kind;
        for (int f = 0; f < 6; ++f) { // X: some object, A: some address
            const std::string want = Field(lines[0], f);
            if (want != "X" && want != "A") {
                EXPECT_EQ(Field(o.Lines[0], f), want) << kind << ", field " << f;
            }
        }
        for (size_t k = 1; k < lines.size(); ++k)
            EXPECT_EQ(o.Lines[k], lines[k]) << kind;
    }
}

// An ISAPI extension that carries the reporter, called by a server in miniature: an exception
// in a request (C++ or OS) answers HSE_STATUS_ERROR with the report as an escaped HTML page,
// behind a header of its own unless the request sent one; the server's block is its own
// again afterwards.
TEST(Interception, AnExceptionInAnIsapiRequestAnswersWithTheReport)
{
    const std::string page = "body <html><body><pre>&lt;report &amp; source 8&gt;</pre></body></html>";
    const std::pair<const char*, std::vector<std::string>> expected[] = {
        {"fine", {"body fine", "result 1 status 200"}},
        {"throw", {"header  Content-Type: text/html||", page, "result 4 status 0"}},
        {"fault", {"header  Content-Type: text/html||", page, "result 4 status 0"}},
        {"header", {"header 200 OK -", page, "result 4 status 0"}},
        // Answered after the entry returned, on the block it was given, then ended.
        {"pending", {"result 3 status 0", "body late", "done"}},
    };
    for (const auto& [query, lines] : expected) {
        const TOutcome o = Start(L"isapi_host.exe", query);
        EXPECT_EQ(o.ExitCode, 0u) << query;
        EXPECT_EQ(o.Lines, lines) << query;
    }
}

TEST(Interception, TheThreadRegistryKnowsTheClassOfAFrameworkThread)
{
    const TOutcome o = Start(L"framework_child.exe", "class");
    EXPECT_EQ(o.ExitCode, 0u);
    EXPECT_EQ(o.Lines, std::vector<std::string>{"class TWorkerThread"});
}

TEST(Interception, AFilterInstalledLaterIsChainedBehindOurs)
{
    const TOutcome o = RunChild("foreign-filter", "main");
    ASSERT_EQ(o.Lines.size(), 2u);
    EXPECT_EQ(Field(o.Lines[0], 0), std::to_string(esUnhandledFilter));
    EXPECT_EQ(o.Lines[1], "foreign");
    EXPECT_EQ(o.ExitCode, 0xC0000005u);
}

TEST(Interception, UnderTheLoaderLockTheCatchingThreadProcessesTheRecordItself)
{
    // A module's attach routine hands an exception over, or aborts.
    const TOutcome handed = RunChild("loader-lock", "main");
    EXPECT_EQ(handed.ExitCode, 0u);
    ASSERT_EQ(handed.Lines.size(), 1u);
    EXPECT_EQ(Field(handed.Lines[0], 0), std::to_string(esManual));
    EXPECT_EQ(Field(handed.Lines[0], 4), "here");
    const TOutcome aborted = RunChild("loader-lock-abort", "main");
    EXPECT_EQ(aborted.ExitCode, 3u);
    ASSERT_EQ(aborted.Lines.size(), 1u);
    EXPECT_EQ(Field(aborted.Lines[0], 0), std::to_string(esRuntimeError));
    EXPECT_EQ(Field(aborted.Lines[0], 4), "here");
}

TEST(Interception, EveryPatchIsGoneAfterShutdown)
{
    // Each child checks itself and ends with 6 when something was not patched or not undone.
    EXPECT_EQ(RunChild("undo", "main").ExitCode, 0u);              // the thread wrappers
    EXPECT_EQ(Start(L"framework_child.exe", "undo").ExitCode, 0u); // the framework's routines
}

TEST(Interception, TheThreadRegistryKnowsWhoCreatedAThreadAndWhatItIsCalled)
{
    EXPECT_EQ(RunChild("registry", "main").ExitCode, 0u); // else the number of the failed check
}

TEST(Interception, ARestartedProcessTakesOverTheRingOfTheProcessItWasRestartedFrom)
{
    // The first process ends right after it resumed the second; the second's start-up
    // waits for that, then finds the ring.
    const std::wstring log = Beside(L"restart.log");
    ::DeleteFileW(log.c_str());
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::wstring command = L"\"" + Beside(L"crash_child.exe") + L"\" restart main \"" + log + L"\"";
    ASSERT_TRUE(
        ::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    base::KernelHandle first(pi.hProcess), primary(pi.hThread);
    ASSERT_EQ(::WaitForSingleObject(first.Get(), 30000), WAIT_OBJECT_0);
    std::ifstream in(std::string(log.begin(), log.end()));
    std::string line;
    ASSERT_TRUE(std::getline(in, line));
    in.close();
    ASSERT_EQ(Field(line, 0), "restarted");
    const base::KernelHandle second(::OpenProcess(SYNCHRONIZE, FALSE, std::stoul(Field(line, 1))));
    if (second)
        ::WaitForSingleObject(second.Get(), 30000);
    std::ifstream again(std::string(log.begin(), log.end()));
    std::vector<std::string> lines;
    while (std::getline(again, line))
        lines.push_back(line.substr(0, line.find('\r')));
    again.close();
    ::DeleteFileW(log.c_str());
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1], "ring");
}

TEST(Interception, TheThreadNamingExceptionIsNeitherReportedNorFatal)
{
    for (const char* thread : {"main", "thread"}) {
        const TOutcome o = RunChild("thread-name", thread);
        EXPECT_TRUE(o.Lines.empty()) << thread;
        EXPECT_EQ(o.ExitCode, 0u) << thread;
    }
}

} // namespace
} // namespace crash
