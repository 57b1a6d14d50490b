#pragma once
// The download window's texts in both languages.

#include "app/language.h"

#include <string>

namespace app {

struct TWindowTexts
{
    std::wstring Caption;
    std::wstring Header; // HTML markup around the product name
    std::wstring Step;
    std::wstring Button;
    std::wstring FailureCaption;
    std::wstring FailureText;
};

TWindowTexts WindowTexts(TLanguage language, const std::wstring& productName);

} // namespace app
