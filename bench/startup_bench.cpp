// Benchmark of the crash reporter's cost on start-up: lumigate.exe against the same program
// built without the reporter, started one after the other in rounds. Each start is timed
// from CreateProcess to its main window being visible, and its committed memory (its commit
// charge) is read at that moment; then the window is closed. Prints the
// medians of both programs and their differences, the memory difference also without the
// reporter's out-of-memory reserve (four committed blocks of 512 KB).
//
//   startup_bench.exe WITH_REPORTER.exe WITHOUT_REPORTER.exe [ROUNDS]

#include "base/win_handle.h"
#include "bench/process_window.h"
#include "bench/win_clock.h"

#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct TStart
{
    double Ms = 0;
    double CommittedKb = 0;
};

bool Start(const std::wstring& exe, TStart& out)
{
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    std::wstring line = L"\"" + exe + L"\"";
    const double begin = bench::Now();
    if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &info))
        return false;
    const base::KernelHandle process(info.hProcess), thread(info.hThread);
    HWND found = nullptr;
    for (int i = 0; i < 20000 && !found; ++i)
        if (!(found = bench::VisibleWindow(info.dwProcessId, L"LumigateForm")))
            ::Sleep(1);
    out.Ms = (bench::Now() - begin) * 1000;
    PROCESS_MEMORY_COUNTERS_EX memory{};
    memory.cb = sizeof memory;
    ::GetProcessMemoryInfo(process.Get(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory);
    // The commit charge: Wine reports no private usage, and on Windows the two are the same.
    out.CommittedKb = memory.PagefileUsage / 1024.0;
    if (found)
        ::PostMessageW(found, WM_CLOSE, 0, 0);
    if (::WaitForSingleObject(process.Get(), 10000) != WAIT_OBJECT_0)
        ::TerminateProcess(process.Get(), 1);
    return found != nullptr;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 3)
        return 2;
    const int rounds = argc > 3 ? std::max(1, _wtoi(argv[3])) : 15;
    std::vector<double> msWith, msWithout, kbWith, kbWithout;
    TStart warm;
    Start(argv[1], warm); // the first start of a program pays for the disk cache
    Start(argv[2], warm);
    for (int round = 0; round < rounds; ++round) {
        // Each program starts first in every other round: neither pays more for going second.
        TStart with, without;
        const bool withFirst = round % 2 == 0;
        if (!Start(argv[withFirst ? 1 : 2], withFirst ? with : without) ||
            !Start(argv[withFirst ? 2 : 1], withFirst ? without : with)) {
            std::printf("a start failed\n");
            return 1;
        }
        msWith.push_back(with.Ms);
        msWithout.push_back(without.Ms);
        kbWith.push_back(with.CommittedKb);
        kbWithout.push_back(without.CommittedKb);
    }
    const double reserveKb = 4 * 512;
    std::printf("%-24s %12s %12s %12s\n", "median of rounds", "with", "without", "difference");
    std::printf("%-24s %12.1f %12.1f %12.1f\n", "start to window (ms)", bench::Median(msWith),
                bench::Median(msWithout), bench::Median(msWith) - bench::Median(msWithout));
    std::printf("%-24s %12.0f %12.0f %12.0f\n", "committed memory (KB)", bench::Median(kbWith),
                bench::Median(kbWithout), bench::Median(kbWith) - bench::Median(kbWithout));
    std::printf("%-24s %12s %12s %12.0f\n", "  without the reserve", "", "",
                bench::Median(kbWith) - bench::Median(kbWithout) - reserveKb);
    // Each round starts both programs one after the other: the difference within a round is
    // freer of the machine's drift. Its spread tells how far the medians can be trusted.
    std::vector<double> differences;
    for (size_t k = 0; k < msWith.size(); ++k)
        differences.push_back(msWith[k] - msWithout[k]);
    std::sort(differences.begin(), differences.end());
    std::printf("%-24s %12.1f (middle half %.1f to %.1f; with/without %.3f)\n", "per-round difference (ms)",
                bench::Median(differences), differences[differences.size() / 4],
                differences[differences.size() * 3 / 4], bench::Median(msWith) / bench::Median(msWithout));
    std::printf("(%d rounds; the reserve is %.0f KB)\n", rounds, reserveKb);
    return 0;
}
