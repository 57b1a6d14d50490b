#pragma once
// The download window: a header band with the product name, the download step text, the
// download button, and the white overlay with the progress animation that covers both
// while a download runs.

#include "app/language.h"
#include "app/standins.h"
#include "framework/button.h"
#include "framework/form.h"
#include "framework/panel.h"

#include <string>

namespace app {

class TForm1 : public framework::TForm
{
public:
    explicit TForm1(framework::TComponent* AOwner);

    framework::TPanel* Panel1;
    THTMLLabel* HTMLLabel1;
    framework::TButton* Button1;
    THTMLLabel* HTMLLabel6;
    framework::TPanel* Panel2;
    TMarquee* MarqueeUserSynchronization;
    std::wstring ProdName;

    void FormCreate(framework::TObject* Sender);
};

} // namespace app
