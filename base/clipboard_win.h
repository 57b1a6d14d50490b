#pragma once
// The clipboard as the reporter fills it: a text, as Unicode text, replacing what was there.

#include <string>

namespace base {

// False when the clipboard could not be opened or the text not handed over.
bool CopyTextToClipboard(const std::u16string& text);

} // namespace base
