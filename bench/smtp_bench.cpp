// Benchmark of the SMTP channel: one mail with an attachment (the file given) to the mail
// server on 127.0.0.1, plain and over TLS from the start; prints "plain MS" and "tls MS", the
// best of three each. The certificate is accepted as it is: what is measured is the transfer.
//
//   smtp_bench.exe FILE PLAIN-PORT TLS-PORT

#include "crash/delivery/smtp_delivery_win.h"
#include "crash/settings/module_settings.h"

#include "bench/win_clock.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <tuple>

int wmain(int argc, wchar_t** argv)
{
    if (argc != 4)
        return 2;
    const std::wstring file = argv[1];
    crash::TPreparedDelivery files;
    files.Files = {std::u16string(file.begin(), file.end())};
    files.SendAs = {u"screenShot.bmp"};
    files.Fields = {u""};
    const base::ComPtr<crash::ReportSettings> settings = crash::ModuleSettingsFor(nullptr);
    for (const auto& [name, port, ssl] :
         {std::tuple{"plain", _wtoi(argv[2]), false}, {"tls", _wtoi(argv[3]), true}}) {
        crash::TSmtpRequest request;
        request.Sender = u"bench@maker.example";
        request.Recipients = u"bugs@maker.example";
        request.Subject = u"Bench";
        request.Body = u"A mail with an attachment.";
        request.Server = "127.0.0.1";
        request.Port = static_cast<uint32_t>(port);
        request.Ssl = ssl;
        request.AcceptAnyCertificate = true;
        double best = 1e30;
        for (int run = 0; run < 3; ++run) {
            const double start = bench::Now();
            if (!crash::SendBySmtp(request, *settings, nullptr, files)) {
                std::printf("%s failed\n", name);
                return 1;
            }
            best = std::min(best, (bench::Now() - start) * 1000);
        }
        std::printf("%s %.1f\n", name, best);
    }
    return 0;
}
