#include "app/download_form.h"

#include "app/temp_folder.h"
#include "app/texts.h"
#include "base/win_handle.h"
#include "framework/application.h"
#include "framework/testing/test_support.h"
#include "framework/timer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace app {
namespace {

using namespace framework;

std::wstring Environment(const wchar_t* name)
{
    wchar_t value[64] = {};
    return ::GetEnvironmentVariableW(name, value, 64) ? value : L"";
}

class DownloadWindow : public ::testing::Test
{
protected:
    void SetUp() override
    {
        App.Initialize();
        App.SetTitle(L"Lumigate");
        Form = App.CreateForm<TForm1>();
        Form->ShowForm();
        App.ProcessMessages();
    }

    static RECT Rect(const TControl* c) { return c->BoundsRect(); }
    static void ExpectRect(const TControl* c, int left, int top, int width, int height)
    {
        SCOPED_TRACE(::testing::Message() << "member at " << left << "," << top);
        EXPECT_EQ(c->Left(), left);
        EXPECT_EQ(c->Top(), top);
        EXPECT_EQ(c->Width(), width);
        EXPECT_EQ(c->Height(), height);
    }
    HWND WindowAt(int x, int y)
    {
        POINT p{x, y};
        ::ClientToScreen(Form->Handle(), &p);
        return ::WindowFromPoint(p);
    }

    TApplication App;
    TForm1* Form = nullptr;
};

TEST_F(DownloadWindow, LayoutOfEveryMember)
{
    RECT client;
    ::GetClientRect(Form->Handle(), &client);
    EXPECT_EQ(client.right, 445);
    EXPECT_EQ(client.bottom, 592);
    const LONG style = ::GetWindowLongW(Form->Handle(), GWL_STYLE);
    EXPECT_FALSE(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX));

    ExpectRect(Form->Panel1, 0, 0, 445, 65);
    ExpectRect(Form->HTMLLabel1, 16, 3, 411, 59);
    ExpectRect(Form->HTMLLabel6, 16, 375, 411, 74);
    ExpectRect(Form->Button1, 126, 461, 193, 38);
    ExpectRect(Form->Panel2, 0, 82, 445, 417);
    ExpectRect(Form->MarqueeUserSynchronization, 0, 0, 445, 417);

    EXPECT_EQ(Form->HTMLLabel1->Parent(), Form->Panel1);
    EXPECT_EQ(Form->MarqueeUserSynchronization->Parent(), Form->Panel2);
    EXPECT_EQ(Form->MarqueeUserSynchronization->Align(), alClient);
    EXPECT_EQ(Form->Color(), clWhite);
    EXPECT_EQ(Form->Panel1->Color(), RGBColor(0, 123, 206));
    EXPECT_EQ(Form->HTMLLabel1->Font().Color(), RGBColor(252, 242, 173));
    EXPECT_EQ(Form->HTMLLabel1->Font().Height(), -15);
    EXPECT_EQ(Form->HTMLLabel1->Color(), Form->Panel1->Color());
    EXPECT_EQ(Form->Font().Name(), L"Verdana");
    EXPECT_EQ(Form->Font().Height(), -13);
    EXPECT_EQ(Form->HTMLLabel6->Font().Name(), L"Verdana");
    EXPECT_TRUE(Form->HTMLLabel6->Transparent());
    EXPECT_EQ(Form->Button1->Font().Height(), -13);
    EXPECT_EQ(::GetFocus(), Form->Button1->Handle());
}

TEST_F(DownloadWindow, TheHeaderShowsTheBoldProductNameInPaleYellowOnBlue)
{
    // The product name is its own run: bold, 22 pixels high.
    const auto& items = Form->HTMLLabel1->Render().CurData().FArray;
    const auto name =
        std::find_if(items.begin(), items.end(), [](const auto& i) { return i->FText == u"Orvella"; });
    ASSERT_NE(name, items.end());
    EXPECT_EQ((*name)->FontHeight, 22);
    EXPECT_TRUE((*name)->FontStyle & html::fsBold);
    EXPECT_EQ(Form->HTMLLabel1->Render().CurData().LineCount(), 1);

    framework::testing::TestSurface s(445, 592);
    Form->PaintTo(s.Dc());
    const COLORREF blue = RGB(0, 123, 206), yellow = RGB(252, 242, 173);
    EXPECT_EQ(s.Pixel(2, 2), blue);
    EXPECT_EQ(s.Pixel(440, 62), blue);
    EXPECT_EQ(s.Pixel(2, 66), RGB(255, 255, 255));
    // Text in the header, vertically centred: yellow pixels in the middle rows only.
    EXPECT_GT(s.Count(yellow, {16, 20, 427, 45}), 40);
    EXPECT_EQ(s.Count(yellow, {0, 0, 445, 8}), 0);
    EXPECT_EQ(s.Count(yellow, {0, 58, 445, 65}), 0);
    // The step text: dark pixels in its label, none below it in the body.
    const COLORREF text = ::GetSysColor(COLOR_WINDOWTEXT);
    EXPECT_GT(s.Count(text, {16, 375, 427, 449}), 20);
    EXPECT_EQ(s.Count(text, {16, 100, 427, 370}), 0);
}

TEST_F(DownloadWindow, TheMarqueeRunsBlackBulletsOnAWhiteFillFromTheStart)
{
    const marquee::TMarquee& m = *Form->MarqueeUserSynchronization;
    EXPECT_TRUE(m.Animate());
    EXPECT_EQ(m.AnimationStretchFactor(), 1.7f);
    EXPECT_EQ(m.AnimationFactor(), 3.0f);
    EXPECT_EQ(m.AnimationStep(), 10.0f);
    EXPECT_EQ(m.StyleNumber(), 0);
    marquee::TShapeFill& fill = Form->MarqueeUserSynchronization->Fill();
    EXPECT_EQ(fill.Color(), clWhite);
    EXPECT_EQ(fill.ColorMirror(), clNone);
    EXPECT_EQ(fill.ColorMirrorTo(), clNone);
    EXPECT_EQ(fill.GradientType(), marquee::gtSolid);
    EXPECT_EQ(fill.BorderColor(), clWhite);
    EXPECT_EQ(fill.Glow(), marquee::gmNone);
    EXPECT_EQ(Form->MarqueeUserSynchronization->Bullets().Color(), clBlack);
    // The animation runs while the overlay is still hidden.
    const float start = m.Position();
    EXPECT_TRUE(framework::testing::PumpUntil([&] { return m.Position() > start + 10; }));
}

TEST_F(DownloadWindow, OverlayIsHiddenAtStartAndThenCoversButtonAndStepButNotHeader)
{
    EXPECT_FALSE(Form->Panel2->Visible());
    EXPECT_FALSE(::IsWindowVisible(Form->Panel2->Handle()));
    EXPECT_EQ(WindowAt(222, 480), Form->Button1->Handle());

    Form->Panel2->Show();
    App.ProcessMessages();
    // The marquee fills the overlay completely.
    EXPECT_EQ(WindowAt(222, 480), Form->MarqueeUserSynchronization->Handle());
    EXPECT_EQ(::GetParent(WindowAt(222, 480)), Form->Panel2->Handle());
    RECT overlay = Rect(Form->Panel2), step = Rect(Form->HTMLLabel6), button = Rect(Form->Button1), covered;
    EXPECT_TRUE(::IntersectRect(&covered, &overlay, &step) && ::EqualRect(&covered, &step));
    EXPECT_TRUE(::IntersectRect(&covered, &overlay, &button) && ::EqualRect(&covered, &button));
    RECT header = Rect(Form->Panel1);
    EXPECT_FALSE(::IntersectRect(&covered, &overlay, &header));
    EXPECT_EQ(WindowAt(222, 30), Form->Panel1->Handle());
}

TEST_F(DownloadWindow, TextsFollowTheSystemLanguage)
{
    const std::wstring expected = Environment(L"LUMIGATE_EXPECT_LANGUAGE");
    const LANGID system = ::GetSystemDefaultLangID();
    // The run's environment really gives the language it is meant to test.
    if (!expected.empty()) {
        ASSERT_EQ(LanguageOf(system) == TLanguage::German, expected == L"de") << std::hex << system;
    }
    if (Environment(L"LUMIGATE_EXPECT_UI") == L"de") {
        ASSERT_EQ(::GetUserDefaultUILanguage() & 0x3FF, LANG_GERMAN)
            << std::hex << ::GetUserDefaultUILanguage();
    }

    EXPECT_EQ(Form->ProdName, L"Orvella");
    wchar_t caption[100] = {};
    ::GetWindowTextW(Form->Handle(), caption, 100);
    wchar_t button[100] = {};
    ::GetWindowTextW(Form->Button1->Handle(), button, 100);
    if (LanguageOf(system) == TLanguage::German) {
        EXPECT_EQ(Form->HTMLLabel1->Caption(), L"<b>Vollversion von <font size=22>Orvella</b></font>");
        EXPECT_EQ(Form->HTMLLabel6->Caption(),
                  L"Laden Sie die Vollversion herunter und installieren Sie diese auf Ihrem Computer:");
        EXPECT_STREQ(button, L"Vollversion herunterladen");
        EXPECT_STREQ(caption, L"Lumigate - Vollversion herunterladen");
    } else {
        EXPECT_EQ(Form->HTMLLabel1->Caption(), L"<b><font size=22>Orvella</font> (full version)</b>");
        EXPECT_EQ(Form->HTMLLabel6->Caption(), L"Download and install full version on your computer:");
        EXPECT_STREQ(button, L"Download full version");
        EXPECT_STREQ(caption, L"Lumigate - Download the full version");
    }
}

// Closes the failure box from inside its modal loop and keeps what it said and how it
// looked: the style MB_OK | MB_ICONWARNING | MB_SYSTEMMODAL | MB_SETFOREGROUND shows as
// one visible button (OK), the warning icon, a topmost window and the foreground.
struct FailureBox
{
    std::wstring Caption, Text;
    int VisibleButtons = 0;
    bool OkButton = false, WarningIcon = false, Topmost = false, Foreground = false;
    framework::TTimer Closer{nullptr};
    FailureBox()
    {
        Closer.SetInterval(20);
        Closer.OnTimer = [this](TObject*) {
            HWND box = ::FindWindowW(L"#32770", nullptr);
            if (!box)
                return;
            wchar_t text[200] = {};
            ::GetWindowTextW(box, text, 200);
            Caption = text;
            ::GetDlgItemTextW(box, 0xFFFF, text, 200);
            Text = text;
            Topmost = (::GetWindowLongW(box, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
            Foreground = ::GetForegroundWindow() == box;
            HWND ok = ::GetDlgItem(box, IDOK);
            OkButton = ok && ::IsWindowVisible(ok);
            const HICON warning = ::LoadIconW(nullptr, IDI_WARNING);
            for (HWND child = ::GetWindow(box, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
                wchar_t name[32] = {};
                ::GetClassNameW(child, name, 32);
                if (!::IsWindowVisible(child))
                    continue;
                if (::lstrcmpiW(name, L"Button") == 0)
                    ++VisibleButtons;
                if (::lstrcmpiW(name, L"Static") == 0 &&
                    reinterpret_cast<HICON>(::SendMessageW(child, STM_GETICON, 0, 0)) == warning)
                    WarningIcon = true;
            }
            ::PostMessageW(box, WM_COMMAND, IDOK, 0);
        };
    }
};

TEST_F(DownloadWindow, TargetPathIsInTheTemporaryFolder)
{
    EXPECT_EQ(Form->HTTPGetUpdate->URL, std::string(InstallerURL));
    EXPECT_EQ(Form->HTTPGetUpdate->URL.substr(0, 7), "http://");
    EXPECT_NE(Form->HTTPGetUpdate->URL.find("/download/orvellaVV.exe"), std::string::npos);
    EXPECT_EQ(Form->HTTPGetUpdate->FileName, GetTempDir() + L"orvellaVV.exe");
    EXPECT_EQ(Form->HTTPGetUpdate->Agent, "Korvane Giveaway Downloader");
    EXPECT_EQ(Form->HTTPGetUpdate->Referer, "Korvane - Lumigate");
    EXPECT_TRUE(Form->HTTPGetUpdate->WaitThread);
    EXPECT_FALSE(Form->HTTPGetUpdate->UseCache);
    EXPECT_FALSE(Form->HTTPGetUpdate->BinaryData);
}

TEST_F(DownloadWindow, SizesAboveTheLimitLaunchOthersShowTheFailureBox)
{
    std::wstring launched;
    Form->Launch = [&](HWND, const std::wstring& installer) { launched = installer; };
    Form->Panel2->Show();
    {
        FailureBox box;
        Form->HTTPGetUpdateDoneFile(nullptr, L"C:\\x.exe", 2200);
        EXPECT_TRUE(launched.empty());
        EXPECT_FALSE(Form->Panel2->Visible());
        const bool german = SystemLanguage() == TLanguage::German;
        EXPECT_EQ(box.Caption, german ? L"Download fehlgeschlagen" : L"Download failed");
        EXPECT_EQ(box.Text, german ? L"Der Download der Vollversion ist fehlgeschlagen!"
                                   : L"Downloading full version failed!");
        EXPECT_EQ(box.VisibleButtons, 1);
        EXPECT_TRUE(box.OkButton);
        EXPECT_TRUE(box.WarningIcon);
        EXPECT_TRUE(box.Topmost);
        EXPECT_TRUE(box.Foreground);
    }
    Form->Panel2->Show();
    Form->HTTPGetUpdateDoneFile(nullptr, L"C:\\x.exe", 2201);
    EXPECT_EQ(launched, L"C:\\x.exe");
    EXPECT_FALSE(Form->Panel2->Visible());
}

TEST_F(DownloadWindow, AnErrorWithACompleteFileOnDiskStillLaunches)
{
    std::wstring launched;
    Form->Launch = [&](HWND, const std::wstring& installer) { launched = installer; };
    const std::wstring target = Form->HTTPGetUpdate->FileName;
    {
        base::FileHandle file(
            ::CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        std::string bytes(3000, 'x');
        DWORD written;
        ::WriteFile(file.Get(), bytes.data(), 3000, &written, nullptr);
    }
    Form->HTTPGetUpdateError(nullptr);
    EXPECT_EQ(launched, target);

    launched.clear();
    ::DeleteFileW(target.c_str());
    Form->Panel2->Show();
    FailureBox box;
    Form->HTTPGetUpdateError(nullptr);
    EXPECT_TRUE(launched.empty());
    EXPECT_FALSE(Form->Panel2->Visible());
    EXPECT_FALSE(box.Caption.empty());
}

TEST(LanguageRule, OnlyThePrimaryLanguageCounts)
{
    EXPECT_EQ(LanguageOf(0x0407), TLanguage::German);
    EXPECT_EQ(LanguageOf(0x0807), TLanguage::German); // Swiss
    EXPECT_EQ(LanguageOf(0x0C07), TLanguage::German); // Austrian
    EXPECT_EQ(LanguageOf(0x1407), TLanguage::German); // Liechtenstein
    EXPECT_EQ(LanguageOf(0x0409), TLanguage::English);
    EXPECT_EQ(LanguageOf(0x040C), TLanguage::English);
    EXPECT_EQ(LanguageOf(0x0000), TLanguage::English);
}

TEST(Texts, HeaderIsRecomputedFromTheProductName)
{
    EXPECT_EQ(WindowTexts(TLanguage::English, L"Other").Header,
              L"<b><font size=22>Other</font> (full version)</b>");
    EXPECT_EQ(WindowTexts(TLanguage::German, L"Other").Header,
              L"<b>Vollversion von <font size=22>Other</b></font>");
}

} // namespace
} // namespace app
