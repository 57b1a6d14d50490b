#pragma once
// Helpers of the framework's window and painting tests: pumping messages until a condition
// holds, and an off-screen 32-bit surface whose pixels a test reads.

#include "base/win_handle.h"
#include "framework/application.h"

#include <windows.h>

#include <cstdint>
#include <functional>

namespace framework::testing {

// Dispatches messages until done() holds or about five seconds have passed.
inline bool PumpUntil(const std::function<bool()>& done)
{
    const DWORD start = ::GetTickCount();
    while (!done()) {
        if (::GetTickCount() - start > 5000)
            return false;
        if (!Application()->HandleMessage())
            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    return true;
}

// A top-down 32-bit bitmap selected into a memory DC, cleared to one colour.
class TestSurface
{
public:
    TestSurface(int width, int height, COLORREF background = RGB(255, 255, 255))
        : FWidth(width), FHeight(height), FSection(TopDown(width, height)),
          FBits(static_cast<uint32_t*>(FSection.Bits()))
    {
        Clear(background);
    }
    HDC Dc() const noexcept { return FSection.Dc(); }
    int Width() const noexcept { return FWidth; }
    int Height() const noexcept { return FHeight; }
    void Clear(COLORREF colour)
    {
        ::GdiFlush();
        const uint32_t pixel = GetRValue(colour) << 16 | GetGValue(colour) << 8 | GetBValue(colour);
        for (int i = 0; i < FWidth * FHeight; ++i)
            FBits[i] = pixel;
    }
    // The pixel as a COLORREF (red in the low byte).
    COLORREF Pixel(int x, int y) const
    {
        ::GdiFlush();
        const uint32_t p = FBits[y * FWidth + x];
        return RGB(p >> 16 & 255, p >> 8 & 255, p & 255);
    }
    // The number of pixels of exactly this colour within the rectangle.
    int Count(COLORREF colour, RECT r) const
    {
        int n = 0;
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x)
                n += Pixel(x, y) == colour;
        return n;
    }
    int Count(COLORREF colour) const { return Count(colour, {0, 0, FWidth, FHeight}); }

private:
    static BITMAPINFO TopDown(int width, int height)
    {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        return info;
    }

    int FWidth, FHeight;
    base::DibSection FSection;
    uint32_t* FBits;
};

} // namespace framework::testing
