#include "app/standins.h"

namespace app {

THTMLLabel::THTMLLabel(framework::TComponent* AOwner) : TLabel(AOwner) {}

void THTMLLabel::SetHTMLText(const std::wstring& markup)
{
    FHTMLText = markup;
    std::wstring plain;
    bool inTag = false;
    for (wchar_t c : markup) {
        if (c == L'<')
            inTag = true;
        else if (c == L'>')
            inTag = false;
        else if (!inTag)
            plain += c;
    }
    if (markup.find(L"<b>") != std::wstring::npos)
        Font().SetStyle(Font().Style() | framework::fsBold);
    SetCaption(plain);
}

} // namespace app
