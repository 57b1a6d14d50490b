// Freeze detection in a real program (testing/freeze_child.cpp), started from its settings
// with a timeout of half a second: a main thread that answers nothing is reported as frozen
// with its stack, whatever keeps it (a wait, a loop, a lock); the probes grow by half after
// each report; the answer of a main thread that recovers reaches the freeze's dialog; a main
// thread that keeps processing its messages (in its own loop or a modal one), or one whose
// silence falls in another exception's handling, never is (and after that handling it is
// watched again).

#include "crash/core/intercept/testing/child_process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace crash {
namespace {

std::string Joined(const std::vector<std::string>& lines)
{
    std::string all;
    for (const std::string& line : lines)
        all += line + " | ";
    return all;
}

bool Has(const testing::TOutcome& o, const std::string& line)
{
    return std::find(o.Lines.begin(), o.Lines.end(), line) != o.Lines.end();
}

long Freezes(const testing::TOutcome& o)
{
    return std::count(o.Lines.begin(), o.Lines.end(), "report 1 1 EFrozen");
}

TEST(FreezeWatch, AMainThreadThatWaitsIsReportedWithItsStackAndItsAnswerReachesTheDialog)
{
    const testing::TOutcome o = testing::Start(L"freeze_child.exe", "blocked");
    const std::string all = Joined(o.Lines);
    EXPECT_EQ(o.ExitCode, 0u) << all;
    ASSERT_FALSE(o.Lines.empty());
    EXPECT_EQ(o.Lines.front(), "report 1 1 EFrozen") << all; // etFrozen, esAntiFreezeCheck
    EXPECT_EQ(Freezes(o), 1) << all;
    EXPECT_TRUE(Has(o, "interval 50")) << all;
    EXPECT_TRUE(Has(o, "frozen header")) << all;
    EXPECT_TRUE(Has(o, "names MainThreadWaits")) << all;
    EXPECT_TRUE(Has(o, "main answered")) << all;
    EXPECT_TRUE(Has(o, "interval back to 50")) << all;
    EXPECT_TRUE(Has(o, "went on")) << all;
}

TEST(FreezeWatch, ALoopAndALockAreFreezesTooAndTheProbesGrowByHalfAfterEachReport)
{
    const testing::TOutcome busy = testing::Start(L"freeze_child.exe", "busy");
    std::string all = Joined(busy.Lines);
    EXPECT_EQ(busy.ExitCode, 0u) << all;
    EXPECT_TRUE(Has(busy, "names MainThreadComputes")) << all;
    std::vector<std::string> intervals;
    for (const std::string& line : busy.Lines)
        if (line.rfind("interval ", 0) == 0)
            intervals.push_back(line);
    EXPECT_EQ(intervals, (std::vector<std::string>{"interval 50", "interval 75", "interval 112"})) << all;

    const testing::TOutcome lock = testing::Start(L"freeze_child.exe", "lock");
    all = Joined(lock.Lines);
    EXPECT_EQ(lock.ExitCode, 0u) << all;
    EXPECT_TRUE(Has(lock, "names MainThreadLocks")) << all;
    EXPECT_EQ(Freezes(lock), 1) << all;
    EXPECT_TRUE(Has(lock, "went on")) << all;
}

// Two modules with the reporter in one process: one watchdog, one report, and a pause in
// either module holds it.
TEST(FreezeWatch, OneWatchdogForTwoModulesWhichEitherPauses)
{
    const testing::TOutcome o = testing::Start(L"freeze_child.exe", "modules");
    const std::string all = Joined(o.Lines);
    EXPECT_EQ(o.ExitCode, 0u) << all;
    ASSERT_FALSE(o.Lines.empty());
    EXPECT_EQ(o.Lines.front(), "module watches") << all;
    EXPECT_EQ(Freezes(o), 1) << all;
    EXPECT_EQ(all.find("module report"), std::string::npos) << all;
    // Nothing else failed: the unloaded module's watchdog neither.
    EXPECT_EQ(std::count_if(o.Lines.begin(), o.Lines.end(),
                            [](const std::string& line) { return line.rfind("report", 0) == 0; }),
              1)
        << all;
    EXPECT_FALSE(Has(o, "names MainThreadSleepsPaused")) << all;
    EXPECT_TRUE(Has(o, "names MainThreadWaits")) << all;
    EXPECT_TRUE(Has(o, "module unloaded")) << all;
    // The unloaded module's watchdog is gone with it.
    EXPECT_NE(all.find("watchdogs 2 | module unloaded | watchdogs 1 |"), std::string::npos) << all;
    EXPECT_TRUE(Has(o, "went on")) << all;
}

// When the running watchdog's module stops its watch, the waiting one takes over.
TEST(FreezeWatch, TheWaitingModulesWatchdogTakesOverWhenTheRunningOneStops)
{
    const testing::TOutcome o = testing::Start(L"freeze_child.exe", "handover");
    EXPECT_EQ(o.ExitCode, 0u);
    EXPECT_EQ(o.Lines, (std::vector<std::string>{"module watches", "interval 0", "module report 1 1 EFrozen",
                                                 "module unloaded", "went on"}))
        << Joined(o.Lines);
}

// Pauses nest, a resume without its pause changes nothing, and misses count in a row only:
// stalls of half a timeout with answers in between never add up to a freeze.
TEST(FreezeWatch, PausesNestAndOnlyMissesInARowCount)
{
    const testing::TOutcome nested = testing::Start(L"freeze_child.exe", "nested");
    EXPECT_EQ(nested.ExitCode, 0u);
    EXPECT_EQ(nested.Lines, (std::vector<std::string>{"watchdogs 1", "report 1 1 EFrozen", "interval 50",
                                                      "frozen header", "names MainThreadWaits", "went on"}))
        << Joined(nested.Lines);

    const testing::TOutcome stalls = testing::Start(L"freeze_child.exe", "stalls");
    EXPECT_EQ(stalls.ExitCode, 0u);
    EXPECT_EQ(stalls.Lines, std::vector<std::string>{"went on"}) << Joined(stalls.Lines);
}

// A watchdog that does not end within its 500 ms (it waits for a freeze's dialog) is ended
// by force; nothing waits for it afterwards.
TEST(FreezeWatch, AWatchdogHeldByItsReportIsEndedByForceOnStop)
{
    const testing::TOutcome o = testing::Start(L"freeze_child.exe", "stuck");
    const std::string all = Joined(o.Lines);
    EXPECT_EQ(o.ExitCode, 0u) << all;
    EXPECT_EQ(Freezes(o), 1) << all;
    EXPECT_TRUE(Has(o, "watchdog priority highest")) << all;
    EXPECT_TRUE(Has(o, "watchdog ended")) << all;
    EXPECT_TRUE(Has(o, "interval 0")) << all;
    EXPECT_TRUE(Has(o, "stopped")) << all;
    EXPECT_TRUE(Has(o, "went on")) << all;
}

TEST(FreezeWatch, NoneWhileTheMainThreadAnswersOrAnotherExceptionIsHandled)
{
    const testing::TOutcome pumping = testing::Start(L"freeze_child.exe", "pumping");
    EXPECT_EQ(pumping.ExitCode, 0u);
    EXPECT_EQ(pumping.Lines, std::vector<std::string>{"went on"});

    const testing::TOutcome modal = testing::Start(L"freeze_child.exe", "modal");
    EXPECT_EQ(modal.ExitCode, 0u);
    EXPECT_EQ(modal.Lines, std::vector<std::string>{"went on"}) << Joined(modal.Lines);

    const testing::TOutcome dialog = testing::Start(L"freeze_child.exe", "dialog");
    EXPECT_EQ(dialog.ExitCode, 0u);
    // ... and once it is handled, the watch goes on.
    EXPECT_EQ(dialog.Lines,
              (std::vector<std::string>{"report 0 16 crash::EExternalException", "report 1 1 EFrozen",
                                        "interval 50", "frozen header", "names MainThreadWaits", "went on"}))
        << Joined(dialog.Lines);
}

} // namespace
} // namespace crash
