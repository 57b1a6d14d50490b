#include "controls/html/html_label.h"

#include "controls/html/html_hook.h"
#include "framework/button.h"
#include "framework/check_box.h"
#include "framework/edit.h"

#include <algorithm>

namespace html {
namespace {

std::u16string U16(const std::wstring& s)
{
    return {s.begin(), s.end()};
}

std::wstring Wide(const std::u16string& s)
{
    return {s.begin(), s.end()};
}

THTMLRect ToRect(const RECT& r)
{
    return {r.left, r.top, r.right, r.bottom};
}

// Sets a flag for the lifetime of the object.
class Guard
{
public:
    explicit Guard(bool& flag) : FFlag(flag), FSaved(flag) { flag = true; }
    ~Guard() { FFlag = FSaved; }
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;

private:
    bool& FFlag;
    bool FSaved;
};

} // namespace

THTMLLabel::THTMLLabel(framework::TComponent* AOwner) : panel::TCustomThemedLabel(AOwner), FRender(FMeasurer)
{
    SetTransparent(true);
    FRender.OnChange = [this](THTMLRender*) { Invalidate(); };
    FRender.OnVariableNeeded = [this](THTMLRender*, const std::u16string& name, std::u16string& value) {
        if (!OnVariableNeeded)
            return;
        std::wstring v = Wide(value);
        OnVariableNeeded(this, Wide(name), v);
        value = U16(v);
    };
    FRender.OnImageNeeded = [this](THTMLRender*, const std::u16string& src,
                                   std::optional<THTMLPicture>& image) {
        if (OnImageNeeded)
            OnImageNeeded(this, Wide(src), image);
    };
    FRender.OnFocusControl = [](THTMLControlItem& item) {
        if (auto* control = static_cast<framework::TWinControl*>(item.FControl))
            control->SetFocus();
    };
    FRender.OnImageNeededEx = [this](THTMLRender*, const std::u16string& src, THTMLPicture& image) {
        if (OnImageNeededEx)
            OnImageNeededEx(this, Wide(src), image);
    };
}

THTMLLabel::~THTMLLabel()
{
    if (FContainer)
        std::erase(FContainer->FLabels, this);
}

void THTMLLabel::SetIsHTML(bool value)
{
    if (framework::SetIfChanged(FIsHTML, value))
        Rebuild();
}

void THTMLLabel::SetLinkColor(THTMLColor value)
{
    if (framework::SetIfChanged(FLinkColor, value) && FIsHTML)
        Rebuild();
}

void THTMLLabel::SetLinkStyle(THTMLFontStyles value)
{
    if (framework::SetIfChanged(FLinkStyle, value) && FIsHTML)
        Rebuild();
}

void THTMLLabel::SetCursor(framework::TCursor value)
{
    FCursor = value;
    panel::TCustomThemedLabel::SetCursor(FOverLink ? framework::crHandPoint : value);
}

void THTMLLabel::SetContainer(THTMLContainer* value)
{
    if (value == FContainer)
        return;
    if (FContainer)
        std::erase(FContainer->FLabels, this);
    FContainer = value;
    if (FContainer)
        FContainer->FLabels.push_back(this);
    Rebuild();
}

void THTMLLabel::SetContainerIndex(int value)
{
    if (framework::SetIfChanged(FIndex, value) && FContainer)
        Rebuild();
}

void THTMLLabel::ContainerGone() noexcept
{
    FContainer = nullptr;
    Rebuild();
}

std::wstring THTMLLabel::ShownText() const
{
    if (FContainer && FIndex >= 0 && FIndex < static_cast<int>(FContainer->Items().size()))
        return FContainer->Items()[static_cast<size_t>(FIndex)].Caption;
    return Caption();
}

void THTMLLabel::Rebuild()
{
    if (FIsHTML) {
        THTMLData& d = FRender.CurData();
        d.FDefaultStyle = Font().Style();
        d.FDefaultFont = U16(Font().Name());
        d.FCharset = Font().Charset();
        d.FDefaultColor = Font().Color();
        d.FDefaultHeight = Font().Height();
        d.FLinkColor = FLinkColor;
        d.FLinkStyle = FLinkStyle;
        FEmbedded.clear();
        FRender.PrepareText(U16(ShownText()), Width() - 2 * BorderWidth(), WordWrap());
        CreateEmbeddedControls();
        Guard guard(FAlreadyInSetBounds);
        AdjustBounds();
    } else {
        // Plain text embeds nothing: the controls of the markup leave the parent, and the
        // parsed items that point at them go with them; nor has it links under the mouse.
        FRender.CurData().ClearArray();
        FEmbedded.clear();
        FOverLink = false;
        panel::TCustomThemedLabel::SetCursor(FCursor);
        AdjustBounds();
    }
    Invalidate();
}

void THTMLLabel::AdjustSize()
{
    Rebuild();
}

void THTMLLabel::CaptionChanged()
{
    Rebuild();
}

void THTMLLabel::EnabledChanged()
{
    Rebuild();
}

RECT THTMLLabel::PlainBlock(RECT within) const
{
    base::WindowDc screen(nullptr);
    framework::TCanvas canvas(screen.Get());
    canvas.Font.Assign(Font());
    std::wstring text = ShownText();
    if (text.empty() || (ShowAccelChar() && text == L"&"))
        text += L" ";
    canvas.DrawText(text, within, PlainFormat() | DT_CALCRECT);
    return within;
}

void THTMLLabel::AdjustBounds()
{
    if (!AutoSize())
        return;
    const int b = BorderWidth();
    if (FIsHTML) {
        if (FRender.CurData().FTextSize.Width == 0 && !FAlreadyInSetBounds)
            Rebuild();
        const TTextSize size = FRender.CurData().FTextSize;
        Guard guard(FAlreadyInSetBounds);
        panel::TCustomThemedLabel::SetBounds(Left(), Top(), size.Width + 2 * b, size.Height + 2 * b);
        return;
    }
    const RECT block = PlainBlock({0, 0, Width(), Height()});
    const int w = block.right - block.left + 2 * b, h = block.bottom - block.top + 2 * b;
    const int left = Alignment() == framework::taRightJustify ? Left() + Width() - w : Left();
    panel::TCustomThemedLabel::SetBounds(left, Top(), w, h);
}

void THTMLLabel::SetBounds(int left, int top, int width, int height)
{
    const bool resized = width != Width() || height != Height();
    panel::TCustomThemedLabel::SetBounds(left, top, width, height);
    if (resized && !FAlreadyInSetBounds && WordWrap() && FIsHTML)
        Rebuild();
}

RECT THTMLLabel::GetTextRect()
{
    if (FIsHTML)
        return {0, 0, FRender.CurData().FTextSize.Width, FRender.CurData().FTextSize.Height};
    return PlainBlock({0, 0, Width(), Height()});
}

std::wstring THTMLLabel::GetPlainText() const
{
    return FIsHTML ? Wide(const_cast<THTMLRender&>(FRender).CurData().AsText()) : ShownText();
}

RECT THTMLLabel::TextRect() const
{
    const int w = Width(), h = Height(), b = BorderWidth();
    const TTextSize size = const_cast<THTMLRender&>(FRender).CurData().FTextSize;
    RECT r{b, b, w - b, h - b};
    if (Layout() == framework::tlBottom) {
        r.top = r.bottom - size.Height - 1;
    } else if (Layout() == framework::tlCenter) {
        r.top = b + std::max((h - 2 * b) / 2 - size.Height / 2, 0);
        r.bottom = r.top + std::min(size.Height, h - 2 * b);
    }
    if (Alignment() == framework::taRightJustify) {
        r.right = w - b;
        r.left = w - b - size.Width;
    } else if (Alignment() == framework::taCenter) {
        r.left = (w - size.Width) / 2;
        r.right = r.left + size.Width;
    }
    return r;
}

void THTMLLabel::Paint(framework::TCanvas& canvas)
{
    HDC dc = canvas.Handle();
    canvas.Font.Assign(Font());
    const RECT client = ClientRect();
    // Themed, the parent's surface under the label already shows through.
    if ((!FIsHTML || !Themed()) && !Transparent() && Color() != framework::clNone) {
        canvas.Brush.SetColor(Color());
        canvas.FillRect(client);
    }
    if (!FIsHTML) {
        const int b = BorderWidth();
        RECT r{client.left + b, client.top + b, client.right - b, client.bottom - b};
        if (Layout() != framework::tlTop) {
            const RECT block = PlainBlock(client);
            const int height = block.bottom - block.top;
            r.top =
                Layout() == framework::tlCenter ? r.top + (r.bottom - r.top - height) / 2 : r.bottom - height;
        }
        canvas.Brush.SetStyle(framework::bsClear);
        if (!Enabled())
            canvas.Font.SetColor(framework::SystemColor(COLOR_GRAYTEXT));
        canvas.DrawText(ShownText(), r, PlainFormat());
        return;
    }
    const RECT tr = TextRect();
    const int w = tr.right - tr.left, h = tr.bottom - tr.top;
    if (w <= 0 || h <= 0 || !::RectVisible(dc, &tr))
        return;
    // The text block is painted on a copy of what the canvas shows there.
    base::MemoryDc memory(::CreateCompatibleDC(dc));
    base::GdiObject bitmap(::CreateCompatibleBitmap(dc, w, h));
    if (!memory || !bitmap)
        return;
    base::DcSelection selected(memory.Get(), bitmap.Get());
    ::BitBlt(memory.Get(), 0, 0, w, h, dc, tr.left, tr.top, SRCCOPY);
    {
// The renderer's DrawText and DrawTextEx, not windows.h's (see html_render.h).
#pragma push_macro("DrawText")
#pragma push_macro("DrawTextEx")
#undef DrawText
#undef DrawTextEx
        TGdiCanvas target(memory.Get(), {0, 0, w, h}, FRender.FDoubleBuffered, FMeasurer.Fonts());
        target.OnPlaceControl = [&](THTMLControlItem& item, const THTMLRect& box) {
            PlaceControl(item, box, tr);
        };
        if (Enabled())
            FRender.DrawText(target, {}, {0, 0, w, h}, clNone);
        else
            FRender.DrawTextEx(target, {}, {0, 0, w, h}, true, framework::SystemColor(COLOR_GRAYTEXT), clNone,
                               clNone, clNone, framework::clBlack);
#pragma pop_macro("DrawTextEx")
#pragma pop_macro("DrawText")
    }
    ::BitBlt(dc, tr.left, tr.top, w, h, memory.Get(), 0, 0, SRCCOPY);
}

void THTMLLabel::CreateEmbeddedControls()
{
    for (THTMLItem* item : FRender.CurData().FControlsArray) {
        if (item->FItemType != hitControl)
            continue;
        auto& c = static_cast<THTMLControlItem&>(*item);
        std::unique_ptr<framework::TWinControl> control;
        if (c.FControlClass == u"tedit")
            control = std::make_unique<framework::TEdit>(nullptr);
        else if (c.FControlClass == u"tbutton")
            control = std::make_unique<framework::TButton>(nullptr);
        else if (c.FControlClass == u"tcheckbox")
            control = std::make_unique<framework::TCheckBox>(nullptr);
        else
            control = std::make_unique<framework::TRadioButton>(nullptr);
        control->SetVisible(false);
        control->Font().Assign(Font());
        for (const std::u16string& property : c.FControlPropList) {
            const size_t eq = property.find(u'=');
            const std::u16string name = property.substr(0, eq);
            const std::wstring value = eq == std::u16string::npos ? L"" : Wide(property.substr(eq + 1));
            const bool on = value == L"1" || value == L"true" || value == L"True";
            if (name == u"text" || name == u"caption") {
                control->SetCaption(value);
            } else if (name == u"checked") {
                if (auto* box = dynamic_cast<framework::TCheckBox*>(control.get()))
                    box->SetChecked(on);
            } else if (name == u"enabled") {
                control->SetEnabled(on);
            }
        }
        c.FControl = control.get();
        FEmbedded.push_back(std::move(control));
    }
}

void THTMLLabel::PlaceControl(THTMLControlItem& item, const THTMLRect& box, const RECT& textRect)
{
    auto* control = static_cast<framework::TWinControl*>(item.FControl);
    if (!control || control->Visible() || !Parent())
        return;
    // The label has no window: the control goes on the label's parent, at the label's place.
    control->SetParent(Parent());
    control->SetBounds(Left() + textRect.left + box.Left, Top() + textRect.top + box.Top, box.Width(),
                       box.Height());
    control->Show();
}

void THTMLLabel::MouseMove(int x, int y)
{
    if (!FIsHTML)
        return;
    const RECT tr = TextRect();
    const THTMLRect rect = ToRect({0, 0, tr.right - tr.left, tr.bottom - tr.top});
    std::u16string href;
    const bool overLink = FRender.IsCursorOverLink({x - tr.left, y - tr.top}, {}, href, rect);
    FOverLink = overLink;
    panel::TCustomThemedLabel::SetCursor(overLink ? framework::crHandPoint : FCursor);
    if (!overLink)
        FRender.MouseMoveTransfer(KeyboardShiftState(), x - tr.left, y - tr.top, rect);
}

void THTMLLabel::MouseLeave()
{
    // Off the label no link is under the mouse (a later SetCursor applies the plain
    // cursor) and no check box or radio button is hot.
    FOverLink = false;
    panel::TCustomThemedLabel::SetCursor(FCursor);
    if (FIsHTML)
        FRender.MouseMoveTransfer(KeyboardShiftState(), -1, -1, FRender.CurData().FRect);
}

void THTMLLabel::SetLinkPopupMenu(framework::TPopupMenu* menu)
{
    FLinkPopupMenu = menu;
    FreeNotification(menu);
}

void THTMLLabel::Notification(framework::TComponent* component)
{
    panel::TCustomThemedLabel::Notification(component);
    if (component == FLinkPopupMenu)
        FLinkPopupMenu = nullptr;
}

bool THTMLLabel::ContextPopup(POINT pos)
{
    const bool keyboard = pos.x == -1 && pos.y == -1;
    if (!FIsHTML || !FLinkPopupMenu || keyboard || !Parent() || !Parent()->HandleAllocated())
        return panel::TCustomThemedLabel::ContextPopup(pos);
    const RECT tr = TextRect();
    std::u16string href;
    if (!FRender.IsCursorOverLink({pos.x - tr.left, pos.y - tr.top}, {}, href,
                                  ToRect({0, 0, tr.right - tr.left, tr.bottom - tr.top})))
        return panel::TCustomThemedLabel::ContextPopup(pos);
    bool handled = false;
    if (OnContextPopup)
        OnContextPopup(this, pos, handled);
    if (handled || !FLinkPopupMenu->AutoPopup)
        return handled;
    POINT screen{Left() + pos.x, Top() + pos.y};
    ::ClientToScreen(Parent()->Handle(), &screen);
    FLinkPopupMenu->Popup(screen.x, screen.y, Parent()->Handle());
    return true;
}

void THTMLLabel::MouseUp(int x, int y)
{
    FLastUp = {x, y};
}

void THTMLLabel::Click()
{
    if (!FIsHTML) {
        panel::TCustomThemedLabel::Click();
        return;
    }
    const RECT tr = TextRect();
    const THTMLRect rect = ToRect({0, 0, tr.right - tr.left, tr.bottom - tr.top});
    const THTMLPoint p{FLastUp.x - tr.left, FLastUp.y - tr.top};
    std::u16string href;
    if (FRender.IsCursorOverLink(p, {}, href, rect))
        FollowLink(Wide(href));
    else
        FRender.ClickTransfer(p.X, p.Y, rect);
}

void THTMLLabel::FollowLink(const std::wstring& href)
{
    if (FCheck && FContainer && FIndex >= 0 && FIndex < static_cast<int>(FContainer->Items().size())) {
        const int target = FContainer->IndexOf(href);
        if (target >= 0) {
            SetContainerIndex(target);
            return;
        }
    }
    if (OnLinkClick)
        OnLinkClick(this, href);
}

} // namespace html
