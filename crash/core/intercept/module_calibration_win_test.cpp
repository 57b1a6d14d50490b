// The calibration of a runtime package from its resource, and of none where the resource
// was made for the other kind of module.

#include "crash/core/intercept/module_calibration_win.h"

#include "base/win_handle.h"

#include <gtest/gtest.h>

namespace crash {
namespace {

const IMAGE_OPTIONAL_HEADER32& Header(HMODULE module)
{
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(module);
    return reinterpret_cast<const IMAGE_NT_HEADERS32*>(reinterpret_cast<const uint8_t*>(module) +
                                                       dos->e_lfanew)
        ->OptionalHeader;
}

TEST(ModuleCalibration, CorrectsThePackagesHeaderFromItsResource)
{
    const base::Module package(::LoadLibraryW(L"calibrate_module.bpl"));
    ASSERT_TRUE(package);
    EXPECT_GE(CalibrateModules(nullptr), 1); // found among the loaded modules by its name
    const auto base = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(package.Get()));
    const IMAGE_OPTIONAL_HEADER32& o = Header(package.Get());
    EXPECT_EQ(o.BaseOfCode, CalibrationCodeMarker() - 0x10 - base);
    EXPECT_EQ(o.BaseOfData, CalibrationDataMarker() - 0x20 - base);
    EXPECT_EQ(o.SizeOfCode, 0x12340u);
    EXPECT_EQ(o.SizeOfInitializedData, 0x4560u);
    EXPECT_EQ(o.SizeOfUninitializedData, 0x780u);
}

TEST(ModuleCalibration, IgnoresAResourceMadeForTheOtherKindOfModuleAndModulesWithout)
{
    const base::Module package(::LoadLibraryW(L"calibrate_wrong.bpl"));
    ASSERT_TRUE(package);
    const IMAGE_OPTIONAL_HEADER32 before = Header(package.Get());
    EXPECT_FALSE(CalibrateModule(package.Get(), false));
    EXPECT_EQ(Header(package.Get()).SizeOfCode, before.SizeOfCode);
    EXPECT_EQ(Header(package.Get()).BaseOfCode, before.BaseOfCode);
    EXPECT_FALSE(CalibrateModule(::GetModuleHandleW(nullptr), true)); // this test carries none
}

} // namespace
} // namespace crash
