#include "base/win_handle.h"
#include "crash/dialogs/assistant_win.h"
#include "crash/dialogs/mail_address.h"
#include "crash/settings/report_settings.h"

namespace crash {
namespace {

constexpr wchar_t ContactKey[] = L"Software\\Tolvaris\\ContactForm";

const wchar_t* W(const std::u16string& s)
{
    return reinterpret_cast<const wchar_t*>(s.c_str());
}

// A remembered text of any length; empty when there is none.
std::u16string ReadValue(HKEY key, const wchar_t* name)
{
    DWORD size = 0;
    if (::RegGetValueW(key, nullptr, name, RRF_RT_REG_SZ, nullptr, nullptr, &size) != ERROR_SUCCESS)
        return {};
    std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
    size = static_cast<DWORD>(value.size() * sizeof(wchar_t));
    if (::RegGetValueW(key, nullptr, name, RRF_RT_REG_SZ, nullptr, value.data(), &size) != ERROR_SUCCESS)
        return {};
    value.resize(::wcsnlen(value.c_str(), value.size()));
    return {value.begin(), value.end()};
}

void Remember(const std::u16string& name, const std::u16string& email, bool keep)
{
    // Forgetting needs no key where nothing was remembered.
    HKEY opened = nullptr;
    const LSTATUS status = keep ? ::RegCreateKeyExW(HKEY_CURRENT_USER, ContactKey, 0, nullptr, 0,
                                                    KEY_SET_VALUE, nullptr, &opened, nullptr)
                                : ::RegOpenKeyExW(HKEY_CURRENT_USER, ContactKey, 0, KEY_SET_VALUE, &opened);
    if (status != ERROR_SUCCESS)
        return;
    const base::RegistryKey key(opened);
    const std::pair<const wchar_t*, const std::u16string*> values[] = {{L"RememberName", &name},
                                                                       {L"RememberEmail", &email}};
    for (const auto& [valueName, value] : values) {
        if (keep)
            ::RegSetValueExW(key.Get(), valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(W(*value)),
                             static_cast<DWORD>((value->size() + 1) * sizeof(wchar_t)));
        else
            ::RegDeleteValueW(key.Get(), valueName);
    }
}

} // namespace

void ContactFormAction(TNVForm& form, TNVAction action, TNVItem* item, ReportSettings* exception)
{
    TNVItem* name = form.ItemOf(u"NameEdit", TItemKind::Edit);
    TNVItem* email = form.ItemOf(u"EmailEdit", TItemKind::Edit);
    TNVItem* remember = form.ItemOf(u"MemCheck", TItemKind::CheckBox);
    if (!name || !email)
        return;
    switch (action) {
    case nvaFormCreate: {
        HKEY opened = nullptr;
        if (::RegOpenKeyExW(HKEY_CURRENT_USER, ContactKey, 0, KEY_QUERY_VALUE, &opened) != ERROR_SUCCESS)
            return;
        const base::RegistryKey key(opened);
        const std::u16string rememberedName = ReadValue(key.Get(), L"RememberName");
        const std::u16string rememberedEmail = ReadValue(key.Get(), L"RememberEmail");
        if (rememberedName.empty() && rememberedEmail.empty())
            return;
        name->SetText(rememberedName);
        email->SetText(rememberedEmail);
        if (remember)
            remember->SetChecked(true);
        if (form.ContinueButtonEnabled())
            form.SetActiveControl(form.ContinueButtonName());
        break;
    }
    case nvaItemEvent:
        if (item == email)
            email->SetValid(IsPlausibleMailAddress(email->GetText()));
        break;
    case nvaFormClose: {
        if (form.ModalResult() != vxmOk)
            break;
        const std::u16string who = name->GetText(), address = email->GetText();
        Remember(who, address, remember && remember->GetChecked());
        if (exception && !address.empty())
            exception->SetMailFrom(who.empty() ? address : who + u" <" + address + u">");
        break;
    }
    case nvaFormShow:
        break;
    }
}

} // namespace crash
