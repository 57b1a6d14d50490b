// Benchmark of the upload channel: a report file and a screenshot posted as a form to the web
// server on 127.0.0.1, plain and over TLS; prints "plain MS" and "tls MS", the best of three
// each. The certificate is accepted as it is: what is measured is the transfer.
//
//   upload_bench.exe REPORT_FILE SCREENSHOT_FILE PLAIN-PORT TLS-PORT

#include "crash/delivery/win_http_win.h"
#include "crash/settings/module_settings.h"

#include "bench/win_clock.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <tuple>

int wmain(int argc, wchar_t** argv)
{
    if (argc != 5)
        return 2;
    crash::TPreparedDelivery files;
    files.Files = {reinterpret_cast<const char16_t*>(argv[1]), reinterpret_cast<const char16_t*>(argv[2])};
    files.SendAs = {u"bugreport.txt", u"screenShot.png"};
    files.Fields = {u"bugreport", u"screenshot"};
    const std::vector<crash::TFormField> fields = {{u"subject", u"Bench"}};
    const base::ComPtr<crash::ReportSettings> settings = crash::ModuleSettingsFor(nullptr);
    for (const auto& [name, scheme, port, ssl] :
         {std::tuple{"plain", L"http", argv[3], false}, std::tuple{"tls", L"https", argv[4], true}}) {
        crash::THttpTarget target;
        const std::wstring url = std::wstring(scheme) + L"://localhost:" + port + L"/upload/bench.php";
        target.Url = reinterpret_cast<const char16_t*>(url.c_str());
        target.Ssl = ssl;
        target.AcceptAnyCertificate = true;
        double best = 1e30;
        for (int run = 0; run < 3; ++run) {
            const double start = bench::Now();
            crash::TWinHttp client(target, settings.Get(), nullptr);
            if (!client.Post(u"bench@maker.example", fields, files)) {
                std::printf("%s failed\n", name);
                return 1;
            }
            best = std::min(best, (bench::Now() - start) * 1000);
        }
        std::printf("%s %.1f\n", name, best);
    }
    return 0;
}
