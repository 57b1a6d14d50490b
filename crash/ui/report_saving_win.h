#pragma once
// Saving a report into the report file: the path from the settings (made absolute, its
// folder created; the user's application-data folder when the program's own folder cannot
// be written), the file's contents with the report added (report_file.h), written whole to
// a new file that then replaces the old one, so that a process killed while saving leaves
// the old file or the new one, never a damaged one. Interactive saving asks for the path
// with the save dialog.

#include "crash/settings/report_settings.h"

#include <windows.h>

#include <string>

namespace crash {

// `fileName` empty: the settings' report file (automatic; the user's application-data folder
// when the program's folder cannot take it) or the save dialog over `owner`; a file named by
// the caller is written there or not at all.
// True when the report was written.
bool SaveReportToFile(const std::u16string& fileName, const std::u16string& report, HWND owner,
                      ReportSettings& settings, bool automatic);

// The steps of a save, for a test that stops a process between them: the old file read, the
// new contents written beside it, the new file in the old one's place.
enum class TSaveStep
{
    Read,
    NewWritten,
    Replaced,
};
void SetSaveStepHook(void (*hook)(TSaveStep step));

// A path made absolute the way the settings' paths are: a relative one is taken from the
// executable's folder (the report file of BugReportFile is beside the program). And the file
// of BugReportFile `setting` in the user's application-data folder (for a setting without a
// folder), where it goes when the program's folder cannot be written.
std::u16string ProgramPath(const std::u16string& path);
std::u16string UserReportFilePath(ReportSettings& settings, const std::u16string& setting);

// Creates the folder of a file's path (and its parents); whether it exists afterwards.
bool ForceFolder(const std::u16string& path);

} // namespace crash
