// The integrity self-check: the checksum the build stamps agrees with the system's own
// computation, a damaged copy fails it and its start-up tells the user, an unstamped or
// unreadable file passes.

#include "base/win_handle.h"
#include "crash/core/intercept/integrity_check_win.h"
#include "crash/core/intercept/testing/child_process.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <imagehlp.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace crash {
namespace {

using testing::Beside;

std::vector<char> ReadAll(const std::wstring& path)
{
    std::ifstream in(std::string(path.begin(), path.end()), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteAll(const std::wstring& path, const std::vector<char>& bytes)
{
    std::ofstream(std::string(path.begin(), path.end()), std::ios::binary).write(bytes.data(), bytes.size());
}

// The checksum field of an image's header.
size_t ChecksumOffset(const std::vector<char>& image)
{
    uint32_t nt = 0;
    std::memcpy(&nt, &image[0x3C], 4);
    return nt + 4 + 20 + 64;
}

TEST(IntegrityCheck, AStampedFilePassesAndEveryDamageFailsIt)
{
    const std::wstring child = Beside(L"crash_child.exe");
    // The build's stamp is the checksum the system computes.
    DWORD stamped = 0, computed = 0;
    ASSERT_EQ(::MapFileAndCheckSumW(child.c_str(), &stamped, &computed), CHECKSUM_SUCCESS);
    EXPECT_NE(stamped, 0u);
    EXPECT_EQ(stamped, computed);
    EXPECT_TRUE(FileIsIntact(child.c_str()));
    // The shipped program, stripped after linking, keeps a checksum that matches.
    const std::wstring shipped = Beside(L"..\\..\\..\\app\\lumigate.exe");
    ASSERT_EQ(::MapFileAndCheckSumW(shipped.c_str(), &stamped, &computed), CHECKSUM_SUCCESS);
    EXPECT_NE(stamped, 0u);
    EXPECT_EQ(stamped, computed);
    EXPECT_TRUE(FileIsIntact(shipped.c_str()));

    const std::vector<char> image = ReadAll(child);
    const std::wstring copy = Beside(L"crash_child_copy.exe");
    for (const size_t at : {size_t{0x200}, image.size() / 2, image.size() - 1}) {
        std::vector<char> damaged = image;
        damaged[at] ^= 0x10;
        WriteAll(copy, damaged);
        EXPECT_FALSE(FileIsIntact(copy.c_str())) << at;
    }
    // One byte more (a truncated or extended download).
    std::vector<char> longer = image;
    longer.push_back(0);
    WriteAll(copy, longer);
    EXPECT_FALSE(FileIsIntact(copy.c_str()));
    // Without a stamp nothing can be said, nor about a file that is not there.
    std::vector<char> unstamped = image;
    unstamped[image.size() / 2] ^= 1; // damaged too
    std::fill_n(unstamped.begin() + ChecksumOffset(image), 4, 0);
    WriteAll(copy, unstamped);
    EXPECT_TRUE(FileIsIntact(copy.c_str()));
    ::DeleteFileW(copy.c_str());
    EXPECT_TRUE(FileIsIntact(copy.c_str()));
}

// A damaged program tells its user at start and then goes on.
TEST(IntegrityCheck, ADamagedProgramShowsTheMessageAndGoesOn)
{
    std::vector<char> image = ReadAll(Beside(L"crash_child.exe"));
    image[image.size() / 2] ^= 0x10;
    const std::wstring copy = Beside(L"crash_child_damaged.exe");
    WriteAll(copy, image);
    std::wstring command = L"\"" + copy + L"\" handlers-running main \"" + Beside(L"damaged.log") + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(
        ::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    base::KernelHandle process(pi.hProcess), primary(pi.hThread);
    struct TFound
    {
        DWORD Process;
        HWND Box = nullptr;
    } found{pi.dwProcessId};
    for (int k = 0; k < 300 && !found.Box; ++k) {
        ::Sleep(50);
        ::EnumWindows(
            [](HWND window, LPARAM p) WINAPI -> BOOL {
                auto* f = reinterpret_cast<TFound*>(p);
                DWORD owner = 0;
                ::GetWindowThreadProcessId(window, &owner);
                if (owner == f->Process && ::IsWindowVisible(window))
                    f->Box = window;
                return !f->Box;
            },
            reinterpret_cast<LPARAM>(&found));
    }
    ASSERT_TRUE(found.Box) << "no message";
    wchar_t text[512] = {};
    ::GetDlgItemTextW(found.Box, 0xFFFF, text, 512); // the message box's text
    EXPECT_NE(std::wstring(text).find(L"crash_child_damaged.exe\" seems to be damaged"), std::wstring::npos)
        << std::string(text, text + wcslen(text));
    ::PostMessageW(found.Box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(::WaitForSingleObject(process.Get(), 30000), WAIT_OBJECT_0);
    DWORD exitCode = 1;
    ::GetExitCodeProcess(process.Get(), &exitCode);
    EXPECT_EQ(exitCode, 0u);
    ::DeleteFileW(copy.c_str());
    ::DeleteFileW(Beside(L"damaged.log").c_str());
}

} // namespace
} // namespace crash
