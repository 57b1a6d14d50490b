#pragma once
// Letter case of ASCII letters only, for names of formats and markup (tag names, entity and
// colour names, unit names of debug information), for any character type. Other letters
// keep their case: the formats compare them byte for byte.

#include <algorithm>
#include <string>
#include <string_view>

namespace base {

template <class C> constexpr C AsciiLower(C c)
{
    return c >= C('A') && c <= C('Z') ? static_cast<C>(c + 32) : c;
}

template <class C> std::basic_string<C> AsciiLowerCase(std::basic_string<C> s)
{
    for (C& c : s)
        c = AsciiLower(c);
    return s;
}

// <0, 0 or >0 as `a` sorts before, with or after `b` ignoring ASCII case.
template <class C> int AsciiCompareIgnoringCase(std::basic_string_view<C> a, std::basic_string_view<C> b)
{
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const C x = AsciiLower(a[i]), y = AsciiLower(b[i]);
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

template <class C> bool AsciiEqualIgnoringCase(std::basic_string_view<C> a, std::basic_string_view<C> b)
{
    return a.size() == b.size() && AsciiCompareIgnoringCase(a, b) == 0;
}

} // namespace base
