#pragma once
// The upload channels of a delivery: the report's files and fields posted as a form to the
// script the settings name (HttpServer, with HttpSsl, HttpPort and the HTTP account), or a new
// case in the bug tracker there.

#include "crash/delivery/delivery_channels_win.h"
#include "crash/delivery/win_http_win.h"

namespace crash {

// The client's target as a delivery's settings give it.
THttpTarget HttpTargetOf(const TDelivery& delivery);

bool UploadToScript(const TDelivery& delivery);
bool UploadToFogBugz(const TDelivery& delivery);
bool UploadToBugZilla(const TDelivery& delivery);
bool UploadToMantis(const TDelivery& delivery);

} // namespace crash
