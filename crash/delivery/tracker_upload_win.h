#pragma once
// The bug-tracker channels: a new case in FogBugz (its XML API), Bugzilla (XML-RPC) or Mantis
// (SOAP), with the report's files attached. Each reads the tracker's choices first (projects,
// areas, versions, people...) and holds the case's values against them. A tracker's error
// text becomes the client's last error.

#include "crash/delivery/win_http_win.h"

#include <span>
#include <string>

namespace crash {

struct TTrackerCase
{
    std::u16string Title, Description, Project, Area, AssignTo, Version;
    std::u16string Computer, OperatingSystem, Email, Crc;
};

bool UploadBugToFogBugz(TWinHttp& http, const TTrackerCase& bug, std::span<const TFormField> fields,
                        const TPreparedDelivery& files);
bool UploadBugToBugZilla(TWinHttp& http, const TTrackerCase& bug, const TPreparedDelivery& files);
bool UploadBugToMantis(TWinHttp& http, const TTrackerCase& bug, const TPreparedDelivery& files);

} // namespace crash
