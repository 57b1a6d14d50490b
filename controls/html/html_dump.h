#pragma once
// A readable dump of parsed data, one line per item: kind, text, style, height, colours,
// flags and sizes. The golden tests compare it; it is also handy when debugging markup.

#include "controls/html/html_data.h"

#include <string>

namespace html {

std::string DumpHTMLData(const THTMLData& data);

} // namespace html
