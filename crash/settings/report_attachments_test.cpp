#include "crash/settings/report_attachments.h"

#include <gtest/gtest.h>

namespace crash {
namespace {

TEST(ReportAttachments, DefaultsOfMissingParts)
{
    auto list = ReportAttachments::Create();
    int changes = 0;
    list->OnChange = [&] { ++changes; };
    list->Add(u"");
    EXPECT_EQ(list->GetItemCount(), 0); // no file, no entry
    list->Add(u"C:\\logs\\trace.log.txt");
    list->Add(u"C:\\data\\config", u"", u"files.zip");
    list->Add(u"D:\\x.bin", u"sent.bin", u"", u"upload");
    ASSERT_EQ(list->GetItemCount(), 3);
    TAttachment a;
    ASSERT_TRUE(list->GetItem(0, a));
    EXPECT_EQ(a.SendAsName, u"trace.log.txt");
    EXPECT_EQ(a.FieldName, u"trace.log"); // up to the last extension
    EXPECT_EQ(a.ArchiveName, u"");
    ASSERT_TRUE(list->GetItem(1, a));
    EXPECT_EQ(a.FieldName, u"config"); // no extension: the whole name
    EXPECT_EQ(a.ArchiveName, u"files.zip");
    ASSERT_TRUE(list->GetItem(2, a));
    EXPECT_EQ(a.FieldName, u"upload");
    EXPECT_FALSE(list->GetItem(3, a));
    EXPECT_FALSE(list->GetItem(-1, a));
    EXPECT_EQ(changes, 3);
}

TEST(ReportAttachments, DeleteClearAndClone)
{
    auto list = ReportAttachments::Create();
    list->Add(u"C:\\A.txt");
    list->Add(u"C:\\b.txt");
    list->Add(u"C:\\a.txt", u"second.txt");
    int changes = 0;
    list->OnChange = [&] { ++changes; };
    EXPECT_TRUE(list->Delete(u"c:\\a.TXT")); // the first of that name, letter case ignored
    EXPECT_FALSE(list->Delete(u"C:\\none.txt"));
    TAttachment a;
    ASSERT_TRUE(list->GetItem(1, a));
    EXPECT_EQ(a.SendAsName, u"second.txt");
    auto copy = list->Clone();
    EXPECT_FALSE(static_cast<ReportAttachments*>(copy.Get())->OnChange); // unbound
    ASSERT_EQ(copy->GetItemCount(), 2);
    list->Clear();
    list->Clear(); // nothing left: no change
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(copy->GetItemCount(), 2);
    list->ClearParent();
    list->Add(u"C:\\c.txt");
    EXPECT_EQ(changes, 2);
}

} // namespace
} // namespace crash
