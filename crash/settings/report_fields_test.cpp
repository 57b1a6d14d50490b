#include "crash/settings/report_fields.h"

#include <gtest/gtest.h>

namespace crash {
namespace {

std::u16string Order(const ReportFields& f)
{
    std::u16string out;
    for (int i = 0; i < f.GetItemCount(); ++i)
        out += (i ? u"," : u"") + f.GetItem(i) + u"=" + f.GetContent(f.GetItem(i));
    return out;
}

TEST(ReportFields, WritesWaitForAcceptDataAndContentsAreTrimmed)
{
    ReportFields f;
    int changes = 0;
    f.OnChange = [&] { ++changes; };
    f.SetContent(u"Name", u"x");
    EXPECT_EQ(f.GetItemCount(), 0);
    f.AcceptData();
    f.SetContent(u"Name", u"\t  Ada \r\n");
    EXPECT_EQ(f.GetContent(u"NAME"), u"Ada");
    EXPECT_EQ(changes, 1);
    f.SetContent(u"Name", u"Ada"); // identical: no change
    EXPECT_EQ(changes, 1);
    f.SetContent(u"NAME", u"Ada"); // new spelling of the name
    EXPECT_EQ(f.GetItem(0), u"NAME");
    EXPECT_EQ(changes, 2);
    f.SetContent(u"name", u"   "); // blanks only delete the item
    EXPECT_EQ(f.GetItemCount(), 0);
    EXPECT_EQ(changes, 3);
}

TEST(ReportFields, InsertMovesAnExistingNameAndTheAddIndexFollows)
{
    ReportFields f;
    f.AcceptData();
    f.Add(u"a", u"1");
    f.Add(u"b", u"2");
    f.Add(u"c", u"3");
    f.Insert(0, u"C", u"3"); // moves c to the front, with the new spelling
    EXPECT_EQ(Order(f), u"C=3,a=1,b=2");
    f.Insert(3, u"a", u"1"); // from position 1 to the end: the index moves down by one
    EXPECT_EQ(Order(f), u"C=3,b=2,a=1");
    f.Insert(99, u"z", u"9");
    EXPECT_EQ(Order(f), u"C=3,b=2,a=1,z=9");

    f.SetAddIndex(1);
    f.SetContent(u"x", u"new");
    f.SetContent(u"y", u"newer");
    EXPECT_EQ(Order(f), u"C=3,x=new,y=newer,b=2,a=1,z=9");
    f.Delete(0); // below the add index: it moves down
    f.SetContent(u"w", u"w");
    EXPECT_EQ(Order(f), u"x=new,y=newer,w=w,b=2,a=1,z=9");
    f.Delete(42);
    f.Delete(u"Y");
    EXPECT_EQ(Order(f), u"x=new,w=w,b=2,a=1,z=9");

    // Moving a name from below the add index to the end takes the index down with it,
    // as deleting it would.
    ReportFields g;
    g.AcceptData();
    for (const char16_t* n : {u"a", u"b", u"c", u"d"})
        g.Add(n, u"1");
    g.SetAddIndex(3);
    g.Insert(4, u"a", u"2");
    g.SetContent(u"new", u"3");
    EXPECT_EQ(Order(g), u"b=1,c=1,new=3,d=1,a=2");
}

TEST(ReportFields, RenameCloneAndDetach)
{
    ReportFields f;
    f.AcceptData();
    f.Add(u"a", u"1");
    int changes = 0;
    f.OnChange = [&] { ++changes; };
    f.SetItem(0, u"a");
    f.SetItem(5, u"q");
    EXPECT_EQ(changes, 0);
    f.SetItem(0, u"Alpha");
    EXPECT_EQ(changes, 1);
    const auto copy = f.Clone();
    copy->Add(u"b", u"2");
    EXPECT_EQ(copy->GetItemCount(), 2);
    EXPECT_EQ(f.GetItemCount(), 1);
    f.ClearParent();
    f.Add(u"c", u"3");
    EXPECT_EQ(changes, 1);
    EXPECT_TRUE(SameName(u"\u00e4x", u"\u00c4X"));
    EXPECT_FALSE(SameName(u"\u00f7", u"\u00d7"));
}

} // namespace
} // namespace crash
