// The exact WinInet calls and arguments of a transfer, seen by replacing the test
// program's import-table entries of WinInet with recorders that call the real functions.
// (The getter is linked into this program, so its calls go through these entries.)

#include "net/http_get.h"

#include "framework/application.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <wininet.h>

#include <mutex>
#include <string>
#include <vector>

namespace net {
namespace {

// Replaces the entry of `function` imported from `dll` in this program; returns the old one.
void* PatchImport(const char* dll, const char* function, void* replacement)
{
    auto* base = reinterpret_cast<BYTE*>(::GetModuleHandleW(nullptr));
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const auto& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* desc = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); desc->Name;
         ++desc) {
        if (lstrcmpiA(reinterpret_cast<char*>(base + desc->Name), dll) != 0)
            continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + desc->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + desc->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                continue;
            auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (lstrcmpA(reinterpret_cast<char*>(byName->Name), function) != 0)
                continue;
            DWORD old;
            ::VirtualProtect(&slots->u1.Function, sizeof(void*), PAGE_READWRITE, &old);
            void* previous = reinterpret_cast<void*>(slots->u1.Function);
            slots->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
            ::VirtualProtect(&slots->u1.Function, sizeof(void*), old, &old);
            return previous;
        }
    }
    return nullptr;
}

std::string Text(const char* s)
{
    return s ? std::string(s) : std::string("<null>");
}

struct Calls
{
    std::mutex Lock;
    std::vector<std::string> Log;
    DWORD LargestRead = 0;
    HINTERNET Session = nullptr, Connect = nullptr, Request = nullptr;
    void Add(std::string entry)
    {
        std::lock_guard<std::mutex> lock(Lock);
        Log.push_back(std::move(entry));
    }
} TheCalls;

decltype(&::InternetOpenA) RealOpen;
decltype(&::InternetConnectA) RealConnect;
decltype(&::HttpOpenRequestA) RealOpenRequest;
decltype(&::HttpSendRequestA) RealSend;
decltype(&::HttpQueryInfoA) RealQuery;
decltype(&::InternetReadFile) RealRead;
decltype(&::InternetCloseHandle) RealClose;

HINTERNET WINAPI SpyOpen(LPCSTR agent, DWORD access, LPCSTR proxy, LPCSTR bypass, DWORD flags)
{
    TheCalls.Add("InternetOpen " + Text(agent) + " " + std::to_string(access) + " " + Text(proxy) + " " +
                 Text(bypass) + " " + std::to_string(flags));
    return TheCalls.Session = RealOpen(agent, access, proxy, bypass, flags);
}

HINTERNET WINAPI SpyConnect(HINTERNET session, LPCSTR host, INTERNET_PORT port, LPCSTR user, LPCSTR password,
                            DWORD service, DWORD flags, DWORD_PTR context)
{
    TheCalls.Add("InternetConnect " + Text(host) + " " + std::to_string(port) + " [" + Text(user) + "] [" +
                 Text(password) + "] " + std::to_string(service) + " " + std::to_string(flags) + " " +
                 std::to_string(context));
    return TheCalls.Connect = RealConnect(session, host, port, user, password, service, flags, context);
}

HINTERNET WINAPI SpyOpenRequest(HINTERNET connect, LPCSTR verb, LPCSTR object, LPCSTR version,
                                LPCSTR referrer, LPCSTR* accept, DWORD flags, DWORD_PTR context)
{
    std::string types;
    for (LPCSTR* a = accept; a && *a; ++a)
        types += std::string("[") + *a + "]";
    char hex[16];
    wsprintfA(hex, "%08lx", static_cast<unsigned long>(flags));
    TheCalls.Add("HttpOpenRequest " + Text(verb) + " " + Text(object) + " " + Text(version) + " [" +
                 Text(referrer) + "] " + types + " " + hex + " " + std::to_string(context));
    return TheCalls.Request =
               RealOpenRequest(connect, verb, object, version, referrer, accept, flags, context);
}

BOOL WINAPI SpySend(HINTERNET request, LPCSTR headers, DWORD headersLength, LPVOID optional,
                    DWORD optionalLength)
{
    TheCalls.Add("HttpSendRequest [" + Text(headers) + "] " + std::to_string(headersLength) + " [" +
                 (optional ? std::string(static_cast<char*>(optional), optionalLength) : "<null>") + "] " +
                 std::to_string(optionalLength));
    return RealSend(request, headers, headersLength, optional, optionalLength);
}

BOOL WINAPI SpyQuery(HINTERNET request, DWORD level, LPVOID buffer, LPDWORD size, LPDWORD index)
{
    char hex[16];
    wsprintfA(hex, "%08lx", static_cast<unsigned long>(level));
    TheCalls.Add(std::string("HttpQueryInfo ") + hex + " " + std::to_string(*size) + (index ? " index" : ""));
    return RealQuery(request, level, buffer, size, index);
}

BOOL WINAPI SpyRead(HINTERNET file, LPVOID buffer, DWORD toRead, LPDWORD read)
{
    {
        std::lock_guard<std::mutex> lock(TheCalls.Lock);
        if (toRead > TheCalls.LargestRead)
            TheCalls.LargestRead = toRead;
    }
    return RealRead(file, buffer, toRead, read);
}

BOOL WINAPI SpyClose(HINTERNET handle)
{
    if (handle == TheCalls.Request)
        TheCalls.Add("close request");
    else if (handle == TheCalls.Connect)
        TheCalls.Add("close connect");
    else if (handle == TheCalls.Session)
        TheCalls.Add("close session");
    return RealClose(handle);
}

class WinInetCalls : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        RealOpen = reinterpret_cast<decltype(RealOpen)>(
            PatchImport("wininet.dll", "InternetOpenA", reinterpret_cast<void*>(&SpyOpen)));
        RealConnect = reinterpret_cast<decltype(RealConnect)>(
            PatchImport("wininet.dll", "InternetConnectA", reinterpret_cast<void*>(&SpyConnect)));
        RealOpenRequest = reinterpret_cast<decltype(RealOpenRequest)>(
            PatchImport("wininet.dll", "HttpOpenRequestA", reinterpret_cast<void*>(&SpyOpenRequest)));
        RealSend = reinterpret_cast<decltype(RealSend)>(
            PatchImport("wininet.dll", "HttpSendRequestA", reinterpret_cast<void*>(&SpySend)));
        RealQuery = reinterpret_cast<decltype(RealQuery)>(
            PatchImport("wininet.dll", "HttpQueryInfoA", reinterpret_cast<void*>(&SpyQuery)));
        RealRead = reinterpret_cast<decltype(RealRead)>(
            PatchImport("wininet.dll", "InternetReadFile", reinterpret_cast<void*>(&SpyRead)));
        RealClose = reinterpret_cast<decltype(RealClose)>(
            PatchImport("wininet.dll", "InternetCloseHandle", reinterpret_cast<void*>(&SpyClose)));
        ASSERT_TRUE(RealOpen && RealConnect && RealOpenRequest && RealSend && RealQuery && RealRead &&
                    RealClose);
    }
    static void TearDownTestSuite()
    {
        PatchImport("wininet.dll", "InternetOpenA", reinterpret_cast<void*>(RealOpen));
        PatchImport("wininet.dll", "InternetConnectA", reinterpret_cast<void*>(RealConnect));
        PatchImport("wininet.dll", "HttpOpenRequestA", reinterpret_cast<void*>(RealOpenRequest));
        PatchImport("wininet.dll", "HttpSendRequestA", reinterpret_cast<void*>(RealSend));
        PatchImport("wininet.dll", "HttpQueryInfoA", reinterpret_cast<void*>(RealQuery));
        PatchImport("wininet.dll", "InternetReadFile", reinterpret_cast<void*>(RealRead));
        PatchImport("wininet.dll", "InternetCloseHandle", reinterpret_cast<void*>(RealClose));
    }
    void SetUp() override
    {
        App.Initialize();
        std::lock_guard<std::mutex> lock(TheCalls.Lock);
        TheCalls.Log.clear();
        TheCalls.LargestRead = 0;
        Get.WaitThread = true;
        Get.OnDoneString = [this](framework::TObject*, const std::string&) { ++Ends; };
        Get.OnError = [this](framework::TObject*) { ++Ends; };
    }
    std::vector<std::string> Run()
    {
        Get.GetString();
        const DWORD start = ::GetTickCount();
        while (Ends == 0 && ::GetTickCount() - start < 5000)
            if (!App.HandleMessage())
                ::Sleep(5);
        std::lock_guard<std::mutex> lock(TheCalls.Lock);
        return TheCalls.Log;
    }

    framework::TApplication App;
    THTTPGet Get{nullptr};
    int Ends = 0;
};

TEST_F(WinInetCalls, PlainGetWithTheDownloadWindowsSettings)
{
    Get.Agent = "Korvane Giveaway Downloader";
    Get.Referer = "Korvane - Lumigate";
    Get.URL = "http://download.test/len/3000";
    const std::vector<std::string> expected = {
        "InternetOpen Korvane Giveaway Downloader 0 <null> <null> 0",
        "InternetConnect download.test 80 [] [] 3 0 0",
        "HttpOpenRequest GET /len/3000 HTTP/1.0 [Korvane - Lumigate] [*/*] 80000000 0",
        "HttpSendRequest [<null>] 0 [<null>] 0",
        "HttpQueryInfo 20000005 4",
        "close request",
        "close connect",
        "close session",
    };
    EXPECT_EQ(Run(), expected);
    EXPECT_EQ(TheCalls.LargestRead, 1025u);
}

TEST_F(WinInetCalls, SecurePostWithCacheAndCredentials)
{
    Get.Agent = "";
    Get.AcceptTypes = "text/plain";
    Get.UseCache = true;
    Get.UserName = "user";
    Get.Password = "secret";
    Get.PostQuery = "a=1&b=2";
    Get.URL = "HTTPS://secure.test/form";
    const std::vector<std::string> log = Run();
    ASSERT_GE(log.size(), 5u);
    EXPECT_EQ(log[0], "InternetOpen <null> 0 <null> <null> 0");
    EXPECT_EQ(log[1], "InternetConnect secure.test 443 [user] [secret] 3 0 0");
    EXPECT_EQ(log[2], "HttpOpenRequest POST /form HTTP/1.0 [] [text/plain] 00800000 0");
    EXPECT_EQ(log[3], "HttpSendRequest [Content-Type: application/x-www-form-urlencoded] 47 [a=1&b=2] 7");
    EXPECT_EQ(log[4], "HttpQueryInfo 20000005 4");
}

TEST_F(WinInetCalls, AbortBeforeTheStartOpensNothing)
{
    Get.URL = "http://download.test/len/10";
    Get.WaitThread = false;
    Get.GetString();
    Get.Abort();
    Get.WaitThread = true;
    const std::vector<std::string> log = Run();
    // Either the worker saw the abort before opening the session, or at the next check;
    // in both cases every opened handle is closed and the end is an error.
    EXPECT_EQ(Ends, 1);
    if (!log.empty()) {
        EXPECT_EQ(log.back(), "close session");
    }
}

} // namespace
} // namespace net
