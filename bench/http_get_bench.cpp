// Measures one download with THTTPGet or with a plain WinInet loop; prints seconds, MB/s
// and the main thread's CPU seconds while it waited. Driven by bench/http_get.sh.
//   http_get_bench getfile URL FILE   THTTPGet::GetFile with WaitThread (the component's wait)
//   http_get_bench spin URL FILE      THTTPGet::GetFile and a busy PeekMessage loop, as the
//                                     wait was first described (for comparison)
//   http_get_bench wininet URL FILE   InternetReadFile with 64 KB reads on the main thread

#include "base/utf_win.h"
#include "framework/application.h"
#include "net/http_get.h"
#include "net/http_url.h"
#include "net/internet_handle.h"

#include "bench/win_clock.h"

#include <windows.h>
#include <wininet.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

double CpuSeconds()
{
    FILETIME created, ended, kernel, user;
    ::GetThreadTimes(::GetCurrentThread(), &created, &ended, &kernel, &user);
    auto ticks = [](FILETIME f) { return (static_cast<uint64_t>(f.dwHighDateTime) << 32) | f.dwLowDateTime; };
    return static_cast<double>(ticks(kernel) + ticks(user)) / 1e7;
}

int64_t WinInetLoop(const std::string& url, const std::wstring& file)
{
    const net::TParsedURL u = net::ParseURL(url);
    net::InternetHandle session(::InternetOpenA("bench", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    net::InternetHandle connect(::InternetConnectA(session.Get(), u.Host.c_str(), INTERNET_DEFAULT_HTTP_PORT,
                                                   nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    const char* accept[] = {"*/*", nullptr};
    net::InternetHandle request(::HttpOpenRequestA(connect.Get(), "GET", u.Object.c_str(), "HTTP/1.0",
                                                   nullptr, accept, INTERNET_FLAG_RELOAD, 0));
    if (!::HttpSendRequestA(request.Get(), nullptr, 0, nullptr, 0))
        return -1;
    base::FileHandle out(::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    std::vector<char> buffer(64 * 1024);
    int64_t total = 0;
    DWORD got = 0, written = 0;
    while (::InternetReadFile(request.Get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got) && got) {
        ::WriteFile(out.Get(), buffer.data(), got, &written, nullptr);
        total += got;
    }
    return total;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: http_get_bench getfile|spin|wininet URL FILE\n");
        return 2;
    }
    const std::string mode = argv[1], url = argv[2];
    const std::wstring file = base::AnsiToWide(argv[3]);
    framework::TApplication app;
    app.Initialize();

    int64_t bytes = -1;
    const double cpu0 = CpuSeconds(), start = bench::Now();
    if (mode == "wininet") {
        bytes = WinInetLoop(url, file);
    } else {
        net::THTTPGet get(nullptr);
        get.URL = url;
        get.FileName = file;
        get.WaitThread = mode == "getfile";
        get.OnDoneFile = [&](framework::TObject*, const std::wstring&, int32_t size) { bytes = size; };
        get.OnError = [&](framework::TObject*) { bytes = -1; };
        get.GetFile();
        while (get.Busy()) {
            MSG msg;
            while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                ::TranslateMessage(&msg);
                ::DispatchMessageW(&msg);
            }
        }
    }
    const double seconds = bench::Now() - start, cpu = CpuSeconds() - cpu0;
    std::printf("%s %lld %.3f %.3f\n", mode.c_str(), static_cast<long long>(bytes), seconds, cpu);
    return bytes > 0 ? 0 : 1;
}
