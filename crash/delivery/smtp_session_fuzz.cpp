// Fuzz target: a whole SMTP session against a server that answers with any bytes. The first
// byte chooses the session's options; the rest is what the server sends, handed out in pieces
// whose sizes the bytes themselves choose. Whatever the server says, the session ends without
// a crash, and it never claims a mail was taken that the server did not accept with 250.
#include "crash/delivery/smtp_session.h"

#include <cstdlib>
#include <string>
#include <string_view>

namespace {

class TFuzzServer : public crash::ISmtpTransport
{
public:
    TFuzzServer(const uint8_t* data, size_t size) : FData(data), FSize(size) {}
    bool Send(std::string_view bytes) override
    {
        Sent += bytes.size();
        return true;
    }
    TReceived Receive(std::string& into) override
    {
        if (FAt >= FSize)
            return TReceived::Failed;
        const size_t piece = 1 + FData[FAt] % 64;
        if (FData[FAt] == 0xFF) {
            ++FAt;
            return TReceived::Closed;
        }
        const size_t take = std::min(piece, FSize - FAt);
        into.append(reinterpret_cast<const char*>(FData + FAt), take);
        FAt += take;
        return TReceived::Data;
    }
    bool StartTls() override { return FAt % 2 == 0; }
    size_t Sent = 0;

private:
    const uint8_t* FData;
    size_t FSize, FAt = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const uint8_t choice = data[0];
    TFuzzServer server(data + 1, size - 1);
    crash::TSmtpOptions options;
    options.HeloName = "VM-01";
    options.ImplicitTls = choice & 1;
    options.TlsRequested = choice & 2;
    if (choice & 4)
        options.User = u"tester";
    if (choice & 8)
        options.Password = u"p\u00e4ssword";
    crash::TMailHeader header;
    header.To = u"Bugs <bugs@maker.example>, boss@maker.example";
    header.From = u"me@user.example";
    header.Subject = u"Bug";
    bool ok = false;
    {
        crash::TSmtpSession session(server);
        ok = session.Open(options) &&
             session.SendMail(header.From, header.To, header, u"It broke.\r\n.\r\n") &&
             session.SendAttachmentHead(u"a.txt", u"text/plain");
        const uint8_t file[] = "attachment";
        if (ok && (choice & 16))
            session.GiveUpAttachment();
        ok = ok && session.SendAttachmentPiece(file) && session.Finalize();
    }
    // A mail counts as taken only after DATA was answered with 354 and its end with 250.
    const std::string_view said(reinterpret_cast<const char*>(data + 1), size - 1);
    const size_t data354 = said.find("354");
    if (ok && (data354 == std::string_view::npos || said.find("250", data354) == std::string_view::npos))
        std::abort();
    return 0;
}
