#pragma once
// Variable expansion of the crash reporter's texts: every "%name%" of the table below,
// matched without regard to letter case, replaced in this order. Platform-free: the values
// come from the caller; those that are costly to learn are asked for only when the text
// contains their variable.

#include <functional>
#include <string>

namespace crash {

struct TLocalTime
{
    int Year = 0, Month = 0, Day = 0, Hour = 0, Minute = 0, Second = 0, Millisecond = 0;
};

struct TTextVariables
{
    std::u16string AppName;                     // %appname%
    std::u16string ModName;                     // %modname%
    std::function<std::u16string()> AppVersion; // %appversion%
    std::function<std::u16string()> ModVersion; // %modversion%
    std::u16string ExceptClass;                 // %exceptClass%
    std::u16string ExceptMsg;                   // %exceptMsg% ("Unknown" when empty)
    std::u16string BugReport;                   // %bugReport%
    TLocalTime Now;                             // %date%, %time%, %datetime%
    std::function<std::u16string()> ComputerName;
    std::function<std::u16string()> Os;
    std::u16string ErrorDetails;                 // %errorDetails%
    std::function<std::u16string()> Desktop;     // %desktop%
    std::function<std::u16string()> UserAppData; // %userappdata%
    std::function<std::u16string()> CommonAppData;

    // Values for a plain settings object: the report's own variables stay in the text,
    // for a later expansion by the report.
    void KeepReportVariables();
};

std::u16string ExpandTextVariables(std::u16string text, const TTextVariables& values);

// Replaces every occurrence of `name` (letter case ignored) by `value`; false when there
// was none. The replacement text is not searched again.
bool ReplaceNoCase(std::u16string& text, const std::u16string& name, const std::u16string& value);

} // namespace crash
