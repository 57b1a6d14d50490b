#pragma once
// The report's header: the fields that describe the machine, the program and the exception,
// in their order, each produced on its own (a field that fails, or has nothing to say, is
// left out). The "callstack crc" field holds its placeholder until the report is complete.

#include "crash/core/pipeline/exception_report_win.h"
#include "crash/core/report/report_text.h"

namespace crash {

struct TReportHeader
{
    TReportItems Items;
    // Where fields added later go: right before "callstack crc".
    int AddIndex = 0;
};

TReportHeader BuildReportHeader(ExceptionReport& report);

// The placeholder of what the completion fills in.
inline constexpr char16_t CalculatedSoon[] = u"will be calculated soon";

} // namespace crash
