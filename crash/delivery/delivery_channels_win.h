#pragma once
// The channels a bug report can travel by, in the order a delivery tries them: an upload to a
// web server's script or a bug tracker (FogBugz, Bugzilla, Mantis), mail directly to the
// recipients' mail exchangers or through a mail server, the system's mail client, a mailto
// link. The channels are there from the start; a test installs recorders.

#include "base/com_ptr.h"
#include "crash/dialogs/progress_alert.h"
#include "crash/settings/report_fields.h"
#include "crash/settings/report_settings_interfaces.h"

#include <windows.h>

#include <string>
#include <vector>

namespace crash {

// The files of one delivery: their full paths, the names they are sent as, and the form
// fields they go in (for the uploads).
struct TPreparedDelivery
{
    std::vector<std::u16string> Files, SendAs, Fields;
};

// What a channel is given.
struct TDelivery
{
    std::u16string ReportText;
    std::u16string Subject, Body; // expanded
    std::u16string From, Recipients;
    TPreparedDelivery Prepared;
    base::ComPtr<IReportFields> Fields; // the settings' additional fields and the mail's own
    IProgressAlert* Progress = nullptr; // the send window; shown or not
    IReportSettings* Settings = nullptr;
    HWND Parent = nullptr;
    bool Hidden = false; // an automatic send that must not bother the user
    // For the uploads: the server's URL and what the report's header says; for a tracker, the
    // case's title and description (expanded).
    std::u16string Url, ComputerName, OperatingSystem, Version, CallstackCrc;
    std::u16string TrackerTitle, TrackerDescription;
};

// What the user's mail client made of a report: a user who cancelled ends the delivery
// quietly (no failure message, not counted as sent).
enum class TMailClientResult
{
    Failed,
    Delivered,
    Cancelled
};

struct TDeliveryChannels
{
    bool (*UploadToScript)(const TDelivery& delivery) = nullptr;
    bool (*UploadToFogBugz)(const TDelivery& delivery) = nullptr;
    bool (*UploadToBugZilla)(const TDelivery& delivery) = nullptr;
    bool (*UploadToMantis)(const TDelivery& delivery) = nullptr;
    bool (*MailToExchangers)(const TDelivery& delivery) = nullptr; // port 25, no login
    bool (*MailThroughServer)(const TDelivery& delivery) = nullptr;
    TMailClientResult (*MailByClient)(const TDelivery& delivery) = nullptr; // the system's mail client
    bool (*MailByLink)(const TDelivery& delivery) = nullptr; // a mailto link: true when it opened
};

void SetDeliveryChannels(const TDeliveryChannels& channels);
const TDeliveryChannels& DeliveryChannels();

} // namespace crash
