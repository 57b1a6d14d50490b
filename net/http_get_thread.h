#pragma once
// The worker of one THTTPGet transfer. It takes copies of all settings when it is made, so
// later changes to the component don't touch a running transfer, and it deletes itself
// after its end has been handed to the main thread.

#include "framework/thread.h"
#include "net/http_get.h"

#include <atomic>
#include <cstdint>
#include <string>

namespace net {

class THTTPGetThread : public framework::TThread
{
public:
    THTTPGetThread(THTTPGet& owner, bool toFile);

    std::string FTAcceptTypes;
    std::string FTAgent;
    std::string FTURL;
    std::wstring FTFileName;
    std::string FTStringResult;
    std::string FTUserName;
    std::string FTPassword;
    std::string FTPostQuery;
    std::string FTReferer;
    bool FTBinaryData;
    bool FTUseCache;
    // Written by the main thread (Abort) while the worker runs.
    std::atomic<bool> FTResult{false};
    int32_t FTFileSize = 0;
    bool FTToFile;
    uint32_t BytesToRead = 0;
    uint32_t BytesReaded = 0;
    TOnProgressEvent FTProgress;

    // Set when the transfer failed in a way the outcome rule can't see: the target file
    // could not be created or written, or an exception ended the worker.
    bool FTFailed = false;

    // The component to report to; cleared on the main thread when the component goes.
    THTTPGet* Owner = nullptr;

    // Asks the worker to stop at its next check and marks the transfer as failed.
    void Abort();
    // Hands the end of the transfer to the component, if it is still there (main thread,
    // after Execute: the thread's OnTerminate).
    void ReportEnd();

protected:
    void Execute() override;

private:
    void Transfer();
    void UpdateProgress();
};

} // namespace net
