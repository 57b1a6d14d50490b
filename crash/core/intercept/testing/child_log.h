#pragma once
// The line log of the crash test children: each line is appended on its own, so that a child
// that ends abruptly leaves every line it wrote before.

#include "base/win_handle.h"

#include <string_view>

namespace crash::testing {

inline void AppendLine(const char* log, std::string_view line)
{
    const base::FileHandle file(
        ::CreateFileA(log, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr));
    if (!file)
        return;
    DWORD written;
    ::WriteFile(file.Get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    ::WriteFile(file.Get(), "\r\n", 2, &written, nullptr);
}

} // namespace crash::testing
