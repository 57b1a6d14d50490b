#include "crash/ui/report_settings.h"

#include "crash/ui/system_variables.h"

#include <gtest/gtest.h>

namespace crash {
namespace {

class Settings : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Main = ReportSettings::Create(nullptr);
        SetMainSettings(Main);
        ASSERT_TRUE(Main->IsValid());
    }
    void TearDown() override
    {
        Main->Reload(); // undo the in-memory writes for the next test
        SetMainSettings(nullptr);
        Main.reset();
    }
    std::shared_ptr<ReportSettings> Main;
};

TEST_F(Settings, StoredValuesThroughTheirAccessors)
{
    EXPECT_TRUE(Main->Enabled());
    EXPECT_TRUE(Main->LinkInSettings());
    EXPECT_TRUE(Main->LinkInMapFile());
    EXPECT_EQ(Main->FreezeTimeout(), 60000u);
    EXPECT_FALSE(Main->CrashOnOverrun());
    EXPECT_TRUE(Main->GetAutoSave());
    EXPECT_EQ(Main->GetSmtpPort(), 25u); // the first of the two records
    EXPECT_EQ(Main->GetHttpPort(), 80u);
    EXPECT_EQ(Main->GetSmtpServer(), "");
    EXPECT_EQ(Main->GetFocusedButton(), bSaveBugReport);
    EXPECT_EQ(Main->GetDupFreezeDef(), ddAllStacksIdentical);
    EXPECT_EQ(Main->GetFilter1ShowSetting(), ssSimpleBox);
    EXPECT_EQ(Main->GetScreenShotDepth(), 8);
    EXPECT_EQ(Main->GetBugReportFile(), u"bugreport.txt");
    EXPECT_EQ(Main->GetPrepareAttachMsg(), u"Preparing attachments...");
    EXPECT_EQ(Main->GetFilter1Classes(), u"EDBEditError");
    // Absent from the block: the main settings answer from the built-in defaults.
    EXPECT_EQ(Main->GetAutoDelay(), 60u);
    EXPECT_EQ(Main->GetMailFrom(), u"");
    // Names are case-sensitive.
    EXPECT_FALSE(Main->GetPropBool("autosave"));
}

TEST_F(Settings, TextsAreExpandedExceptTheFrozenMessage)
{
    const std::u16string exe = ModuleFileName(nullptr);
    EXPECT_EQ(Main->GetTitleBar(), exe);
    EXPECT_EQ(Main->GetMailSubject(), exe + u" - Bug report");
    // The report's own variables survive in a plain settings object.
    EXPECT_EQ(Main->GetBugTrackerTitle(), exe + u", %exceptMsg%");
    EXPECT_EQ(Main->GetBugTrackerDescription(), u"error details: \r\n%errorDetails%");
    Main->SetFrozenMsg(u"%appname% froze");
    EXPECT_EQ(Main->GetFrozenMsg(), u"%appname% froze");
    Main->SetExceptMsg(u"%AppName% at %LF%");
    EXPECT_EQ(Main->GetExceptMsg(), exe + u" at \r\n");
}

TEST_F(Settings, WritesAreCheckedAndSharedByTheModulesObjects)
{
    EXPECT_FALSE(Main->SetPropInt("AutoSave", 1)); // a boolean record
    EXPECT_TRUE(Main->SetPropBool("AutoSave", false));
    const std::shared_ptr<ReportSettings> second = ReportSettings::Create(nullptr);
    EXPECT_FALSE(second->GetAutoSave());
    EXPECT_TRUE(Main->SetPropStr("Brand new", u"x"));
    EXPECT_EQ(second->GetPropStr("Brand new"), u"x");
    Main->Reload();
    EXPECT_TRUE(second->GetAutoSave());

    const std::shared_ptr<ReportSettings> invalid =
        ReportSettings::Create(::GetModuleHandleW(L"kernel32.dll"));
    EXPECT_FALSE(invalid->IsValid());
    EXPECT_FALSE(invalid->SetPropBool("AutoSave", false));
    // Another module without a block asks the main settings.
    EXPECT_TRUE(invalid->GetAutoSave());
    Main->SetAutoDelay(99); // absent from the block: appended to it
    EXPECT_EQ(invalid->GetAutoDelay(), 99u);
}

TEST_F(Settings, PluginsList)
{
    EXPECT_TRUE(Main->GetPluginEnabled(u"processes"));
    EXPECT_FALSE(Main->GetPluginEnabled(u"process"));
    Main->SetPluginEnabled(u"processes", false);
    EXPECT_EQ(Main->GetPropStr("Plugins"), u"modules|hardware");
    Main->SetPluginEnabled(u"modules", false);
    Main->SetPluginEnabled(u"hardware", false);
    EXPECT_EQ(Main->GetPropStr("Plugins"), u"");
    Main->SetPluginEnabled(u"hardware", true);
    EXPECT_EQ(Main->GetPropStr("Plugins"), u"hardware");
    Main->SetPluginEnabled(u"hardware", true);
    Main->SetPluginEnabled(u"modules", true);
    EXPECT_EQ(Main->GetPropStr("Plugins"), u"hardware|modules");
}

TEST_F(Settings, AssistantsAndTheScreenshotForm)
{
    auto send = Main->FindAssistant(u"sendassistant");
    ASSERT_TRUE(send.has_value());
    EXPECT_EQ(send->Title, u"Send Assistant");
    EXPECT_EQ(send->Forms, (std::vector<std::u16string>{u"ContactForm", u"DetailsForm", u"ScrShotForm"}));
    Main->SetScreenShotDepth(0);
    send = Main->FindAssistant(u"SendAssistant");
    EXPECT_EQ(send->Forms, (std::vector<std::u16string>{u"ContactForm", u"DetailsForm"}));
    EXPECT_TRUE(Main->FindAssistant(u"PrintAssistant").has_value());
    Main->SetPropStr("Assistant2", u""); // the search ends here: Assistant3 is never seen
    EXPECT_FALSE(Main->FindAssistant(u"PrintAssistant").has_value());
    EXPECT_FALSE(Main->FindAssistant(u"NoSuchAssistant").has_value());
}

TEST_F(Settings, AdditionalFieldsAreWrittenBack)
{
    const auto fields = Main->GetAdditionalFields();
    EXPECT_EQ(fields, Main->GetAdditionalFields());
    EXPECT_EQ(fields->GetItemCount(), 0);
    fields->SetContent(u"Customer", u"  4711 ");
    fields->SetContent(u"Edition", u"Pro");
    EXPECT_EQ(Main->GetPropStr("AddFields"), u"Customer=4711|Edition=Pro");
    fields->Delete(u"customer");
    EXPECT_EQ(Main->GetPropStr("AddFields"), u"Edition=Pro");
}

} // namespace
} // namespace crash
