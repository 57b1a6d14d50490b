#include "crash/settings/module_settings.h"

#include "base/proc_address.h"
#include "base/win_handle.h"

#include <gtest/gtest.h>

namespace crash {
namespace {

TEST(ModuleSettings, TheModuleOfACodeAddressOrTheLinkedInSettings)
{
    EXPECT_EQ(ReporterModule(), ::GetModuleHandleW(nullptr));
    const base::ComPtr<ReportSettings> exe = ModuleSettingsFor(nullptr);
    EXPECT_EQ(exe->Module(), ::GetModuleHandleW(nullptr));
    EXPECT_FALSE(ReporterShared()); // one module's block so far

    base::Module dll(::LoadLibraryW(L"settings_registry_module.dll"));
    ASSERT_TRUE(dll.Valid());
    const void* inDll = reinterpret_cast<const void*>(::GetProcAddress(dll.Get(), "ModuleAcquireRegistry"));
    const base::ComPtr<ReportSettings> dllSettings = CallerModuleSettings(inDll);
    EXPECT_EQ(dllSettings->Module(), dll.Get());
    EXPECT_TRUE(dllSettings->IsValid());
    EXPECT_TRUE(ReporterShared()); // two modules have registered their blocks now

    // Code of a module without a block, and the reporter's own code: the reporter's settings.
    const void* inKernel =
        reinterpret_cast<const void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "Sleep"));
    EXPECT_EQ(CallerModuleSettings(inKernel)->Module(), ::GetModuleHandleW(nullptr));
    EXPECT_EQ(CallerModuleSettings(reinterpret_cast<const void*>(&ReporterModule))->Module(),
              ::GetModuleHandleW(nullptr));
    EXPECT_EQ(CallerModuleSettings(nullptr)->Module(), ::GetModuleHandleW(nullptr));
    // Called from the module's code: the module's settings; one frame further up the
    // chain is this test's code; past the end of the chain, the reporter's settings.
    using Probe = base::ComPtr<ReportSettings> (*)();
    using DepthProbe = base::ComPtr<ReportSettings> (*)(unsigned);
    auto callProbe = base::ProcAddress<HMODULE (*)(Probe)>(dll.Get(), "ModuleCallProbe");
    auto callDepthProbe =
        base::ProcAddress<HMODULE (*)(DepthProbe, unsigned)>(dll.Get(), "ModuleCallDepthProbe");
    ASSERT_TRUE(callProbe && callDepthProbe);
    Probe caller = &CallerModuleSettings;
    EXPECT_EQ(callProbe(caller), dll.Get());
    EXPECT_EQ(callDepthProbe(&CallerModuleSettingsAtDepth, 0), dll.Get());
    EXPECT_EQ(callDepthProbe(&CallerModuleSettingsAtDepth, 1), ::GetModuleHandleW(nullptr));
    EXPECT_EQ(CallerModuleSettingsAtDepth(1000)->Module(), ::GetModuleHandleW(nullptr));

    // A module without a block, while the reporter is shared: the linked-in settings.
    EXPECT_EQ(ModuleSettingsFor(::GetModuleHandleW(L"kernel32.dll"))->Module(), ::GetModuleHandleW(nullptr));
    EXPECT_EQ(FindLinkedSettings()->Module(), ::GetModuleHandleW(nullptr));
}

TEST(ModuleSettings, SettingsThatAreNotLinkedInArePassedOver)
{
    const base::ComPtr<ReportSettings> exe = ReportSettings::Create(nullptr);
    ASSERT_TRUE(exe->SetPropBool("NoSettings", true));
    base::Module dll(::LoadLibraryW(L"settings_registry_module.dll"));
    ASSERT_TRUE(dll.Valid());
    // The reporter's module is not linked in: the walk finds the module's image instead.
    EXPECT_EQ(FindLinkedSettings()->Module(), dll.Get());
    EXPECT_EQ(ModuleSettingsFor(nullptr)->Module(), dll.Get());
    exe->Reload();
    EXPECT_EQ(FindLinkedSettings()->Module(), ::GetModuleHandleW(nullptr));
}

} // namespace
} // namespace crash
