#include "crash/settings/text_variables.h"

#include "crash/settings/report_fields.h"

#include <string_view>
#include <utility>

namespace crash {
namespace {

std::u16string Digits(int value, int width)
{
    std::u16string out;
    const std::string s = std::to_string(value);
    if (static_cast<int>(s.size()) < width)
        out.assign(static_cast<size_t>(width) - s.size(), u'0');
    out.append(s.begin(), s.end());
    return out;
}

size_t FindNoCase(const std::u16string& text, const std::u16string& name, size_t from)
{
    if (name.empty() || text.size() < name.size())
        return std::u16string::npos;
    const std::u16string_view view(text);
    for (size_t i = from; i + name.size() <= text.size(); ++i)
        if (SameName(view.substr(i, name.size()), name))
            return i;
    return std::u16string::npos;
}

std::u16string Ask(const std::function<std::u16string()>& f)
{
    return f ? f() : std::u16string();
}

} // namespace

bool ReplaceNoCase(std::u16string& text, const std::u16string& name, const std::u16string& value)
{
    // One pass that builds the result: replacing in place would move the rest of the text
    // at every occurrence.
    size_t at = FindNoCase(text, name, 0);
    if (at == std::u16string::npos)
        return false;
    std::u16string out;
    size_t from = 0;
    for (; at != std::u16string::npos; at = FindNoCase(text, name, from)) {
        out.append(text, from, at - from);
        out += value;
        from = at + name.size();
    }
    out.append(text, from);
    text = std::move(out);
    return true;
}

void TTextVariables::KeepReportVariables()
{
    ExceptClass = u"%exceptClass%";
    ExceptMsg = u"%exceptMsg%";
    BugReport = u"%bugReport%";
    ErrorDetails = u"%errorDetails%";
}

std::u16string ExpandTextVariables(std::u16string text, const TTextVariables& v)
{
    // A value that is costly to learn is asked for only when its variable is present.
    auto lazy = [&](const char16_t* name, const std::function<std::u16string()>& value) {
        if (FindNoCase(text, name, 0) != std::u16string::npos)
            ReplaceNoCase(text, name, Ask(value));
    };
    auto version = [](const std::function<std::u16string()>& f) {
        return [&f] {
            const std::u16string version = Ask(f);
            return version.empty() ? std::u16string(u"?") : version;
        };
    };
    const std::u16string date =
        Digits(v.Now.Year, 4) + u"-" + Digits(v.Now.Month, 2) + u"-" + Digits(v.Now.Day, 2);
    const std::u16string time = Digits(v.Now.Hour, 2) + u":" + Digits(v.Now.Minute, 2) + u":" +
                                Digits(v.Now.Second, 2) + u", " + Digits(v.Now.Millisecond, 1) + u"ms";

    ReplaceNoCase(text, u"%appname%", v.AppName);
    ReplaceNoCase(text, u"%modname%", v.ModName);
    lazy(u"%appversion%", version(v.AppVersion));
    lazy(u"%modversion%", version(v.ModVersion));
    ReplaceNoCase(text, u"%exceptClass%", v.ExceptClass);
    ReplaceNoCase(text, u"%exceptMsg%", v.ExceptMsg.empty() ? u"Unknown" : v.ExceptMsg);
    ReplaceNoCase(text, u"%bugReport%", v.BugReport);
    ReplaceNoCase(text, u"%LF%", u"\r\n");
    ReplaceNoCase(text, u"%date%", date);
    ReplaceNoCase(text, u"%time%", time);
    ReplaceNoCase(text, u"%datetime%", date + u", " + time);
    lazy(u"%computerName%", v.ComputerName);
    lazy(u"%os%", v.Os);
    ReplaceNoCase(text, u"%errorDetails%", v.ErrorDetails);
    lazy(u"%desktop%", v.Desktop);
    lazy(u"%userappdata%", v.UserAppData);
    lazy(u"%commonappdata%", v.CommonAppData);
    return text;
}

} // namespace crash
