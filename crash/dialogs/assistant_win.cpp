#include "crash/dialogs/assistant_win.h"

#include "base/ascii_case.h"
#include "base/seh_frame.h"
#include "base/utf_win.h"
#include "base/win_handle.h"
#include "crash/settings/report_settings.h"

#include <algorithm>

namespace crash {
namespace {

constexpr wchar_t FormClass[] = L"DrevassaWnd";
constexpr UINT_PTR FormTimer = 1;
constexpr int FirstItemId = 100;

const wchar_t* W(const std::u16string& s)
{
    return reinterpret_cast<const wchar_t*>(s.c_str());
}

bool NameIs(std::u16string_view a, std::u16string_view b)
{
    return base::AsciiEqualIgnoringCase(a, b);
}

std::u16string FromWide(const std::wstring& s)
{
    return {s.begin(), s.end()};
}

// The face the system gives for `font`.
std::wstring FaceOf(HGDIOBJ font)
{
    const base::MemoryDc dc(::CreateCompatibleDC(nullptr));
    const base::DcSelection selected(dc.Get(), font);
    wchar_t face[LF_FACESIZE] = {};
    ::GetTextFaceW(dc.Get(), LF_FACESIZE, face);
    return face;
}

// A font of that face and character height, "MS Sans Serif" when the face is missing.
base::GdiObject FaceFont(const wchar_t* face, int height, int weight, BYTE charset = DEFAULT_CHARSET)
{
    for (const wchar_t* f : {face, L"MS Sans Serif"}) {
        LOGFONTW log{};
        log.lfHeight = -height;
        log.lfWeight = weight;
        log.lfCharSet = f == face ? charset : DEFAULT_CHARSET;
        wcsncpy(log.lfFaceName, f, LF_FACESIZE - 1);
        base::GdiObject font(::CreateFontIndirectW(&log));
        if (font && (f != face || _wcsicmp(FaceOf(font.Get()).c_str(), f) == 0))
            return font;
    }
    return {};
}

// Each channel moved by `by`, saturating; the other way when two or more channels would
// saturate.
COLORREF ShiftColor(COLORREF c, int by)
{
    int saturated = 0;
    for (int shift : {0, 8, 16}) {
        const int v = static_cast<int>((c >> shift) & 0xFF) + by;
        saturated += v < 0 || v > 255;
    }
    if (saturated >= 2)
        by = -by;
    COLORREF out = 0;
    for (int shift : {0, 8, 16})
        out |= static_cast<COLORREF>(std::clamp(static_cast<int>((c >> shift) & 0xFF) + by, 0, 255)) << shift;
    return out;
}

COLORREF LightGrey()
{
    const COLORREF face = ::GetSysColor(COLOR_BTNFACE);
    return RGB(128 + GetRValue(face) / 2, 128 + GetGValue(face) / 2, 128 + GetBValue(face) / 2);
}

void Fill(HDC dc, const RECT& r, COLORREF colour)
{
    ::SetBkColor(dc, colour);
    ::ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &r, nullptr, 0, nullptr);
}

void Frame(HDC dc, const RECT& r, COLORREF colour)
{
    const base::GdiObject brush(::CreateSolidBrush(colour));
    ::FrameRect(dc, &r, static_cast<HBRUSH>(brush.Get()));
}

// The text in white at the eight neighbouring places, then in its colour.
void DrawHaloText(HDC dc, const std::u16string& text, RECT r, UINT format, COLORREF colour)
{
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, RGB(255, 255, 255));
    for (int dx = -1; dx <= 1; ++dx) {
        for (int dy = -1; dy <= 1; ++dy) {
            if (!dx && !dy)
                continue;
            RECT moved{r.left + dx, r.top + dy, r.right + dx, r.bottom + dy};
            ::DrawTextW(dc, W(text), -1, &moved, format);
        }
    }
    ::SetTextColor(dc, colour);
    ::DrawTextW(dc, W(text), -1, &r, format);
}

RECT Rect(const TFormRect& r)
{
    return {r.X, r.Y, r.X + r.Width, r.Y + r.Height};
}

TFormSize Measure(HFONT font, std::u16string_view text, int width = 0)
{
    const base::MemoryDc dc(::CreateCompatibleDC(nullptr));
    const base::DcSelection selected(dc.Get(), font);
    const std::u16string s(text.empty() ? u" " : text);
    RECT r{0, 0, std::max(width, 1), 0};
    ::DrawTextW(dc.Get(), W(s), -1, &r,
                DT_CALCRECT | DT_NOPREFIX | (width > 0 ? DT_WORDBREAK : DT_SINGLELINE));
    return {text.empty() ? 0 : r.right - r.left, r.bottom - r.top};
}

} // namespace

// The window of a shown form: its fonts and the layout it was made with.
struct TNVForm::TWindow
{
    base::GdiObject ItemFont, ButtonFont, PlainButtonFont, HeadFont, MarkFont;
    TFormLayout Layout;
    HWND Owner = nullptr;
    bool OwnerDisabled = false; // by this form, which enables it again before it goes
    HWND LastFocus = nullptr;
    TNVItem* Pressed = nullptr; // the clickable image under the pressed mouse button
    bool Marlett = false;       // the check mark's symbol font is there
    base::Window Wnd;           // last: destroyed before the fonts its controls use
    static LRESULT CALLBACK Proc(HWND wnd, UINT msg, WPARAM wparam, LPARAM lparam);
};

// ---- items ---------------------------------------------------------------------------------

void TNVItem::SetEnabled(bool enabled)
{
    FDef.Enabled = enabled;
    FParent.ApplyEnabled(*this);
}

void TNVItem::SetValid(bool valid)
{
    FDef.Valid = valid;
    if (FHandle)
        ::InvalidateRect(FHandle, nullptr, TRUE);
    FParent.UpdateContinue();
}

void TNVItem::Focus()
{
    if (!FHandle)
        return;
    ::SetFocus(FHandle);
    if (FDef.Kind == TItemKind::Edit)
        ::SendMessageW(FHandle, EM_SETSEL, 0, -1);
}

std::u16string TNVItem::GetText()
{
    if (FDef.Kind == TItemKind::Edit && FHandle) {
        std::wstring text(static_cast<size_t>(::GetWindowTextLengthW(FHandle)) + 1, L'\0');
        text.resize(
            static_cast<size_t>(::GetWindowTextW(FHandle, text.data(), static_cast<int>(text.size()))));
        return FromWide(text);
    }
    return FDef.Text;
}

void TNVItem::SetText(const std::u16string& text)
{
    if (FDef.Kind != TItemKind::Edit)
        return;
    FDef.Text = text;
    if (FHandle) {
        // A multi-line edit tells no change of its text: the event is raised here for both.
        FParent.FSettingText = true;
        ::SetWindowTextW(FHandle, W(text));
        FParent.FSettingText = false;
    }
    FParent.Fire(nvaItemEvent, this);
    FParent.UpdateContinue();
}

// The inner box of an image item: inside its clickable outline and its border.
static RECT ImageBox(const TFormItem& d, const TFormRect& r)
{
    RECT box = Rect(r);
    const int inset = (d.Clickable ? 3 : 0) + (d.Border ? 1 : 0);
    ::InflateRect(&box, -inset, -inset);
    return box;
}

void TNVItem::SetBitmap(const base::ComPtr<IVxBitmap>& bitmap)
{
    FBitmap = bitmap;
    if (!FBitmap || !FParent.FHandle)
        return;
    const RECT box = ImageBox(FDef, FRect);
    const int w = box.right - box.left, h = box.bottom - box.top;
    if (w > 0 && h > 0 && (FBitmap->GetWidth() > w || FBitmap->GetHeight() > h))
        if (base::ComPtr<IVxBitmap> zoomed = FBitmap->Zoom(w, h))
            FBitmap = zoomed;
    ::InvalidateRect(FParent.FHandle, &box, FALSE);
}

void TNVItem::SetCaption(const std::u16string& caption)
{
    FDef.Caption = caption;
    if (FHandle)
        ::SetWindowTextW(FHandle, W(FDef.ShownCaption()));
}

void TNVItem::SetTabStop(bool tabStop)
{
    FDef.TabStop = tabStop;
    if (FHandle) {
        const LONG style = ::GetWindowLongW(FHandle, GWL_STYLE);
        ::SetWindowLongW(FHandle, GWL_STYLE, tabStop ? style | WS_TABSTOP : style & ~WS_TABSTOP);
    }
}

void TNVItem::SetOptional(bool optional)
{
    FDef.Optional = optional;
    FParent.UpdateContinue();
}

void TNVItem::SetColored(bool colored)
{
    FDef.Colored = colored;
    if (FHandle)
        ::InvalidateRect(FHandle, nullptr, TRUE);
}

bool TNVItem::SetOutputType(TOutputType type)
{
    if (type == otOwnSection && !(FDef.Kind == TItemKind::Edit && FDef.Lines > 1))
        return false;
    FDef.OutputType = type;
    return true;
}

void TNVItem::SetChecked(bool checked)
{
    FDef.Checked = checked;
    if (FHandle)
        ::InvalidateRect(FHandle, nullptr, TRUE);
}

// ---- forms ---------------------------------------------------------------------------------

TNVForm::TNVForm(TFormDefinition definition, int32_t step, int32_t steps, ReportSettings* exception)
    : FDef(std::move(definition)), FStep(step), FSteps(steps), FException(exception)
{
    for (const TFormItem& item : FDef.Items)
        FItems.push_back(std::make_unique<TNVItem>(*this, item));
}

IVxAssistantItem* TNVForm::Item(int index)
{
    return index >= 0 && static_cast<size_t>(index) < FItems.size() ? FItems[static_cast<size_t>(index)].get()
                                                                    : nullptr;
}

TNVItem* TNVForm::ItemOf(std::u16string_view name, TItemKind kind)
{
    for (const auto& item : FItems)
        if (item->FDef.Kind == kind && NameIs(item->FDef.Name, name))
            return item.get();
    return nullptr;
}

bool TNVForm::ItemsAllowContinue()
{
    for (size_t i = mbCount; i < FItems.size(); ++i)
        if (!AllowsContinue(FItems[i]->FDef, FItems[i]->GetText()))
            return false;
    return true;
}

bool TNVForm::ContinueButtonEnabled()
{
    return FItems[mbContinue]->FDef.Enabled && ItemsAllowContinue();
}

void TNVForm::Fire(TNVAction action, TNVItem* item)
{
    // A failing handler is the program's failure, not the form's: the form goes on.
    for (TNVActionHandler handler : {FOnAction, FAssistantAction})
        if (handler)
            base::Guarded([&] { handler(*this, action, item, FException); });
}

void TNVForm::ApplyEnabled(TNVItem& item)
{
    if (item.FHandle)
        ::EnableWindow(item.FHandle, item.FDef.Enabled && !item.FForceDisabled);
}

void TNVForm::UpdateContinue()
{
    const bool allowed = ItemsAllowContinue();
    TNVItem& button = *FItems[mbContinue];
    if (button.FForceDisabled == !allowed)
        return;
    button.FForceDisabled = !allowed;
    ApplyEnabled(button);
    if (button.FHandle)
        ::InvalidateRect(button.FHandle, nullptr, TRUE);
}

void TNVForm::SetTitle(const std::u16string& title)
{
    FTitle = title;
    if (FHandle) // a form on the screen is retitled at once
        ::SetWindowTextW(FHandle, W(FTitle));
}

void TNVForm::SetMessage(const std::u16string& message)
{
    FDef.Message = message;
    if (FHandle)
        ::InvalidateRect(FHandle, nullptr, TRUE);
}

TNVModalResult TNVForm::ShowModal(HWND owner)
{
    FModalResult = vxmInvalid;
    if (FSkip)
        return FModalResult = vxmSkip;
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &TWindow::Proc;
    wc.hInstance = instance;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = FormClass;
    ::RegisterClassExW(&wc); // once per process; a second registration fails harmlessly

    TWindow window;
    FWindow = &window;
    window.Owner = owner;
    const bool disableOwner = owner && ::IsWindowEnabled(owner);
    window.ItemFont = FaceFont(L"Tahoma", 11, FW_NORMAL);
    window.ButtonFont = FaceFont(L"Arial", 15, FW_NORMAL);
    window.PlainButtonFont = FaceFont(L"Tahoma", 11, FW_NORMAL);
    window.HeadFont = FaceFont(L"Arial", 15, FW_BOLD);
    window.MarkFont = FaceFont(L"Marlett", 13, FW_NORMAL, SYMBOL_CHARSET);
    window.Marlett = _wcsicmp(FaceOf(window.MarkFont.Get()).c_str(), L"Marlett") == 0;
    const HFONT item = static_cast<HFONT>(window.ItemFont.Get());

    TFormDefinition current = FDef;
    for (size_t i = 0; i < FItems.size(); ++i)
        current.Items[i] = FItems[i]->FDef;
    TFormMeasure m;
    m.ButtonCaption = [&](std::u16string_view s) {
        return Measure(static_cast<HFONT>(window.ButtonFont.Get()), s);
    };
    m.PlainButtonCaption = [&](std::u16string_view s) {
        return Measure(static_cast<HFONT>(window.PlainButtonFont.Get()), s);
    };
    m.Message = [&](std::u16string_view s) { return Measure(static_cast<HFONT>(window.HeadFont.Get()), s); };
    m.ItemText = [&](std::u16string_view s) { return Measure(item, s); };
    m.WrappedItemText = [&](std::u16string_view s, int32_t width) { return Measure(item, s, width); };
    m.CheckMark = {::GetSystemMetrics(SM_CXMENUCHECK), ::GetSystemMetrics(SM_CYMENUCHECK)};
    for (const auto& it : FItems)
        if (it->FDef.Kind == TItemKind::Image && !it->FBitmap && !it->FDef.File.empty())
            it->FBitmap = LoadBitmapFile(std::wstring(it->FDef.File.begin(), it->FDef.File.end()));
    // The layout asks about the items of `current`, which stand where their items stand.
    m.Picture = [&](const TFormItem& d) {
        for (size_t i = 0; i < FItems.size(); ++i)
            if (&current.Items[i] == &d && FItems[i]->FBitmap)
                return TFormSize{FItems[i]->FBitmap->GetWidth(), FItems[i]->FBitmap->GetHeight()};
        return TFormSize{};
    };
    m.ScreenHeight = ::GetSystemMetrics(SM_CYSCREEN);
    window.Layout = LayoutForm(current, FSteps, m);
    const TFormLayout& layout = window.Layout;

    const DWORD style = WS_CAPTION | WS_SYSMENU | WS_POPUP | WS_CLIPCHILDREN;
    RECT frame{0, 0, layout.Width, layout.Height};
    ::AdjustWindowRectEx(&frame, style, FALSE, WS_EX_DLGMODALFRAME);
    const int w = frame.right - frame.left, h = frame.bottom - frame.top;
    window.Wnd.Reset(::CreateWindowExW(
        WS_EX_DLGMODALFRAME, FormClass, W(FTitle), style, (::GetSystemMetrics(SM_CXSCREEN) - w) / 2,
        (::GetSystemMetrics(SM_CYSCREEN) - h) / 2, w, h, window.Owner, nullptr, instance, this));
    FHandle = window.Wnd.Get();
    if (!FHandle) {
        FWindow = nullptr;
        return FModalResult = vxmCancel;
    }
    if (const HMENU menu = ::GetSystemMenu(FHandle, FALSE)) {
        for (UINT command : {SC_SIZE, SC_MINIMIZE, SC_MAXIMIZE, SC_RESTORE})
            ::DeleteMenu(menu, command, MF_BYCOMMAND);
    }

    // The items' windows.
    for (size_t i = 0; i < FItems.size(); ++i) {
        TNVItem& it = *FItems[i];
        it.FRect = layout.Items[i];
        it.FForceDisabled = false;
        const TFormItem& d = it.FDef;
        const RECT r = Rect(it.FRect);
        const HMENU id = reinterpret_cast<HMENU>(static_cast<INT_PTR>(FirstItemId + i));
        DWORD s = WS_CHILD | WS_VISIBLE;
        const wchar_t* cls = L"Button";
        std::u16string text = d.ShownCaption();
        HFONT font = item;
        RECT at = r;
        switch (d.Kind) {
        case TItemKind::Button:
            s |= BS_NOTIFY | (i < mbCount && !d.NoOwnerDraw ? BS_OWNERDRAW : BS_PUSHBUTTON);
            if (i < mbCount)
                font = static_cast<HFONT>((d.NoOwnerDraw ? window.PlainButtonFont : window.ButtonFont).Get());
            if (d.Invisible)
                s &= ~WS_VISIBLE;
            break;
        case TItemKind::Label:
            cls = L"Static";
            s |= SS_NOPREFIX;
            break;
        case TItemKind::Edit: {
            cls = L"Edit";
            text = d.Text;
            s |= d.Lines > 1 ? ES_MULTILINE | ES_WANTRETURN | ES_AUTOVSCROLL | WS_VSCROLL : 0;
            const TFormRect box = EditBox(it.FRect);
            at = Rect(box);
            break;
        }
        case TItemKind::CheckBox:
            s |= BS_OWNERDRAW | BS_NOTIFY;
            break;
        case TItemKind::Image: {
            // Painted by the form; a picture of another size than its box is zoomed to it.
            const RECT box = ImageBox(d, it.FRect);
            if (it.FBitmap && (it.FBitmap->GetWidth() != box.right - box.left ||
                               it.FBitmap->GetHeight() != box.bottom - box.top))
                if (base::ComPtr<IVxBitmap> zoomed =
                        it.FBitmap->Zoom(box.right - box.left, box.bottom - box.top))
                    it.FBitmap = zoomed;
            continue;
        }
        }
        if (d.TabStop && d.Kind != TItemKind::Label)
            s |= WS_TABSTOP;
        it.FHandle = ::CreateWindowExW(0, cls, W(text), s, at.left, at.top, at.right - at.left,
                                       at.bottom - at.top, FHandle, id, instance, nullptr);
        if (it.FHandle)
            ::SendMessageW(it.FHandle, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        ApplyEnabled(it);
    }
    UpdateContinue();

    Fire(nvaFormShow, nullptr);
    if (FSkip) {
        ForgetWindows();
        window.Wnd.Reset();
        return FModalResult = vxmSkip;
    }
    // The first focus (after the handlers had their say): the active control, else the
    // first item after the cancel button that takes it (ring order), else continue.
    auto focusable = [](const TNVItem& it) {
        // (the form itself is not visible yet: the item's own style tells)
        const LONG style = it.FHandle ? ::GetWindowLongW(it.FHandle, GWL_STYLE) : 0;
        return (style & WS_VISIBLE) && (style & WS_TABSTOP) && !(style & WS_DISABLED);
    };
    TNVItem* focus = nullptr;
    if (!FDef.ActiveControl.empty())
        for (const auto& it : FItems)
            if (NameIs(it->FDef.Name, FDef.ActiveControl) && focusable(*it))
                focus = it.get(); // (one that cannot take the focus gives way to the ring)
    for (size_t i = mbCount; !focus && i < FItems.size() + mbCount; ++i)
        if (focusable(*FItems[i % FItems.size()]))
            focus = FItems[i % FItems.size()].get();
    if (disableOwner)
        window.OwnerDisabled = !::EnableWindow(owner, FALSE);
    ::ShowWindow(FHandle, SW_SHOWNORMAL);
    ::BringWindowToTop(FHandle);
    ::SetForegroundWindow(FHandle);
    if (focus)
        focus->Focus();
    if (FDef.Timer > 0)
        ::SetTimer(FHandle, FormTimer, static_cast<UINT>(FDef.Timer), nullptr);

    // The form's own loop: Escape cancels, Tab (the character) and Enter in a content item
    // move the focus in ring order.
    auto next = [&](HWND from, bool back) {
        size_t at = 0;
        for (size_t i = 0; i < FItems.size(); ++i)
            if (FItems[i]->FHandle == from)
                at = i;
        for (size_t k = 1; k <= FItems.size(); ++k) {
            const size_t i = back ? (at + FItems.size() * 2 - k) % FItems.size() : (at + k) % FItems.size();
            const HWND c = FItems[i]->FHandle;
            if (c && ::IsWindowVisible(c) && ::IsWindowEnabled(c) &&
                (::GetWindowLongW(c, GWL_STYLE) & WS_TABSTOP)) {
                FItems[i]->Focus();
                return;
            }
        }
    };
    MSG msg;
    while (FHandle && ::IsWindow(FHandle)) {
        const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got <= 0) {
            // The program is ending: the form closes as cancelled, the quit goes on.
            if (got == 0)
                ::PostQuitMessage(static_cast<int>(msg.wParam));
            Close(vxmCancel);
            break;
        }
        const HWND focused = ::GetFocus();
        TNVItem* in = nullptr;
        for (size_t i = mbCount; i < FItems.size(); ++i)
            if (FItems[i]->FHandle && FItems[i]->FHandle == focused)
                in = FItems[i].get();
        if (msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE) {
            const TNVItem& cancel = *FItems[mbCancel];
            if (cancel.FDef.Enabled && !cancel.FForceDisabled)
                ::SendMessageW(FHandle, WM_CLOSE, 0, 0);
            continue;
        }
        if (msg.message == WM_CHAR && msg.wParam == L'\t') {
            next(focused, ::GetKeyState(VK_SHIFT) < 0);
            continue;
        }
        const bool multiLine = in && in->FDef.Kind == TItemKind::Edit && in->FDef.Lines > 1;
        if (msg.message == WM_KEYDOWN && msg.wParam == VK_RETURN && in && !multiLine) {
            next(focused, false);
            continue;
        }
        if (!(msg.message == WM_KEYDOWN &&
              (msg.wParam == VK_TAB || (msg.wParam == VK_RETURN && multiLine))) &&
            ::IsDialogMessageW(FHandle, &msg))
            continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    if (window.OwnerDisabled)
        ::EnableWindow(owner, TRUE);
    if (disableOwner)
        ::SetActiveWindow(owner);
    ForgetWindows();
    return FModalResult;
}

LRESULT CALLBACK TNVForm::TWindow::Proc(HWND wnd, UINT msg, WPARAM wparam, LPARAM lparam)
{
    if (msg == WM_NCCREATE)
        ::SetWindowLongPtrW(
            wnd, GWLP_USERDATA,
            reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams));
    auto* form = reinterpret_cast<TNVForm*>(::GetWindowLongPtrW(wnd, GWLP_USERDATA));
    if (!form || !form->FWindow)
        return ::DefWindowProcW(wnd, msg, wparam, lparam);
    // A failure inside the form (its handlers included) leaves the message handled.
    LRESULT result = 0;
    if (!base::Guarded([&] { result = form->Message(wnd, msg, wparam, lparam); })) {
        ::OutputDebugStringW(L"Vexcatch: internal error in an assistant form\n");
        return 0;
    }
    return result;
}

void TNVForm::Close(TNVModalResult result, bool destroy)
{
    if (!FHandle)
        return;
    ::KillTimer(FHandle, FormTimer);
    FModalResult = result;
    if (result == vxmOk) {
        // The answers outlive the window.
        for (const auto& it : FItems) {
            if (it->FDef.Kind == TItemKind::Edit) {
                it->FDef.Text = it->GetText();
                it->FHandle = nullptr;
            }
        }
    }
    Fire(nvaFormClose, nullptr);
    TWindow* window = FWindow;
    ForgetWindows();
    if (!window)
        return;
    // The owner is enabled before the form goes, so that the system activates it again
    // rather than a window of another program.
    if (window->OwnerDisabled) {
        ::EnableWindow(window->Owner, TRUE);
        window->OwnerDisabled = false;
    }
    if (destroy)
        window->Wnd.Reset();
    else
        window->Wnd.Release(); // being destroyed already
}

void TNVForm::ForgetWindows()
{
    for (const auto& it : FItems)
        it->FHandle = nullptr;
    FHandle = nullptr;
    FWindow = nullptr;
}

TNVItem* TNVForm::ItemOfWindow(HWND wnd)
{
    for (const auto& it : FItems)
        if (it->FHandle && it->FHandle == wnd)
            return it.get();
    return nullptr;
}

TNVItem* TNVForm::ImageAt(POINT p)
{
    for (const auto& it : FItems) {
        const RECT r = Rect(it->FRect);
        if (it->FDef.Kind == TItemKind::Image && it->FDef.Clickable && ::PtInRect(&r, p))
            return it.get();
    }
    return nullptr;
}

LRESULT TNVForm::Message(HWND wnd, UINT msg, WPARAM wparam, LPARAM lparam)
{
    switch (msg) {
    case WM_COMMAND: {
        TNVItem* it = ItemOfWindow(reinterpret_cast<HWND>(lparam));
        if (!it)
            break;
        const WORD code = HIWORD(wparam);
        const bool clicked = code == BN_CLICKED || code == BN_DOUBLECLICKED; // a quick second click too
        if (it->FDef.Kind == TItemKind::Edit && code == EN_CHANGE) {
            if (!FSettingText) {
                Fire(nvaItemEvent, it);
                UpdateContinue();
            }
        } else if (it->FDef.Kind == TItemKind::Edit && (code == EN_SETFOCUS || code == EN_KILLFOCUS)) {
            const RECT frame = Rect(it->FRect); // the frame shows the focus
            ::InvalidateRect(wnd, &frame, FALSE);
        } else if (it->FDef.Kind == TItemKind::CheckBox && clicked) {
            it->SetChecked(!it->FDef.Checked);
            Fire(nvaItemEvent, it);
        } else if (it->FDef.Kind == TItemKind::Button && clicked) {
            Fire(nvaItemEvent, it);
            if (it == FItems[mbContinue].get())
                Close(vxmOk);
            else if (it == FItems[mbSkip].get())
                Close(vxmSkip);
            else if (it == FItems[mbCancel].get())
                Close(vxmCancel);
        } else if (code == BN_SETFOCUS || code == BN_KILLFOCUS) {
            ::InvalidateRect(it->FHandle, nullptr, FALSE);
        }
        return 0;
    }
    case DM_GETDEFID: {
        // The focused button is the default one.
        const HWND focus = ::GetFocus();
        const TNVItem* it = ItemOfWindow(focus);
        const int id =
            it && it->FDef.Kind == TItemKind::Button ? ::GetDlgCtrlID(focus) : FirstItemId + mbContinue;
        return MAKELRESULT(id, DC_HASDEFID);
    }
    case WM_DRAWITEM: {
        const auto* d = reinterpret_cast<const DRAWITEMSTRUCT*>(lparam);
        TNVItem* it = ItemOfWindow(d->hwndItem);
        if (!it)
            break;
        if (it->FDef.Kind == TItemKind::CheckBox)
            DrawCheckBox(*it, *d);
        else
            DrawMainButton(*it, *d);
        return TRUE;
    }
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC: {
        TNVItem* it = ItemOfWindow(reinterpret_cast<HWND>(lparam));
        const HDC dc = reinterpret_cast<HDC>(wparam);
        if (it && it->FDef.Kind == TItemKind::Edit) {
            ::SetTextColor(dc, !it->FDef.Colored ? RGB(0, 0, 0)
                               : it->FDef.Valid  ? RGB(0, 128, 0)
                                                 : RGB(128, 0, 0));
            ::SetBkColor(dc, ::GetSysColor(COLOR_WINDOW));
            return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_WINDOW));
        }
        ::SetBkMode(dc, TRANSPARENT);
        return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
    }
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        const HDC dc = ::BeginPaint(wnd, &ps);
        Paint(dc);
        ::EndPaint(wnd, &ps);
        return 0;
    }
    case WM_TIMER:
        if (wparam == FormTimer)
            Fire(nvaItemEvent, nullptr);
        return 0;
    case WM_SETCURSOR:
        if (reinterpret_cast<HWND>(wparam) == wnd) {
            POINT p;
            ::GetCursorPos(&p);
            ::ScreenToClient(wnd, &p);
            if (ImageAt(p)) {
                ::SetCursor(::LoadCursorW(nullptr, IDC_HAND));
                return TRUE;
            }
        }
        break;
    case WM_LBUTTONDOWN:
        FWindow->Pressed = ImageAt({static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam))});
        return 0;
    case WM_LBUTTONUP: {
        TNVItem* it = ImageAt({static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam))});
        const bool clicked = it && it == FWindow->Pressed;
        FWindow->Pressed = nullptr;
        if (clicked) // its handler may close the form
            Fire(nvaItemEvent, it);
        return 0;
    }
    case WM_ACTIVATE:
        // The focus comes back to where it was.
        if (LOWORD(wparam) == WA_INACTIVE) {
            const HWND focus = ::GetFocus();
            if (focus && ::IsChild(wnd, focus))
                FWindow->LastFocus = focus;
        } else if (FWindow->LastFocus && ::IsWindow(FWindow->LastFocus)) {
            ::SetFocus(FWindow->LastFocus);
        }
        return 0;
    case WM_CLOSE:
        Close(vxmCancel);
        return 0;
    case WM_DESTROY:
        // Destroyed from outside (with its owner): closed as cancelled all the same.
        if (FHandle == wnd)
            Close(vxmCancel, false);
        return 0;
    default:
        break;
    }
    return ::DefWindowProcW(wnd, msg, wparam, lparam);
}

void TNVForm::Paint(HDC target)
{
    RECT client;
    ::GetClientRect(FHandle, &client);
    const base::MemoryDc dc(::CreateCompatibleDC(target));
    const base::GdiObject bitmap(::CreateCompatibleBitmap(target, client.right, client.bottom));
    const base::DcSelection selected(dc.Get(), bitmap.Get());
    const HDC d = dc.Get();
    const COLORREF face = ::GetSysColor(COLOR_BTNFACE);
    Fill(d, client, ShiftColor(face, 8));

    // The content panel with its dotted frame.
    const int panelBottom = FItems[mbContinue]->FRect.Y - 10;
    const RECT panel{8, 25, FWindow->Layout.Width - 8, panelBottom + 1};
    Fill(d, panel, face);
    const COLORREF dots = ShiftColor(face, -16);
    for (int x = panel.left; x < panel.right; x += 2)
        for (int y : {panel.top, panel.top + 1, panel.bottom - 2, panel.bottom - 1})
            ::SetPixelV(d, x + (y & 1), y, dots);
    for (int y = panel.top; y < panel.bottom; y += 2)
        for (int x : {panel.left, panel.left + 1, panel.right - 2, panel.right - 1})
            ::SetPixelV(d, x, y + (x & 1), dots);

    // The header and the steps.
    {
        const base::DcSelection font(d, FWindow->HeadFont.Get());
        RECT head{11, 6, client.right, 25};
        DrawHaloText(d, FDef.Message, head, DT_SINGLELINE | DT_NOPREFIX, ::GetSysColor(COLOR_3DDKSHADOW));
        const int w = FWindow->Layout.Width;
        const int boxX = w - 19 * (FSteps - FStep) - 29;
        const RECT box{boxX, 2, boxX + 21, 23};
        Fill(d, box, ::GetSysColor(COLOR_BTNSHADOW));
        RECT inner{box.left + 2, box.top + 2, box.right - 2, box.bottom - 2};
        Fill(d, inner, ::GetSysColor(COLOR_WINDOW));
        const COLORREF window = ::GetSysColor(COLOR_WINDOW);
        for (int row = 7; row <= 20; ++row) {
            const RECT line{inner.left, box.top + row, inner.right, box.top + row + 1};
            Fill(d, line, ShiftColor(window, -2 * (row - 6)));
        }
        for (int n = 1; n <= FSteps; ++n) {
            const std::u16string number = FromWide(std::to_wstring(n));
            RECT at{w - 19 * FSteps - 3 + 19 * (n - 1), 4, w - 19 * FSteps - 3 + 19 * n, 24};
            if (n == FStep) {
                DrawHaloText(d, number, at, DT_SINGLELINE, ::GetSysColor(COLOR_WINDOWTEXT));
            } else {
                ::SetTextColor(d, ::GetSysColor(COLOR_BTNSHADOW));
                ::DrawTextW(d, W(number), -1, &at, DT_SINGLELINE);
            }
        }
    }

    // The edits' frames and the images.
    const COLORREF grey = LightGrey();
    for (const auto& it : FItems) {
        const RECT r = Rect(it->FRect);
        if (it->FDef.Kind == TItemKind::Edit) {
            if (it->FHandle && ::GetFocus() == it->FHandle) {
                Fill(d, r, ::GetSysColor(COLOR_WINDOW));
                const RECT outline{r.left, r.top, r.right - 1, r.bottom - 1};
                Frame(d, outline, ::GetSysColor(COLOR_BTNSHADOW));
                const RECT faceRing{r.left + 1, r.top + 1, r.right - 1, r.bottom - 1};
                Frame(d, faceRing, face);
            } else {
                Fill(d, r, grey);
            }
        } else if (it->FDef.Kind == TItemKind::Image) {
            if (it->FDef.Clickable) {
                Frame(d, r, grey);
                const RECT second{r.left + 1, r.top + 1, r.right - 1, r.bottom - 1};
                Frame(d, second, grey);
            }
            const RECT box = ImageBox(it->FDef, it->FRect);
            if (it->FDef.Border) {
                const RECT border{box.left - 1, box.top - 1, box.right + 1, box.bottom + 1};
                Frame(d, border, ::GetSysColor(COLOR_WINDOWTEXT));
            }
            Fill(d, box, face);
            if (it->FBitmap)
                it->FBitmap->Draw(d, box.left, box.top);
        }
    }
    ::BitBlt(target, 0, 0, client.right, client.bottom, d, 0, 0, SRCCOPY);
}

void TNVForm::DrawMainButton(const TNVItem& it, const DRAWITEMSTRUCT& item)
{
    const HDC dc = item.hDC;
    const RECT r = item.rcItem;
    static constexpr COLORREF Steps[mbCount] = {0x020102, 0x010202, 0x020201};
    static constexpr COLORREF Dots[mbCount] = {0x80A080, 0xA08080, 0x8080A0};
    int b = 0;
    for (int k = 0; k < mbCount; ++k)
        if (FItems[static_cast<size_t>(k)].get() == &it)
            b = k;
    const bool disabled = (item.itemState & ODS_DISABLED) != 0;
    const bool focused = (item.itemState & ODS_FOCUS) != 0 && !disabled;
    const COLORREF face = ::GetSysColor(COLOR_BTNFACE);
    const int height = r.bottom - r.top;
    auto stepped = [&](COLORREF from, int times, int sign) {
        COLORREF out = 0;
        for (int shift : {0, 8, 16}) {
            const int c = static_cast<int>((from >> shift) & 0xFF) +
                          sign * times * static_cast<int>((Steps[b] >> shift) & 0xFF);
            out |= static_cast<COLORREF>(std::clamp(c, 0, 255)) << shift;
        }
        return out;
    };
    const base::DcSelection font(
        dc, (it.FDef.NoOwnerDraw ? FWindow->PlainButtonFont : FWindow->ButtonFont).Get());
    RECT text = r;
    if (disabled) {
        Fill(dc, r, face);
        const RECT inner{r.left + 2, r.top + 2, r.right - 2, r.bottom - 2};
        Fill(dc, inner, ShiftColor(face, 16));
        ::SetBkMode(dc, TRANSPARENT);
        ::SetTextColor(dc, RGB(255, 255, 255));
        ::DrawTextW(dc, W(it.FDef.ShownCaption()), -1, &text, DT_SINGLELINE | DT_CENTER | DT_VCENTER);
        return;
    }
    if (focused) {
        Fill(dc, r, ::GetSysColor(COLOR_WINDOWTEXT));
        for (int row = 0; row < height; ++row) {
            const RECT line{r.left, r.bottom - 1 - row, r.right, r.bottom - row};
            Fill(dc, line, stepped(RGB(0, 0, 0), row / 2, +1));
        }
        const RECT dotted{r.left + 3, r.top + 3, r.right - 3, r.bottom - 3};
        for (int x = dotted.left; x < dotted.right; x += 2) {
            ::SetPixelV(dc, x, dotted.top, Dots[b]);
            ::SetPixelV(dc, x, dotted.bottom - 1, Dots[b]);
        }
        for (int y = dotted.top; y < dotted.bottom; y += 2) {
            ::SetPixelV(dc, dotted.left, y, Dots[b]);
            ::SetPixelV(dc, dotted.right - 1, y, Dots[b]);
        }
        ::SetBkMode(dc, TRANSPARENT);
        ::SetTextColor(dc, ::GetSysColor(COLOR_WINDOW));
        ::DrawTextW(dc, W(it.FDef.ShownCaption()), -1, &text, DT_SINGLELINE | DT_CENTER | DT_VCENTER);
        return;
    }
    Fill(dc, r, face);
    Frame(dc, r, ::GetSysColor(COLOR_BTNSHADOW));
    const RECT inner{r.left + 2, r.top + 2, r.right - 2, r.bottom - 2};
    for (int row = 0; row < inner.bottom - inner.top; ++row) {
        const RECT line{inner.left, inner.top + row, inner.right, inner.top + row + 1};
        Fill(dc, line, stepped(RGB(255, 255, 255), row / 2, -1));
    }
    DrawHaloText(dc, it.FDef.ShownCaption(), text, DT_SINGLELINE | DT_CENTER | DT_VCENTER,
                 ::GetSysColor(COLOR_WINDOWTEXT));
}

void TNVForm::DrawCheckBox(const TNVItem& it, const DRAWITEMSTRUCT& item)
{
    const HDC dc = item.hDC;
    const RECT r = item.rcItem;
    const bool disabled = (item.itemState & ODS_DISABLED) != 0;
    const bool pressed = (item.itemState & ODS_SELECTED) != 0;
    const COLORREF face = ::GetSysColor(COLOR_BTNFACE);
    Fill(dc, r, face);
    const int size = r.bottom - r.top;
    const RECT box{r.left, r.top, r.left + size, r.bottom};
    Fill(dc, box, LightGrey());
    const RECT inside{box.left + 2, box.top + 2, box.right - 2, box.bottom - 2};
    Fill(dc, inside, pressed || disabled ? face : ::GetSysColor(COLOR_WINDOW));
    ::SetBkMode(dc, TRANSPARENT);
    if (it.FDef.Checked) {
        const COLORREF colour = ::GetSysColor(disabled ? COLOR_BTNSHADOW : COLOR_WINDOWTEXT);
        if (FWindow->Marlett) {
            const base::DcSelection mark(dc, FWindow->MarkFont.Get());
            ::SetTextColor(dc, colour);
            RECT m = box;
            ::DrawTextW(dc, L"a", 1, &m, DT_SINGLELINE | DT_CENTER | DT_VCENTER);
        } else {
            // Without the symbol font: the same tick, drawn.
            const base::GdiObject pen(::CreatePen(PS_SOLID, 2, colour));
            const base::DcSelection selectedPen(dc, pen.Get());
            const int x = box.left + size / 4, y = box.top + size / 2, u = std::max(size / 6, 1);
            const POINT tick[] = {{x, y}, {x + u, y + u + 1}, {x + 3 * u + 1, y - 2 * u}};
            ::Polyline(dc, tick, 3);
        }
    }
    const base::DcSelection font(dc, FWindow->ItemFont.Get());
    RECT text{box.right + 4, r.top, r.right, r.bottom};
    const std::u16string caption = it.FDef.ShownCaption();
    if (disabled) {
        RECT moved{text.left + 1, text.top + 1, text.right + 1, text.bottom + 1};
        ::SetTextColor(dc, ::GetSysColor(COLOR_WINDOW));
        ::DrawTextW(dc, W(caption), -1, &moved, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
        ::SetTextColor(dc, ::GetSysColor(COLOR_BTNSHADOW));
    } else {
        ::SetTextColor(dc, ::GetSysColor(COLOR_WINDOWTEXT));
    }
    ::DrawTextW(dc, W(caption), -1, &text, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
    if (item.itemState & ODS_FOCUS) {
        RECT focus = text;
        ::DrawTextW(dc, W(caption), -1, &focus, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_CALCRECT);
        focus.top = r.top;
        focus.bottom = r.bottom;
        ::InflateRect(&focus, 1, 0);
        ::DrawFocusRect(dc, &focus);
    }
}

// ---- assistants -----------------------------------------------------------------------------

void TNVAssistant::Add(std::unique_ptr<TNVForm> form)
{
    form->SetTitle(FTitle);
    form->SetAssistantAction(FOnAction);
    FForms.push_back(std::move(form));
}

void TNVAssistant::SetTitle(const std::u16string& title)
{
    FTitle = title;
    for (const auto& form : FForms)
        form->SetTitle(title);
}

void TNVAssistant::SetOnAction(TNVActionHandler handler)
{
    FOnAction = handler;
    for (const auto& form : FForms)
        form->SetAssistantAction(handler);
}

IVxAssistantForm* TNVAssistant::Form(int index)
{
    return index >= 0 && static_cast<size_t>(index) < FForms.size() ? FForms[static_cast<size_t>(index)].get()
                                                                    : nullptr;
}

TNVForm* TNVAssistant::FormByName(std::u16string_view name)
{
    for (const auto& f : FForms)
        if (NameIs(f->Name(), name))
            return f.get();
    return nullptr;
}

TNVModalResult TNVAssistant::ShowModal(HWND owner)
{
    const bool disable = owner && ::IsWindowEnabled(owner);
    if (disable)
        ::EnableWindow(owner, FALSE);
    FModalResult = vxmOk;
    for (const auto& form : FForms) {
        if (form->ShowModal(owner) == vxmCancel) {
            FModalResult = vxmCancel;
            break;
        }
    }
    if (disable) {
        ::EnableWindow(owner, TRUE);
        ::SetActiveWindow(owner);
    }
    return FModalResult;
}

namespace {

// The handlers forms may name by a name of the reporter's own; any other name is the
// finder's.
std::vector<std::pair<std::u16string, TNVActionHandler>>& NamedActions()
{
    static std::vector<std::pair<std::u16string, TNVActionHandler>> actions{
        {u"Vexcatch.HandleContactForm", &ContactFormAction}};
    return actions;
}

TFormActionFinder ActionFinder = nullptr;

// A form's resource in `module`. (A program with language resource modules would look in the
// one of its language first; this program and its framework have none, so the module is the
// only place.)
std::vector<uint8_t> FormResource(HMODULE module, const std::u16string& name)
{
    std::wstring resource = L"TVX";
    for (char16_t c : name)
        resource += static_cast<wchar_t>(c >= u'a' && c <= u'z' ? c - 0x20 : c);
    const HRSRC info = ::FindResourceW(module, resource.c_str(), MAKEINTRESOURCEW(10)); // RT_RCDATA
    const HGLOBAL loaded = info ? ::LoadResource(module, info) : nullptr;
    const auto* data = static_cast<const uint8_t*>(loaded ? ::LockResource(loaded) : nullptr);
    return data ? std::vector<uint8_t>(data, data + ::SizeofResource(module, info)) : std::vector<uint8_t>();
}

} // namespace

base::ComPtr<TNVAssistant> OpenAssistant(HMODULE module, const std::u16string& title,
                                         const std::vector<std::u16string>& forms, ReportSettings* exception)
{
    auto assistant = base::MakeCom<TNVAssistant>(title, exception);
    const int32_t steps = static_cast<int32_t>(forms.size());
    for (int32_t i = 0; i < steps; ++i) {
        const TFormReadResult read =
            ReadFormDefinition(FormResource(module, forms[static_cast<size_t>(i)]), &base::AnsiToUtf16);
        if (read.UnsupportedKind) {
            const std::wstring text =
                L"Internal error: Invalid assistant resource (" + std::to_wstring(read.BadKind) + L").";
            ::MessageBoxW(nullptr, text.c_str(), L"Vexcatch", MB_OK | MB_ICONERROR);
        }
        auto form = std::make_unique<TNVForm>(read.Form, i + 1, steps, exception);
        form->SetOnAction(FormActionNamed(module, read.Form.OnAction));
        TNVForm& created = *form;
        assistant->Add(std::move(form));
        created.Fire(nvaFormCreate, nullptr);
    }
    return assistant;
}

void RegisterFormAction(const std::u16string& name, TNVActionHandler handler)
{
    for (auto& [known, existing] : NamedActions()) {
        if (NameIs(known, name)) {
            existing = handler;
            return;
        }
    }
    NamedActions().emplace_back(name, handler);
}

void SetFormActionFinder(TFormActionFinder finder)
{
    ActionFinder = finder;
}

TNVActionHandler FormActionNamed(HMODULE module, const std::u16string& name)
{
    for (const auto& [known, handler] : NamedActions())
        if (NameIs(known, name))
            return handler;
    return ActionFinder ? ActionFinder(module, name) : nullptr;
}

void InstallAssistantLoader()
{
    SetAssistantLoader([](HMODULE module, const std::u16string& title,
                          const std::vector<std::u16string>& forms,
                          ReportSettings* report) -> base::ComPtr<IVxAssistant> {
        base::ComPtr<TNVAssistant> assistant = OpenAssistant(module, title, forms, report);
        return base::ComPtr<IVxAssistant>::Share(assistant.Get());
    });
}

std::vector<TAssistantAnswer> AssistantAnswers(TNVAssistant& assistant)
{
    std::vector<TAssistantAnswer> answers;
    for (int f = 0; f < assistant.FormCount(); ++f) {
        TNVForm& form = *assistant.FormAt(f);
        if (form.ModalResult() != vxmOk)
            continue;
        for (int i = 0; i < form.ItemCount(); ++i) {
            auto& item = static_cast<TNVItem&>(*form.Item(i));
            const TFormItem& d = item.Definition();
            if (d.OutputName.empty())
                continue;
            if (d.Kind == TItemKind::CheckBox) {
                answers.push_back({d.OutputName, d.Checked ? u"yes" : u"no", false});
            } else if (d.Kind == TItemKind::Edit) {
                const std::u16string text = item.GetText();
                if (!text.empty())
                    answers.push_back({d.OutputName, text, d.OutputType == otOwnSection && d.Lines > 1});
            }
        }
    }
    return answers;
}

} // namespace crash
