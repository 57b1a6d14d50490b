// The leak-checking library: the first place that has it, its version, the older name of
// one of its functions, and a library that is the reporter's own module passed over.

#include "crash/core/intercept/leak_library_win.h"

#include "base/module_path.h"
#include "base/win_handle.h"

#include <gtest/gtest.h>

namespace crash {
namespace {

std::wstring StandIn()
{
    const std::wstring self = base::ModulePath(nullptr);
    return self.substr(0, self.find_last_of(L'\\') + 1) + L"leak_library_standin.dll";
}

std::wstring Announced;
void Announce(const std::wstring& path)
{
    Announced = path;
}

TEST(LeakLibrary, TheFirstPlaceThatHasItWithTheRightVersionIsUsed)
{
    Announced.clear();
    uint16_t before, after;
    asm volatile("fnstcw %0" : "=m"(before));
    const TLeakLibrary library =
        LoadLeakLibrary({L"C:\\nowhere\\Vexcatch32.dll", StandIn()}, nullptr, &Announce);
    asm volatile("fnstcw %0" : "=m"(after));
    const base::Module keep(library.Module); // given back at the end
    EXPECT_EQ(after, before);                // the library's start-up changed it; the program's is back
    ASSERT_TRUE(library.Module);
    EXPECT_TRUE(library.StartLeakChecking && library.CalibrateLeakChecking && library.UnloadLeakModule);
    EXPECT_TRUE(library.HideLeakPtr); // found under its older name
    EXPECT_TRUE(library.StartDebugMm);
    EXPECT_TRUE(Announced.empty());
}

TEST(LeakLibrary, ALibraryOfAnotherVersionIsAnnouncedAndNotUsed)
{
    Announced.clear();
    ::SetEnvironmentVariableW(L"LEAK_API_VERSION", L"3");
    const TLeakLibrary library = LoadLeakLibrary({StandIn()}, nullptr, &Announce);
    ::SetEnvironmentVariableW(L"LEAK_API_VERSION", nullptr);
    EXPECT_FALSE(library.Module);
    EXPECT_EQ(Announced, StandIn());
    Announced.clear();
}

TEST(LeakLibrary, TheReportersOwnModuleIsPassedOver)
{
    const base::Module own(::LoadLibraryW(StandIn().c_str()));
    ASSERT_TRUE(own);
    EXPECT_FALSE(LoadLeakLibrary({StandIn()}, own.Get(), &Announce).Module);
}

TEST(LeakLibrary, AModuleTheBuildMarkedGetsLeakCheckingAndIsLetGoAtTheEnd)
{
    // The library is found beside this program under its own name (a copy of the stand-in).
    struct TMarked
    {
        TMarked() { LeakMarks.ReportLeaks = 1; }
        ~TMarked() { LeakMarks.ReportLeaks = 0; }
    } marked;
    const HMODULE module = ::GetModuleHandleW(nullptr);
    StartLeakServices(module);
    ASSERT_TRUE(LeakLibrary().Module);
    const int* calls = reinterpret_cast<const int*>(::GetProcAddress(LeakLibrary().Module, "Calls"));
    ASSERT_TRUE(calls);
    EXPECT_EQ(*calls, 11); // started with a memory manager, then calibrated
    StopLeakServices();
    EXPECT_EQ(*calls, 1011);
}

// A reporter in a runtime package serves the other modules whose settings ask for it, unless
// the development environment runs the process.
TEST(LeakLibrary, AReporterInAPackageStartsTheServicesForTheModulesWhoseSettingsAskForThem)
{
    const std::wstring self = base::ModulePath(nullptr);
    const std::wstring folder = self.substr(0, self.find_last_of(L'\\') + 1);
    const base::Module package(::LoadLibraryW((folder + L"calibrate_module.bpl").c_str()));
    const base::Module leaky(::LoadLibraryW((folder + L"leaky_module.dll").c_str()));
    ASSERT_TRUE(package && leaky);
    const int* calls = reinterpret_cast<const int*>(::GetProcAddress(LeakLibrary().Module, "Calls"));
    ASSERT_TRUE(calls);
    const int before = *calls;
    StartLeakServicesOfOtherModules(::GetModuleHandleW(nullptr)); // a reporter in the program: nothing
    EXPECT_EQ(*calls, before);
    // In the package: leak checking (1, calibrated 10) and the debug memory manager for
    // underruns (20000) for the one module that asks; none for this program (its settings
    // ask for neither).
    StartLeakServicesOfOtherModules(package.Get());
    EXPECT_EQ(*calls, before + 20011);
    StopLeakServices();
    EXPECT_EQ(*calls, before + 21011);
}

} // namespace
} // namespace crash
