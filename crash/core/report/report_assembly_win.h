#pragma once
// The assembly of a report object's text: on first use the header and the sections with
// their placeholders (a section per thread: the failing thread, its inner exceptions, the
// main thread and, with ListThreads, every other thread; the plug-in lists; the CPU
// registers, the stack dump and the disassembly); when a complete report is asked for, the
// completion (every thread traced, the lists and listings made, the call-stack checksums
// set); then the text. Every section is made under its own protection. The pipeline asks
// for it through its ReportText service.

#include "crash/core/pipeline/exception_report_interfaces.h"

#include <string>

namespace crash {

std::u16string AssembledReportText(IExceptionReport& report, bool mustBeComplete, bool& complete);
inline std::u16string AssembledReportText(IExceptionReport& report, bool mustBeComplete)
{
    bool complete;
    return AssembledReportText(report, mustBeComplete, complete);
}

} // namespace crash
