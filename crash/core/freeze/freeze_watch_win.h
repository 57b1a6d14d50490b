#pragma once
// Freeze detection: a watchdog thread ("Vexcatch - AntiFreezeThread") asks the main thread's
// message window every tenth of FreezeTimeout whether it still answers; after ten unanswered
// probes in a row (one whole FreezeTimeout) it reports a freeze (etFrozen, esAntiFreezeCheck),
// and probes half as often again after each report until the main thread answers. Exception
// handling pauses it, so that a crash dialog that keeps the main thread busy is no freeze.
// One watchdog per process: it holds the thread registry's first mutex for its life.

#include <windows.h>

#include <cstdint>

namespace crash {

// At start-up, on the main thread; nothing when one runs already or the timeout is under 10 ms
// (a probe interval of 0).
void StartFreezeWatch(uint32_t timeoutMs);
// At shutdown: the watchdog gets 500 ms to end.
void StopFreezeWatch();
// Nested pause and resume of the process's watch, whichever module runs it (ignored on the
// watchdog itself and when none runs).
void PauseFreezeWatch(bool paused);
// The time between two probes now, in milliseconds (0 when no watchdog runs).
uint32_t FreezeProbeInterval();
// After every report: the probes of the process's watch start counting again.
void ResetFreezeCounter();
// For the dialog of a freeze report: once the main thread answers again, its answer (a null
// message with 777 and 777) goes to `dialog`, which closes then. Nothing when none runs.
void AnswerFreezeTo(HWND dialog);

} // namespace crash
