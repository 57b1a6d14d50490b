// The getter against real servers on 127.0.0.1, reached through WinInet's preconfigured
// proxy (tests/servers/with_servers.sh, with the routes in net/CMakeLists.txt): "Getter"
// tests talk to the project's test server, "Nginx" tests to nginx, "NoServer" tests to a
// port where nothing listens.

#include "net/http_get.h"

#include "framework/application.h"
#include "framework/exception.h"
#include "framework/testing/test_support.h"
#include "net/http_get_thread.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace net {
namespace {

using framework::TObject;
using framework::testing::PumpUntil;

std::string Env(const char* name)
{
    char value[1024] = {};
    return ::GetEnvironmentVariableA(name, value, sizeof(value)) ? value : "";
}

std::wstring WindowsPath(const std::string& unixPath)
{
    std::wstring out = L"Z:";
    for (char c : unixPath)
        out += c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(c));
    return out;
}

std::string Pattern(size_t size)
{
    std::string out(size, '\0');
    for (size_t i = 0; i < size; ++i)
        out[i] = static_cast<char>(i % 251);
    return out;
}

std::string ReadWhole(const std::wstring& path)
{
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool Exists(const std::wstring& path)
{
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A fresh token per request, so that each test finds its own request in the server's log.
std::string Token()
{
    static int counter = 0;
    return "t" + std::to_string(::GetCurrentProcessId()) + "x" + std::to_string(++counter);
}

// The server's record of the request whose line contains token ("" if none arrived).
std::string RequestRecord(const std::string& token)
{
    const std::wstring log = WindowsPath(Env("LUMIGATE_TEST_LOG"));
    for (int attempt = 0; attempt < 40; ++attempt) {
        std::istringstream lines(ReadWhole(log));
        std::string line;
        while (std::getline(lines, line))
            if (line.find(token) != std::string::npos)
                return line;
        ::Sleep(25);
    }
    return "";
}

int CountRequests(const std::string& token)
{
    std::istringstream lines(ReadWhole(WindowsPath(Env("LUMIGATE_TEST_LOG"))));
    std::string line;
    int count = 0;
    while (std::getline(lines, line))
        count += line.find(token) != std::string::npos;
    return count;
}

struct Events
{
    int DoneFile = 0, DoneString = 0, Error = 0;
    std::wstring FileName;
    int32_t FileSize = -1;
    std::string Result;
    std::vector<int32_t> Totals, Readed;
    std::vector<TObject*> ProgressSenders;
    std::vector<bool> ProgressFromWorker; // checked in the handler: the worker is gone later
    std::vector<TObject*> Senders;
    int Ends() const { return DoneFile + DoneString + Error; }
};

class Getter : public ::testing::Test
{
protected:
    void SetUp() override
    {
        App.Initialize();
        wchar_t temp[MAX_PATH];
        ::GetTempPathW(MAX_PATH, temp);
        Folder = std::wstring(temp) + L"lumigate-net-" + std::to_wstring(::GetCurrentProcessId()) + L"\\";
        ::CreateDirectoryW(Folder.c_str(), nullptr);
        Get = std::make_unique<THTTPGet>(nullptr);
        Get->Agent = "Lumigate Test Agent";
        Get->OnDoneFile = [this](TObject* s, const std::wstring& name, int32_t size) {
            ++E.DoneFile;
            E.Senders.push_back(s);
            E.FileName = name;
            E.FileSize = size;
        };
        Get->OnDoneString = [this](TObject* s, const std::string& result) {
            ++E.DoneString;
            E.Senders.push_back(s);
            E.Result = result;
        };
        Get->OnError = [this](TObject* s) {
            ++E.Error;
            E.Senders.push_back(s);
        };
    }
    void TearDown() override
    {
        Get.reset();
        App.ProcessMessages();
    }

    std::wstring Target(const wchar_t* name) const { return Folder + name; }
    bool WaitForEnd()
    {
        return PumpUntil([&] { return E.Ends() > 0; });
    }
    void RecordProgress()
    {
        Get->OnProgress = [this](TObject* s, int32_t total, int32_t readed) {
            E.ProgressSenders.push_back(s);
            E.ProgressFromWorker.push_back(dynamic_cast<THTTPGetThread*>(s) != nullptr);
            E.Totals.push_back(total);
            E.Readed.push_back(readed);
        };
    }

    framework::TApplication App;
    std::unique_ptr<THTTPGet> Get;
    std::wstring Folder;
    Events E;
};

TEST_F(Getter, GetFileWithWaitThreadReturnsAfterOnDoneFileAndSendsTheRequestAsConfigured)
{
    const std::string t = Token();
    Get->URL = "http://download.test/len/5000?" + t;
    Get->FileName = Target(L"complete.bin");
    Get->Referer = "Korvane - Lumigate";
    Get->WaitThread = true;
    Get->GetFile();
    // Returned only after the handler ran and the component is idle again.
    EXPECT_EQ(E.DoneFile, 1);
    EXPECT_EQ(E.Error, 0);
    EXPECT_FALSE(Get->Busy());
    EXPECT_EQ(E.Senders[0], Get.get());
    EXPECT_EQ(E.FileSize, 5000);
    EXPECT_EQ(E.FileName, Target(L"complete.bin"));
    EXPECT_TRUE(ReadWhole(Target(L"complete.bin")) == Pattern(5000));

    const std::string r = RequestRecord(t);
    // Through a proxy WinInet writes the absolute URI, with or without the default port.
    EXPECT_NE(r.find("\"line\": \"GET http://download.test"), std::string::npos) << r;
    EXPECT_NE(r.find("/len/5000?" + t + " HTTP/1.0\""), std::string::npos) << r;
    EXPECT_NE(r.find("\"Accept\": \"*/*\""), std::string::npos) << r;
    EXPECT_NE(r.find("\"Referer\": \"Korvane - Lumigate\""), std::string::npos) << r;
    EXPECT_NE(r.find("\"User-Agent\": \"Lumigate Test Agent\""), std::string::npos) << r;
    EXPECT_EQ(r.find("Authorization"), std::string::npos) << r;
}

TEST_F(Getter, OutcomeFollowsTheLengthRuleNotTheStatus)
{
    Get->WaitThread = true;
    // Cut short after 3000 of 5000 bytes: failed, with the 3000 bytes on disk.
    Get->URL = "http://download.test/cut/5000/3000";
    Get->FileName = Target(L"cut.bin");
    Get->GetFile();
    EXPECT_EQ(E.Error, 1);
    EXPECT_EQ(E.DoneFile, 0);
    EXPECT_TRUE(ReadWhole(Target(L"cut.bin")) == Pattern(3000));

    // A 404 with a complete body is stored like any other body.
    E = {};
    Get->URL = "http://download.test/status/404/777";
    Get->FileName = Target(L"404.bin");
    Get->GetFile();
    EXPECT_EQ(E.DoneFile, 1);
    EXPECT_EQ(E.FileSize, 777);

    // No content length: failed although the whole body was written.
    E = {};
    Get->URL = "http://download.test/nolen/4000";
    Get->FileName = Target(L"nolen.bin");
    Get->GetFile();
    EXPECT_EQ(E.Error, 1);
    EXPECT_TRUE(ReadWhole(Target(L"nolen.bin")) == Pattern(4000));

    // BinaryData and no content length: failed, nothing read and no file made.
    E = {};
    Get->BinaryData = true;
    Get->FileName = Target(L"binary.bin");
    Get->GetFile();
    EXPECT_EQ(E.Error, 1);
    EXPECT_FALSE(Exists(Target(L"binary.bin")));
}

TEST_F(Getter, GetStringReturnsBeforeItsEndAndEmptyBodiesFail)
{
    Get->WaitThread = true;
    Get->URL = "http://download.test/slow/3000/1000/50";
    Get->GetString();
    EXPECT_EQ(E.Ends(), 0); // the result comes later
    EXPECT_TRUE(Get->Busy());
    ASSERT_TRUE(WaitForEnd());
    EXPECT_EQ(E.DoneString, 1);
    EXPECT_TRUE(E.Result == Pattern(3000));
    EXPECT_EQ(E.Senders[0], Get.get());

    E = {};
    Get->URL = "http://download.test/len/0";
    Get->GetString();
    ASSERT_TRUE(WaitForEnd());
    EXPECT_EQ(E.Error, 1);

    // Without a content length the text still arrives.
    E = {};
    Get->URL = "http://download.test/nolen/2500";
    Get->GetString();
    ASSERT_TRUE(WaitForEnd());
    EXPECT_EQ(E.DoneString, 1);
    EXPECT_TRUE(E.Result == Pattern(2500));
}

TEST_F(Getter, ProgressComesFromTheWorkerInStepsOfAtMost1025)
{
    RecordProgress();
    Get->WaitThread = true;
    Get->URL = "http://download.test/nolen/10000";
    Get->FileName = Target(L"progress.bin");
    Get->GetFile();
    ASSERT_FALSE(E.Readed.empty());
    int32_t last = 0;
    for (size_t i = 0; i < E.Readed.size(); ++i) {
        EXPECT_EQ(E.Totals[i], 0); // unknown size
        EXPECT_GT(E.Readed[i], last);
        EXPECT_LE(E.Readed[i] - last, 1025);
        EXPECT_NE(E.ProgressSenders[i], Get.get());
        EXPECT_TRUE(E.ProgressFromWorker[i]);
        last = E.Readed[i];
    }
    EXPECT_EQ(last, 10000);

    E = {};
    Get->URL = "http://download.test/len/3000";
    Get->GetFile();
    ASSERT_FALSE(E.Totals.empty());
    EXPECT_EQ(E.Totals.back(), 3000);
    EXPECT_EQ(E.Readed.back(), 3000);
}

TEST_F(Getter, ASecondTransferWhileBusyOrFromAHandlerStartsNothing)
{
    const std::string t = Token();
    Get->URL = "http://download.test/slow/2000/500/50?" + t;
    Get->FileName = Target(L"busy.bin");
    Get->GetFile();
    Get->GetFile();
    Get->GetString();
    ASSERT_TRUE(WaitForEnd());
    App.ProcessMessages();
    EXPECT_EQ(E.Ends(), 1);
    EXPECT_EQ(CountRequests(t), 1);

    // From inside the handler the component is still busy.
    E = {};
    const std::string t2 = Token();
    Get->URL = "http://download.test/len/10?" + t2;
    auto done = Get->OnDoneFile;
    Get->OnDoneFile = [&](TObject* s, const std::wstring& n, int32_t size) {
        EXPECT_TRUE(Get->Busy());
        Get->GetFile();
        done(s, n, size);
    };
    Get->WaitThread = true;
    Get->GetFile();
    EXPECT_EQ(E.Ends(), 1);
    EXPECT_FALSE(Get->Busy());
    ::Sleep(200);
    App.ProcessMessages();
    EXPECT_EQ(E.Ends(), 1);
    EXPECT_EQ(CountRequests(t2), 1);
}

TEST_F(Getter, SettingsAreCopiedWhenTheTransferStarts)
{
    Get->URL = "http://download.test/slow/2000/500/50";
    Get->FileName = Target(L"copied.bin");
    Get->GetFile();
    Get->URL = "http://download.test/len/1";
    Get->FileName = Target(L"other.bin");
    ASSERT_TRUE(WaitForEnd());
    EXPECT_EQ(E.FileSize, 2000);
    EXPECT_EQ(E.FileName, Target(L"copied.bin"));
    EXPECT_FALSE(Exists(Target(L"other.bin")));
}

TEST_F(Getter, AbortEndsAsFailedAndLeavesThePartialFileClosed)
{
    RecordProgress();
    Get->URL = "http://download.test/slow/20000/1000/30";
    Get->FileName = Target(L"aborted.bin");
    Get->OnProgress = [this](TObject*, int32_t, int32_t) { Get->Abort(); };
    Get->WaitThread = true;
    Get->GetFile();
    EXPECT_EQ(E.Error, 1);
    EXPECT_EQ(E.DoneFile, 0);
    const std::string partial = ReadWhole(Target(L"aborted.bin"));
    EXPECT_GT(partial.size(), 0u);
    EXPECT_LT(partial.size(), 20000u);
    EXPECT_TRUE(::DeleteFileW(Target(L"aborted.bin").c_str())); // closed

    // An abort right after the start, and one after the worker's last chunk: still failed.
    for (const char* url : {"http://download.test/slow/5000/1000/20", "http://download.test/len/10"}) {
        E = {};
        Get->OnProgress = nullptr;
        Get->WaitThread = false;
        Get->URL = url;
        Get->GetFile();
        if (std::string(url).find("len") != std::string::npos)
            ::Sleep(300); // the worker is done and waits for its end to be handed over
        Get->Abort();
        ASSERT_TRUE(WaitForEnd());
        EXPECT_EQ(E.Error, 1) << url;
        EXPECT_EQ(E.DoneFile, 0) << url;
    }
}

TEST_F(Getter, DestroyingTheComponentWhileItsWorkerRunsReportsNothing)
{
    int progress = 0;
    Get->OnProgress = [&](TObject*, int32_t, int32_t) { ++progress; };
    Get->URL = "http://download.test/slow/6000/1000/30";
    Get->FileName = Target(L"destroyed.bin");
    Get->GetFile();
    ASSERT_TRUE(PumpUntil([&] { return progress > 0; }));
    Get.reset();
    const int seen = progress;
    ::Sleep(500);
    App.ProcessMessages();
    EXPECT_EQ(E.Ends(), 0);
    EXPECT_EQ(progress, seen);
}

TEST_F(Getter, HandlerMayDestroyTheComponentInsideTheWait)
{
    Get->URL = "http://download.test/len/100";
    Get->FileName = Target(L"selfdelete.bin");
    Get->WaitThread = true;
    Get->OnDoneFile = [this](TObject*, const std::wstring&, int32_t) {
        ++E.DoneFile;
        Get.reset();
    };
    THTTPGet* raw = Get.get();
    raw->GetFile(); // must return although the component is gone
    EXPECT_EQ(E.DoneFile, 1);
    EXPECT_EQ(Get, nullptr);
}

TEST_F(Getter, AnAbortThatCameWhileTheWorkerStoredItsSuccessStillFails)
{
    // The worker read "not terminated" and stored its success; the abort came in between.
    THTTPGetThread worker(*Get, true);
    worker.FTResult = true;
    worker.Terminate();
    worker.ReportEnd();
    EXPECT_EQ(E.Error, 1);
    EXPECT_EQ(E.DoneFile, 0);
}

TEST_F(Getter, AHandlerThatThrowsEndsTheTransferAndItsExceptionReachesTheApplication)
{
    std::vector<std::wstring> caught;
    App.OnException = [&](TObject*, std::exception_ptr e) {
        caught.push_back(framework::ExceptionMessage(e));
    };
    Get->WaitThread = true;
    Get->FileName = Target(L"throwing.bin");
    Get->OnDoneFile = [](TObject*, const std::wstring&, int32_t) {
        throw framework::Exception(L"done failed");
    };
    Get->OnError = [](TObject*) { throw framework::Exception(L"error failed"); };
    for (const char* url : {"http://download.test/len/10", "http://download.test/nolen/10"}) {
        Get->URL = url;
        Get->GetFile(); // returns: the wait ends with the transfer
        EXPECT_FALSE(Get->Busy()) << url;
    }
    EXPECT_EQ(caught, (std::vector<std::wstring>{L"done failed", L"error failed"}));
}

TEST_F(Getter, PostSendsTheFormContentTypeAndTheBody)
{
    const std::string t = Token();
    Get->URL = "http://download.test/len/20?" + t;
    Get->PostQuery = "name=Orvella&v=1";
    Get->WaitThread = true;
    Get->GetString();
    ASSERT_TRUE(WaitForEnd());
    const std::string r = RequestRecord(t);
    EXPECT_NE(r.find("\"line\": \"POST http://download.test"), std::string::npos) << r;
    EXPECT_NE(r.find("/len/20?" + t + " HTTP/1.0\""), std::string::npos) << r;
    EXPECT_NE(r.find("\"Content-Type\": \"application/x-www-form-urlencoded\""), std::string::npos) << r;
    EXPECT_NE(r.find("\"body\": \"name=Orvella&v=1\""), std::string::npos) << r;
}

TEST_F(Getter, UrlForms)
{
    Get->WaitThread = true;
    // https in any case: port 443 and the secure flag, seen as the proxy tunnel's target.
    const std::string t = Token();
    Get->URL = "HtTpS://secure-" + t + ".test/file";
    Get->FileName = Target(L"secure.bin");
    Get->BinaryData = true;
    Get->GetFile();
    EXPECT_EQ(E.Error, 1);
    const std::string r = RequestRecord(t);
    EXPECT_NE(r.find("\"line\": \"CONNECT secure-" + t + ".test:443"), std::string::npos) << r;

    // No prefix: split unchanged, plain HTTP on port 80.
    E = {};
    const std::string t2 = Token();
    Get->URL = "download.test/len/10?" + t2;
    Get->GetFile();
    EXPECT_EQ(E.DoneFile, 1);
    const std::string r2 = RequestRecord(t2);
    EXPECT_NE(r2.find("\"line\": \"GET http://download.test"), std::string::npos) << r2;
    EXPECT_NE(r2.find("/len/10?" + t2 + " HTTP/1.0"), std::string::npos) << r2;

    // An http prefix in capitals.
    E = {};
    Get->URL = "HTTP://download.test/len/10";
    Get->GetFile();
    EXPECT_EQ(E.DoneFile, 1);

    // No "/" after the host: empty host, the connection fails.
    E = {};
    Get->URL = "http://download.test";
    Get->GetFile();
    EXPECT_EQ(E.Error, 1);
}

TEST_F(Getter, SurvivesAnyUrlText)
{
    Get->WaitThread = true;
    Get->BinaryData = true;
    Get->FileName = Target(L"any.bin");
    const std::string urls[] = {"",
                                "http://",
                                "https://",
                                "http:///",
                                std::string(100000, 'a'),
                                "http://" + std::string(5000, 'h') + "/x",
                                "http://\xff\xfe\x80/\x01\x7f",
                                std::string("http://a/\0b", 11)};
    for (const std::string& url : urls) {
        E = {};
        Get->URL = url;
        Get->GetFile();
        // Through the proxy even odd host names get an answer; what counts is one end.
        EXPECT_EQ(E.Ends(), 1) << url.size();
    }
}

TEST_F(Getter, ATargetThatCannotBeWrittenEndsInOnError)
{
    Get->WaitThread = true;
    Get->URL = "http://download.test/len/100";
    Get->FileName = Folder + L"no-such-folder\\file.bin";
    Get->GetFile();
    EXPECT_EQ(E.Error, 1);
    EXPECT_EQ(E.DoneFile, 0);
}

TEST_F(Getter, FileNamesOutsideTheAnsiCodePage)
{
    Get->WaitThread = true;
    Get->URL = "http://download.test/len/2201";
    Get->FileName = Target(L"\u0434\u0430\u043d\u043d\u044b\u0435-\u65e5\u672c.bin");
    Get->GetFile();
    EXPECT_EQ(E.DoneFile, 1);
    EXPECT_EQ(ReadWhole(Get->FileName).size(), 2201u);
}

TEST(Nginx, ServesAStaticFileThatArrivesWhole)
{
    framework::TApplication app;
    app.Initialize();
    THTTPGet get(nullptr);
    get.WaitThread = true;
    get.URL = "http://static.test/static.bin";
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    get.FileName = std::wstring(temp) + L"lumigate-nginx.bin";
    int32_t size = -1;
    int errors = 0;
    get.OnDoneFile = [&](TObject*, const std::wstring&, int32_t s) { size = s; };
    get.OnError = [&](TObject*) { ++errors; };
    get.GetFile();
    const std::string expected = ReadWhole(WindowsPath(Env("LUMIGATE_TEST_STATIC")));
    EXPECT_EQ(errors, 0);
    EXPECT_EQ(size, static_cast<int32_t>(expected.size()));
    EXPECT_TRUE(ReadWhole(get.FileName) == expected);
    ::DeleteFileW(get.FileName.c_str());
}

TEST(NoServer, FileTransferSucceedsWithSizeZeroAndTextTransferFails)
{
    // Nothing arrives: the size query fails, the empty file counts as complete (0 == 0).
    framework::TApplication app;
    app.Initialize();
    THTTPGet get(nullptr);
    get.WaitThread = true;
    get.URL = "http://download.test/len/5000";
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    get.FileName = std::wstring(temp) + L"lumigate-noserver.bin";
    int done = 0, errors = 0;
    int32_t size = -1;
    get.OnDoneFile = [&](TObject*, const std::wstring&, int32_t s) {
        ++done;
        size = s;
    };
    get.OnError = [&](TObject*) { ++errors; };
    get.GetFile();
    EXPECT_EQ(done, 1);
    EXPECT_EQ(size, 0);
    EXPECT_TRUE(Exists(get.FileName));
    EXPECT_EQ(ReadWhole(get.FileName).size(), 0u);
    ::DeleteFileW(get.FileName.c_str());

    get.GetString();
    EXPECT_TRUE(PumpUntil([&] { return errors == 1; }));
}

} // namespace
} // namespace net
