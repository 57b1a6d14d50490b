#pragma once
// The crash reporter of a program built on the framework, whole: the interception with the
// framework's exception boundary, the handling pipeline, freeze detection as the settings ask,
// and every layer above (the report, saving, the crash dialog, assistants, delivery). The
// program defines one object of it, constructed before anything else of the program and
// destroyed after everything else:
//     __attribute__((init_priority(101))) crash::TCrashReporter Reporter;

#include "crash/core/intercept/startup_win.h"

namespace crash {

class TCrashReporter
{
public:
    TCrashReporter();
    ~TCrashReporter();
    TCrashReporter(const TCrashReporter&) = delete;
    TCrashReporter& operator=(const TCrashReporter&) = delete;

    // Whether the settings let it start.
    TReporterStart State = TReporterStart::NoSettings;
};

} // namespace crash
