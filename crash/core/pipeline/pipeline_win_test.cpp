// The handling pipeline in a real program (testing/pipeline_child.cpp): what the settings and
// the handlers decide, where handlers run, the program going on, restarting or ending.

#include "crash/core/intercept/testing/child_process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

namespace crash {
namespace {

using testing::Start;
using testing::TOutcome;

TOutcome RunChild(const std::string& arguments)
{
    return Start(L"pipeline_child.exe", arguments);
}

bool Has(const TOutcome& o, const std::string& line)
{
    return std::find(o.Lines.begin(), o.Lines.end(), line) != o.Lines.end();
}

std::string Joined(const TOutcome& o)
{
    std::string all;
    for (const std::string& line : o.Lines)
        all += line + " | ";
    return all;
}

// Without handlers: the dialog, then the program goes on (a thread's failure) and the report
// is saved automatically, once.
TEST(Pipeline, AFailingThreadShowsTheDialogSavesAndTheProgramGoesOn)
{
    const TOutcome o = RunChild("thread");
    EXPECT_EQ(o.ExitCode, 0u);
    EXPECT_EQ(o.Lines, (std::vector<std::string>{"screenshot",
                                                 "dialog 0 report 1 shot 1 class crash::EExternalException",
                                                 "save auto", "went on"}))
        << Joined(o);
}

// With AutoSend and AutoClipboard, the complete report is sent in the background, without a
// progress window, and copied to the clipboard.
TEST(Pipeline, AutomaticSendingAndCopyingWhenTheReportIsComplete)
{
    const TOutcome o = RunChild("thread AutoSend=true AutoClip=true");
    EXPECT_EQ(o.ExitCode, 0u);
    EXPECT_TRUE(Has(o, "send background hidden")) << Joined(o);
    EXPECT_TRUE(Has(o, "clipboard"));
    EXPECT_TRUE(Has(o, "save auto"));
}

// A failure that cannot continue ends the program after the dialog, with its code; with
// AutoRestart = 1 the program restarts (exit code 2) and the new process takes the ring over.
TEST(Pipeline, AFailureThatCannotContinueEndsOrRestarts)
{
    const TOutcome ended = RunChild("main");
    EXPECT_EQ(ended.ExitCode, 0xC0000005u);
    EXPECT_TRUE(Has(ended, "save auto")) << Joined(ended);
    EXPECT_FALSE(Has(ended, "went on"));

    const std::wstring second = testing::Beside(L"crash_child.log.2");
    ::DeleteFileW(second.c_str());
    const TOutcome restarted = RunChild("main AutoRestart=1");
    EXPECT_EQ(restarted.ExitCode, 2u);
    EXPECT_TRUE(Has(restarted, "save auto")) << Joined(restarted);
    std::string line;
    for (int k = 0; k < 100 && line.empty(); ++k) {
        ::Sleep(100);
        std::ifstream(std::string(second.begin(), second.end())) >> line >> line; // "restarted N"
    }
    EXPECT_EQ(line, "1"); // the one failure of the first process
    ::Sleep(200);
    ::DeleteFileW(second.c_str());
}

// AutoClose = 60 with no dialog: only the tenth failure within a minute ends the program. The
// handling of each failure starts by emptying the temporary folder of the report's files.
TEST(Pipeline, AutoCloseActsOnTheTenthFailureWithinItsTime)
{
    const TOutcome o = RunChild("ten AutoClose=60 GnShowCfg=4");
    EXPECT_EQ(o.ExitCode, 0xE0001234u);
    EXPECT_TRUE(Has(o, "went on 9")) << Joined(o);
    EXPECT_FALSE(Has(o, "went on 10"));
    EXPECT_TRUE(Has(o, "temporary folder cleared 9 times")) << Joined(o);
}

// A handler that handles the exception keeps the dialog away; one that throws is skipped.
TEST(Pipeline, HandlersDecideAndTheirFailuresAreSwallowed)
{
    const TOutcome handled = RunChild("handled");
    EXPECT_EQ(handled.ExitCode, 0u);
    EXPECT_EQ(handled.Lines, (std::vector<std::string>{"handled", "went on"})) << Joined(handled);

    const TOutcome throwing = RunChild("throwing");
    EXPECT_EQ(throwing.ExitCode, 0u);
    EXPECT_TRUE(Has(throwing, "throws"));
    EXPECT_TRUE(Has(throwing, "dialog 0 report 1 shot 1 class crash::EExternalException"))
        << Joined(throwing);
}

// A handler that wants the main thread runs there, even while the main thread is in a modal
// loop; when the main thread does not answer, only the handlers that run in any case run, on
// the handling thread; a freeze report never asks the main thread.
TEST(Pipeline, HandlersForTheMainThreadRunThereOrFallBack)
{
    const TOutcome modal = RunChild("sync-modal");
    EXPECT_EQ(modal.ExitCode, 0u);
    EXPECT_TRUE(Has(modal, "handler 1 main")) << Joined(modal);
    EXPECT_TRUE(Has(modal, "went on"));

    const TOutcome silent = RunChild("no-answer");
    EXPECT_EQ(silent.ExitCode, 0u);
    EXPECT_TRUE(Has(silent, "always other")) << Joined(silent);
    EXPECT_FALSE(Has(silent, "handler 1 other")); // it wants the main thread or nothing

    const TOutcome frozen = RunChild("frozen");
    EXPECT_EQ(frozen.ExitCode, 0u);
    EXPECT_FALSE(Has(frozen, "handler 1 main")) << Joined(frozen);
    EXPECT_TRUE(Has(frozen, "dialog 0 report 1 shot 1 class EFrozen")) << Joined(frozen);
}

// A caught exception reaches only the hidden handlers, and is reported when one asks for it;
// without hidden handlers nothing happens at all.
TEST(Pipeline, HiddenExceptionsAreReportedOnlyWhenAHiddenHandlerAsks)
{
    const TOutcome nothing = RunChild("caught");
    EXPECT_EQ(nothing.Lines, (std::vector<std::string>{"went on"})) << Joined(nothing);
    const TOutcome kept = RunChild("hidden");
    EXPECT_EQ(kept.Lines, (std::vector<std::string>{"hidden", "went on"})) << Joined(kept);
    const TOutcome reported = RunChild("hidden-report");
    EXPECT_TRUE(Has(reported, "hidden"));
    EXPECT_TRUE(Has(reported, "dialog 0 report 1 shot 1 class std::runtime_error")) << Joined(reported);
}

// A class the first filter names (or a descendant) gets no report and no screenshot.
TEST(Pipeline, TheClassFilterAppliesToDescendants)
{
    const TOutcome filtered =
        RunChild("filter F1Classes=std::logic_error F1NoBugRep=true F1NoScrShot=true F1ShowCfg=0");
    EXPECT_TRUE(Has(filtered, "dialog 0 report 0 shot 0 class std::out_of_range")) << Joined(filtered);
    EXPECT_FALSE(Has(filtered, "screenshot"));
    const TOutcome general = RunChild("filter F1Classes=std::bad_alloc F1NoBugRep=true F1NoScrShot=true");
    EXPECT_TRUE(Has(general, "dialog 0 report 1 shot 1 class std::out_of_range")) << Joined(general);
}

// While the dialog shows, the program's threads that retrieve messages are paused; afterwards
// they run again.
TEST(Pipeline, ThreadsArePausedDuringTheReportAndResumedAfterwards)
{
    const TOutcome o = RunChild("pause PauseThreads=true");
    EXPECT_EQ(o.ExitCode, 0u);
    EXPECT_TRUE(Has(o, "paused")) << Joined(o);
    EXPECT_TRUE(Has(o, "resumed"));
}

// The dialog's save button: the action, the save assistant, the action after it, the saving,
// the action when done; a cancelled assistant stops it all.
TEST(Pipeline, TheSaveButtonGoesThroughItsAssistantAndItsActions)
{
    const TOutcome saved = RunChild("save");
    EXPECT_EQ(saved.ExitCode, 0u);
    const std::vector<std::string> expected = {
        "action 1", "assistant SaveAssistant", "action 4", "save", "action 7", "saved yes"};
    EXPECT_TRUE(std::search(saved.Lines.begin(), saved.Lines.end(), expected.begin(), expected.end()) !=
                saved.Lines.end())
        << Joined(saved);

    const TOutcome cancelled = RunChild("save-cancel");
    const std::vector<std::string> stopped = {"action 1", "assistant SaveAssistant", "saved no"};
    EXPECT_TRUE(std::search(cancelled.Lines.begin(), cancelled.Lines.end(), stopped.begin(), stopped.end()) !=
                cancelled.Lines.end())
        << Joined(cancelled);
}

// A console program writes the message and the report to its output instead of a dialog, and
// goes on where the failure lets it.
TEST(Pipeline, AConsoleProgramWritesTheReportToItsOutput)
{
    const TOutcome o = Start(L"pipeline_console_child.exe", "thread");
    EXPECT_EQ(o.ExitCode, 0u);
    EXPECT_FALSE(Has(o, "dialog 0 report 1 shot 1 class crash::EExternalException"));
    EXPECT_TRUE(Has(o, "went on")) << Joined(o);
    EXPECT_NE(o.Output.find("An error occurred in the application.\r\n\r\nthe report\r\n"), std::string::npos)
        << o.Output;
}

} // namespace
} // namespace crash
