// Benchmark of a crash as the user meets it: the crash demo with 20 more threads (a copy of it
// in a folder of its own), a read violation on its main thread, and the time from the crash
// to the crash dialog's first paint, and to the complete report saved in "bugreport.txt"
// beside it (saved when the user has chosen: the benchmark continues the program as soon as
// the dialog is painted).
// Both are seen from outside, by looking every millisecond. The crash is the click's: the
// demo waits for messages, so it runs the posted click at once. The dialog has been painted
// once it is visible and has nothing left to paint (no update region). The report file is
// read only when its size changed. The best and the median of the rounds are printed.
//
//   crash_demo_bench.exe CRASH_DEMO_EXE [ROUNDS [THREADS]]    (20 threads unless given)

#include "base/win_handle.h"
#include "bench/process_window.h"
#include "bench/win_clock.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace {

double MsSince(double start)
{
    return (bench::Now() - start) * 1000;
}

// Whether the report file holds a complete report; reads it only when its size is new.
class TReportFile
{
public:
    explicit TReportFile(std::wstring path) : FPath(std::move(path)) {}
    bool Complete()
    {
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (!::GetFileAttributesExW(FPath.c_str(), GetFileExInfoStandard, &data))
            return false;
        const uint64_t size = (uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
        if (size == FSize)
            return false;
        const std::string text = Text();
        FSize = text.size() == size ? size : ~uint64_t{0}; // read again when it grew meanwhile
        return text.rfind("date/time", 0) == 0 && text.find("will be calculated soon") == std::string::npos &&
               text.find("main thread") != std::string::npos;
    }

private:
    std::string Text() const
    {
        const base::FileHandle in(::CreateFileW(FPath.c_str(), GENERIC_READ,
                                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                                nullptr, OPEN_EXISTING, 0, nullptr));
        std::string text;
        char buffer[65536];
        DWORD got = 0;
        while (in && ::ReadFile(in.Get(), buffer, sizeof buffer, &got, nullptr) && got)
            text.append(buffer, got);
        return text;
    }

    std::wstring FPath;
    uint64_t FSize = 0;
};

struct TRound
{
    double DialogMs = -1, SavedMs = -1;
};

TRound Round(const std::wstring& exe, const std::wstring& report, int threads)
{
    TRound r;
    ::DeleteFileW(report.c_str());
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    std::wstring line = L"\"" + exe + L"\" 0 " + std::to_wstring(threads);
    if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &info))
        return r;
    const base::KernelHandle process(info.hProcess), thread(info.hThread);
    HWND form = nullptr;
    for (int i = 0; i < 10000 && !form; ++i, ::Sleep(1))
        form = bench::VisibleWindow(info.dwProcessId, L"LumigateForm");
    ::Sleep(300); // settled
    const HWND button = form ? ::FindWindowExW(form, nullptr, L"Button", L"read violation") : nullptr;
    if (button) {
        TReportFile file(report);
        const double start = bench::Now();
        ::PostMessageW(button, BM_CLICK, 0, 0);
        HWND dialog = nullptr;
        for (int i = 0; i < 20000 && (r.DialogMs < 0 || r.SavedMs < 0); ++i) {
            if (!dialog)
                dialog = bench::VisibleWindow(info.dwProcessId, L"VexcatchWndClass");
            if (r.DialogMs < 0 && dialog && !::GetUpdateRect(dialog, nullptr, FALSE)) {
                r.DialogMs = MsSince(start);
                // The report is saved when the user has chosen: at once, here.
                if (const HWND go = ::FindWindowExW(dialog, nullptr, L"Button", L"continue application"))
                    ::PostMessageW(go, BM_CLICK, 0, 0);
            }
            if (r.SavedMs < 0 && file.Complete())
                r.SavedMs = MsSince(start);
            ::Sleep(1);
        }
    }
    ::TerminateProcess(process.Get(), 1);
    ::WaitForSingleObject(process.Get(), 10000);
    return r;
}

void Print(const char* what, std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    if (values.empty())
        std::printf("%-34s %10s\n", what, "failed");
    else
        std::printf("%-34s %10.1f %10.1f\n", what, values.front(), values[values.size() / 2]);
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2)
        return 2;
    const int rounds = argc > 2 ? std::max(1, _wtoi(argv[2])) : 7, threads = argc > 3 ? _wtoi(argv[3]) : 20;
    // A copy in a folder of its own: its report file is this benchmark's.
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + L"crash_demo_bench\\", exe = folder + L"crash_demo.exe",
                       report = folder + L"bugreport.txt";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    if (!::CopyFileW(argv[1], exe.c_str(), FALSE))
        return 1;
    std::vector<double> dialog, saved;
    for (int round = 0; round < rounds; ++round) {
        const TRound r = Round(exe, report, threads);
        if (r.DialogMs >= 0)
            dialog.push_back(r.DialogMs);
        if (r.SavedMs >= 0)
            saved.push_back(r.SavedMs);
    }
    std::printf("crash demo with %d more threads (ms)  %10s %10s\n", threads, "best", "median");
    Print("crash to the dialog's first paint", dialog);
    Print("crash to the report saved", saved);
    std::printf("(%d rounds; %zu dialogs, %zu reports seen)\n", rounds, dialog.size(), saved.size());
    ::DeleteFileW(report.c_str());
    ::DeleteFileW(exe.c_str());
    ::RemoveDirectoryW(folder.c_str());
    return 0;
}
