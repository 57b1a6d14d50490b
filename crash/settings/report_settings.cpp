#include "crash/settings/report_settings.h"

#include "base/guarded_reader.h"
#include "base/srw_lock.h"
#include "base/utf_win.h"
#include "crash/settings/settings_defaults.h"
#include "crash/settings/system_variables.h"

#include <mutex>

namespace crash {
namespace {

// Constant-initialized: the crash reporter asks for settings from a static initializer.
constinit base::SrwLock MainLock;
constinit base::ComPtr<ReportSettings> TheMainSettings;

std::vector<std::u16string> Split(const std::u16string& text, char16_t separator)
{
    std::vector<std::u16string> parts;
    size_t start = 0;
    for (;;) {
        const size_t at = text.find(separator, start);
        parts.push_back(text.substr(start, at == std::u16string::npos ? std::u16string::npos : at - start));
        if (at == std::u16string::npos)
            return parts;
        start = at + 1;
    }
}

std::u16string Join(const std::vector<std::u16string>& parts, char16_t separator)
{
    std::u16string out;
    for (size_t i = 0; i < parts.size(); ++i)
        out += (i ? std::u16string(1, separator) : std::u16string()) + parts[i];
    return out;
}

// The zero-terminated 8-bit text that the module keeps a pointer to at base + offset (at
// most 256 characters); empty when that memory can't be read. The module's own data may be
// damaged, so both the pointer and the text are read through the guarded reader.
std::u16string ReadVersionVar(HMODULE module, int32_t offset)
{
    const char* p = nullptr;
    if (!base::GuardedRead(reinterpret_cast<const BYTE*>(module) + offset, &p, sizeof p))
        return {};
    std::string text;
    for (char c = 0; p && text.size() < 256; ++p) {
        if (!base::GuardedRead(p, &c, 1))
            return {};
        if (!c)
            break;
        text += c;
    }
    return base::AnsiToUtf16(text);
}

} // namespace

base::ComPtr<ReportSettings> MainSettings()
{
    std::lock_guard<base::SrwLock> lock(MainLock);
    return TheMainSettings;
}

void SetMainSettings(base::ComPtr<ReportSettings> settings)
{
    std::lock_guard<base::SrwLock> lock(MainLock);
    TheMainSettings = std::move(settings);
}

base::ComPtr<ReportSettings> ReportSettings::Create(HMODULE module)
{
    return base::ComPtr<ReportSettings>::Adopt(
        new ReportSettings(module ? module : ::GetModuleHandleW(nullptr), true));
}

ReportSettings::ReportSettings(HMODULE module, bool init) : FModule(module)
{
    if (!init) {
        FValid = true;
        return;
    }
    FSettings = AcquireModuleSettings(module);
    FValid = FSettings != nullptr;
    if (const int32_t offset = VersionVar())
        FVersionVar = ReadVersionVar(module, offset);
}

ReportSettings::~ReportSettings()
{
    if (FAddFields)
        FAddFields->ClearParent();
    if (FAddAttachs)
        FAddAttachs->ClearParent();
    ReleaseModuleSettings(FSettings);
}

bool ReportSettings::IsMainSettings() const
{
    const base::ComPtr<ReportSettings> main = MainSettings();
    return !main || main->FModule == FModule;
}

const SettingsProperty* ReportSettings::FindProp(std::string_view name)
{
    if (FSettings)
        if (const SettingsProperty* p = FSettings->List.Find(name))
            return p;
    return IsMainSettings() ? BuiltInDefaults().Find(name) : nullptr;
}

const SettingsProperty* ReportSettings::Lookup(std::string_view name, base::ComPtr<ReportSettings>& asked)
{
    if (const SettingsProperty* p = FindProp(name))
        return p;
    if (IsMainSettings())
        return nullptr;
    // Another module passes the question to the main settings, which answer by their rules.
    asked = MainSettings();
    return asked ? asked->FindProp(name) : nullptr;
}

bool ReportSettings::GetPropBool(std::string_view name)
{
    base::ComPtr<ReportSettings> asked;
    const SettingsProperty* p = Lookup(name, asked);
    return p && p->BoolValue;
}

int32_t ReportSettings::GetPropInt(std::string_view name)
{
    base::ComPtr<ReportSettings> asked;
    const SettingsProperty* p = Lookup(name, asked);
    return p ? p->IntValue : 0;
}

std::u16string ReportSettings::GetPropStr(std::string_view name)
{
    const std::u16string value = GetPropStrUnexpanded(name);
    return name == "FrozenMsg" ? value : ExpandTextVariables(value);
}

std::u16string ReportSettings::GetPropStrUnexpanded(std::string_view name)
{
    base::ComPtr<ReportSettings> asked;
    const SettingsProperty* p = Lookup(name, asked);
    return p ? p->StrValue : std::u16string();
}

TSettingsList* ReportSettings::WritableList()
{
    return FValid && FSettings ? &FSettings->List : nullptr;
}

SettingsProperty* ReportSettings::Writable(std::string_view name, TPropertyType type)
{
    TSettingsList* list = WritableList();
    if (!list)
        return nullptr;
    SettingsProperty* p = list->Find(name);
    if (!p) {
        SettingsProperty added;
        added.Name = std::string(name);
        added.Type = type;
        list->Add(std::move(added));
        p = list->Find(name);
    }
    return p->Type == type ? p : nullptr;
}

bool ReportSettings::SetPropBool(std::string_view name, bool value)
{
    SettingsProperty* p = Writable(name, ptBoolean);
    if (p)
        p->BoolValue = value;
    return p != nullptr;
}

bool ReportSettings::SetPropInt(std::string_view name, int32_t value)
{
    SettingsProperty* p = Writable(name, ptInteger);
    if (p)
        p->IntValue = value;
    return p != nullptr;
}

bool ReportSettings::SetPropStr(std::string_view name, const std::u16string& value)
{
    SettingsProperty* p = Writable(name, ptString);
    if (p)
        p->StrValue = value;
    return p != nullptr;
}

void ReportSettings::ReportVariables(TTextVariables& values)
{
    values.KeepReportVariables();
}

bool ReportSettings::ScreenshotsOff()
{
    return GetScreenShotDepth() == 0;
}

std::u16string ReportSettings::ExpandTextVariables(const std::u16string& text)
{
    if (text.find(u'%') == std::u16string::npos)
        return text;
    std::u16string appVersionVar;
    if (const base::ComPtr<ReportSettings> main = MainSettings())
        appVersionVar = main->FModule == FModule ? FVersionVar : main->FVersionVar;
    else if (FModule == ::GetModuleHandleW(nullptr))
        appVersionVar = FVersionVar;
    TTextVariables values = SystemTextVariables(FModule, FVersionVar, appVersionVar);
    ReportVariables(values);
    return crash::ExpandTextVariables(text, values);
}

// The typed accessors, one pair per line of the settings list.
#define VX_GET_Bool(Name) GetPropBool(Name)
#define VX_GET_Card(Name) GetPropDw(Name)
#define VX_GET_Int(Name) GetPropInt(Name)
#define VX_GET_Ansi(Name) base::Utf16ToAnsi(GetPropStr(Name))
#define VX_GET_Text(Name) GetPropStr(Name)
#define VX_GET_ShowSetting(Name) static_cast<ShowSetting>(GetPropInt(Name))
#define VX_GET_ReportButton(Name) static_cast<ReportButton>(GetPropInt(Name))
#define VX_GET_DupDef(Name) static_cast<DupDef>(GetPropInt(Name))
#define VX_SET_Bool(Name, v) SetPropBool(Name, v)
#define VX_SET_Card(Name, v) SetPropDw(Name, v)
#define VX_SET_Int(Name, v) SetPropInt(Name, v)
#define VX_SET_Ansi(Name, v) SetPropStr(Name, base::AnsiToUtf16(v))
#define VX_SET_Text(Name, v) SetPropStr(Name, v)
#define VX_SET_ShowSetting(Name, v) SetPropInt(Name, static_cast<int32_t>(v))
#define VX_SET_ReportButton(Name, v) SetPropInt(Name, static_cast<int32_t>(v))
#define VX_SET_DupDef(Name, v) SetPropInt(Name, static_cast<int32_t>(v))
#define VX_SETTING(Stem, Name, Type)                                                                         \
    VxType_##Type ReportSettings::Get##Stem()                                                                \
    {                                                                                                        \
        return VX_GET_##Type(Name);                                                                          \
    }                                                                                                        \
    void ReportSettings::Set##Stem(VxType_##Type value)                                                      \
    {                                                                                                        \
        VX_SET_##Type(Name, value);                                                                          \
    }
#include "crash/settings/report_settings_list.h"
#undef VX_SETTING

bool ReportSettings::Enabled()
{
    return GetPropBool("Enabled");
}
bool ReportSettings::LinkInSettings()
{
    return !GetPropBool("NoSettings");
}
bool ReportSettings::LinkInMapFile()
{
    return GetPropStr("MinDebugInfo").empty();
}
bool ReportSettings::CheckFileCrc()
{
    return GetPropBool("CheckFileCrc");
}
bool ReportSettings::CheckForFreeze()
{
    return GetPropBool("CheckFreeze");
}
uint32_t ReportSettings::FreezeTimeout()
{
    return GetPropDw("FreezeTimeout");
}
bool ReportSettings::ReportLeaks()
{
    return GetPropBool("ReportLeaks");
}
bool ReportSettings::CrashOnOverrun()
{
    return GetPropBool("CrashOnBuffer") && !GetPropBool("CrashOnUnderrun");
}
bool ReportSettings::CrashOnUnderrun()
{
    return GetPropBool("CrashOnBuffer") && GetPropBool("CrashOnUnderrun");
}
int32_t ReportSettings::VersionVar()
{
    return GetPropInt("VersionVar");
}

bool ReportSettings::GetPluginEnabled(const std::u16string& plugin)
{
    for (const std::u16string& name : Split(GetPropStr("Plugins"), u'|'))
        if (name == plugin)
            return true;
    return false;
}

void ReportSettings::SetPluginEnabled(const std::u16string& plugin, bool value)
{
    if (GetPluginEnabled(plugin) == value)
        return;
    std::u16string list = GetPropStr("Plugins");
    if (value) {
        list = list.empty() ? plugin : list + u"|" + plugin;
    } else {
        list = u"|" + list + u"|";
        const std::u16string framed = u"|" + plugin + u"|";
        const size_t at = list.find(framed);
        if (at != std::u16string::npos)
            list.replace(at, framed.size(), u"|");
        list = list.size() >= 2 ? list.substr(1, list.size() - 2) : std::u16string();
    }
    SetPropStr("Plugins", list);
}

base::ComPtr<IReportFields> ReportSettings::GetAdditionalFields()
{
    const std::lock_guard<base::SrwLock> lock(FListsLock);
    if (FAddFields)
        return FAddFields;
    FAddFields = base::MakeCom<ReportFields>();
    FAddFields->AcceptData();
    const std::u16string stored = GetPropStr("AddFields");
    if (!stored.empty()) {
        for (const std::u16string& entry : Split(stored, u'|')) {
            const std::vector<std::u16string> parts = Split(entry, u'=');
            FAddFields->SetContent(parts[0], parts.size() > 1 ? parts[1] : std::u16string());
        }
    }
    // Bound from now on: every change is written back. The list is unbound when these
    // settings end, so the handler never outlives them.
    FAddFields->OnChange = [this, list = FAddFields.Get()] {
        std::vector<std::u16string> entries;
        for (int i = 0; i < list->GetItemCount(); ++i)
            entries.push_back(list->GetItem(i) + u"=" + list->GetContent(list->GetItem(i)));
        SetPropStr("AddFields", Join(entries, u'|'));
    };
    return FAddFields;
}

base::ComPtr<IReportAttachments> ReportSettings::GetAdditionalAttachments()
{
    const std::lock_guard<base::SrwLock> lock(FListsLock);
    if (FAddAttachs)
        return FAddAttachs;
    FAddAttachs = ReportAttachments::Create();
    const std::u16string stored = GetPropStr("AddAttachs");
    if (!stored.empty()) {
        for (const std::u16string& entry : Split(stored, u'|')) {
            std::vector<std::u16string> parts = Split(entry, u'>');
            parts.resize(4);
            FAddAttachs->Add(parts[0], parts[1], parts[2], parts[3]);
        }
    }
    FAddAttachs->OnChange = [this, list = FAddAttachs.Get()] {
        std::vector<std::u16string> entries;
        TAttachment a;
        for (int i = 0; list->GetItem(i, a); ++i)
            entries.push_back(Join({a.OriginalFile, a.SendAsName, a.ArchiveName, a.FieldName}, u'>'));
        SetPropStr("AddAttachs", Join(entries, u'|'));
    };
    return FAddAttachs;
}

base::ComPtr<IVxAssistant> ReportSettings::GetAssistant(const std::u16string& name)
{
    const std::optional<TAssistantEntry> entry = FindAssistant(name);
    const TAssistantLoader& loader = AssistantLoader();
    if (!entry || !loader)
        return nullptr;
    base::ComPtr<IVxAssistant> assistant = loader(FModule, entry->Title, entry->Forms, ReportObject());
    if (assistant)
        ReadFormCache(*assistant);
    return assistant;
}

void ReportSettings::FillFormCache(IVxAssistant& assistant)
{
    if (!FFormCache) {
        FFormCache = base::MakeCom<ReportFields>();
        FFormCache->AcceptData();
    }
    for (int f = 0; f < assistant.FormCount(); ++f) {
        IVxAssistantForm* form = assistant.Form(f);
        if (!form || !form->Continued())
            continue;
        for (int i = 0; i < form->ItemCount(); ++i) {
            IVxAssistantItem* item = form->Item(i);
            if (item && item->IsEdit())
                FFormCache->SetContent(item->Name(), item->GetText());
            else if (item && item->IsCheckBox())
                FFormCache->SetContent(item->Name(), item->GetChecked() ? u"+" : u"-");
        }
    }
}

void ReportSettings::ReadFormCache(IVxAssistant& assistant)
{
    if (!FFormCache)
        return;
    for (int f = 0; f < assistant.FormCount(); ++f) {
        IVxAssistantForm* form = assistant.Form(f);
        if (!form)
            continue;
        bool restored = false, complete = true;
        for (int i = 0; i < form->ItemCount(); ++i) {
            IVxAssistantItem* item = form->Item(i);
            if (!item || !(item->IsEdit() || item->IsCheckBox()))
                continue;
            if (FFormCache->FindItem(item->Name()) < 0) {
                complete = false;
                continue;
            }
            const std::u16string value = FFormCache->GetContent(item->Name());
            if (item->IsEdit())
                item->SetText(value);
            else
                item->SetChecked(value == u"+");
            restored = true;
        }
        if (restored && complete && form->ContinueButtonEnabled())
            form->SetActiveControl(form->ContinueButtonName());
    }
}

std::optional<TAssistantEntry> ReportSettings::FindAssistant(const std::u16string& name)
{
    for (int n = 1;; ++n) {
        std::u16string entry = GetPropStr("Assistant" + std::to_string(n));
        if (entry.empty())
            return std::nullopt;
        std::vector<std::u16string> parts = Split(entry, u'|');
        if (!SameName(parts[0], name))
            continue;
        if (ScreenshotsOff()) {
            entry = u"|" + entry + u"|";
            for (size_t at; (at = entry.find(u"|ScrShotForm|")) != std::u16string::npos;)
                entry.replace(at, 13, u"|");
            parts = Split(entry.substr(1, entry.size() - 2), u'|');
        }
        TAssistantEntry result;
        result.Name = parts[0];
        result.Title = parts.size() > 1 ? parts[1] : std::u16string();
        result.Forms.assign(parts.begin() + std::min<size_t>(2, parts.size()), parts.end());
        return result;
    }
}

void ReportSettings::Reload()
{
    ReloadModuleSettings(FSettings);
}

} // namespace crash
