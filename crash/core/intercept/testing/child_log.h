#pragma once
// The line log of the crash test children: each line is appended on its own, so that a child
// that ends abruptly leaves every line it wrote before. Threads of the child may log at the
// same time (a report callback on the completion thread, the dialog's stand-in on the
// handling thread): the file is shared for writing and each line is one appending write.

#include "base/win_handle.h"

#include <string>
#include <string_view>

namespace crash::testing {

inline void AppendLine(const char* log, std::string_view line)
{
    const base::FileHandle file(::CreateFileA(log, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                              nullptr, OPEN_ALWAYS, 0, nullptr));
    if (!file)
        return;
    const std::string text = std::string(line) + "\r\n";
    DWORD written;
    ::WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

} // namespace crash::testing
