#pragma once
// The reporter's layers wired together: what the handling pipeline asks of the layers above
// it (the report text, saving, printing, the clipboard, the HTML page, the freeze watch's
// counter) is answered by them.
// The program's start-up installs this once.

namespace crash {

void InstallReporterServices();

} // namespace crash
