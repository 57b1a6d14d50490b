#pragma once
// The names the markup may use: character entities and colour names.

#include "controls/html/html_data.h"

#include <optional>
#include <string_view>

namespace html {

// The character of an entity name (matched exactly, case matters): "quot", "amp", "lt",
// "gt", "nbsp" (an ordinary space), the Latin-1 names from "iexcl" (161) to "uacute"
// (250), "trade" and "euro".
std::optional<char16_t> EntityCharacter(std::u16string_view name);

// The colour of a name with its "cl" prefix ("clRed", "clBtnFace", ...), ignoring case.
std::optional<THTMLColor> ColorByName(std::u16string_view name);

} // namespace html
