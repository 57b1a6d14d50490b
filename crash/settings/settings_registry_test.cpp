#include "crash/settings/settings_registry.h"

#include "base/proc_address.h"
#include "base/win_handle.h"
#include "crash/settings/settings_resource.h"

#include <gtest/gtest.h>

#include <string>

namespace crash {
namespace {

bool RegistryPublished()
{
    base::KernelHandle memory(::OpenFileMappingW(FILE_MAP_READ, FALSE, SettingsBufferName().c_str()));
    return memory.Valid();
}

TEST(SettingsRegistry, NamesCarryTheProcessIdInLowerCaseHex)
{
    wchar_t id[16];
    wsprintfW(id, L"%lx", ::GetCurrentProcessId());
    EXPECT_EQ(SettingsBufferName(), std::wstring(L"VexcatchSettingsBuf2") + id);
    EXPECT_EQ(SettingsMutexName(), std::wstring(L"VexcatchSettingsMtx") + id);
}

TEST(SettingsRegistry, OneRegistryForTwoModulesReleasedByTheLast)
{
    base::Module dll(::LoadLibraryW(L"settings_registry_module.dll"));
    ASSERT_TRUE(dll.Valid());
    using Acquire = SettingsRegistry* (*)();
    using Release = void (*)(SettingsRegistry*);
    using AcquireOwn = ModuleSettingsBlock* (*)(HMODULE);
    using ReleaseOwn = void (*)(ModuleSettingsBlock*);
    auto moduleAcquire = base::ProcAddress<Acquire>(dll.Get(), "ModuleAcquireRegistry");
    auto moduleRelease = base::ProcAddress<Release>(dll.Get(), "ModuleReleaseRegistry");
    auto moduleOwn = base::ProcAddress<AcquireOwn>(dll.Get(), "ModuleAcquireOwnSettings");
    auto moduleReleaseOwn = base::ProcAddress<ReleaseOwn>(dll.Get(), "ModuleReleaseSettings");
    ASSERT_TRUE(moduleAcquire && moduleRelease && moduleOwn && moduleReleaseOwn);

    EXPECT_FALSE(RegistryPublished());
    SettingsRegistry* mine = AcquireSettingsRegistry();
    ASSERT_NE(mine, nullptr);
    EXPECT_TRUE(RegistryPublished());
    SettingsRegistry* theirs = moduleAcquire();
    EXPECT_EQ(theirs, mine);
    EXPECT_EQ(mine->RefCount, 2);

    // Both modules' blocks end up in the one list.
    ModuleSettingsBlock* exeBlock = AcquireModuleSettings(::GetModuleHandleW(nullptr));
    ModuleSettingsBlock* dllBlock = moduleOwn(dll.Get());
    ASSERT_NE(exeBlock, nullptr);
    ASSERT_NE(dllBlock, nullptr);
    EXPECT_EQ(mine->Head, exeBlock);
    EXPECT_EQ(exeBlock->Next, dllBlock);
    EXPECT_EQ(AcquireModuleSettings(::GetModuleHandleW(nullptr)), exeBlock);
    EXPECT_EQ(exeBlock->RefCount, 2);
    EXPECT_EQ(exeBlock->List.Find("SmtpPort")->IntValue, 25);

    // A write through one reference is seen by every user of the module's block; a reload
    // parses the resource again.
    exeBlock->List.Find("SmtpPort")->IntValue = 2525;
    ReloadModuleSettings(exeBlock);
    EXPECT_EQ(exeBlock->List.Find("SmtpPort")->IntValue, 25);

    ReleaseModuleSettings(exeBlock);
    ReleaseModuleSettings(exeBlock);
    moduleReleaseOwn(dllBlock);
    EXPECT_EQ(mine->Head, nullptr);
    moduleRelease(theirs);
    EXPECT_TRUE(RegistryPublished());
    ReleaseSettingsRegistry(mine);
    EXPECT_FALSE(RegistryPublished());
}

TEST(SettingsRegistry, ABlockWithAnotherHeaderIsRegisteredWithAnEmptyList)
{
    // A copy of the test module whose one resource is a settings block of another class.
    wchar_t exe[MAX_PATH];
    const DWORD length = ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring folder(exe, length);
    folder.resize(folder.find_last_of(L'\\') + 1);
    const std::wstring copy = folder + L"bad_header_module.dll";
    ASSERT_TRUE(::CopyFileW((folder + L"settings_registry_module.dll").c_str(), copy.c_str(), FALSE));
    HANDLE update = ::BeginUpdateResourceW(copy.c_str(), TRUE);
    ASSERT_NE(update, nullptr);
    char block[] = "TPF0\x09TVexCatch\x08Vexcatch\x04\x41\x42\x43\x44\x09\x00\x00";
    ASSERT_TRUE(::UpdateResourceW(update, MAKEINTRESOURCEW(10), L"TVEXCATCH",
                                  MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL), block, sizeof block));
    ASSERT_TRUE(::EndUpdateResourceW(update, FALSE));
    {
        base::Module dll(::LoadLibraryExW(copy.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
        ASSERT_TRUE(dll.Valid());
        ASSERT_FALSE(SettingsResource(dll.Get()).empty());
        ModuleSettingsBlock* found = AcquireModuleSettings(dll.Get());
        ASSERT_NE(found, nullptr);
        EXPECT_EQ(found->List.Count(), 0u);
        ReleaseModuleSettings(found);
    }
    EXPECT_FALSE(RegistryPublished());
    ::DeleteFileW(copy.c_str());
}

TEST(SettingsRegistry, AModuleWithoutABlockIsNotRegistered)
{
    EXPECT_EQ(AcquireModuleSettings(::GetModuleHandleW(L"kernel32.dll")), nullptr);
    EXPECT_FALSE(RegistryPublished());
}

} // namespace
} // namespace crash
