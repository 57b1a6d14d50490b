#pragma once
// The question-form assistants as the settings see them: forms in order, each with its
// items (edits and check boxes by name), the result the user left it with, its continue
// button and its active control. The assistant engine implements these interfaces and
// registers its loader; the settings find an assistant's entry, load it through that
// loader and keep what the user typed in the form cache.

#include "base/com_ptr.h"
#include "base/com_unknown.h"

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace crash {

class ReportSettings;

class IVxAssistantItem
{
public:
    virtual ~IVxAssistantItem() = default;
    virtual std::u16string Name() = 0;
    virtual bool IsEdit() = 0;
    virtual std::u16string GetText() = 0;
    virtual void SetText(const std::u16string& text) = 0;
    virtual bool IsCheckBox() = 0;
    virtual bool GetChecked() = 0;
    virtual void SetChecked(bool checked) = 0;
};

class IVxAssistantForm
{
public:
    virtual ~IVxAssistantForm() = default;
    virtual int ItemCount() = 0;
    virtual IVxAssistantItem* Item(int index) = 0;
    // The user left the form with its continue button.
    virtual bool Continued() = 0;
    virtual bool ContinueButtonEnabled() = 0;
    virtual std::u16string ContinueButtonName() = 0;
    // Makes the control of that name the form's active control.
    virtual void SetActiveControl(const std::u16string& name) = 0;
};

// {2371D422-C097-418C-918C-FF2520FD1261}
inline constexpr GUID IID_IVxAssistant = {
    0x2371D422, 0xC097, 0x418C, {0x91, 0x8C, 0xFF, 0x25, 0x20, 0xFD, 0x12, 0x61}};

// An assistant; its forms and their items belong to it and live as long as it does.
class IVxAssistant : public IUnknown
{
public:
    virtual int FormCount() = 0;
    virtual IVxAssistantForm* Form(int index) = 0;
};
inline const GUID& InterfaceId(const IVxAssistant*)
{
    return IID_IVxAssistant;
}

// Loads an assistant of a module from its title and form names; `report` is the report
// object that runs it, or null for plain settings. A form whose resource is missing has only
// its main buttons.
using TAssistantLoader = std::function<base::ComPtr<IVxAssistant>(HMODULE module, const std::u16string& title,
                                                                  const std::vector<std::u16string>& forms,
                                                                  ReportSettings* report)>;

// The engine's loader; without one no assistant is loaded.
void SetAssistantLoader(TAssistantLoader loader);
const TAssistantLoader& AssistantLoader();

} // namespace crash
