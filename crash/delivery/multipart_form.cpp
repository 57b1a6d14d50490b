#include "crash/delivery/multipart_form.h"

#include "base/base64.h"
#include "base/utf.h"

#include <algorithm>

namespace crash {
namespace {

bool FitsLatin1(std::u16string_view text)
{
    return std::all_of(text.begin(), text.end(), [](char16_t c) { return c <= 0xFF; });
}

std::string Latin1(std::u16string_view text)
{
    return std::string(text.begin(), text.end()); // every character fits (FitsLatin1)
}

// A name inside a header's quotation marks: what would end the quotes or the line is
// percent-encoded, as browsers do.
std::string Quoted(std::string name)
{
    std::string out = "\"";
    for (const char c : name)
        switch (c) {
        case '"':
            out += "%22";
            break;
        case '\r':
            out += "%0D";
            break;
        case '\n':
            out += "%0A";
            break;
        default:
            out.push_back(c);
        }
    return out + '"';
}

std::string FieldName(std::u16string_view name)
{
    return Quoted(FitsLatin1(name) ? Latin1(name)
                                   : "=?UTF-8?B?" + base::Base64(base::Utf16ToUtf8(name)) + "?=");
}

std::string BoundaryLine()
{
    return "\r\n--" + std::string(FormBoundary) + "\r\n";
}

} // namespace

std::string FormFieldPart(std::span<const TFormField> fields)
{
    std::string out;
    for (const TFormField& field : fields) {
        const bool latin1 = FitsLatin1(field.Content);
        out += BoundaryLine();
        out += "Content-Disposition: form-data; name=" + FieldName(field.Name) + "\r\n";
        out +=
            latin1
                ? "Content-Type: text/plain; charset=\"iso-8859-1\"\r\nContent-Transfer-Encoding: "
                  "8bit\r\n\r\n"
                : "Content-Type: text/plain; charset=\"utf-8\"\r\nContent-Transfer-Encoding: base64\r\n\r\n";
        out += latin1 ? Latin1(field.Content) : base::Base64(base::Utf16ToUtf8(field.Content));
    }
    return out;
}

std::string FormFileHeader(std::u16string_view fieldName, std::u16string_view sendAs)
{
    return BoundaryLine() + "Content-Disposition: form-data; name=" + FieldName(fieldName) +
           "; filename=" + Quoted(base::Utf16ToUtf8(sendAs)) +
           "\r\nContent-Type: application/octet-stream\r\n\r\n";
}

std::string FormClosing()
{
    return "\r\n--" + std::string(FormBoundary) + "--\r\n";
}

} // namespace crash
