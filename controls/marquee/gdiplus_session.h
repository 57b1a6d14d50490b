#pragma once
// GDI+ for the fill and the marquee: the headers (which need windows.h and the COM
// declarations first) and one process-wide GDI+ start-up, held by every object that draws
// with or keeps GDI+ objects. The first holder starts GDI+, the last one shuts it down.

#include <windows.h>
// windows.h first: the GDI+ headers build on its types.
#include <gdiplus.h>
#include <objidl.h>

namespace marquee {

class TGdiPlusSession
{
public:
    TGdiPlusSession();
    ~TGdiPlusSession();
    TGdiPlusSession(const TGdiPlusSession&) = delete;
    TGdiPlusSession& operator=(const TGdiPlusSession&) = delete;

    // False when GDI+ could not be started; nothing is drawn then.
    bool Ok() const noexcept;
};

} // namespace marquee
