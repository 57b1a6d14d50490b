#include "controls/marquee/gdiplus_session.h"

#include <mutex>

namespace marquee {
namespace {

std::mutex SessionLock;
int Holders = 0;
ULONG_PTR Token = 0;
bool Started = false;

} // namespace

TGdiPlusSession::TGdiPlusSession()
{
    std::lock_guard lock(SessionLock);
    if (Holders++ == 0) {
        Gdiplus::GdiplusStartupInput input;
        Started = Gdiplus::GdiplusStartup(&Token, &input, nullptr) == Gdiplus::Ok;
    }
}

TGdiPlusSession::~TGdiPlusSession()
{
    std::lock_guard lock(SessionLock);
    if (--Holders == 0 && Started) {
        Gdiplus::GdiplusShutdown(Token);
        Started = false;
    }
}

bool TGdiPlusSession::Ok() const noexcept
{
    std::lock_guard lock(SessionLock);
    return Started;
}

} // namespace marquee
