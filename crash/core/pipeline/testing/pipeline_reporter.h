#pragma once
// The reporter started as a program with the handling pipeline starts it: from a static
// initializer before anything else of the program (the caller gives it init_priority 101),
// stopped at the program's end. `parts` adds what the program brings besides the pipeline.

#include "crash/core/intercept/startup_win.h"
#include "crash/core/pipeline/process_handoff_win.h"

namespace crash::testing {

struct TPipelineReporter
{
    explicit TPipelineReporter(TReporterParts parts = {})
    {
        parts.Processor = &ProcessHandoff;
        parts.StartPipeline = &StartPipeline;
        parts.StopPipeline = &StopPipeline;
        State = StartReporter(parts);
    }
    ~TPipelineReporter() { StopReporter(); }
    TPipelineReporter(const TPipelineReporter&) = delete;
    TPipelineReporter& operator=(const TPipelineReporter&) = delete;

    TReporterStart State = TReporterStart::NoSettings;
};

} // namespace crash::testing
