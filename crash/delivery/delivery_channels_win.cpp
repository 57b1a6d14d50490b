#include "crash/delivery/delivery_channels_win.h"

#include "crash/delivery/http_upload_win.h"

namespace crash {
namespace {

// The channels that are built; a test installs its own.
TDeliveryChannels Channels{.UploadToScript = &UploadToScript,
                           .UploadToFogBugz = &UploadToFogBugz,
                           .UploadToBugZilla = &UploadToBugZilla,
                           .UploadToMantis = &UploadToMantis};

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
