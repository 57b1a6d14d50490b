#pragma once
// The language rule of the download window: German when the system's default language
// (not the user's) has primary language 7, English otherwise.

#include <windows.h>

namespace app {

enum class TLanguage
{
    German,
    English
};

constexpr TLanguage LanguageOf(LANGID id)
{
    return (id & 0x3FF) == LANG_GERMAN ? TLanguage::German : TLanguage::English;
}

// Read anew at each call, from GetSystemDefaultLangID.
TLanguage SystemLanguage();

} // namespace app
