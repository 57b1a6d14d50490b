#include "framework/application.h"
#include "framework/button.h"
#include "framework/exception.h"
#include "framework/label.h"
#include "framework/panel.h"
#include "framework/testing/test_support.h"
#include "framework/timer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace framework {
namespace {

using testing::PumpUntil;

class Controls : public ::testing::Test
{
protected:
    void SetUp() override
    {
        App.Initialize();
        App.OnException = [this](TObject* sender, std::exception_ptr e) {
            Senders.push_back(sender);
            Messages.push_back(ExceptionMessage(e));
        };
        Form = App.CreateForm<TForm>();
        Form->SetBorderStyle(bsDialog);
        Form->SetClientSize(400, 300);
    }

    TApplication App;
    TForm* Form = nullptr;
    std::vector<TObject*> Senders;
    std::vector<std::wstring> Messages;
};

TEST_F(Controls, FormHasTheRequestedClientSizeAndDialogFrame)
{
    Form->SetPosition(poScreenCenter);
    Form->ShowForm();
    RECT client;
    ::GetClientRect(Form->Handle(), &client);
    EXPECT_EQ(client.right, 400);
    EXPECT_EQ(client.bottom, 300);
    const LONG style = ::GetWindowLongW(Form->Handle(), GWL_STYLE);
    EXPECT_FALSE(style & WS_THICKFRAME);
    EXPECT_FALSE(style & WS_MINIMIZEBOX);
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);
    RECT window, work;
    ::GetWindowRect(Form->Handle(), &window);
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    EXPECT_NEAR((window.left + window.right) / 2, (work.left + work.right) / 2, 1);
    EXPECT_NEAR((window.top + window.bottom) / 2, (work.top + work.bottom) / 2, 1);
}

TEST_F(Controls, EachControlGivesNativeChildrenABrushOfItsOwnColour)
{
    auto* red = new TPanel(Form);
    red->SetParent(Form);
    red->SetColor(RGBColor(255, 0, 0));
    auto* blue = new TPanel(Form);
    blue->SetParent(Form);
    blue->SetColor(RGBColor(0, 0, 255));
    base::WindowDc dc(red->Handle());
    const auto redBrush = reinterpret_cast<HBRUSH>(
        ::SendMessageW(red->Handle(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc.Get()), 0));
    const auto blueBrush = reinterpret_cast<HBRUSH>(
        ::SendMessageW(blue->Handle(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc.Get()), 0));
    // The first control's brush is still there, in its colour, after the second answered.
    LOGBRUSH first{}, second{};
    ASSERT_EQ(::GetObjectW(redBrush, sizeof first, &first), static_cast<int>(sizeof first));
    ASSERT_EQ(::GetObjectW(blueBrush, sizeof second, &second), static_cast<int>(sizeof second));
    EXPECT_EQ(first.lbColor, RGB(255, 0, 0));
    EXPECT_EQ(second.lbColor, RGB(0, 0, 255));
}

TEST_F(Controls, LaterWindowedControlsLieAboveEarlierOnes)
{
    auto* button = new TButton(Form);
    button->SetParent(Form);
    button->SetBounds(10, 10, 100, 30);
    auto* cover = new TPanel(Form);
    cover->SetParent(Form);
    cover->SetBounds(0, 0, 200, 100);
    Form->ShowForm();

    POINT center{60, 25};
    EXPECT_EQ(::ChildWindowFromPointEx(Form->Handle(), center, CWP_SKIPINVISIBLE), cover->Handle());
    cover->Hide();
    EXPECT_EQ(::ChildWindowFromPointEx(Form->Handle(), center, CWP_SKIPINVISIBLE), button->Handle());
    // A control created while the form's window already exists gets its window at once.
    auto* late = new TPanel(Form);
    late->SetParent(Form);
    late->SetBounds(50, 0, 100, 100);
    EXPECT_TRUE(late->HandleAllocated());
    EXPECT_EQ(::ChildWindowFromPointEx(Form->Handle(), center, CWP_SKIPINVISIBLE), late->Handle());
}

TEST_F(Controls, ClientAlignmentAndAnchorsFollowTheParent)
{
    auto* panel = new TPanel(Form);
    panel->SetParent(Form);
    panel->SetBounds(0, 50, 400, 200);
    auto* fill = new TLabel(Form);
    fill->SetAutoSize(false);
    fill->SetParent(panel);
    fill->SetAlign(alClient);
    auto* right = new TLabel(Form);
    right->SetAutoSize(false);
    right->SetParent(panel);
    right->SetBounds(10, 10, 100, 20);
    right->SetAnchors(akLeft | akTop | akRight);

    EXPECT_EQ(fill->Width(), 400);
    EXPECT_EQ(fill->Height(), 200);
    panel->SetBounds(0, 50, 500, 250);
    EXPECT_EQ(fill->Width(), 500);
    EXPECT_EQ(fill->Height(), 250);
    EXPECT_EQ(right->Left(), 10);
    EXPECT_EQ(right->Width(), 200);
}

TEST_F(Controls, WindowlessControlsPaintOnTheirParentBelowWindowedChildren)
{
    Form->SetColor(clWhite);
    auto* label = new TLabel(Form);
    label->SetParent(Form);
    label->SetAutoSize(false);
    label->SetBounds(0, 0, 100, 100);
    label->SetColor(RGBColor(255, 0, 0));
    auto* panel = new TPanel(Form);
    panel->SetParent(Form);
    panel->SetBevelOuter(bvNone);
    panel->SetBounds(50, 50, 100, 100);
    panel->SetColor(RGBColor(0, 0, 255));
    Form->ShowForm();

    base::WindowDc screen(nullptr);
    base::MemoryDc dc(::CreateCompatibleDC(screen.Get()));
    base::GdiObject bitmap(::CreateCompatibleBitmap(screen.Get(), 400, 300));
    base::DcSelection select(dc.Get(), bitmap.Get());
    Form->PaintTo(dc.Get());
    EXPECT_EQ(::GetPixel(dc.Get(), 10, 10), RGB(255, 0, 0));
    EXPECT_EQ(::GetPixel(dc.Get(), 75, 75), RGB(0, 0, 255)); // the panel covers the label
    EXPECT_EQ(::GetPixel(dc.Get(), 300, 250), RGB(255, 255, 255));
}

TEST_F(Controls, ExceptionInAClickHandlerReachesHandleExceptionAndTheProgramGoesOn)
{
    auto* button = new TButton(Form);
    button->SetParent(Form);
    int clicks = 0;
    button->OnClick = [&](TObject*) {
        ++clicks;
        if (clicks == 1)
            throw Exception(L"first click fails");
        volatile int* p = nullptr;
        *p = 1;
    };
    Form->ShowForm();
    ::SendMessageW(button->Handle(), BM_CLICK, 0, 0);
    ::SendMessageW(button->Handle(), BM_CLICK, 0, 0);
    ASSERT_EQ(Messages.size(), 2u);
    EXPECT_EQ(Messages[0], L"first click fails");
    EXPECT_NE(Messages[1].find(L"Write of address 00000000"), std::wstring::npos);
    EXPECT_EQ(Senders[0], button);
    // The window still works.
    ::SendMessageW(button->Handle(), BM_CLICK, 0, 0);
    EXPECT_EQ(clicks, 3);
}

TEST_F(Controls, ButtonTakesTheKeyboardFocusAndSpaceClicksIt)
{
    auto* label = new TLabel(Form);
    label->SetParent(Form);
    auto* button = new TButton(Form);
    button->SetParent(Form);
    int clicks = 0;
    button->OnClick = [&](TObject*) { ++clicks; };
    Form->ShowForm();
    EXPECT_EQ(::GetFocus(), button->Handle());
    ::SendMessageW(button->Handle(), WM_KEYDOWN, VK_SPACE, 0);
    ::SendMessageW(button->Handle(), WM_KEYUP, VK_SPACE, 0xC0000001);
    EXPECT_EQ(clicks, 1);
}

TEST_F(Controls, ClickOnAWindowlessControlRunsItsOnClick)
{
    auto* label = new TLabel(Form);
    label->SetParent(Form);
    label->SetAutoSize(false);
    label->SetBounds(20, 20, 50, 20);
    int clicks = 0;
    label->OnClick = [&](TObject* sender) {
        EXPECT_EQ(sender, label);
        ++clicks;
    };
    Form->ShowForm();
    ::SendMessageW(Form->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(30, 25));
    ::SendMessageW(Form->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(30, 25));
    ::SendMessageW(Form->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(200, 200));
    ::SendMessageW(Form->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(200, 200));
    EXPECT_EQ(clicks, 1);
}

TEST_F(Controls, TimerTicksAndItsExceptionsReachHandleException)
{
    TTimer timer(nullptr);
    timer.SetInterval(10);
    int ticks = 0;
    timer.OnTimer = [&](TObject*) {
        if (++ticks == 2)
            throw Exception(L"tick failed");
    };
    ASSERT_TRUE(PumpUntil([&] { return ticks >= 4; }));
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0], L"tick failed");
    EXPECT_EQ(Senders[0], &timer);
    timer.SetEnabled(false);
    const int stopped = ticks;
    ::Sleep(50);
    App.ProcessMessages();
    EXPECT_EQ(ticks, stopped);
}

TEST_F(Controls, DefaultHandlerShowsAWarningBox)
{
    App.OnException = nullptr;
    App.SetTitle(L"Framework Test");
    // The box is modal; a timer inside its loop closes it.
    bool seen = false;
    TTimer closer(nullptr);
    closer.SetInterval(20);
    closer.OnTimer = [&](TObject*) {
        HWND box = ::FindWindowW(L"#32770", L"Framework Test");
        if (!box)
            return;
        wchar_t text[200] = {};
        ::GetDlgItemTextW(box, 0xFFFF, text, 200);
        seen = std::wstring(text) == L"Something went wrong.";
        ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    };
    App.HandleException(nullptr, std::make_exception_ptr(Exception(L"Something went wrong")));
    EXPECT_TRUE(seen);
}

} // namespace
} // namespace framework
