#include "app/language.h"

namespace app {

TLanguage SystemLanguage()
{
    return LanguageOf(::GetSystemDefaultLangID());
}

} // namespace app
