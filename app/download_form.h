#pragma once
// The download window: a header band with the product name, the download step text, the
// download button, and the white overlay with the progress animation that covers both
// while a download runs. The button downloads the installer into the temporary folder;
// a file larger than 2200 bytes is started and the program ends, anything else shows the
// failure box and the window is idle again.

#include "app/language.h"
#include "controls/html/html_label.h"
#include "controls/marquee/marquee.h"
#include "controls/panel/themed_panel.h"
#include "framework/button.h"
#include "framework/form.h"
#include "net/http_get.h"

#include <cstdint>
#include <functional>
#include <string>

namespace app {

class TForm1 : public framework::TForm
{
public:
    explicit TForm1(framework::TComponent* AOwner);

    panel::TThemedPanel* Panel1;
    html::THTMLLabel* HTMLLabel1;
    framework::TButton* Button1;
    html::THTMLLabel* HTMLLabel6;
    net::THTTPGet* HTTPGetUpdate;
    panel::TThemedPanel* Panel2;
    marquee::TMarquee* MarqueeUserSynchronization;
    std::wstring ProdName;

    void FormCreate(framework::TObject* Sender);
    std::wstring GetTempDir();
    void Button1Click(framework::TObject* Sender);
    void HTTPGetUpdateDoneFile(framework::TObject* Sender, const std::wstring& FileName, int32_t FileSize);
    void HTTPGetUpdateError(framework::TObject* Sender);

    // Starts the downloaded installer and ends the process; tests of the window replace it.
    std::function<void(HWND owner, const std::wstring& installer)> Launch;

private:
    void ShowFailure();
};

// The installer's address on the maker's download server.
extern const char* const InstallerURL;
// Files of this size or smaller are not an installer.
constexpr int32_t MinimumInstallerSize = 2200;

} // namespace app
