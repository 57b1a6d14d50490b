#include "controls/html/html_hook.h"
#include "controls/html/html_label.h"
#include "controls/panel/themed_panel.h"

#include "framework/application.h"
#include "framework/check_box.h"
#include "framework/form.h"
#include "framework/testing/form_test.h"

#include <gtest/gtest.h>

namespace html {
namespace {

using framework::testing::TestSurface;

// Pixels of exactly `colour` in the surface.
int CountOf(const TestSurface& s, COLORREF colour)
{
    return s.Count(colour);
}

struct Window : framework::testing::TFormTest
{
    THTMLLabel* Label(const std::wstring& caption, int height = 28)
    {
        auto* label = new THTMLLabel(&Form);
        label->SetParent(&Form);
        label->Font().SetName(L"DejaVu Sans");
        label->Font().SetHeight(-height);
        label->Font().SetStyle(framework::fsBold);
        label->SetCaption(caption);
        return label;
    }
};

using HTMLLabel = Window;

TEST_F(HTMLLabel, SizesItselfToItsTextAndWrapsAtItsWidthWhenFixed)
{
    THTMLLabel* label = Label(L"Some words of <b>bold</b> text", 13);
    const RECT text = label->GetTextRect();
    EXPECT_GT(text.right, 100);
    EXPECT_EQ(label->Width(), text.right);
    EXPECT_EQ(label->Height(), text.bottom);

    label->SetAutoSize(false);
    label->SetWordWrap(true);
    label->SetBorderWidth(2);
    label->SetBounds(0, 0, 80, 200);
    const int lines = label->Render().CurData().LineCount();
    EXPECT_GE(lines, 3);
    EXPECT_EQ(label->Width(), 80);
    EXPECT_EQ(label->Height(), 200);
    EXPECT_LE(label->GetTextRect().right, 80 - 4);
    label->SetWidth(400); // re-wrapped at the new width
    EXPECT_EQ(label->Render().CurData().LineCount(), 1);
    EXPECT_EQ(label->GetPlainText(), L"Some words of bold text");
}

TEST_F(HTMLLabel, PlainModeShowsMarkupLiterally)
{
    THTMLLabel* label = Label(L"<b>x</b>", 13);
    label->SetIsHTML(false);
    EXPECT_EQ(label->GetPlainText(), L"<b>x</b>");
    const RECT plain = label->GetTextRect();
    label->SetIsHTML(true);
    EXPECT_GT(plain.right, label->GetTextRect().right);
}

TEST_F(HTMLLabel, CentredCaptionsAndCaptionsTallerThanTheLabel)
{
    THTMLLabel* label = Label(L"one line", 13);
    label->SetAutoSize(false);
    label->SetLayout(framework::tlCenter);
    label->SetBounds(0, 0, 300, 100);
    const int th = label->Render().CurData().FTextSize.Height;
    EXPECT_EQ(label->TextRect().top, 50 - th / 2);
    EXPECT_EQ(label->TextRect().bottom - label->TextRect().top, th);
    label->SetBounds(0, 0, 300, th / 2);
    EXPECT_EQ(label->TextRect().top, 0); // from the top, cut at the bottom
    EXPECT_EQ(label->TextRect().bottom, th / 2);
    label->SetAlignment(framework::taRightJustify);
    EXPECT_EQ(label->TextRect().right, 300);
}

TEST_F(HTMLLabel, PaintsRunsInTheirColoursAndTheDisabledLookLighter)
{
    THTMLLabel* label = Label(L"<font color=#800000>IIII</font> <a href=x>IIII</a>", 40);
    label->Font().SetColor(framework::clBlack);
    TestSurface enabled = Paint();
    EXPECT_GT(CountOf(enabled, RGB(128, 0, 0)), 50);
    EXPECT_GT(CountOf(enabled, RGB(0, 0, 255)), 50); // the link colour

    label->SetEnabled(false);
    TestSurface disabled = Paint();
    EXPECT_EQ(CountOf(disabled, RGB(128, 0, 0)), 0);
    EXPECT_GT(CountOf(disabled, RGB(192, 128, 128)), 50); // its own colour lightened halfway
    EXPECT_GT(CountOf(disabled, RGB(128, 128, 255)), 50); // the link colour lightened

    // Plain runs take the grey-text colour, lightened.
    label->SetCaption(L"IIII");
    const COLORREF grey = ::GetSysColor(COLOR_GRAYTEXT);
    const auto lighter = [](int c) { return c + ((255 - c) * 50 + 50) / 100; };
    TestSurface plain = Paint();
    EXPECT_GT(
        CountOf(plain, RGB(lighter(GetRValue(grey)), lighter(GetGValue(grey)), lighter(GetBValue(grey)))),
        50);
}

TEST_F(HTMLLabel, LinksRaiseOnLinkClickAndNotOnClick)
{
    THTMLLabel* label = Label(L"text <a href=\"target\">link</a>", 20);
    label->SetLeft(10);
    int clicks = 0;
    std::wstring followed;
    label->OnClick = [&](framework::TObject*) { ++clicks; };
    label->OnLinkClick = [&](framework::TObject*, const std::wstring& href) { followed = href; };
    Form.Show();
    HWND wnd = Form.Handle();
    auto click = [&](int x, int y) {
        ::SendMessageW(wnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
        ::SendMessageW(wnd, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
    };
    const auto& items = label->Render().CurData().FArray;
    const int linkX = 10 + items[1]->FWidth + 3;
    click(linkX, label->Height() / 2);
    EXPECT_EQ(followed, L"target");
    followed.clear();
    click(12, label->Height() / 2); // plain text: neither event
    EXPECT_EQ(followed, L"");
    EXPECT_EQ(clicks, 0);

    label->SetIsHTML(false);
    click(12, label->Height() / 2);
    EXPECT_EQ(clicks, 1);
}

int Chosen = -1;
int ChooseFirst(const framework::TPopupMenu&, int, int)
{
    ++Chosen;
    return 0;
}

TEST_F(HTMLLabel, ARightClickOnALinkShowsTheLinkMenu)
{
    THTMLLabel* label = Label(L"text <a href=\"x\">link</a>", 20);
    auto* ordinary = new framework::TPopupMenu(&Form);
    auto* links = new framework::TPopupMenu(&Form);
    int ordinaryClicks = 0, linkClicks = 0;
    ordinary->Items.push_back({L"Copy", [&](framework::TObject*) { ++ordinaryClicks; }});
    links->Items.push_back({L"Open link", [&](framework::TObject*) { ++linkClicks; }});
    label->SetPopupMenu(ordinary);
    label->SetLinkPopupMenu(links);
    framework::TPopupMenu::Chooser = &ChooseFirst;
    Form.Show();
    auto rightClick = [&](int x, int y) {
        POINT p{x, y};
        ::ClientToScreen(Form.Handle(), &p);
        ::SendMessageW(Form.Handle(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(Form.Handle()),
                       MAKELPARAM(p.x, p.y));
    };
    const int linkX = label->Render().CurData().FArray[1]->FWidth + 3;
    rightClick(linkX, label->Height() / 2);
    EXPECT_EQ(linkClicks, 1);
    EXPECT_EQ(ordinaryClicks, 0);
    rightClick(2, label->Height() / 2);
    EXPECT_EQ(ordinaryClicks, 1);
    // The context-popup event may take the request.
    label->OnContextPopup = [](framework::TObject*, POINT, bool& handled) { handled = true; };
    rightClick(linkX, label->Height() / 2);
    EXPECT_EQ(linkClicks, 1);
    label->OnContextPopup = nullptr;
    // A freed menu leaves no reference behind.
    delete links;
    EXPECT_EQ(label->LinkPopupMenu(), nullptr);
    rightClick(linkX, label->Height() / 2);
    EXPECT_EQ(ordinaryClicks, 2);
    framework::TPopupMenu::Chooser = nullptr;
}

TEST_F(HTMLLabel, MouseMovesShowTheHandOverLinksAndRaiseOnMouseMove)
{
    THTMLLabel* label = Label(L"text <a href=\"x\">link</a>", 20);
    int moves = 0;
    label->OnMouseMove = [&](framework::TObject*, int, int) { ++moves; };
    Form.Show();
    const int linkX = label->Render().CurData().FArray[1]->FWidth + 3;
    ::SendMessageW(Form.Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(linkX, label->Height() / 2));
    EXPECT_EQ(label->framework::TControl::Cursor(), framework::crHandPoint);
    ::SendMessageW(Form.Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(2, label->Height() / 2));
    EXPECT_EQ(label->framework::TControl::Cursor(), framework::crDefault);
    label->SetCursor(framework::crIBeam);
    EXPECT_EQ(label->framework::TControl::Cursor(), framework::crIBeam);
    EXPECT_EQ(moves, 2);

    // Leaving the label from a link restores the cursor, and no link is remembered: a later
    // SetCursor applies the label's own cursor, not the hand.
    label->SetCursor(framework::crDefault);
    ::SendMessageW(Form.Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(linkX, label->Height() / 2));
    EXPECT_EQ(label->framework::TControl::Cursor(), framework::crHandPoint);
    ::SendMessageW(Form.Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(linkX, label->Top() + label->Height() + 20));
    EXPECT_EQ(label->framework::TControl::Cursor(), framework::crDefault);
    label->SetCursor(framework::crIBeam);
    EXPECT_EQ(label->framework::TControl::Cursor(), framework::crIBeam);
    // Leaving the window does the same.
    ::SendMessageW(Form.Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(linkX, label->Height() / 2));
    ::SendMessageW(Form.Handle(), WM_MOUSELEAVE, 0, 0);
    EXPECT_EQ(label->framework::TControl::Cursor(), framework::crIBeam);
    EXPECT_EQ(moves, 4);
    // Switching to plain text over a link gives the label's own cursor back.
    ::SendMessageW(Form.Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(linkX, label->Height() / 2));
    label->SetIsHTML(false);
    EXPECT_EQ(label->framework::TControl::Cursor(), framework::crIBeam);
}

TEST_F(HTMLLabel, LeavingTheLabelLeavesNoCheckBoxHot)
{
    THTMLLabel* label = Label(L"<input type=checkbox> box", 20);
    Form.Show();
    Paint();
    const auto& d = label->Render().CurData();
    ::SendMessageW(Form.Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(8, label->Height() / 2));
    EXPECT_EQ(d.FActiveItem, d.FControlsArray.at(0));
    ::SendMessageW(Form.Handle(), WM_MOUSELEAVE, 0, 0);
    EXPECT_EQ(d.FActiveItem, nullptr);
}

TEST_F(HTMLLabel, ContainerSnippetsAndLinksBetweenThem)
{
    THTMLContainer container(nullptr);
    container.Add(L"first", L"<a href=\"second\">go</a>");
    container.Add(L"", L"second snippet");
    container.Add(L"first", L"third");
    EXPECT_EQ(container.Items()[1].Name, L"HTMLSnip0");
    EXPECT_EQ(container.Items()[2].Name, L"HTMLSnip1");
    container.Add(L"second", L"named second");

    THTMLLabel* label = Label(L"own caption", 13);
    label->SetContainer(&container);
    EXPECT_EQ(label->GetPlainText(), L"go");
    std::wstring followed;
    label->OnLinkClick = [&](framework::TObject*, const std::wstring& href) { followed = href; };
    Form.Show();
    ::SendMessageW(Form.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
    ::SendMessageW(Form.Handle(), WM_LBUTTONUP, 0, MAKELPARAM(3, 3));
    EXPECT_EQ(label->ContainerIndex(), 3);
    EXPECT_EQ(label->GetPlainText(), L"named second");
    EXPECT_EQ(followed, L"");
    container.SetCaption(3, L"changed");
    EXPECT_EQ(label->GetPlainText(), L"changed");
    label->SetContainerIndex(9);
    EXPECT_EQ(label->GetPlainText(), L"own caption");
    label->SetContainer(nullptr);
}

TEST_F(HTMLLabel, ImagesWithoutSourceOrSizeTakeNoSpace)
{
    THTMLLabel* label = Label(L"<img src=\"missing\">", 13);
    EXPECT_EQ(label->Render().CurData().FArray.at(1)->FWidth, 0);
    EXPECT_EQ(label->Render().CurData().FArray.at(1)->FHeight, 0);
    int asked = 0;
    label->OnImageNeededEx = [&](framework::TObject*, const std::wstring& src, THTMLPicture& picture) {
        ++asked;
        EXPECT_EQ(src, L"pic");
        picture.Width = 30;
        picture.Height = 20;
    };
    label->SetCaption(L"<img src=pic>");
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(label->Width(), 30);
}

TEST_F(HTMLLabel, PicturesArePaintedWhenTheyAreBitmaps)
{
    base::WindowDc screen(nullptr);
    auto bitmap = std::make_shared<base::GdiObject>(::CreateCompatibleBitmap(screen.Get(), 10, 10));
    {
        base::MemoryDc dc(::CreateCompatibleDC(screen.Get()));
        base::DcSelection selected(dc.Get(), bitmap->Get());
        base::GdiObject green(::CreateSolidBrush(RGB(0, 255, 0)));
        RECT all{0, 0, 10, 10};
        ::FillRect(dc.Get(), &all, static_cast<HBRUSH>(green.Get()));
    }
    struct Foreign : THTMLImage
    {
    };
    THTMLPicture picture = PictureOfBitmap(bitmap);
    THTMLLabel* label = Label(L"", 13);
    label->OnImageNeeded = [&](framework::TObject*, const std::wstring&, std::optional<THTMLPicture>& image) {
        image = picture;
    };
    label->SetCaption(L"<img src=pic transparent=solid>");
    EXPECT_EQ(Paint().Count(RGB(0, 255, 0), {0, 0, 20, 20}), 100);
    // A picture object of another kind is not taken for a bitmap: nothing is painted.
    picture.Image = std::make_shared<Foreign>();
    label->SetCaption(L"<img src=other transparent=solid>");
    EXPECT_EQ(Paint().Count(RGB(0, 255, 0), {0, 0, 20, 20}), 0);
}

TEST_F(HTMLLabel, EmbeddedControlsArePlacedOnTheirFirstPaintAndStayThere)
{
    THTMLLabel* label = Label(
        L"Name: <control vclclass=TEdit width=90 text=\"Ada\"> <control vclclass=TCheckBox checked=true "
        L"caption=ok>",
        13);
    label->SetLeft(20);
    label->SetTop(30);
    const auto& controls = label->Render().CurData().FControlsArray;
    ASSERT_EQ(controls.size(), 2u);
    auto* edit = static_cast<framework::TWinControl*>(static_cast<THTMLControlItem*>(controls[0])->FControl);
    auto* box = static_cast<framework::TCheckBox*>(static_cast<THTMLControlItem*>(controls[1])->FControl);
    ASSERT_TRUE(edit && box);
    EXPECT_FALSE(edit->Visible());
    Paint();
    EXPECT_TRUE(edit->Visible());
    EXPECT_EQ(edit->Parent(), &Form);
    EXPECT_EQ(edit->Width(), 90);
    EXPECT_EQ(edit->Top(), 30 + label->Height() - 21);
    const int left = edit->Left();
    EXPECT_GT(left, 20);
    EXPECT_EQ(edit->Caption(), L"Ada");
    EXPECT_TRUE(box->Checked());
    EXPECT_EQ(box->Caption(), L"ok");
    label->SetLeft(60);
    Paint();
    EXPECT_EQ(edit->Left(), left); // placed once
    // Tab selection gives a control the keyboard focus.
    label->Render().SelectNextSuitableItem();
    EXPECT_TRUE(edit->Focused());
    // Plain text embeds nothing: the controls leave the form.
    EXPECT_EQ(Form.Controls().size(), 3u);
    label->SetIsHTML(false);
    EXPECT_EQ(Form.Controls(), (std::vector<framework::TControl*>{label}));
    EXPECT_TRUE(label->Render().CurData().FControlsArray.empty());
}

TEST_F(HTMLLabel, ARendererSubscribedToAWindowedControlTakesItsKeysAndClicks)
{
    auto* panel = new panel::TThemedPanel(&Form);
    panel->SetParent(&Form);
    panel->SetBounds(0, 0, 300, 100);
    TGdiMeasurer measurer;
    THTMLRender render(measurer);
    render.PrepareText(u"<input type=checkbox><a href=x>link</a><input type=radio>", 300, false);
    render.CurData().FRect = {0, 0, 300, 100};
    THTMLRenderHook hook(render);
    Form.Show();
    hook.SetControl(panel);
    HWND wnd = panel->Handle();
    auto& d = render.CurData();
    ::SendMessageW(wnd, WM_LBUTTONUP, 0, MAKELPARAM(8, 8));
    EXPECT_TRUE(static_cast<THTMLInputItem*>(d.FControlsArray[0])->FChecked);
    ::SendMessageW(wnd, WM_KEYDOWN, VK_TAB, 0);
    EXPECT_EQ(d.FSelectedItem, d.FControlsArray[1]);
    ::SendMessageW(wnd, WM_MOUSEMOVE, 0, MAKELPARAM(8, 8));
    EXPECT_EQ(d.FActiveItem, d.FControlsArray[0]);
    hook.SetControl(nullptr);
    ::SendMessageW(wnd, WM_KEYDOWN, VK_TAB, 0);
    EXPECT_EQ(d.FSelectedItem, d.FControlsArray[1]);
}

} // namespace
} // namespace html
