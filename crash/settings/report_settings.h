#pragma once
// ReportSettings: the typed view of one module's settings. Reads look the property up in
// the module's block (first exact match), then, for the main settings, in the built-in
// defaults; other modules ask the main settings. Texts come back with their variables
// expanded (FrozenMsg excepted). Writes change the module's block in memory only, and are
// refused for a module without a block or for a record of another kind.
//
// The report object of the handling pipeline derives from this class and overrides the
// lookup (FindProp) to put its own per-report records first.

#include "base/com_object.h"
#include "base/com_ptr.h"
#include "base/srw_lock.h"
#include "crash/settings/report_attachments.h"
#include "crash/settings/report_fields.h"
#include "crash/settings/report_settings_interfaces.h"
#include "crash/settings/settings_property.h"
#include "crash/settings/settings_registry.h"
#include "crash/settings/text_variables.h"

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace crash {

// One "Assistant"n setting: the assistant's name, its title and its forms in order.
struct TAssistantEntry
{
    std::u16string Name, Title;
    std::vector<std::u16string> Forms;
};

class ReportSettings : public base::ComObject<IModuleReportSettings, IReportSettingsEx>
{
public:
    // The settings of `module` (null: the executable).
    static base::ComPtr<ReportSettings> Create(HMODULE module);
    ReportSettings(const ReportSettings&) = delete;
    ReportSettings& operator=(const ReportSettings&) = delete;
    ~ReportSettings() override;

    bool IsValid() override { return FValid; }
    HMODULE Module() override { return FModule; }

#define VX_SETTING(Stem, Name, Type)                                                                         \
    VxType_##Type Get##Stem() override;                                                                      \
    void Set##Stem(VxType_##Type value) override;
#include "crash/settings/report_settings_list.h"
#undef VX_SETTING

    bool Enabled() override;
    bool LinkInSettings() override;
    bool LinkInMapFile() override;
    bool CheckFileCrc() override;
    bool CheckForFreeze() override;
    uint32_t FreezeTimeout() override;
    bool ReportLeaks() override;
    bool CrashOnOverrun() override;
    bool CrashOnUnderrun() override;
    int32_t VersionVar() override;

    bool GetPluginEnabled(const std::u16string& plugin) override;
    void SetPluginEnabled(const std::u16string& plugin, bool value) override;
    // The fields of AddFields; changes to the list are written back into AddFields.
    base::ComPtr<IReportFields> GetAdditionalFields() override;
    // The files of AddAttachs ("original>send-as>archive>field" entries joined by "|");
    // changes to the list are written back into AddAttachs.
    base::ComPtr<IReportAttachments> GetAdditionalAttachments() override;
    // The "Assistant"n entry named `name` (letter case ignored), with the screenshot form
    // left out while screenshots are off.
    std::optional<TAssistantEntry> FindAssistant(const std::u16string& name);
    // That entry's assistant, loaded for this module through the engine's loader, with
    // what the form cache remembers filled in; null when there is none.
    base::ComPtr<IVxAssistant> GetAssistant(const std::u16string& name) override;
    void Reload() override;

    bool GetPropBool(std::string_view name) override;
    int32_t GetPropInt(std::string_view name) override;
    uint32_t GetPropDw(std::string_view name) override
    {
        return static_cast<uint32_t>(GetPropInt(name));
    }
    std::u16string GetPropStr(std::string_view name) override;
    // The text as the settings store it, its variables not yet expanded.
    std::u16string GetPropStrUnexpanded(std::string_view name);
    // Keeps what the user entered in the forms the user continued from: each edit's text and
    // "+" or "-" for each check box, under the item's name.
    void FillFormCache(IVxAssistant& assistant) override;
    // Puts the cached values back; a form restored completely gets its continue button as
    // the active control when that button is enabled.
    void ReadFormCache(IVxAssistant& assistant) override;
    ReportSettings* GetSelf() override
    {
        return this;
    }
    bool SetPropBool(std::string_view name, bool value);
    bool SetPropInt(std::string_view name, int32_t value);
    bool SetPropDw(std::string_view name, uint32_t value)
    {
        return SetPropInt(name, static_cast<int32_t>(value));
    }
    bool SetPropStr(std::string_view name, const std::u16string& value);

    // The texts' variables as this object expands them.
    std::u16string ExpandTextVariables(const std::u16string& text);

    // The record answering for `name`, or null when this object knows none (the question
    // then goes to the main settings unless this is the main settings).
    virtual const SettingsProperty* FindProp(std::string_view name);

protected:
    // Without `init` the object has no block of its own (a report object's settings).
    ReportSettings(HMODULE module, bool init);
    // The version variable of the module's settings, for an object made without `init`.
    void CopyVersionVar(const ReportSettings& from)
    {
        FVersionVar = from.FVersionVar;
    }
    // The list that writes go to; null when writes are refused.
    virtual TSettingsList* WritableList();
    // The report's own variables; a plain settings object keeps them for the report.
    virtual void ReportVariables(TTextVariables& values);
    virtual bool ScreenshotsOff();
    // The report object that an assistant is loaded with; plain settings give none.
    virtual ReportSettings* ReportObject()
    {
        return nullptr;
    }
    bool IsMainSettings() const;

private:
    const SettingsProperty* Lookup(std::string_view name, base::ComPtr<ReportSettings>& asked);
    SettingsProperty* Writable(std::string_view name, TPropertyType type);

    bool FValid = false;
    HMODULE FModule = nullptr;
    ModuleSettingsBlock* FSettings = nullptr;
    std::u16string FVersionVar;
    // The two lists are made on their first use, which may come from a delivery's thread and
    // the crash dialog's at once: one list each, made under this lock.
    base::SrwLock FListsLock;
    base::ComPtr<ReportFields> FAddFields;
    base::ComPtr<ReportAttachments> FAddAttachs;
    base::ComPtr<ReportFields> FFormCache;
};

// The process's main settings (made at start-up); null before.
base::ComPtr<ReportSettings> MainSettings();
void SetMainSettings(base::ComPtr<ReportSettings> settings);

} // namespace crash
