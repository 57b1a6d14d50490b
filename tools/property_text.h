#pragma once
// The text form of property streams, as written in the source tree:
//
//   object Vexcatch: TVexcatch
//     AutoSave = true
//     SmtpPort = 25
//     TitleBar = '%appname% - '#13#10'crashed'
//     Caption = wstring 'Weiter >'
//     object ContactForm: TVxForm
//     end
//   end
//
// One property per line. Values: a number (kind 4), "int8 N", "int16 N", "int32 N",
// "false", "true", a quoted text (kind 12), or a text after "string" (6), "utf8" (7),
// "lstring" (12), "wstring" (18), "lutf8" (20). Texts are in single quotes with '' for a
// quote; "#N" outside quotes adds the character of code N. Lines whose first non-blank
// character is "#" are comments. The file is UTF-8.

#include "base/property_stream.h"

#include <string>
#include <string_view>

namespace tools {

struct TTextParseResult
{
    base::TStreamObject Root;
    bool Ok = false;
    int ErrorLine = 0;
    std::string Error;
};

TTextParseResult ParsePropertyText(std::string_view text);
// The canonical text form: parsing it gives `root` again.
std::string FormatPropertyText(const base::TStreamObject& root);

} // namespace tools
