#include "app/texts.h"

namespace app {

TWindowTexts WindowTexts(TLanguage language, const std::wstring& productName)
{
    if (language == TLanguage::German) {
        // The German header closes its tags crossed ("</b></font>"); the HTML label takes it.
        return {L"Lumigate - Vollversion herunterladen",
                L"<b>Vollversion von <font size=22>" + productName + L"</b></font>",
                L"Laden Sie die Vollversion herunter und installieren Sie diese auf Ihrem Computer:",
                L"Vollversion herunterladen",
                L"Download fehlgeschlagen",
                L"Der Download der Vollversion ist fehlgeschlagen!"};
    }
    return {L"Lumigate - Download the full version",
            L"<b><font size=22>" + productName + L"</font> (full version)</b>",
            L"Download and install full version on your computer:",
            L"Download full version",
            L"Download failed",
            L"Downloading full version failed!"};
}

} // namespace app
