#include "crash/core/report/report_plugins_win.h"

#include "base/seh_frame.h"
#include "base/srw_lock.h"
#include "base/utf_win.h"
#include "crash/core/pipeline/exception_report_win.h"
#include "crash/core/sysinfo/system_lists_win.h"
#include "crash/settings/report_fields.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace crash {
namespace {

std::u16string Modules()
{
    return AsU16(ModulesListText());
}
std::u16string Processes()
{
    return AsU16(ProcessesListText());
}
std::u16string Hardware()
{
    return AsU16(HardwareListText());
}

base::SrwLock Lock;

std::vector<TReportPlugin>& Plugins()
{
    static std::vector<TReportPlugin> plugins = {
        {u"modules", u"list of loaded modules", TBugReportPluginW(&Modules), true},
        {u"processes", u"list of running processes", TBugReportPluginW(&Processes), true},
        {u"hardware", u"list of installed hardware", TBugReportPluginW(&Hardware), true}};
    return plugins;
}

} // namespace

void AddReportPlugin(const std::u16string& name, const std::u16string& description, TBugReportPluginProc proc,
                     bool ownSection)
{
    const std::lock_guard lock(Lock);
    Plugins().push_back({name, description, proc, ownSection});
}

void RemoveReportPlugin(const std::u16string& name)
{
    const std::lock_guard lock(Lock);
    auto& plugins = Plugins();
    const auto found = std::find_if(plugins.begin(), plugins.end(),
                                    [&](const TReportPlugin& p) { return SameName(p.Name, name); });
    if (found != plugins.end())
        plugins.erase(found);
}

std::optional<TReportPlugin> FindReportPlugin(const std::u16string& name)
{
    const std::lock_guard lock(Lock);
    for (const TReportPlugin& p : Plugins())
        if (SameName(p.Name, name))
            return p;
    return std::nullopt;
}

std::u16string InternalErrorText(const std::u16string& producer)
{
    return u">> internal error in " + producer;
}

std::u16string PluginText(const TReportPlugin& plugin, IExceptionReport* report)
{
    std::u16string text = InternalErrorText(u"plugin");
    base::Guarded([&] {
        text = std::visit(
            [&](auto proc) -> std::u16string {
                using P = decltype(proc);
                if constexpr (std::is_same_v<P, TBugReportPluginA>)
                    return base::AnsiToUtf16(proc());
                else if constexpr (std::is_same_v<P, TBugReportPluginW>)
                    return proc();
                else if constexpr (std::is_same_v<P, TBugReportPluginExA>)
                    return base::AnsiToUtf16(proc(report));
                else
                    return proc(report);
            },
            plugin.Proc);
    });
    return text;
}

std::vector<TReportPlugin> ListedPlugins(IExceptionReport& report, bool ownSection)
{
    std::vector<TReportPlugin> listed;
    auto* settings = dynamic_cast<ExceptionReport*>(&report);
    if (!settings)
        return listed;
    std::u16string names = settings->GetPropStr("Plugins") + u"|";
    for (size_t start = 0, bar; (bar = names.find(u'|', start)) != std::u16string::npos; start = bar + 1)
        if (const auto plugin = FindReportPlugin(names.substr(start, bar - start));
            plugin && plugin->OwnSection == ownSection)
            listed.push_back(*plugin);
    return listed;
}

} // namespace crash
