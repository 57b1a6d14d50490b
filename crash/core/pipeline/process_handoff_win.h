#pragma once
// The handling pipeline's entry: every hand-off record becomes a report object on the
// handling thread, goes through the program's handlers and the crash dialog (or the console,
// or the web client), and the program continues, restarts or ends as the settings and the
// user say. Whatever fails inside is swallowed, and paused threads are always resumed.

#include "crash/core/intercept/handoff_record.h"

namespace crash {

void ProcessHandoff(const THandoffRecord& record);

// The pipeline's part of the start-up (on the main thread, after the handling thread is
// made: the main thread's message window for synchronized handlers) and of the shutdown.
void StartPipeline();
void StopPipeline();

} // namespace crash
