#pragma once
// What the bug-tracker channels read from their servers' XML replies and how they put values
// into their requests. The reader is a tag scanner, not a parser: it follows a path of
// element names level by level, counting nesting by the name, and takes what lies between an
// element's opening and closing tag. It never fails: what it cannot find is empty.
// Platform-free.

#include <string>
#include <string_view>
#include <vector>

namespace crash {

// The contents (trimmed, a surrounding CDATA section removed), in document order, of every
// element that `path` leads to: opening tags separated by "|", such as "<struct>|<member>"
// (an element's attributes do not matter). With a name element, only the elements whose
// child of that name holds `name` count; with an empty `name`, what an element gives is the
// content of that child instead of its own. With `resolve`, character and entity references
// of a text content are replaced by what they stand for; a content with elements or CDATA
// sections is left as it is, for a further scan. UTF-8 in, UTF-8 out.
std::vector<std::string> ExtractXmlAll(std::string_view text, std::string_view path,
                                       std::string_view nameElement = {}, std::string_view name = {},
                                       bool resolve = true);
// The index-th of them (from 0), or empty.
std::string ExtractXml(std::string_view text, std::string_view path, size_t index = 0,
                       std::string_view nameElement = {}, std::string_view name = {}, bool resolve = true);

// The references "&quot;", "&amp;", "&apos;", "&lt;", "&gt;" and "&#N;"/"&#xN;" replaced by
// their characters, in one pass (so "&amp;lt;" becomes "&lt;"). Unknown or malformed ones
// stay as they are.
std::string XmlUnescaped(std::string_view text);
// UTF-8 text as XML character data: "&", "<", ">", quotation marks, apostrophes and CR as
// references (a parser would drop the CR of a CR LF), characters XML cannot carry (the control
// characters other than TAB, CR and LF, malformed UTF-8) as U+FFFD.
std::string XmlEscaped(std::string_view utf8);

} // namespace crash
