#include "app/download_form.h"

#include "app/temp_folder.h"
#include "app/texts.h"
#include "framework/application.h"

#include <shellapi.h>

namespace app {

using namespace framework;

const char* const InstallerURL = "http://download.korvane.com/download/orvellaVV.exe";

namespace {

constexpr TColor HeaderBlue = RGBColor(0, 123, 206);
constexpr TColor HeaderYellow = RGBColor(252, 242, 173);

void SetVerdana(TFont& font, int height, TColor color)
{
    font.SetName(L"Verdana");
    font.SetHeight(height);
    font.SetColor(color);
    font.SetCharset(DEFAULT_CHARSET);
}

} // namespace

TForm1::TForm1(TComponent* AOwner) : TForm(AOwner)
{
    SetName(L"Form1");
    SetBorderStyle(bsDialog);
    SetPosition(poScreenCenter);
    SetClientSize(445, 592);
    SetColor(clWhite);
    SetVerdana(Font(), -13, clWindowText);

    Panel1 = new panel::TThemedPanel(this);
    Panel1->SetName(L"Panel1");
    Panel1->SetParent(this);
    Panel1->SetBounds(0, 0, 445, 65);
    Panel1->SetColor(HeaderBlue);
    Panel1->SetBorderType(panel::fbtNone);
    Panel1->SetBevelOuter(panel::bvNone);
    Panel1->SetTransparentXPThemes(false);
    Panel1->SetThemeMode(panel::ttmNone);
    Panel1->SetAnchors(akLeft | akTop | akRight);

    HTMLLabel1 = new html::THTMLLabel(this);
    HTMLLabel1->SetName(L"HTMLLabel1");
    HTMLLabel1->SetParent(Panel1);
    HTMLLabel1->SetAutoSize(false);
    HTMLLabel1->SetBounds(16, 3, 411, 59);
    HTMLLabel1->SetTransparent(false);
    HTMLLabel1->SetParentColor(true);
    HTMLLabel1->SetWordWrap(true);
    HTMLLabel1->SetLayout(tlCenter);
    HTMLLabel1->SetThemeMode(panel::ttmNone);
    SetVerdana(HTMLLabel1->Font(), -15, HeaderYellow);
    HTMLLabel1->SetAnchors(akLeft | akTop | akRight);

    Button1 = new TButton(this);
    Button1->SetName(L"Button1");
    Button1->SetParent(this);
    Button1->SetBounds(126, 461, 193, 38);
    SetVerdana(Button1->Font(), -13, clWindowText);
    Button1->SetCaption(L"Vollversion herunterladen");

    HTMLLabel6 = new html::THTMLLabel(this);
    HTMLLabel6->SetName(L"HTMLLabel6");
    HTMLLabel6->SetParent(this);
    HTMLLabel6->SetAutoSize(false);
    HTMLLabel6->SetBounds(16, 375, 411, 74);
    HTMLLabel6->SetTransparent(true);
    HTMLLabel6->SetWordWrap(true);
    HTMLLabel6->SetThemeMode(panel::ttmNone);
    HTMLLabel6->SetAnchors(akLeft | akTop | akRight);
    HTMLLabel6->SetCaption(
        L"Laden Sie die Vollversion herunter und installieren Sie diese auf Ihrem Computer:");

    HTTPGetUpdate = new net::THTTPGet(this);
    HTTPGetUpdate->SetName(L"HTTPGetUpdate");
    HTTPGetUpdate->AcceptTypes = "*/*";
    HTTPGetUpdate->Agent = "Korvane Giveaway Downloader";
    HTTPGetUpdate->BinaryData = false;
    HTTPGetUpdate->UseCache = false;
    HTTPGetUpdate->Referer = "Korvane - Lumigate";
    HTTPGetUpdate->WaitThread = true;
    HTTPGetUpdate->OnDoneFile = [this](TObject* Sender, const std::wstring& FileName, int32_t FileSize) {
        HTTPGetUpdateDoneFile(Sender, FileName, FileSize);
    };
    HTTPGetUpdate->OnError = [this](TObject* Sender) { HTTPGetUpdateError(Sender); };

    Panel2 = new panel::TThemedPanel(this);
    Panel2->SetName(L"Panel2");
    Panel2->SetParent(this);
    Panel2->SetBounds(0, 82, 445, 417);
    Panel2->SetColor(clWhite);
    Panel2->SetBorderType(panel::fbtNone);
    Panel2->SetBevelOuter(panel::bvNone);
    Panel2->SetTransparentXPThemes(false);
    Panel2->SetVisible(false);

    MarqueeUserSynchronization = new marquee::TMarquee(this);
    MarqueeUserSynchronization->SetName(L"MarqueeUserSynchronization");
    MarqueeUserSynchronization->SetParent(Panel2);
    MarqueeUserSynchronization->SetBounds(0, 0, 445, 417);
    MarqueeUserSynchronization->SetAlign(alClient);
    MarqueeUserSynchronization->SetAnimationStretchFactor(1.7f);
    MarqueeUserSynchronization->SetAnimationFactor(3);
    MarqueeUserSynchronization->SetAnimationStep(10);
    marquee::TShapeFill& fill = MarqueeUserSynchronization->Fill();
    fill.SetColor(clWhite);
    fill.SetColorMirror(clNone);
    fill.SetColorMirrorTo(clNone);
    fill.SetGradientType(marquee::gtSolid);
    fill.SetGradientMirrorType(marquee::gtSolid);
    fill.SetBorderColor(clWhite);
    fill.SetRounding(0);
    fill.SetShadowOffset(0);
    fill.SetGlow(marquee::gmNone);
    MarqueeUserSynchronization->Bullets().SetColor(clBlack);
    MarqueeUserSynchronization->LoadStyleNumber(0);

    Button1->OnClick = [this](TObject* Sender) { Button1Click(Sender); };
    Launch = [](HWND owner, const std::wstring& installer) {
        // Whether the shell could start the file is not checked: the process ends either way.
        ::ShellExecuteW(owner, L"open", installer.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
        ::ExitProcess(0);
    };
    SetActiveControl(Button1);
    OnCreate = [this](TObject* Sender) { FormCreate(Sender); };
}

void TForm1::FormCreate(TObject*)
{
    const TLanguage language = SystemLanguage();
    ProdName = L"Orvella";
    const TWindowTexts texts = WindowTexts(language, ProdName);
    HTMLLabel1->SetCaption(texts.Header);
    if (language == TLanguage::English) {
        HTMLLabel6->SetCaption(texts.Step);
        Button1->SetCaption(texts.Button);
    }
    SetCaption(texts.Caption);
    HTTPGetUpdate->URL = InstallerURL;
    HTTPGetUpdate->FileName = TargetPath(GetTempDir(), HTTPGetUpdate->URL);
}

std::wstring TForm1::GetTempDir()
{
    return app::GetTempDir();
}

void TForm1::Button1Click(TObject*)
{
    // A file left from an earlier run goes first; one that can't be deleted (the running
    // transfer holds it open) is left to the getter.
    try {
        if (FileExists(HTTPGetUpdate->FileName))
            ::DeleteFileW(HTTPGetUpdate->FileName.c_str());
    } catch (...) {
    }
    Panel2->Show();
    HTTPGetUpdate->GetFile();
}

void TForm1::HTTPGetUpdateDoneFile(TObject*, const std::wstring& FileName, int32_t FileSize)
{
    Panel2->Hide();
    if (FileSize > MinimumInstallerSize)
        Launch(Handle(), FileName);
    else
        ShowFailure();
}

void TForm1::HTTPGetUpdateError(TObject*)
{
    // A transfer counted as failed whose file on disk is complete enough still launches.
    const std::wstring& file = HTTPGetUpdate->FileName;
    if (FileExists(file)) {
        WIN32_FIND_DATAW found;
        base::FindHandle search(::FindFirstFileW(file.c_str(), &found));
        const uint64_t size =
            search ? (static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow : 0;
        HTTPGetUpdateDoneFile(nullptr, file, static_cast<int32_t>(static_cast<uint32_t>(size)));
        return;
    }
    Panel2->Hide();
    ShowFailure();
}

void TForm1::ShowFailure()
{
    const TWindowTexts texts = WindowTexts(SystemLanguage(), ProdName);
    Application()->MessageBox(texts.FailureText, texts.FailureCaption,
                              MB_OK | MB_ICONWARNING | MB_SYSTEMMODAL | MB_SETFOREGROUND);
}

} // namespace app
