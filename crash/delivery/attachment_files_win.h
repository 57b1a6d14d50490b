#pragma once
// The files of a delivery: prepared from the attachment list (files that are missing left
// out, the entries that share an archive written into it in the reports' temporary folder),
// with the send window and its areas; and opened for a channel, with an area per file
// weighted by its size.

#include "base/com_ptr.h"
#include "base/win_handle.h"
#include "crash/delivery/delivery_channels_win.h"
#include "crash/dialogs/progress_alert.h"
#include "crash/settings/report_attachments.h"
#include "crash/settings/report_settings_interfaces.h"

#include <windows.h>

#include <cstdint>
#include <vector>

namespace crash {

struct TPreparedAttachments
{
    TPreparedDelivery Delivery;
    base::ComPtr<IProgressAlert> Progress; // the send window, shown unless the delivery is hidden
};

// `background`: the window is owned by no other; `hidden`: shown only with AutoSendBox.
TPreparedAttachments PrepareAttachmentFiles(IReportSettings& settings, IReportAttachments& attachments,
                                            HWND parent, bool background, bool hidden);

// The files opened for reading (others may read and write them meanwhile); a file that did
// not open has no handle and size 0, and the channels pass it over. Closed with the object.
struct TOpenedAttachments
{
    std::vector<base::FileHandle> Handles;
    std::vector<uint64_t> Sizes;
    int Opened = 0;
};

// Replaces the send window's areas with those of the sending (the preparation; the mail
// exchangers' look-up with `mxLookup`; connecting and mailing, or connecting and uploading;
// a file each; finishing) and marks the first done. False when no file of a non-empty list
// opened.
bool OpenAttachmentFiles(IProgressAlert* progress, IReportSettings& settings,
                         const std::vector<std::u16string>& files, bool mxLookup, bool mailing,
                         TOpenedAttachments& opened);

} // namespace crash
