// The settings' parsers over any input: the settings block (a property stream) with its
// stored passwords decoded, one stored password by itself, and the expansion of a text's
// variables. The first input byte chooses the parser.

#include "base/utf.h"
#include "crash/settings/password_codec.h"
#include "crash/settings/settings_property.h"
#include "crash/settings/text_variables.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

std::u16string Utf16Of(const uint8_t* data, size_t size)
{
    std::u16string text;
    for (size_t i = 0; i + 1 < size; i += 2)
        text += static_cast<char16_t>(data[i] | data[i + 1] << 8);
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const uint8_t choice = data[0] % 3;
    ++data, --size;
    if (choice == 0) {
        crash::TSettingsParse parse = crash::ParseSettingsBlock({data, size});
        crash::DecodeStoredPasswords(parse.List);
        crash::InvalidSettingsMessage(parse.BadKind);
    } else if (choice == 1) {
        const size_t split = size ? data[0] % (size + 1) : 0;
        const std::string_view server(reinterpret_cast<const char*>(data), split);
        const std::u16string stored = Utf16Of(data + split, size - split);
        const std::u16string plain = crash::DecodePassword(stored, server, "account");
        crash::DecodePassword(crash::EncodePassword(plain, server, "account"), server, "account");
        // Any password comes back as it was stored (a lone surrogate, which UTF-8 cannot
        // carry, as U+FFFD).
        const std::u16string any = Utf16Of(data, size);
        const std::u16string expected = base::Utf8ToUtf16(base::Utf16ToUtf8(any));
        if (crash::DecodePassword(crash::EncodePassword(any, server, "account"), server, "account") !=
            expected)
            __builtin_trap();
    } else {
        crash::TTextVariables values;
        values.AppName = u"lumigate.exe";
        values.ExceptMsg = Utf16Of(data, size / 2);
        values.AppVersion = [] { return std::u16string(u"1.0"); };
        crash::ExpandTextVariables(Utf16Of(data, size), values);
    }
    return 0;
}
