// A program that saves a report into a report file and is killed at one step of the save:
//     save_child STEP FILE LOG
// STEP is the step after which it ends at once, as if killed (0: the old file read, 1: the
// new contents written beside it, 2: the new file in the old one's place; anything else: it
// is not killed and logs "saved" when the save succeeded). The report is a duplicate of the
// report "crc $11111111" that the test puts into the file.

#include "crash/core/intercept/testing/child_log.h"
#include "crash/settings/module_settings.h"
#include "crash/ui/report_saving_win.h"

#include <windows.h>

#include <cstdlib>
#include <string>

namespace {

int KillAt = -1;

void Stop(crash::TSaveStep step)
{
    if (static_cast<int>(step) == KillAt)
        ::TerminateProcess(::GetCurrentProcess(), 9);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 4)
        return 4;
    KillAt = std::atoi(argv[1]);
    crash::SetSaveStepHook(&Stop);
    const std::string file = argv[2];
    const base::ComPtr<crash::ReportSettings> settings = crash::ModuleSettingsFor(nullptr);
    const std::u16string report = u"date/time        : new\r\nexecutable       : save_child.exe\r\n"
                                  u"callstack crc    : $11111111, $22222222, $33333333\r\n"
                                  u"exception class  : EFailure";
    if (crash::SaveReportToFile(std::u16string(file.begin(), file.end()), report, nullptr, *settings, true))
        crash::testing::AppendLine(argv[argc - 1], "saved");
    return 0;
}
