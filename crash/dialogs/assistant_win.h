#pragma once
// The assistant engine: assistants made of question forms from the module's form resources
// ("TVX" and the form's name in upper case), each form shown modally as a native window of
// the class "DrevassaWnd" (the items laid out by the form's rules, the three main buttons
// continue, skip and cancel at the bottom), action handlers that read and change items
// while a form is shown, and the answers the user gave for the report.

#include "base/com_object.h"
#include "base/com_ptr.h"
#include "crash/dialogs/assistant_form.h"
#include "crash/dialogs/assistant_layout.h"
#include "crash/imaging/vx_bitmap.h"
#include "crash/settings/assistant.h"

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

namespace crash {

class ReportSettings;
class TNVAssistant;
class TNVForm;
class TNVItem;

enum TNVModalResult
{
    vxmInvalid,
    vxmOk,
    vxmSkip,
    vxmCancel
};

enum TNVAction
{
    nvaFormCreate,
    nvaFormShow,
    nvaFormClose,
    nvaItemEvent
};

// `item` is the item of an item event (none for a timer tick); `exception` the report the
// assistant works for, or none.
using TNVActionHandler = void (*)(TNVForm& form, TNVAction action, TNVItem* item, ReportSettings* exception);

// One item of a form: its stored values, and its window while the form is shown.
class TNVItem final : public IVxAssistantItem
{
public:
    TNVItem(TNVForm& parent, TFormItem definition) : FParent(parent), FDef(std::move(definition)) {}

    TNVForm& Parent() const { return FParent; }
    const TFormItem& Definition() const { return FDef; }
    TItemKind Kind() const { return FDef.Kind; }
    HWND Handle() const { return FHandle; }
    bool GetEnabled() const { return FDef.Enabled; }
    void SetEnabled(bool enabled);
    bool GetValid() const { return FDef.Valid; }
    // Repaints the edit and checks the continue button again.
    void SetValid(bool valid);
    void Focus();

    // IVxAssistantItem: edits read their live window while it exists; setting an edit's
    // text raises an item event.
    std::u16string Name() override { return FDef.Name; }
    bool IsEdit() override { return FDef.Kind == TItemKind::Edit; }
    std::u16string GetText() override;
    void SetText(const std::u16string& text) override;
    bool IsCheckBox() override { return FDef.Kind == TItemKind::CheckBox; }
    bool GetChecked() override { return FDef.Checked; }
    void SetChecked(bool checked) override;

    // Buttons, labels and check boxes: the caption (shown at once).
    void SetCaption(const std::u16string& caption);
    void SetTabStop(bool tabStop);
    // Edits: lines, optional and colored take effect when the form is shown next; the
    // output type accepts an own section only for an edit of more than one line.
    void SetLines(int32_t lines) { FDef.Lines = lines; }
    void SetOptional(bool optional);
    void SetColored(bool colored);
    bool SetOutputType(TOutputType type);
    void SetOutputName(const std::u16string& name) { FDef.OutputName = name; }
    // Images: the picture file, loaded when the form is shown without a bitmap.
    void SetFile(const std::u16string& file) { FDef.File = file; }

    // An image's picture; a new one on a shown image is zoomed into its box when larger.
    base::ComPtr<IVxBitmap> GetBitmap() const { return FBitmap; }
    void SetBitmap(const base::ComPtr<IVxBitmap>& bitmap);

private:
    friend class TNVForm;
    TNVForm& FParent;
    TFormItem FDef;
    HWND FHandle = nullptr;
    bool FForceDisabled = false;
    TFormRect FRect;
    base::ComPtr<IVxBitmap> FBitmap; // an image's picture
};

// One question form.
class TNVForm final : public IVxAssistantForm
{
public:
    TNVForm(TFormDefinition definition, int32_t step, int32_t steps, ReportSettings* exception);
    TNVForm(const TNVForm&) = delete;
    TNVForm& operator=(const TNVForm&) = delete;

    const std::u16string& Name() const { return FDef.Name; }
    std::u16string Title() const { return FTitle; }
    void SetTitle(const std::u16string& title);
    // The header text; a shown form is painted again with a new one.
    const std::u16string& Message() const { return FDef.Message; }
    void SetMessage(const std::u16string& message);
    int32_t Step() const { return FStep; }
    int32_t Steps() const { return FSteps; }
    const std::u16string& ActiveControl() const { return FDef.ActiveControl; }
    // The tick of nvaItemEvent in milliseconds (0: none), from the form's next showing.
    int32_t Timer() const { return FDef.Timer; }
    void SetTimer(int32_t ms) { FDef.Timer = ms; }
    TNVModalResult ModalResult() const { return FModalResult; }
    HWND Handle() const { return FHandle; }
    void SetSkip() { FSkip = true; }
    // What a handler keeps with the form.
    void* Data() const { return FData; }
    void SetData(void* data) { FData = data; }
    // The item of that name and kind, or none.
    TNVItem* ItemOf(std::u16string_view name, TItemKind kind);
    TNVItem& MainButton(TMainButton button) { return *FItems[static_cast<size_t>(button)]; }
    TNVActionHandler OnAction() const { return FOnAction; }
    void SetOnAction(TNVActionHandler handler) { FOnAction = handler; }
    void SetAssistantAction(TNVActionHandler handler) { FAssistantAction = handler; }
    ReportSettings* Exception() const { return FException; }

    // Shows the form over `owner` (disabled meanwhile) until the user leaves it.
    TNVModalResult ShowModal(HWND owner);

    // IVxAssistantForm
    int ItemCount() override { return static_cast<int>(FItems.size()); }
    IVxAssistantItem* Item(int index) override;
    bool Continued() override { return FModalResult == vxmOk; }
    bool ContinueButtonEnabled() override;
    std::u16string ContinueButtonName() override { return FItems[mbContinue]->FDef.Name; }
    void SetActiveControl(const std::u16string& name) override { FDef.ActiveControl = name; }

private:
    friend class TNVItem;
    friend base::ComPtr<TNVAssistant> OpenAssistant(HMODULE, const std::u16string&,
                                                    const std::vector<std::u16string>&, ReportSettings*);
    struct TWindow;
    void Fire(TNVAction action, TNVItem* item);
    void UpdateContinue();
    bool ItemsAllowContinue();
    void ApplyEnabled(TNVItem& item);
    // Ends the form with `result`; `destroy`: the window too (else it is being destroyed).
    void Close(TNVModalResult result, bool destroy = true);
    void ForgetWindows();
    LRESULT Message(HWND wnd, UINT msg, WPARAM wparam, LPARAM lparam);
    void Paint(HDC dc);
    void DrawMainButton(const TNVItem& item, const DRAWITEMSTRUCT& draw);
    void DrawCheckBox(const TNVItem& item, const DRAWITEMSTRUCT& draw);
    TNVItem* ItemOfWindow(HWND wnd);
    TNVItem* ImageAt(POINT p);

    TFormDefinition FDef;
    std::u16string FTitle;
    int32_t FStep, FSteps;
    std::vector<std::unique_ptr<TNVItem>> FItems;
    TNVActionHandler FOnAction = nullptr, FAssistantAction = nullptr;
    ReportSettings* FException;
    HWND FHandle = nullptr;
    TWindow* FWindow = nullptr; // while shown
    TNVModalResult FModalResult = vxmInvalid;
    bool FSkip = false;
    bool FSettingText = false; // an edit's text is being set by the form itself
    void* FData = nullptr;
};

// An assistant: forms shown one after the other.
class TNVAssistant final : public base::ComObject<IVxAssistant>
{
public:
    TNVAssistant(std::u16string title, ReportSettings* exception)
        : FTitle(std::move(title)), FException(exception)
    {
    }
    void Add(std::unique_ptr<TNVForm> form);
    TNVForm* FormByName(std::u16string_view name);
    // Setting the title retitles every form.
    const std::u16string& Title() const { return FTitle; }
    void SetTitle(const std::u16string& title);
    // Called for every form after the form's own handler.
    TNVActionHandler OnAction() const { return FOnAction; }
    void SetOnAction(TNVActionHandler handler);
    ReportSettings* Exception() const { return FException; }
    // What a handler keeps with the assistant.
    void* Data() const { return FData; }
    void SetData(void* data) { FData = data; }
    TNVModalResult ModalResult() const { return FModalResult; }
    // The forms in order over `owner`: cancelled by the first form the user cancels.
    TNVModalResult ShowModal(HWND owner);

    int FormCount() override { return static_cast<int>(FForms.size()); }
    IVxAssistantForm* Form(int index) override;
    TNVForm* FormAt(int index) { return static_cast<TNVForm*>(Form(index)); }

private:
    std::u16string FTitle;
    ReportSettings* FException;
    TNVActionHandler FOnAction = nullptr;
    std::vector<std::unique_ptr<TNVForm>> FForms;
    TNVModalResult FModalResult = vxmInvalid;
    void* FData = nullptr;
};

// The assistant of `forms` from the form resources of `module`; `exception` is the report
// the assistant works for (or none).
base::ComPtr<TNVAssistant> OpenAssistant(HMODULE module, const std::u16string& title,
                                         const std::vector<std::u16string>& forms, ReportSettings* exception);
// Registers OpenAssistant as the settings' assistant loader.
void InstallAssistantLoader();
// The handler a form's OnAction names ("Vexcatch.HandleContactForm" is there from the start).
void RegisterFormAction(const std::u16string& name, TNVActionHandler handler);
// Finds a handler named "unit.procedure" that is not registered in `module`'s debug
// information (installed by a layer that reads it); none is found without it.
using TFormActionFinder = TNVActionHandler (*)(HMODULE module, const std::u16string& name);
void SetFormActionFinder(TFormActionFinder finder);
// The handler `name` selects for a form of `module`: a registered one, else the finder's;
// null when neither knows it (the form then has none).
TNVActionHandler FormActionNamed(HMODULE module, const std::u16string& name);

struct TAssistantAnswer
{
    std::u16string Name, Value;
    bool OwnSection = false; // a section of the report, else a header field
};
// What the user answered in the forms left with continue: edits with an output name and text
// (a multi-line one marked for its own section as a section), check boxes as "yes" or "no".
std::vector<TAssistantAnswer> AssistantAnswers(TNVAssistant& assistant);

// The contact form's handler: remembered name and address, the address's check, the
// report's sender.
void ContactFormAction(TNVForm& form, TNVAction action, TNVItem* item, ReportSettings* exception);

} // namespace crash
