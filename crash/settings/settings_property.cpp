#include "crash/settings/settings_property.h"

#include "base/hex.h"
#include "base/utf.h"
#include "crash/settings/password_codec.h"

namespace crash {

const SettingsProperty* TSettingsList::Find(std::string_view name) const
{
    for (const SettingsProperty& p : FItems)
        if (p.Name == name)
            return &p;
    return nullptr;
}

SettingsProperty* TSettingsList::Find(std::string_view name)
{
    return const_cast<SettingsProperty*>(static_cast<const TSettingsList*>(this)->Find(name));
}

TSettingsParse ParseSettingsBlock(std::span<const uint8_t> block, const base::TAnsiDecoder& ansi)
{
    TSettingsParse parse;
    const base::TStreamReadResult read = base::ReadPropertyStream(block, ansi);
    parse.HeaderOk = read.Status != base::TStreamStatus::BadSignature && read.Root.ClassName == "TVexcatch" &&
                     read.Root.Name == "Vexcatch";
    if (!parse.HeaderOk)
        return parse;
    parse.UnknownKind = read.Status == base::TStreamStatus::UnknownKind;
    parse.BadKind = read.BadKind;
    for (const base::TStreamProperty& p : read.Root.Properties) {
        SettingsProperty s;
        s.Name = p.Name;
        if (base::IsIntegerKind(p.Kind)) {
            s.Type = ptInteger;
            s.IntValue = p.Int;
        } else if (base::IsBooleanKind(p.Kind)) {
            s.Type = ptBoolean;
            s.BoolValue = p.Bool;
        } else {
            s.Type = ptString;
            s.StrValue = p.Text;
        }
        parse.List.Add(std::move(s));
    }
    DecodeStoredPasswords(parse.List);
    return parse;
}

void DecodeStoredPasswords(TSettingsList& list)
{
    auto text = [&](const char* name) {
        const SettingsProperty* p = list.Find(name);
        return p && p->Type == ptString ? p->StrValue : std::u16string();
    };
    static const struct
    {
        const char *Password, *Server, *Account;
    } stored[] = {{"SmtpPassword", "SmtpServer", "SmtpAccount"},
                  {"HttpPassword", "HttpServer", "HttpAccount"},
                  {"BugTrPassword", "HttpServer", "BugTrAccount"}};
    for (const auto& s : stored) {
        SettingsProperty* password = list.Find(s.Password);
        if (!password || password->Type != ptString || password->StrValue.empty())
            continue;
        // The server name is 8-bit text; the account name is keyed as UTF-8.
        password->StrValue = DecodePassword(password->StrValue, base::Latin1Encode(text(s.Server)),
                                            base::Utf16ToUtf8(text(s.Account)));
    }
}

std::u16string InvalidSettingsMessage(uint8_t kind)
{
    const std::string hex = base::HexText(kind).substr(1);
    return u"Internal error: Invalid settings resource (" + std::u16string(hex.begin(), hex.end()) + u").";
}

} // namespace crash
