#include "crash/delivery/tracker_choices.h"

#include "base/ascii_case.h"

namespace crash {
namespace {

bool Same(std::string_view a, std::string_view b)
{
    return base::AsciiEqualIgnoringCase(a, b);
}

// The entry's id, or the entry itself when the list has no id for it.
const std::string& Choice(const std::vector<std::string>& list, const std::vector<std::string>& ids, size_t k)
{
    return k < ids.size() ? ids[k] : list[k];
}

} // namespace

bool CheckListValue(std::string& value, const std::vector<std::string>& list,
                    const std::vector<std::string>& ids)
{
    for (size_t k = 0; k < list.size(); ++k)
        if (Same(list[k], value)) {
            value = Choice(list, ids, k);
            return true;
        }
    if (!list.empty())
        value = Choice(list, ids, 0);
    return false;
}

bool CheckDoubleListValue(std::string& value, const std::vector<std::string>& list,
                          const std::vector<std::string>& ids, const std::vector<std::string>& projects,
                          std::string_view project)
{
    const auto inProject = [&](size_t k) { return k < projects.size() && Same(projects[k], project); };
    for (size_t k = 0; k < list.size(); ++k)
        if (inProject(k) && Same(list[k], value)) {
            value = Choice(list, ids, k);
            return true;
        }
    for (size_t k = 0; k < list.size(); ++k)
        if (inProject(k)) {
            value = Choice(list, ids, k);
            return false;
        }
    return false;
}

} // namespace crash
