#pragma once
// Looking things up in a report's text (the format of report_text.h): a header field's
// value, a section's content, a header line put in after another. For 8-bit (UTF-8, as a
// report file holds it) and UTF-16 texts alike. Platform-free.

#include <string>
#include <string_view>

namespace crash {

// The value of the header line `name` (after a line break; the first line of a report is
// not found), trimmed; empty when there is none.
template <class C>
std::basic_string<C> ExtractHeaderField(std::basic_string_view<C> report, std::basic_string_view<C> name);
// The content of the section `name` (after an empty line): from after its ":" up to the
// next empty line.
template <class C>
std::basic_string<C> ExtractSection(std::basic_string_view<C> report, std::basic_string_view<C> name);
// Whether both reports have the same value (or none) for the field.
template <class C>
bool SameHeaderField(std::basic_string_view<C> a, std::basic_string_view<C> b,
                     std::basic_string_view<C> name);
// Puts the line "name: value" (the name padded like the line it follows) after the header
// line `after`; the report is left as it is when that line is not there.
template <class C>
void InsertHeaderLine(std::basic_string<C>& report, std::basic_string_view<C> name,
                      std::basic_string_view<C> after, std::basic_string_view<C> value);

} // namespace crash
