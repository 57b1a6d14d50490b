#include "crash/settings/report_settings.h"

#include "crash/settings/system_variables.h"

#include <gtest/gtest.h>

#include <map>

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
        Main.Reset();
    }
    base::ComPtr<ReportSettings> Main;
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
    const base::ComPtr<ReportSettings> second = ReportSettings::Create(nullptr);
    EXPECT_FALSE(second->GetAutoSave());
    EXPECT_TRUE(Main->SetPropStr("Brand new", u"x"));
    EXPECT_EQ(second->GetPropStr("Brand new"), u"x");
    Main->Reload();
    EXPECT_TRUE(second->GetAutoSave());

    const base::ComPtr<ReportSettings> invalid = ReportSettings::Create(::GetModuleHandleW(L"kernel32.dll"));
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

TEST_F(Settings, AdditionalAttachmentsAreReadAndWrittenBack)
{
    ASSERT_TRUE(
        Main->SetPropStr("AddAttachs", u"C:\\logs\\app.log|C:\\cfg.ini>settings.ini>files.zip>config"));
    const auto attachments = Main->GetAdditionalAttachments();
    EXPECT_EQ(attachments, Main->GetAdditionalAttachments());
    ASSERT_EQ(attachments->GetItemCount(), 2);
    TAttachment a;
    ASSERT_TRUE(attachments->GetItem(0, a));
    EXPECT_EQ(a.SendAsName, u"app.log");
    EXPECT_EQ(a.FieldName, u"app");
    ASSERT_TRUE(attachments->GetItem(1, a));
    EXPECT_EQ(a.ArchiveName, u"files.zip");
    EXPECT_EQ(a.FieldName, u"config");
    attachments->Delete(u"c:\\LOGS\\app.log");
    EXPECT_EQ(Main->GetPropStr("AddAttachs"), u"C:\\cfg.ini>settings.ini>files.zip>config");
    attachments->Add(u"D:\\dump.bin");
    EXPECT_EQ(Main->GetPropStr("AddAttachs"),
              u"C:\\cfg.ini>settings.ini>files.zip>config|D:\\dump.bin>dump.bin>>dump");
}

// Forms of edits and check boxes, as the assistant engine gives them.
struct TFakeItem : IVxAssistantItem
{
    TFakeItem(std::u16string name, bool edit) : FName(std::move(name)), FEdit(edit) {}
    std::u16string Name() override { return FName; }
    bool IsEdit() override { return FEdit; }
    std::u16string GetText() override { return Text; }
    void SetText(const std::u16string& text) override { Text = text; }
    bool IsCheckBox() override { return !FEdit; }
    bool GetChecked() override { return Checked; }
    void SetChecked(bool checked) override { Checked = checked; }
    std::u16string FName;
    bool FEdit;
    std::u16string Text;
    bool Checked = false;
};

struct TFakeForm : IVxAssistantForm
{
    int ItemCount() override { return static_cast<int>(Items.size()); }
    IVxAssistantItem* Item(int index) override { return &Items[static_cast<size_t>(index)]; }
    bool Continued() override { return Continue; }
    bool ContinueButtonEnabled() override { return Enabled; }
    std::u16string ContinueButtonName() override { return u"NextBtn"; }
    void SetActiveControl(const std::u16string& name) override { Active = name; }
    std::vector<TFakeItem> Items;
    bool Continue = true, Enabled = true;
    std::u16string Active;
};

struct TFakeAssistant : base::ComObject<IVxAssistant>
{
    int FormCount() override { return static_cast<int>(Forms.size()); }
    IVxAssistantForm* Form(int index) override { return &Forms[static_cast<size_t>(index)]; }
    std::vector<TFakeForm> Forms;
    std::u16string Title;
};

base::ComPtr<TFakeAssistant> ContactAndDetails()
{
    auto a = base::MakeCom<TFakeAssistant>();
    a->Forms.resize(2);
    a->Forms[0].Items = {TFakeItem(u"Name", true), TFakeItem(u"Mail", true), TFakeItem(u"Newsletter", false)};
    a->Forms[1].Items = {TFakeItem(u"Details", true), TFakeItem(u"Reproducible", false)};
    return a;
}

base::ComPtr<TFakeAssistant> Fake(const base::ComPtr<IVxAssistant>& assistant)
{
    return base::ComPtr<TFakeAssistant>::Share(static_cast<TFakeAssistant*>(assistant.Get()));
}

TEST_F(Settings, TheFormCacheRemembersWhatTheUserEntered)
{
    std::vector<std::u16string> loaded;
    SetAssistantLoader([&](HMODULE module, const std::u16string& title,
                           const std::vector<std::u16string>& forms,
                           ReportSettings* report) -> base::ComPtr<IVxAssistant> {
        EXPECT_EQ(module, Main->Module());
        EXPECT_EQ(report, nullptr); // plain settings hand no report object
        loaded = forms;
        auto a = ContactAndDetails();
        a->Title = title;
        return a;
    });
    Main->SetScreenShotDepth(0);
    auto first = Fake(Main->GetAssistant(u"SENDASSISTANT"));
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->Title, u"Send Assistant");
    EXPECT_EQ(loaded, (std::vector<std::u16string>{u"ContactForm", u"DetailsForm"}));
    EXPECT_EQ(first->Forms[0].Active, u""); // nothing cached yet
    // The user filled both forms and left the second one without continuing.
    first->Forms[0].Items[0].Text = u"Ada";
    first->Forms[0].Items[1].Text = u"ada@example.org";
    first->Forms[0].Items[2].Checked = true;
    first->Forms[1].Items[0].Text = u"It crashed.";
    first->Forms[1].Continue = false;
    Main->FillFormCache(*first);

    auto second = Fake(Main->GetAssistant(u"SendAssistant"));
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->Forms[0].Items[0].Text, u"Ada");
    EXPECT_EQ(second->Forms[0].Items[1].Text, u"ada@example.org");
    EXPECT_TRUE(second->Forms[0].Items[2].Checked);
    EXPECT_EQ(second->Forms[0].Active, u"NextBtn"); // restored completely
    EXPECT_EQ(second->Forms[1].Items[0].Text, u""); // that form was not continued
    EXPECT_EQ(second->Forms[1].Active, u"");
    // A form with an item the cache does not know, or a disabled continue button, keeps its
    // active control.
    auto third = ContactAndDetails();
    third->Forms[0].Items.emplace_back(u"Phone", true);
    third->Forms[1] = TFakeForm();
    third->Forms[1].Items = {TFakeItem(u"Name", true)};
    third->Forms[1].Enabled = false;
    Main->ReadFormCache(*third);
    EXPECT_EQ(third->Forms[0].Items[0].Text, u"Ada");
    EXPECT_EQ(third->Forms[0].Active, u"");
    EXPECT_EQ(third->Forms[1].Items[0].Text, u"Ada");
    EXPECT_EQ(third->Forms[1].Active, u"");

    EXPECT_EQ(Main->GetAssistant(u"NoSuchAssistant"), nullptr);
    SetAssistantLoader(nullptr);
    EXPECT_EQ(Main->GetAssistant(u"SendAssistant"), nullptr); // no engine, no assistant
}

TEST_F(Settings, ThroughTheInterfaces)
{
    IModuleReportSettings& module = *Main;
    IReportSettings& report = module;
    IReportSettingsEx& ex = *Main;
    EXPECT_TRUE(module.IsValid());
    EXPECT_EQ(report.Module(), ::GetModuleHandleW(nullptr));
    EXPECT_EQ(report.GetSmtpPort(), 25u);
    report.SetCloseBtnVisible(false);
    EXPECT_FALSE(ex.GetPropBool("CloseBtnVis"));
    EXPECT_EQ(module.GetGeneralShowSetting(), ssFullBox);
    EXPECT_EQ(ex.GetPropDw("FreezeTimeout"), 60000u);
    EXPECT_EQ(ex.GetSelf(), Main.Get());
}

TEST_F(Settings, EachInterfaceIsFoundThroughAnyOther)
{
    void* found = nullptr;
    ASSERT_EQ(Main->QueryInterface(IID_IReportSettings, &found), S_OK);
    const auto report = base::ComPtr<IReportSettings>::Adopt(static_cast<IReportSettings*>(found));
    EXPECT_EQ(report->GetSmtpPort(), 25u);
    ASSERT_EQ(report->QueryInterface(IID_IReportSettingsEx, &found), S_OK);
    const auto ex = base::ComPtr<IReportSettingsEx>::Adopt(static_cast<IReportSettingsEx*>(found));
    EXPECT_EQ(ex->GetSelf(), Main.Get());
    ASSERT_EQ(ex->QueryInterface(IID_IModuleReportSettings, &found), S_OK);
    base::ComPtr<IModuleReportSettings>::Adopt(static_cast<IModuleReportSettings*>(found));
    EXPECT_EQ(ex->QueryInterface(IID_IReportFields, &found), E_NOINTERFACE);
    const base::ComPtr<IReportFields> fields = Main->GetAdditionalFields();
    ASSERT_EQ(fields->QueryInterface(IID_IReportFieldsEx, &found), S_OK);
    base::ComPtr<IReportFieldsEx>::Adopt(static_cast<IReportFieldsEx*>(found));
}

} // namespace
} // namespace crash
