// The report an outside tool asks for, run as the tool runs it: in a thread of this process,
// into the tool's shared memory, cut to the size given.

#include "crash/core/report/trace_process_win.h"

#include "base/hex.h"
#include "base/win_handle.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace crash {
namespace {

std::string Traced(int size)
{
    const base::KernelHandle mapping(::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                                          1 << 20, L"vexTraceProcessMap"));
    const base::MappedView view(mapping ? ::MapViewOfFile(mapping.Get(), FILE_MAP_READ, 0, 0, 0) : nullptr);
    EXPECT_TRUE(view);
    if (!view)
        return {};
    const base::KernelHandle thread(::CreateThread(
        nullptr, 0,
        [](void* size)
            WINAPI -> DWORD { return vexTraceProcess(static_cast<int>(reinterpret_cast<intptr_t>(size))); },
        reinterpret_cast<void*>(static_cast<intptr_t>(size)), 0, nullptr));
    ::WaitForSingleObject(thread.Get(), INFINITE);
    return static_cast<const char*>(view.Get());
}

TEST(TraceProcess, EveryThreadIntoTheToolsMemory)
{
    const std::string text = Traced(1 << 20);
    EXPECT_EQ(text.rfind("date/time", 0), 0u) << text;
    EXPECT_NE(text.find("exception message : The application seems to be frozen."), std::string::npos)
        << text;
    // This thread, the one that waits for the tool's, is in the report; the tool's is not.
    EXPECT_NE(text.find("\r\n\r\nthread " + base::HexText(::GetCurrentThreadId())), std::string::npos)
        << text;
    EXPECT_EQ(text.find("TraceProcessThread"), std::string::npos);
    // Cut to the size given, with its NUL.
    EXPECT_EQ(Traced(10), text.substr(0, 9));
    // A tool finds it by its plain name.
    EXPECT_EQ(reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(nullptr), "vexTraceProcess")),
              reinterpret_cast<void*>(&vexTraceProcess));
}

} // namespace
} // namespace crash
