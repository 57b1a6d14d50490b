#include "crash/settings/settings_resource.h"

#include "base/utf_win.h"

namespace crash {

std::span<const uint8_t> SettingsResource(HMODULE module)
{
    HRSRC info = ::FindResourceW(module, L"TVEXCATCH", MAKEINTRESOURCEW(10)); // RT_RCDATA
    if (!info)
        return {};
    HGLOBAL loaded = ::LoadResource(module, info);
    const void* data = loaded ? ::LockResource(loaded) : nullptr;
    if (!data)
        return {};
    return {static_cast<const uint8_t*>(data), ::SizeofResource(module, info)};
}

TSettingsParse LoadModuleSettings(HMODULE module)
{
    const std::span<const uint8_t> block = SettingsResource(module);
    TSettingsParse parse =
        ParseSettingsBlock(block, [](std::string_view bytes) { return base::AnsiToUtf16(bytes); });
    parse.Found = !block.empty();
    if (parse.UnknownKind) {
        const std::u16string message = InvalidSettingsMessage(parse.BadKind);
        ::MessageBoxW(nullptr, reinterpret_cast<const wchar_t*>(message.c_str()), L"Vexcatch", MB_OK);
    }
    return parse;
}

} // namespace crash
