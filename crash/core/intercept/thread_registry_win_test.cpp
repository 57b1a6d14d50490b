// The thread registry in this process, and shared with a second module that carries its own
// copy of the registry's code (testing/registry_module.cpp).

#include "crash/core/intercept/thread_registry_win.h"

#include "base/proc_address.h"
#include "base/win_handle.h"

#include <gtest/gtest.h>

namespace crash {
namespace {

std::string NameOf(DWORD thread)
{
    return LookupThreadInfo(thread).value_or(TThreadInfo{}).Name;
}

DWORD WINAPI Return(void*)
{
    return 0;
}

class ThreadRegistry : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_EQ(AttachThreadRegistry(), TRegistryAttach::Attached); }
    void TearDown() override { DetachThreadRegistry(); }
};

TEST_F(ThreadRegistry, KeepsWhatIsNotGivenAgainAndForgetsAThreadRegisteredWithNothing)
{
    EXPECT_EQ(NameOf(RegistryMainThreadId()), "main thread");
    EXPECT_NE(ThreadRegistryMutex(), nullptr);
    RegisterThreadInfo(4242, nullptr, "first", 7, 0x401000, nullptr);
    RegisterThreadInfo(4242, nullptr, nullptr, 0, 0, "TWorker"); // the class only
    auto info = LookupThreadInfo(4242);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->Name, "first");
    EXPECT_EQ(info->ClassName, "TWorker");
    EXPECT_EQ(info->CreatorThreadId, 7u);
    EXPECT_EQ(info->CreatorAddress, 0x401000u);
    RegisterThreadInfo(4242, nullptr, "second", 0, 0, nullptr);
    EXPECT_EQ(NameOf(4242), "second");
    UnregisterThread(4242);
    EXPECT_FALSE(LookupThreadInfo(4242));

    const std::string longName(300, 'n'); // a packed name holds 255 bytes
    RegisterThreadInfo(4243, nullptr, longName.c_str(), 0, 0, nullptr);
    EXPECT_EQ(NameOf(4243), longName.substr(0, 255));
    UnregisterThread(4243);
}

TEST_F(ThreadRegistry, DropsTheEntriesOfThreadsThatEnded)
{
    DWORD id = 0;
    const base::KernelHandle thread(::CreateThread(nullptr, 0, &Return, nullptr, CREATE_SUSPENDED, &id));
    ASSERT_TRUE(thread);
    RegisterThreadInfo(id, thread.Get(), "short-lived", 0, 0, nullptr);
    EXPECT_EQ(NameOf(id), "short-lived");
    ::ResumeThread(thread.Get());
    ::WaitForSingleObject(thread.Get(), INFINITE);
    RegisterThreadInfo(::GetCurrentThreadId(), nullptr, "any registration purges", 0, 0, nullptr);
    EXPECT_FALSE(LookupThreadInfo(id));
}

TEST_F(ThreadRegistry, IsSharedWithTheOtherModulesOfTheProcess)
{
    const base::Module module(::LoadLibraryW(L"registry_module.dll"));
    ASSERT_TRUE(module);
    const auto attach = base::ProcAddress<int (*)()>(module.Get(), "ModuleAttach");
    const auto detach = base::ProcAddress<void (*)()>(module.Get(), "ModuleDetach");
    const auto mainThread = base::ProcAddress<DWORD (*)()>(module.Get(), "ModuleMainThread");
    const auto name = base::ProcAddress<void (*)(DWORD, const char*)>(module.Get(), "ModuleName");
    const auto lookup = base::ProcAddress<int (*)(DWORD, char*, int)>(module.Get(), "ModuleLookup");
    ASSERT_TRUE(attach && detach && mainThread && name && lookup);

    ASSERT_TRUE(attach());
    EXPECT_EQ(mainThread(), RegistryMainThreadId()); // the oldest entry
    name(5151, "named by the module");
    EXPECT_EQ(NameOf(5151), "named by the module");
    RegisterThreadInfo(5152, nullptr, "named here", 0, 0, nullptr);
    char seen[64] = {};
    ASSERT_TRUE(lookup(5152, seen, sizeof seen));
    EXPECT_STREQ(seen, "named here");
    detach();
    // The block outlives the module that attached last but not first.
    EXPECT_EQ(NameOf(5151), "named by the module");
    UnregisterThread(5151);
    UnregisterThread(5152);
}

TEST_F(ThreadRegistry, TheLastModuleToDetachFreesTheBlock)
{
    RegisterThreadInfo(6161, nullptr, "forgotten", 0, 0, nullptr);
    ASSERT_TRUE(LookupThreadInfo(6161));
    DetachThreadRegistry();
    ASSERT_EQ(AttachThreadRegistry(), TRegistryAttach::Attached);
    EXPECT_FALSE(LookupThreadInfo(6161)); // a new block
    EXPECT_EQ(NameOf(RegistryMainThreadId()), "main thread");
}

} // namespace
} // namespace crash
