// Import patches of a function that is only a jump through a cell: the cell is re-pointed
// too, the hook calls on to the former target, undo restores the cell.

#include "crash/core/intercept/import_patches_win.h"

#include "base/proc_address.h"
#include "base/win_handle.h"

#include <gtest/gtest.h>

namespace crash {
namespace {

using TFunction = int (*)();
TFunction Original = nullptr;

int Hook()
{
    return Original ? 10 + Original() : -1;
}

TEST(ImportPatches, AStubThatJumpsThroughACellLeadsCallersByNameToTheHook)
{
    const base::Module module(::LoadLibraryW(L"stub_module.dll"));
    ASSERT_TRUE(module);
    const auto stub = base::ProcAddress<TFunction>(module.Get(), "Stub");
    const auto target = base::ProcAddress<TFunction>(module.Get(), "Target");
    ASSERT_TRUE(stub && target);
    ASSERT_EQ(stub(), 1);
    {
        TPatches patches;
        PatchImports(patches, {{reinterpret_cast<const void*>(stub), reinterpret_cast<const void*>(&Hook),
                                reinterpret_cast<void**>(&Original)}});
        EXPECT_EQ(Original, target); // the hook calls on where the stub went
        EXPECT_EQ(stub(), 11);
        EXPECT_GE(patches.Count(), 1u);
    }
    EXPECT_EQ(stub(), 1); // the patches' end restored the cell
}

} // namespace
} // namespace crash
