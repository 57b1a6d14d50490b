#pragma once
// The body of a form post that carries a report to a web server's script: the text fields
// first, then each file as a part of its own, then the closing boundary. A text goes as
// ISO-8859-1 in 8 bits when every character fits, else as Base64 of its UTF-8; a field name
// that does not fit is an encoded word. Platform-free: the channel sends these pieces with
// the files' bytes between them.

#include <span>
#include <string>
#include <string_view>

namespace crash {

inline constexpr std::string_view FormBoundary = "Tolvaris_multipart_boundary";

struct TFormField
{
    std::u16string Name, Content;
};

// Every field, each opened by its boundary line.
std::string FormFieldPart(std::span<const TFormField> fields);
// What precedes a file's bytes. The file name is UTF-8, as browsers send it.
std::string FormFileHeader(std::u16string_view fieldName, std::u16string_view sendAs);
// The closing boundary.
std::string FormClosing();

} // namespace crash
