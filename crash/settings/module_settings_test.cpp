#include "crash/settings/module_settings.h"

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
    // This test's own code, directly and through the caller chain.
    EXPECT_EQ(CallerModuleSettings()->Module(), ::GetModuleHandleW(nullptr));
    EXPECT_EQ(CallerModuleSettingsAtDepth(0)->Module(), ::GetModuleHandleW(nullptr));
    EXPECT_EQ(CallerModuleSettingsAtDepth(1000)->Module(), ::GetModuleHandleW(nullptr)); // past the chain

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
