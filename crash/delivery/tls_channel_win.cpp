#include "crash/delivery/tls_channel_win.h"

#include <wincrypt.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace crash {
namespace {

constexpr DWORD HandshakeWait = 7000;

// What the context asks of Schannel: the certificate is checked here, where the settings'
// opt-out and a clear reason are at hand.
constexpr DWORD ContextFlags = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY |
                               ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_EXTENDED_ERROR | ISC_REQ_STREAM |
                               ISC_REQ_MANUAL_CRED_VALIDATION;

// Output tokens Schannel allocated.
struct TContextBuffer
{
    void* Data = nullptr;
    ~TContextBuffer()
    {
        if (Data)
            ::FreeContextBuffer(Data);
    }
};

struct TCertificateFree
{
    void operator()(const CERT_CONTEXT* c) const { ::CertFreeCertificateContext(c); }
};
struct TChainFree
{
    void operator()(const CERT_CHAIN_CONTEXT* c) const { ::CertFreeCertificateChain(c); }
};

std::u16string Hex(DWORD value)
{
    static const char16_t Digits[] = u"0123456789ABCDEF";
    std::u16string text = u"0x";
    for (int shift = 28; shift >= 0; shift -= 4)
        text += Digits[(value >> shift) & 15];
    return text;
}

} // namespace

TTlsChannel::TTlsChannel(SOCKET socket, std::u16string serverName, bool acceptAnyCertificate)
    : FSocket(socket), FServer(serverName.begin(), serverName.end()), FAcceptAny(acceptAnyCertificate)
{
}

TTlsChannel::~TTlsChannel()
{
    if (FEstablished)
        Shutdown();
    if (FContextValid)
        ::DeleteSecurityContext(&FContext);
    if (FCredsValid)
        ::FreeCredentialsHandle(&FCreds);
}

bool TTlsChannel::Fail(std::u16string text)
{
    FLastError = std::move(text);
    return false;
}

bool TTlsChannel::Handshake()
{
    SCHANNEL_CRED request{};
    request.dwVersion = SCHANNEL_CRED_VERSION;
    request.dwFlags = SCH_CRED_NO_DEFAULT_CREDS | SCH_CRED_MANUAL_CRED_VALIDATION;
    TimeStamp expiry{};
    wchar_t package[] = UNISP_NAME_W;
    if (::AcquireCredentialsHandleW(nullptr, package, SECPKG_CRED_OUTBOUND, nullptr, &request, nullptr,
                                    nullptr, &FCreds, &expiry) != SEC_E_OK)
        return Fail(u"TLS is not available");
    FCredsValid = true;

    SecBuffer out{0, SECBUFFER_TOKEN, nullptr};
    SecBufferDesc outDesc{SECBUFFER_VERSION, 1, &out};
    DWORD attributes = 0;
    const SECURITY_STATUS status =
        ::InitializeSecurityContextW(&FCreds, nullptr, FServer.data(), ContextFlags, 0, 0, nullptr, 0,
                                     &FContext, &outDesc, &attributes, &expiry);
    TContextBuffer token{out.pvBuffer};
    if (status != SEC_I_CONTINUE_NEEDED)
        return Fail(u"TLS failed (" + Hex(static_cast<DWORD>(status)) + u")");
    FContextValid = true;
    if (out.cbBuffer &&
        !SendAll(FSocket, std::string_view(static_cast<const char*>(out.pvBuffer), out.cbBuffer)))
        return Fail(u"TLS failed: the connection broke off");
    FReceived.clear();
    if (!HandshakeLoop(HandshakeWait))
        return false;
    if (!FAcceptAny && !ServerIsVerified())
        return false;
    if (::QueryContextAttributesW(&FContext, SECPKG_ATTR_STREAM_SIZES, &FSizes) != SEC_E_OK ||
        FSizes.cbMaximumMessage == 0)
        return Fail(u"TLS failed (no record sizes)");
    FEstablished = true;
    return true;
}

// Feeds what the server sends to the context until it is established; tokens it produces go
// to the server. Starts with what FReceived holds (a renegotiation's first message). A server
// whose handshake never completes (a message that keeps growing, a client certificate asked
// for again and again, message after message) is given up rather than served for ever; a
// real handshake takes a handful of rounds (a few dozen when its messages come in small pieces).
bool TTlsChannel::HandshakeLoop(DWORD milliseconds)
{
    constexpr size_t LongestHandshakeMessage = 1 << 20;
    bool needMore = FReceived.empty();
    int credentialRequests = 0;
    for (int round = 0;; ++round) {
        if (FReceived.size() > LongestHandshakeMessage || round > 1000)
            return Fail(u"TLS failed: the server's handshake does not end");
        if (needMore) {
            const TReceiveResult got = ReceiveWithin(FSocket, FReceived, milliseconds);
            if (got != TReceiveResult::Data)
                return Fail(got == TReceiveResult::Closed ? u"TLS failed: the server closed the connection"
                                                          : u"TLS failed: no answer from the server");
        }
        SecBuffer in[2] = {{static_cast<unsigned long>(FReceived.size()), SECBUFFER_TOKEN, FReceived.data()},
                           {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc inDesc{SECBUFFER_VERSION, 2, in};
        SecBuffer out{0, SECBUFFER_TOKEN, nullptr};
        SecBufferDesc outDesc{SECBUFFER_VERSION, 1, &out};
        DWORD attributes = 0;
        TimeStamp expiry{};
        const SECURITY_STATUS status =
            ::InitializeSecurityContextW(&FCreds, &FContext, FServer.data(), ContextFlags, 0, 0, &inDesc, 0,
                                         nullptr, &outDesc, &attributes, &expiry);
        TContextBuffer token{out.pvBuffer};
        if (status == SEC_E_INCOMPLETE_MESSAGE) {
            needMore = true;
            continue;
        }
        if (status == SEC_I_INCOMPLETE_CREDENTIALS) {
            // The server asks for a client certificate; there is none, and the handshake goes
            // on without one, from the same input.
            if (++credentialRequests > 2)
                return Fail(u"TLS failed: the server insists on a client certificate");
            needMore = false;
            continue;
        }
        // A token goes out on success, while going on, and as an alert on failure.
        const bool sent =
            !out.cbBuffer || !out.pvBuffer ||
            SendAll(FSocket, std::string_view(static_cast<const char*>(out.pvBuffer), out.cbBuffer));
        if (!sent && !FAILED(status))
            return Fail(u"TLS failed: the connection broke off");
        if (in[1].BufferType == SECBUFFER_EXTRA && in[1].cbBuffer <= FReceived.size())
            FReceived.erase(0, FReceived.size() - in[1].cbBuffer);
        else
            FReceived.clear();
        if (status == SEC_E_OK)
            return true;
        if (status != SEC_I_CONTINUE_NEEDED)
            return Fail(u"TLS failed (" + Hex(static_cast<DWORD>(status)) + u")");
        needMore = FReceived.empty();
    }
}

// The certificate chains to a trusted root, is valid now and names the server.
bool TTlsChannel::ServerIsVerified()
{
    const CERT_CONTEXT* raw = nullptr;
    if (::QueryContextAttributesW(&FContext, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &raw) != SEC_E_OK || !raw)
        return Fail(u"The server sent no certificate");
    const std::unique_ptr<const CERT_CONTEXT, TCertificateFree> certificate(raw);
    char serverAuth[] = szOID_PKIX_KP_SERVER_AUTH;
    char* usages[] = {serverAuth};
    CERT_CHAIN_PARA para{};
    para.cbSize = sizeof para;
    para.RequestedUsage.dwType = USAGE_MATCH_TYPE_OR;
    para.RequestedUsage.Usage.cUsageIdentifier = 1;
    para.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
    const CERT_CHAIN_CONTEXT* rawChain = nullptr;
    if (!::CertGetCertificateChain(nullptr, certificate.get(), nullptr, certificate->hCertStore, &para, 0,
                                   nullptr, &rawChain) ||
        !rawChain)
        return Fail(u"The server's certificate could not be checked");
    const std::unique_ptr<const CERT_CHAIN_CONTEXT, TChainFree> chain(rawChain);
    HTTPSPolicyCallbackData https{};
    https.cbStruct = sizeof https;
    https.dwAuthType = AUTHTYPE_SERVER;
    https.pwszServerName = FServer.data();
    CERT_CHAIN_POLICY_PARA policy{};
    policy.cbSize = sizeof policy;
    policy.pvExtraPolicyPara = &https;
    CERT_CHAIN_POLICY_STATUS result{};
    result.cbSize = sizeof result;
    if (!::CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain.get(), &policy, &result))
        return Fail(u"The server's certificate could not be checked");
    switch (result.dwError) {
    case 0:
        return true;
    case static_cast<DWORD>(CERT_E_CN_NO_MATCH):
        return Fail(u"The server's certificate is issued to another name");
    case static_cast<DWORD>(CERT_E_EXPIRED):
        return Fail(u"The server's certificate is not valid now");
    case static_cast<DWORD>(CERT_E_UNTRUSTEDROOT):
    case static_cast<DWORD>(CERT_E_CHAINING):
        return Fail(u"The server's certificate is not issued by a trusted authority");
    default:
        return Fail(u"The server's certificate does not verify (" + Hex(result.dwError) + u")");
    }
}

bool TTlsChannel::Send(std::string_view bytes)
{
    if (!FEstablished)
        return false;
    std::vector<char> record(FSizes.cbHeader + FSizes.cbMaximumMessage + FSizes.cbTrailer);
    while (!bytes.empty()) {
        const size_t piece = std::min<size_t>(bytes.size(), FSizes.cbMaximumMessage);
        std::copy_n(bytes.data(), piece, record.data() + FSizes.cbHeader);
        SecBuffer parts[4] = {
            {FSizes.cbHeader, SECBUFFER_STREAM_HEADER, record.data()},
            {static_cast<unsigned long>(piece), SECBUFFER_DATA, record.data() + FSizes.cbHeader},
            {FSizes.cbTrailer, SECBUFFER_STREAM_TRAILER, record.data() + FSizes.cbHeader + piece},
            {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc desc{SECBUFFER_VERSION, 4, parts};
        if (::EncryptMessage(&FContext, 0, &desc, 0) != SEC_E_OK)
            return Fail(u"TLS failed while sending");
        if (!SendAll(FSocket, std::string_view(record.data(),
                                               parts[0].cbBuffer + parts[1].cbBuffer + parts[2].cbBuffer)))
            return false;
        bytes.remove_prefix(piece);
    }
    return true;
}

TReceiveResult TTlsChannel::Receive(std::string& into, DWORD milliseconds)
{
    if (!FEstablished)
        return TReceiveResult::Failed;
    for (;;) {
        if (FReceived.empty()) {
            const TReceiveResult got = ReceiveWithin(FSocket, FReceived, milliseconds);
            if (got != TReceiveResult::Data)
                return got;
        }
        SecBuffer parts[4] = {
            {static_cast<unsigned long>(FReceived.size()), SECBUFFER_DATA, FReceived.data()},
            {0, SECBUFFER_EMPTY, nullptr},
            {0, SECBUFFER_EMPTY, nullptr},
            {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc desc{SECBUFFER_VERSION, 4, parts};
        const SECURITY_STATUS status = ::DecryptMessage(&FContext, &desc, 0, nullptr);
        if (status == SEC_E_INCOMPLETE_MESSAGE) {
            const TReceiveResult got = ReceiveWithin(FSocket, FReceived, milliseconds);
            if (got != TReceiveResult::Data)
                return got == TReceiveResult::Closed ? TReceiveResult::Failed : got; // a record cut short
            continue;
        }
        if (status != SEC_E_OK && status != SEC_I_RENEGOTIATE && status != SEC_I_CONTEXT_EXPIRED) {
            Fail(u"TLS failed while receiving (" + Hex(static_cast<DWORD>(status)) + u")");
            return TReceiveResult::Failed;
        }
        // The plain text and the next record's bytes both lie inside FReceived: take the text
        // out before the rest moves to the front.
        size_t plain = 0;
        std::string extra;
        for (const SecBuffer& part : parts) {
            if (part.BufferType == SECBUFFER_DATA && part.pvBuffer) {
                into.append(static_cast<const char*>(part.pvBuffer), part.cbBuffer);
                plain += part.cbBuffer;
            } else if (part.BufferType == SECBUFFER_EXTRA && part.pvBuffer)
                extra.assign(static_cast<const char*>(part.pvBuffer), part.cbBuffer);
        }
        FReceived = std::move(extra);
        if (status == SEC_I_CONTEXT_EXPIRED) {
            FEstablished = false; // the server ended the channel
            return plain ? TReceiveResult::Data : TReceiveResult::Closed;
        }
        if (status == SEC_I_RENEGOTIATE && !HandshakeLoop(milliseconds))
            return TReceiveResult::Failed;
        if (plain)
            return TReceiveResult::Data;
    }
}

// The closing message, so that the server sees a channel that ended and not one cut off.
void TTlsChannel::Shutdown()
{
    FEstablished = false;
    DWORD kind = SCHANNEL_SHUTDOWN;
    SecBuffer control{sizeof kind, SECBUFFER_TOKEN, &kind};
    SecBufferDesc controlDesc{SECBUFFER_VERSION, 1, &control};
    if (::ApplyControlToken(&FContext, &controlDesc) != SEC_E_OK)
        return;
    SecBuffer out{0, SECBUFFER_TOKEN, nullptr};
    SecBufferDesc outDesc{SECBUFFER_VERSION, 1, &out};
    DWORD attributes = 0;
    TimeStamp expiry{};
    const SECURITY_STATUS status =
        ::InitializeSecurityContextW(&FCreds, &FContext, FServer.data(), ContextFlags, 0, 0, nullptr, 0,
                                     nullptr, &outDesc, &attributes, &expiry);
    TContextBuffer token{out.pvBuffer};
    if ((status == SEC_E_OK || status == SEC_I_CONTEXT_EXPIRED) && out.pvBuffer && out.cbBuffer)
        SendAll(FSocket, std::string_view(static_cast<const char*>(out.pvBuffer), out.cbBuffer));
}

} // namespace crash
