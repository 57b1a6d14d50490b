#pragma once
// The question-form assistants as the settings see them: forms in order, each with its
// items (edits and check boxes by name), the result the user left it with, its continue
// button and its active control. The assistant engine implements these interfaces and
// registers its loader; the settings find an assistant's entry, load it through that
// loader and keep what the user typed in the form cache.

#include <windows.h>

#include <functional>
#include <memory>
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

class IVxAssistant
{
public:
    virtual ~IVxAssistant() = default;
    virtual int FormCount() = 0;
    virtual IVxAssistantForm* Form(int index) = 0;
};

// Loads an assistant of a module from its title and form names; `report` is the report
// object that runs it, or null for plain settings. Null when no form could be loaded.
using TAssistantLoader = std::function<std::shared_ptr<IVxAssistant>(
    HMODULE module, const std::u16string& title, const std::vector<std::u16string>& forms,
    ReportSettings* report)>;

// The engine's loader; without one no assistant is loaded.
void SetAssistantLoader(TAssistantLoader loader);
const TAssistantLoader& AssistantLoader();

} // namespace crash
