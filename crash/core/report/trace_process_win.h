#pragma once
// The report of the running process that an outside tool asks for: the tool runs
// vexTraceProcess in a thread of this process (the function is exported by the module that
// carries the reporter). A freeze-type report of every thread, written as UTF-8 into the
// tool's named shared memory "Global\vexTraceProcessMap" (else "vexTraceProcessMap"), cut to
// the size given and ended with a NUL byte; with a size below 1 it goes to the clipboard.

#include <windows.h>

// Exported under this plain name only (not also with the stdcall decoration "@4"): see the
// export directive beside its definition.
extern "C" int WINAPI vexTraceProcess(int bufferSize);

namespace crash {

// While a trace runs: the report's thread list names the reporter's own threads only by
// their registered names.
bool TracingProcess();

} // namespace crash
