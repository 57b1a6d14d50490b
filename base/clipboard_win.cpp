#include "base/clipboard_win.h"

#include "base/global_memory.h"

#include <windows.h>

namespace base {

bool CopyTextToClipboard(const std::u16string& text)
{
    if (!::OpenClipboard(nullptr))
        return false;
    ::EmptyClipboard(); // in the same session: the text is handed over as the new contents
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.c_str());
    GlobalMemory block = GlobalCopy({bytes, (text.size() + 1) * sizeof(char16_t)});
    const bool handed = block && ::SetClipboardData(CF_UNICODETEXT, block.Get());
    if (handed)
        block.Release(); // the clipboard owns it now
    ::CloseClipboard();
    return handed;
}

} // namespace base
