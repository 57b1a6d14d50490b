#pragma once
// ReportSettings: the typed view of one module's settings. Reads look the property up in
// the module's block (first exact match), then, for the main settings, in the built-in
// defaults; other modules ask the main settings. Texts come back with their variables
// expanded (FrozenMsg excepted). Writes change the module's block in memory only, and are
// refused for a module without a block or for a record of another kind.
//
// The report object of the handling pipeline derives from this class and overrides the
// lookup (FindProp) to put its own per-report records first.

#include "crash/ui/report_fields.h"
#include "crash/ui/settings_property.h"
#include "crash/ui/settings_registry.h"
#include "crash/ui/text_variables.h"

#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace crash {

enum ShowSetting : int32_t
{
    ssFullBox,
    ssAssistant,
    ssDetailBox,
    ssSimpleBox,
    ssNothing
};
enum ReportButton : int32_t
{
    bSendBugReport,
    bSaveBugReport,
    bPrintBugReport,
    bShowBugReport,
    bContinueApplication,
    bRestartApplication,
    bCloseApplication
};
enum DupDef : int32_t
{
    ddExceptAddrIdentical,
    ddCrashStackIdentical,
    ddAllStacksIdentical
};

// One "Assistant"n setting: the assistant's name, its title and its forms in order.
struct TAssistantEntry
{
    std::u16string Name, Title;
    std::vector<std::u16string> Forms;
};

using VxType_Bool = bool;
using VxType_Card = uint32_t;
using VxType_Int = int32_t;
using VxType_Ansi = std::string;
using VxType_Text = std::u16string;
using VxType_ShowSetting = ShowSetting;
using VxType_ReportButton = ReportButton;
using VxType_DupDef = DupDef;

class ReportSettings : public std::enable_shared_from_this<ReportSettings>
{
public:
    // The settings of `module` (null: the executable).
    static std::shared_ptr<ReportSettings> Create(HMODULE module);
    ReportSettings(const ReportSettings&) = delete;
    ReportSettings& operator=(const ReportSettings&) = delete;
    virtual ~ReportSettings();

    bool IsValid() const noexcept { return FValid; }
    HMODULE Module() const noexcept { return FModule; }

#define VX_SETTING(Stem, Name, Type)                                                                         \
    VxType_##Type Get##Stem();                                                                               \
    void Set##Stem(VxType_##Type value);
#include "crash/ui/report_settings_list.h"
#undef VX_SETTING

    bool Enabled();
    bool LinkInSettings();
    bool LinkInMapFile();
    bool CheckFileCrc();
    bool CheckForFreeze();
    uint32_t FreezeTimeout();
    bool ReportLeaks();
    bool CrashOnOverrun();
    bool CrashOnUnderrun();
    int32_t VersionVar();

    bool GetPluginEnabled(const std::u16string& plugin);
    void SetPluginEnabled(const std::u16string& plugin, bool value);
    // The fields of AddFields; changes to the list are written back into AddFields.
    std::shared_ptr<ReportFields> GetAdditionalFields();
    // The "Assistant"n entry named `name` (letter case ignored), with the screenshot form
    // left out while screenshots are off.
    std::optional<TAssistantEntry> FindAssistant(const std::u16string& name);
    void Reload();

    bool GetPropBool(std::string_view name);
    int32_t GetPropInt(std::string_view name);
    uint32_t GetPropDw(std::string_view name)
    {
        return static_cast<uint32_t>(GetPropInt(name));
    }
    std::u16string GetPropStr(std::string_view name);
    bool SetPropBool(std::string_view name, bool value);
    bool SetPropInt(std::string_view name, int32_t value);
    bool SetPropDw(std::string_view name, uint32_t value)
    {
        return SetPropInt(name, static_cast<int32_t>(value));
    }
    bool SetPropStr(std::string_view name, const std::u16string& value);

    // The texts' variables as this object expands them.
    std::u16string ExpandTextVariables(const std::u16string& text);

protected:
    ReportSettings(HMODULE module, bool init);
    // The record answering for `name`, or null when this object knows none (the question
    // then goes to the main settings unless this is the main settings).
    virtual const SettingsProperty* FindProp(std::string_view name);
    // The list that writes go to; null when writes are refused.
    virtual TSettingsList* WritableList();
    // The report's own variables; a plain settings object keeps them for the report.
    virtual void ReportVariables(TTextVariables& values);
    virtual bool ScreenshotsOff();
    bool IsMainSettings() const;

private:
    const SettingsProperty* Lookup(std::string_view name, std::shared_ptr<ReportSettings>& asked);
    SettingsProperty* Writable(std::string_view name, TPropertyType type);

    bool FValid = false;
    HMODULE FModule = nullptr;
    ModuleSettingsBlock* FSettings = nullptr;
    std::u16string FVersionVar;
    std::shared_ptr<ReportFields> FAddFields;
};

// The process's main settings (made at start-up); null before.
std::shared_ptr<ReportSettings> MainSettings();
void SetMainSettings(std::shared_ptr<ReportSettings> settings);

} // namespace crash
