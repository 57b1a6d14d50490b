#pragma once
// The request entry point of an ISAPI extension that carries the reporter (its exported
// HttpExtensionProc, which the web server finds by name) is replaced by a wrapper. The
// wrapper runs the request on a copy of the server's extension control block whose
// ServerSupportFunction is replaced too, and keeps the request in a table by connection:
//   - an exception escaping the request is dispatched with esHttpExtension (its report text
//     going to the thread's ISAPI state) and the request answers HSE_STATUS_ERROR;
//   - unless the request is pending, the updated block is copied back and the request leaves
//     the table;
//   - a report text is sent to the client as an HTML page, behind the response header
//     "Content-Type: text/html" unless the request sent a header itself;
//   - the ServerSupportFunction replacement first sends a pending report of its thread,
//     notes a sent header, and lets the request go when the session is done.

#include "crash/core/intercept/patches_win.h"

#include <windows.h>

#include <string>

namespace crash {

// Points the export "HttpExtensionProc" of `extension` at the wrapper; false when it has
// none.
bool HookIsapiEntry(TPatches& patches, HMODULE extension);

// The HTML page of a report text for a web client (set by the layer that makes the report's
// page; without one, the text escaped in a <pre> block).
using TReportPage = std::string (*)(const std::string& report);
void SetReportPageMaker(TReportPage maker);

} // namespace crash
