#include "crash/delivery/delivery_channels_win.h"

namespace crash {
namespace {

TDeliveryChannels Channels; // installed at start-up, before the first delivery

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
