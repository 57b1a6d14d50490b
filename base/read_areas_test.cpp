#include "base/read_areas.h"

#include <gtest/gtest.h>

namespace base {
namespace {

TEST(ReadAreas, ClassesByStateAndProtection)
{
    EXPECT_EQ(ReadClass(true, 0x04), rcReadable);     // read-write
    EXPECT_EQ(ReadClass(true, 0x20), rcReadable);     // execute-read
    EXPECT_EQ(ReadClass(true, 0x10), rcExecuteOnly);  // execute
    EXPECT_EQ(ReadClass(true, 0x01), rcNotReadable);  // no access
    EXPECT_EQ(ReadClass(true, 0x104), rcNotReadable); // guard page
    EXPECT_EQ(ReadClass(false, 0x04), rcNotReadable); // reserved or free
    EXPECT_EQ(ReadClass(true, 0x80), rcNotReadable);  // execute-write-copy lies outside the mask
}

TEST(ReadAreas, AdjacentRegionsMergeAndAReadMayNotSpanTwoAreas)
{
    std::vector<TTryRead> areas;
    AddRegion(areas, 0x0000, 0x1000, rcNotReadable);
    AddRegion(areas, 0x1000, 0x1000, rcReadable);
    AddRegion(areas, 0x2000, 0x1000, rcReadable);
    AddRegion(areas, 0x3000, 0x1000, rcExecuteOnly);
    AddRegion(areas, 0x4000, 0, rcReadable);
    ASSERT_EQ(areas.size(), 3u);
    EXPECT_EQ(areas[1].AreaBegin, 0x1000u);
    EXPECT_EQ(areas[1].AreaEnd, 0x2FFFu);
    EXPECT_EQ(AreaOf(areas, 0x1FF0, 0x20)->Flags, rcReadable); // inside the merged area
    EXPECT_EQ(AreaOf(areas, 0x2FF0, 0x20), nullptr);           // readable into execute-only
    EXPECT_EQ(AreaOf(areas, 0x3000, 0x1000)->Flags, rcExecuteOnly);
    EXPECT_EQ(AreaOf(areas, 0x3FFF, 2), nullptr); // past the table
    EXPECT_EQ(AreaOf(areas, 0x1000, 0), nullptr);
    EXPECT_EQ(AreaOf(areas, UINTPTR_MAX, 2), nullptr); // wraps around
}

} // namespace
} // namespace base
