// Assistants shown in this process, driven by a second thread as a user would act on them:
// the forms that count, the answers they give, the colour of an invalid entry, a handler
// that fails, the keyboard's way through a form and back, a form shown again, the mouse on
// an image, the focus when the form is activated again, a damaged form resource.

#include "base/win_handle.h"
#include "crash/dialogs/assistant_win.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace crash {
namespace {

TFormItem Item(TItemKind kind, std::u16string name)
{
    TFormItem item;
    item.Kind = kind;
    item.Name = std::move(name);
    return item;
}

std::unique_ptr<TNVForm> Form(std::u16string name, std::vector<TFormItem> items, int32_t step,
                              std::u16string activeControl = {})
{
    TFormDefinition definition = ReadFormDefinition({}).Form;
    definition.ActiveControl = std::move(activeControl);
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

// A handler of the program that faults whatever happens: the form goes on without it.
void Faults(TNVForm&, TNVAction, TNVItem*, ReportSettings*)
{
    int* volatile nowhere = reinterpret_cast<int*>(16);
    *nowhere = 1;
}

TEST(Assistant, SkippedFormsPassAndOnlyContinuedFormsAnswer)
{
    ShownByTheAssistant = 0;
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
    assistant->FormAt(1)->SetOnAction(&Faults);
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
    EXPECT_EQ(ShownByTheAssistant, 3); // the hidden form too, before its skip; the failing one's too
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

HWND Focused(DWORD thread)
{
    GUITHREADINFO gui{};
    gui.cbSize = sizeof gui;
    ::GetGUIThreadInfo(thread, &gui);
    return gui.hwndFocus;
}

// The focus of `thread` once it is on a control of `form` other than `from` (null when it
// does not get there).
HWND FocusMovedFrom(DWORD thread, HWND form, HWND from)
{
    for (int i = 0; i < 200; ++i) {
        if (const HWND now = Focused(thread); now && now != from && ::IsChild(form, now))
            return now;
        ::Sleep(10);
    }
    return nullptr;
}

// Real key strokes (the form asks the keyboard whether Shift is down).
void Press(WORD key, bool shift)
{
    std::vector<INPUT> in;
    auto add = [&](WORD vk, bool up) {
        INPUT i{};
        i.type = INPUT_KEYBOARD;
        i.ki.wVk = vk;
        i.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
        in.push_back(i);
    };
    if (shift)
        add(VK_SHIFT, false);
    add(key, false);
    add(key, true);
    if (shift)
        add(VK_SHIFT, true);
    ::SendInput(static_cast<UINT>(in.size()), in.data(), sizeof(INPUT));
}

// The path of the focus through a form of two edits (its active control is a third, disabled
// one, which gives way): the first edit, Tab to the second, Shift+Tab back, Enter (in a
// one-line edit) on to the second, Shift+Tab back, and Shift+Tab once more round the ring to
// the cancel button; then the form, retitled while it shows, is continued. Shown again, it
// closes by Escape.
struct TKeys
{
    TNVForm* Object = nullptr;
    wchar_t Caption[32] = {};
    DWORD FormThread = 0;
    HWND Forms[2] = {};
    HWND Path[6] = {};
    HWND First = nullptr, Second = nullptr, Cancel = nullptr;
};

DWORD WINAPI Keys(void* data)
{
    auto& keys = *static_cast<TKeys*>(data);
    const HWND form = keys.Forms[0] = WaitForForm(nullptr);
    if (!form)
        return 1;
    keys.First = ::FindWindowExW(form, nullptr, L"Edit", nullptr);
    keys.Second = ::FindWindowExW(form, keys.First, L"Edit", nullptr);
    keys.Cancel = ::FindWindowExW(form, nullptr, L"Button", L"Cancel");
    keys.Path[0] = FocusMovedFrom(keys.FormThread, form, nullptr);
    Press(VK_TAB, false);
    keys.Path[1] = FocusMovedFrom(keys.FormThread, form, keys.Path[0]);
    Press(VK_TAB, true);
    keys.Path[2] = FocusMovedFrom(keys.FormThread, form, keys.Path[1]);
    Press(VK_RETURN, false);
    keys.Path[3] = FocusMovedFrom(keys.FormThread, form, keys.Path[2]);
    Press(VK_TAB, true);
    keys.Path[4] = FocusMovedFrom(keys.FormThread, form, keys.Path[3]);
    Press(VK_TAB, true);
    keys.Path[5] = FocusMovedFrom(keys.FormThread, form, keys.Path[4]);
    keys.Object->SetTitle(u"Retitled");
    ::GetWindowTextW(form, keys.Caption, 32);
    Click(form, L"Next >");
    keys.Forms[1] = WaitForForm(form);
    if (!keys.Forms[1] || !FocusMovedFrom(keys.FormThread, keys.Forms[1], nullptr))
        return 1;
    Press(VK_ESCAPE, false);
    return 0;
}

TEST(Assistant, TabAndShiftTabMoveInRingOrderAndAFormShowsAgain)
{
    TFormItem first = Item(TItemKind::Edit, u"First"), second = Item(TItemKind::Edit, u"Second"),
              off = Item(TItemKind::Edit, u"Off");
    first.Text = u"one";
    second.Text = u"two";
    off.Enabled = false;
    const std::unique_ptr<TNVForm> form = Form(u"Keys", {first, second, off}, 1, u"Off");
    TKeys keys;
    keys.Object = form.get();
    keys.FormThread = ::GetCurrentThreadId();
    const base::KernelHandle driver(::CreateThread(nullptr, 0, &Keys, &keys, 0, nullptr));
    EXPECT_EQ(form->ShowModal(nullptr), vxmOk);
    EXPECT_EQ(form->ShowModal(nullptr), vxmCancel);
    ::WaitForSingleObject(driver.Get(), 10000);
    ASSERT_TRUE(keys.First && keys.Second && keys.Cancel);
    EXPECT_EQ(keys.Path[0], keys.First);
    EXPECT_EQ(keys.Path[1], keys.Second);
    EXPECT_EQ(keys.Path[2], keys.First);
    EXPECT_EQ(keys.Path[3], keys.Second);
    EXPECT_EQ(keys.Path[4], keys.First);
    EXPECT_EQ(keys.Path[5], keys.Cancel);
    EXPECT_STREQ(keys.Caption, L"Retitled");
    EXPECT_TRUE(keys.Forms[1]); // a window of its own the second time
    EXPECT_NE(keys.Forms[1], keys.Forms[0]);
    EXPECT_EQ(form->ModalResult(), vxmCancel);
    EXPECT_EQ(static_cast<TNVItem*>(form->Item(4))->GetText(), u"two"); // kept from the first showing
}

// The mouse on a clickable image (the form's first item, at 21/40, of the size it asks for)
// is a hand, and a click on it is an event of the image; beside it the pointer is not a
// hand. The focus, on the second edit when another window is activated, is there again when
// the form is activated again.
struct TMouseAndFocus
{
    DWORD FormThread = 0;
    bool HandOnImage = false, HandBeside = true;
    bool OtherActive = false;
    HWND Second = nullptr, Again = nullptr;
};

int ImageEvents = 0;
void CountImageEvents(TNVForm&, TNVAction action, TNVItem* item, ReportSettings*)
{
    ImageEvents += action == nvaItemEvent && item && item->Name() == u"Picture";
}

// Whether the mouse pointer, moved to `p` of `form`'s client area, becomes the hand (or
// anything but the hand) within two seconds. The form is asked for its pointer as a move of
// the mouse asks it, until the form's thread has seen the pointer move (a warped pointer does
// not always tell the window under it).
bool PointerAt(HWND form, POINT p, bool hand)
{
    ::ClientToScreen(form, &p);
    ::SetCursorPos(p.x, p.y);
    for (int i = 0; i < 100; ++i) {
        ::SendMessageW(form, WM_SETCURSOR, reinterpret_cast<WPARAM>(form),
                       MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
        CURSORINFO info{};
        info.cbSize = sizeof info;
        if (::GetCursorInfo(&info) && (info.hCursor == ::LoadCursorW(nullptr, IDC_HAND)) == hand)
            return true;
        ::Sleep(20);
    }
    return false;
}

// Brings `window` to the front; true once it is there.
bool Activate(HWND window)
{
    for (int i = 0; i < 200 && ::GetForegroundWindow() != window; ++i) {
        ::SetForegroundWindow(window);
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            ::DispatchMessageW(&msg);
        ::Sleep(10);
    }
    return ::GetForegroundWindow() == window;
}

DWORD WINAPI MouseAndFocus(void* data)
{
    auto& seen = *static_cast<TMouseAndFocus*>(data);
    const HWND form = WaitForForm(nullptr);
    if (!form || !FocusMovedFrom(seen.FormThread, form, nullptr))
        return 1;
    seen.HandOnImage = PointerAt(form, {71, 70}, true);
    seen.HandBeside = !PointerAt(form, {71, 10}, false);
    ::PostMessageW(form, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(71, 70));
    ::PostMessageW(form, WM_LBUTTONUP, 0, MAKELPARAM(71, 70));

    const HWND first = ::FindWindowExW(form, nullptr, L"Edit", nullptr);
    seen.Second = ::FindWindowExW(form, first, L"Edit", nullptr);
    Press(VK_TAB, false);
    FocusMovedFrom(seen.FormThread, form, first);
    const base::Window other(::CreateWindowExW(WS_EX_TOPMOST, L"STATIC", L"other", WS_POPUP | WS_VISIBLE, 0,
                                               0, 100, 100, nullptr, nullptr, nullptr, nullptr));
    seen.OtherActive = Activate(other.Get());
    if (Activate(form))
        seen.Again = FocusMovedFrom(seen.FormThread, form, nullptr);
    Click(form, L"Next >");
    return 0;
}

TEST(Assistant, AClickableImageShowsTheHandAndTheFocusComesBackWithTheForm)
{
    TFormItem picture = Item(TItemKind::Image, u"Picture");
    picture.Clickable = true;
    picture.Width = 100;
    picture.Height = 60;
    const std::unique_ptr<TNVForm> form = Form(
        u"Mouse", {picture, Item(TItemKind::Edit, u"First"), Item(TItemKind::Edit, u"Second")}, 1, u"First");
    ImageEvents = 0;
    form->SetOnAction(&CountImageEvents);
    TMouseAndFocus seen;
    seen.FormThread = ::GetCurrentThreadId();
    const base::KernelHandle driver(::CreateThread(nullptr, 0, &MouseAndFocus, &seen, 0, nullptr));
    EXPECT_EQ(form->ShowModal(nullptr), vxmOk);
    ::WaitForSingleObject(driver.Get(), 20000);
    EXPECT_TRUE(seen.HandOnImage);
    EXPECT_FALSE(seen.HandBeside);
    EXPECT_EQ(ImageEvents, 1);
    ASSERT_TRUE(seen.Second);
    EXPECT_TRUE(seen.OtherActive);
    EXPECT_EQ(seen.Again, seen.Second);
}

// Main buttons that ask not to be drawn by the form are the system's push buttons, of the
// plain row's height (23 pixels; drawn ones are 32); the form still continues by them.
struct TPlainRow
{
    LONG_PTR NextStyle = -1, CancelStyle = -1;
    int NextHeight = 0, CancelHeight = 0;
};

DWORD WINAPI PlainRow(void* data)
{
    auto& row = *static_cast<TPlainRow*>(data);
    const HWND form = WaitForForm(nullptr);
    if (!form)
        return 1;
    for (const auto& [caption, style, height] : {std::tuple{L"Next >", &row.NextStyle, &row.NextHeight},
                                                 {L"Cancel", &row.CancelStyle, &row.CancelHeight}}) {
        const HWND button = ::FindWindowExW(form, nullptr, L"Button", caption);
        RECT r{};
        ::GetWindowRect(button, &r);
        *style = button ? ::GetWindowLongPtrW(button, GWL_STYLE) & BS_TYPEMASK : -1;
        *height = r.bottom - r.top;
    }
    Click(form, L"Next >");
    return 0;
}

TEST(Assistant, MainButtonsNotDrawnByTheFormArePlainPushButtons)
{
    TFormDefinition definition = ReadFormDefinition({}).Form;
    definition.Name = definition.Message = u"Plain";
    definition.Items[mbContinue].NoOwnerDraw = definition.Items[mbCancel].NoOwnerDraw = true;
    definition.Items[mbSkip].Invisible = true;
    TNVForm form(definition, 1, 1, nullptr);
    TPlainRow row;
    const base::KernelHandle driver(::CreateThread(nullptr, 0, &PlainRow, &row, 0, nullptr));
    EXPECT_EQ(form.ShowModal(nullptr), vxmOk);
    ::WaitForSingleObject(driver.Get(), 10000);
    for (const LONG_PTR style : {row.NextStyle, row.CancelStyle})
        EXPECT_TRUE(style == BS_PUSHBUTTON || style == BS_DEFPUSHBUTTON) << style;
    EXPECT_EQ(row.NextHeight, 23);
    EXPECT_EQ(row.CancelHeight, 23);
}

// The stock contact form from this module's resources, with its own handler: remembered
// contact data fill it, "remember me" checked. A form without a resource has its three main
// buttons only, in its place among the steps.
TEST(Assistant, TheContactFormFillsInWhatWasRememberedAndAMissingFormHasItsButtonsOnly)
{
    const wchar_t* key = L"Software\\Tolvaris\\ContactForm";
    for (const auto& [name, value] :
         {std::pair{L"RememberName", L"Bo"}, std::pair{L"RememberEmail", L"bo@example.org"}})
        ::RegSetKeyValueW(HKEY_CURRENT_USER, key, name, REG_SZ, value,
                          static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t)));
    const base::ComPtr<TNVAssistant> assistant =
        OpenAssistant(::GetModuleHandleW(nullptr), u"Test", {u"ContactForm", u"NoSuchForm"}, nullptr);
    ::RegDeleteKeyW(HKEY_CURRENT_USER, key);
    ASSERT_EQ(assistant->FormCount(), 2);
    TNVForm& contact = *assistant->FormAt(0);
    ASSERT_TRUE(contact.ItemOf(u"NameEdit", TItemKind::Edit) &&
                contact.ItemOf(u"MemCheck", TItemKind::CheckBox));
    EXPECT_EQ(contact.ItemOf(u"NameEdit", TItemKind::Edit)->GetText(), u"Bo");
    EXPECT_EQ(contact.ItemOf(u"EmailEdit", TItemKind::Edit)->GetText(), u"bo@example.org");
    EXPECT_TRUE(contact.ItemOf(u"MemCheck", TItemKind::CheckBox)->GetChecked());
    TNVForm& missing = *assistant->FormAt(1);
    EXPECT_EQ(missing.ItemCount(), 3);
    EXPECT_EQ(missing.Step(), 2);
    EXPECT_EQ(missing.Steps(), 2);
}

// The message box of a form resource with a value of a kind the reader does not know is read
// and closed by a second thread.
DWORD WINAPI CloseTheBox(void* text)
{
    for (int i = 0; i < 500; ++i) {
        if (const HWND box = ::FindWindowW(L"#32770", L"Vexcatch")) {
            for (HWND c = ::FindWindowExW(box, nullptr, L"Static", nullptr); c;
                 c = ::FindWindowExW(box, c, L"Static", nullptr)) {
                wchar_t line[128] = {};
                ::GetWindowTextW(c, line, 128);
                if (line[0])
                    *static_cast<std::wstring*>(text) = line;
            }
            ::PostMessageW(box, WM_COMMAND, IDOK, 0);
            return 0;
        }
        ::Sleep(10);
    }
    return 1;
}

// A cut one is read as far as it goes, without a message (and without a box of its own,
// which nothing here would close).
TEST(Assistant, AFormResourceWithAnUnknownValueKindIsAnInternalErrorAndKeepsWhatCameBefore)
{
    std::wstring text;
    const base::KernelHandle closer(::CreateThread(nullptr, 0, &CloseTheBox, &text, 0, nullptr));
    // unsupported_form.rc: a form whose message comes before a value of kind 10, and one
    // whose message is cut.
    const base::ComPtr<TNVAssistant> assistant =
        OpenAssistant(::GetModuleHandleW(nullptr), u"Test", {u"Unsupported", u"Cut"}, nullptr);
    ::WaitForSingleObject(closer.Get(), 10000);
    EXPECT_EQ(text, L"Internal error: Invalid assistant resource (10).");
    ASSERT_EQ(assistant->FormCount(), 2);
    EXPECT_EQ(assistant->FormAt(0)->Message(), u"Bad");
    EXPECT_EQ(assistant->FormAt(1)->Name(), u"CutForm");
    EXPECT_EQ(assistant->FormAt(1)->Message(), u"");
    EXPECT_EQ(assistant->FormAt(1)->ItemCount(), 3);
}

} // namespace
} // namespace crash
