// Assistants shown in this process, driven by a second thread as a user would act on them:
// the forms that count, the answers they give, the colour of an invalid entry.

#include "base/win_handle.h"
#include "crash/dialogs/assistant_win.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace crash {
namespace {

TFormItem Item(TItemKind kind, std::u16string name)
{
    TFormItem item;
    item.Kind = kind;
    item.Name = std::move(name);
    return item;
}

std::unique_ptr<TNVForm> Form(std::u16string name, std::vector<TFormItem> items, int32_t step)
{
    TFormDefinition definition = ReadFormDefinition({}).Form;
    definition.Name = std::move(name);
    definition.Message = definition.Name;
    for (TFormItem& item : items)
        definition.Items.push_back(std::move(item));
    return std::make_unique<TNVForm>(definition, step, 3, nullptr);
}

HWND WaitForForm(HWND other)
{
    for (int i = 0; i < 500; ++i) {
        for (HWND w = ::FindWindowW(L"DrevassaWnd", nullptr); w;
             w = ::FindWindowExW(nullptr, w, L"DrevassaWnd", nullptr))
            if (w != other && ::IsWindowVisible(w))
                return w;
        ::Sleep(10);
    }
    return nullptr;
}

void Click(HWND form, const wchar_t* caption)
{
    const HWND button = ::FindWindowExW(form, nullptr, L"Button", caption);
    ::PostMessageW(form, WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(button), BN_CLICKED),
                   reinterpret_cast<LPARAM>(button));
}

// What the driving thread saw.
struct TDrive
{
    DWORD FormThread = 0;
    int Forms = 0;
    int DarkRedPixels = 0;
};

DWORD WINAPI Drive(void* data)
{
    auto& drive = *static_cast<TDrive*>(data);
    // The first form shown: skipped by its button.
    const HWND first = WaitForForm(nullptr);
    if (!first)
        return 1;
    ++drive.Forms;
    Click(first, L"Skip");
    // The second: an invalid entry is typed, and shown in dark red; then continue.
    const HWND second = WaitForForm(first);
    if (!second)
        return 1;
    ++drive.Forms;
    GUITHREADINFO gui{};
    gui.cbSize = sizeof gui;
    for (int i = 0; i < 200 && !(gui.hwndFocus && ::IsChild(second, gui.hwndFocus)); ++i) {
        ::Sleep(10); // the focus follows the showing
        ::GetGUIThreadInfo(drive.FormThread, &gui);
    }
    for (wchar_t c : std::wstring(L"hello"))
        ::PostMessageW(gui.hwndFocus, WM_CHAR, c, 0);
    ::Sleep(400);
    RECT r;
    ::GetWindowRect(gui.hwndFocus, &r);
    const base::WindowDc screen(nullptr);
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x) {
            const COLORREF c = ::GetPixel(screen.Get(), x, y);
            drive.DarkRedPixels += GetRValue(c) >= 96 && GetGValue(c) < 48 && GetBValue(c) < 48;
        }
    Click(second, L"Next >");
    return 0;
}

void SkipWhenShown(TNVForm& form, TNVAction action, TNVItem*, ReportSettings*)
{
    if (action == nvaFormShow)
        form.SetSkip();
}

int ShownByTheAssistant = 0;
void CountShown(TNVForm&, TNVAction action, TNVItem*, ReportSettings*)
{
    ShownByTheAssistant += action == nvaFormShow;
}

TEST(Assistant, SkippedFormsPassAndOnlyContinuedFormsAnswer)
{
    auto assistant = base::MakeCom<TNVAssistant>(u"Test Assistant", nullptr);
    // Skipped by its handler before it shows.
    auto hidden = Form(u"Hidden", {Item(TItemKind::Label, u"never seen")}, 1);
    hidden->SetOnAction(&SkipWhenShown);
    assistant->Add(std::move(hidden));
    // Skipped by the user: its answer does not count.
    TFormItem skipped = Item(TItemKind::Edit, u"Skipped");
    skipped.OutputName = u"skipped field";
    skipped.Text = u"left";
    assistant->Add(Form(u"Second", {skipped}, 2));
    // Continued: a one-line edit that asks for its own section goes into the header anyway.
    TFormItem line = Item(TItemKind::Edit, u"Line");
    line.OutputName = u"one line";
    line.OutputType = otOwnSection;
    line.Optional = true;
    line.Colored = true;
    line.Valid = false;
    TFormItem agree = Item(TItemKind::CheckBox, u"Agree");
    agree.OutputName = u"agree";
    agree.Checked = true;
    assistant->Add(Form(u"Third", {line, agree}, 3));

    // The item operations before the forms show: an own section only for a multi-line edit.
    auto* lineItem = static_cast<TNVItem*>(assistant->FormAt(2)->Item(3));
    EXPECT_FALSE(lineItem->SetOutputType(otOwnSection)); // it stays as defined
    lineItem->SetLines(2);
    EXPECT_TRUE(lineItem->SetOutputType(otOwnSection));
    lineItem->SetLines(1);
    assistant->SetOnAction(&CountShown); // after each form's own handler, for every form
    assistant->SetTitle(u"Retitled");
    EXPECT_EQ(assistant->FormAt(2)->Title(), u"Retitled");
    TDrive drive;
    drive.FormThread = ::GetCurrentThreadId();
    const base::KernelHandle driver(::CreateThread(nullptr, 0, &Drive, &drive, 0, nullptr));
    EXPECT_EQ(assistant->ShowModal(nullptr), vxmOk);
    ::WaitForSingleObject(driver.Get(), 10000);
    EXPECT_EQ(drive.Forms, 2);
    EXPECT_EQ(ShownByTheAssistant, 3); // the hidden form too, before its skip
    EXPECT_EQ(assistant->FormAt(0)->ModalResult(), vxmSkip);
    EXPECT_EQ(assistant->FormAt(1)->ModalResult(), vxmSkip);
    EXPECT_EQ(assistant->FormAt(2)->ModalResult(), vxmOk);
    EXPECT_GT(drive.DarkRedPixels, 0);
    const std::vector<TAssistantAnswer> answers = AssistantAnswers(*assistant);
    ASSERT_EQ(answers.size(), 2u);
    EXPECT_EQ(answers[0].Name, u"one line");
    EXPECT_EQ(answers[0].Value, u"hello");
    EXPECT_FALSE(answers[0].OwnSection);
    EXPECT_EQ(answers[1].Name, u"agree");
    EXPECT_EQ(answers[1].Value, u"yes");
}

} // namespace
} // namespace crash
