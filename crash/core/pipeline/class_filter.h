#pragma once
// Which column of the class filter answers for an exception: the first of Filter1 and
// Filter2 whose class list (names separated by commas, blanks around them ignored) names the
// exception's class or one of its ancestors, else the General column. Names compare as the
// reporter's texts do, without regard to letter case. Platform-free.

#include <string>
#include <string_view>
#include <vector>

namespace crash {

enum class TFilterColumn
{
    Filter1,
    Filter2,
    General
};

std::vector<std::u16string> SplitClassList(std::u16string_view list);

// `classChain` is the exception's class, then its ancestors.
TFilterColumn ChooseFilterColumn(const std::vector<std::u16string>& classChain,
                                 std::u16string_view filter1Classes, std::u16string_view filter2Classes);

} // namespace crash
