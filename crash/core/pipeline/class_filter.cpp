#include "crash/core/pipeline/class_filter.h"

#include "crash/settings/report_fields.h"

#include <algorithm>

namespace crash {
namespace {

bool Blank(char16_t c)
{
    return c <= u' ';
}

bool Names(std::u16string_view list, const std::vector<std::u16string>& classChain)
{
    const std::vector<std::u16string> names = SplitClassList(list);
    return std::any_of(classChain.begin(), classChain.end(), [&](const std::u16string& c) {
        return std::any_of(names.begin(), names.end(),
                           [&](const std::u16string& n) { return SameName(n, c); });
    });
}

} // namespace

std::vector<std::u16string> SplitClassList(std::u16string_view list)
{
    std::vector<std::u16string> names;
    while (!list.empty()) {
        const size_t comma = std::min(list.find(u','), list.size());
        std::u16string_view name = list.substr(0, comma);
        while (!name.empty() && Blank(name.front()))
            name.remove_prefix(1);
        while (!name.empty() && Blank(name.back()))
            name.remove_suffix(1);
        if (!name.empty())
            names.emplace_back(name);
        list.remove_prefix(std::min(comma + 1, list.size()));
    }
    return names;
}

TFilterColumn ChooseFilterColumn(const std::vector<std::u16string>& classChain,
                                 std::u16string_view filter1Classes, std::u16string_view filter2Classes)
{
    if (Names(filter1Classes, classChain))
        return TFilterColumn::Filter1;
    if (Names(filter2Classes, classChain))
        return TFilterColumn::Filter2;
    return TFilterColumn::General;
}

} // namespace crash
