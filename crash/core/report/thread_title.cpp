#include "crash/core/report/thread_title.h"

#include "base/hex.h"

namespace crash {
namespace {

std::u16string Ascii(const std::string& text)
{
    return std::u16string(text.begin(), text.end());
}

std::u16string HexId(uint32_t id)
{
    return Ascii(base::HexText(id));
}

} // namespace

std::u16string ThreadTitle(const TThreadTitleInfo& t)
{
    std::u16string title;
    if (!t.Name.empty()) {
        title = t.Name + u" (" + HexId(t.ThreadId) + u")";
    } else {
        title = u"thread " + HexId(t.ThreadId);
        if (!t.ClassName.empty())
            title += u" (" + t.ClassName + u")";
    }
    title += u':';
    if (t.Suspended)
        title += u" <suspended>";
    if (t.Priority != 0)
        title += u" <priority:" + Ascii(std::to_string(t.Priority)) + u">";
    return title;
}

bool HiddenThreadName(const std::u16string& name)
{
    return name == u"-" || name == u"Vexcatch - AntiFreezeThread" ||
           name == u"Vexcatch - HandleExceptionThread" || name == u"Vexcatch - TraceProcessThread";
}

} // namespace crash
