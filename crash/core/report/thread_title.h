#pragma once
// The title of a thread's section in the report: the name the thread registry has for it
// and its id, or "thread" and its id with the class of its thread object; then ":", and
// " <suspended>" and " <priority:N>" when that is how the thread was found. Platform-free.

#include <cstdint>
#include <string>

namespace crash {

struct TThreadTitleInfo
{
    uint32_t ThreadId = 0;
    std::u16string Name;      // as registered, empty for none
    std::u16string ClassName; // of the thread object, empty when unknown
    bool Suspended = false;
    int Priority = 0;
};

std::u16string ThreadTitle(const TThreadTitleInfo& t);

// Whether a thread registered under `name` is left out of the report (unless it is the
// thread that failed): "-" and the reporter's own threads.
bool HiddenThreadName(const std::u16string& name);

} // namespace crash
