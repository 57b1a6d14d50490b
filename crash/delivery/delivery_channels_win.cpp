#include "crash/delivery/delivery_channels_win.h"

#include "crash/delivery/http_upload_win.h"
#include "crash/delivery/mail_client_win.h"
#include "crash/delivery/smtp_delivery_win.h"

namespace crash {
namespace {

// A test installs its own.
TDeliveryChannels Channels{.UploadToScript = &UploadToScript,
                           .UploadToFogBugz = &UploadToFogBugz,
                           .UploadToBugZilla = &UploadToBugZilla,
                           .UploadToMantis = &UploadToMantis,
                           .MailToExchangers = &MailToExchangers,
                           .MailThroughServer = &MailThroughServer,
                           .MailByClient = &MailByClient,
                           .MailByLink = &MailByLink};

} // namespace

void SetDeliveryChannels(const TDeliveryChannels& channels)
{
    Channels = channels;
}

const TDeliveryChannels& DeliveryChannels()
{
    return Channels;
}

} // namespace crash
