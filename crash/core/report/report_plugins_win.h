#pragma once
// The bug-report plug-ins: named producers of a text that goes into the report, either as a
// header field or as a section of its own, in the order of the Plugins setting. Four forms
// of producer (8-bit or UTF-16 text, with or without the report). The process's list starts
// with three own-section plug-ins: the modules, the processes and the hardware.

#include "crash/core/pipeline/exception_report_interfaces.h"

#include <optional>
#include <string>
#include <variant>

namespace crash {

using TBugReportPluginA = std::string (*)();
using TBugReportPluginW = std::u16string (*)();
using TBugReportPluginExA = std::string (*)(IExceptionReport* report);
using TBugReportPluginExW = std::u16string (*)(IExceptionReport* report);
using TBugReportPluginProc =
    std::variant<TBugReportPluginA, TBugReportPluginW, TBugReportPluginExA, TBugReportPluginExW>;

struct TReportPlugin
{
    std::u16string Name, Description;
    TBugReportPluginProc Proc;
    bool OwnSection = false;
};

// Appends a plug-in; removing takes out the first of that name.
void AddReportPlugin(const std::u16string& name, const std::u16string& description, TBugReportPluginProc proc,
                     bool ownSection);
void RemoveReportPlugin(const std::u16string& name);
std::optional<TReportPlugin> FindReportPlugin(const std::u16string& name);

// The plug-in's text (8-bit texts in the system's code page); the internal-error text when
// the plug-in fails.
std::u16string PluginText(const TReportPlugin& plugin, IExceptionReport* report);

// The registered plug-ins the report's Plugins setting names ("|" between names), in its
// order, with or without their own section.
std::vector<TReportPlugin> ListedPlugins(IExceptionReport& report, bool ownSection);

// The text of a section or field whose producer failed.
std::u16string InternalErrorText(const std::u16string& producer);

} // namespace crash
