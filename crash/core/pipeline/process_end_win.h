#pragma once
// How the process goes on after a report: the recent-exception ring the AutoRestart and
// AutoClose rules look at (handed on to a restarted process), a restart (the same command
// line and folder, the ring handed over, this process ends with 2), and the end of the
// process (with the exception's code for an OS exception, else 3, the runtime's abnormal
// end).

#include "crash/core/pipeline/recent_exceptions.h"

#include <windows.h>

namespace crash {

class IExceptionReport;

// The process's ring (the one a restarted process inherited, else an empty one): a new
// exception now, and what an AutoRestart or AutoClose value says now.
void AddRecentException();
bool RecentExceptionsSay(uint32_t setting);

// Ends the process after `report`, with its OS exception's code, else 3.
[[noreturn]] void TerminateAfterReport(IExceptionReport& report);
// Restarts the program; when the new process cannot be started, this one ends all the same.
[[noreturn]] void RestartProcess();

} // namespace crash
