#include "crash/imaging/vx_bitmap.h"

#include "base/com_object.h"
#include "base/proc_address.h"
#include "base/win_handle.h"

#include <atomic>
#include <cstring>

namespace crash {

const GUID IID_IVxBitmap = {0x3EE757B5, 0xCC56, 0x4610, {0xA9, 0x17, 0xE8, 0x73, 0x17, 0x37, 0xD5, 0xBE}};

namespace {

class TIVxBitmap final : public base::ComObject<IVxBitmap>
{
public:
    // A bitmap of the header's size; Valid() tells whether the system made it.
    explicit TIVxBitmap(const BITMAPINFOHEADER& bih)
        : FBIH(bih), FDib(reinterpret_cast<const BITMAPINFO&>(FBIH)),
          FBits(static_cast<uint32_t*>(FDib.Bits()))
    {
    }
    bool Valid() const { return FDib.Valid(); }

    int32_t STDMETHODCALLTYPE GetWidth() override { return FBIH.biWidth; }
    int32_t STDMETHODCALLTYPE GetHeight() override { return FBIH.biHeight; }
    HDC STDMETHODCALLTYPE DC() override { return FDib.Dc(); }

    bool STDMETHODCALLTYPE Draw(HDC dc, int32_t x, int32_t y) override
    {
        return ::BitBlt(dc, x, y, FBIH.biWidth, FBIH.biHeight, FDib.Dc(), 0, 0, SRCCOPY) != FALSE;
    }

    std::string STDMETHODCALLTYPE AsBmpStr() override { return crash::AsBmpStr(Pixels()); }

    std::string STDMETHODCALLTYPE AsPngStr(TPngFormat format) override
    {
        TPixelBuffer pixels = Pixels();
        std::string png = crash::AsPngStr(pixels, format);
        // The grey encoding changes the pixels; the bitmap follows.
        ::GdiFlush();
        std::memcpy(FBits, pixels.Pixels.data(), pixels.Pixels.size() * 4);
        return png;
    }

    bool STDMETHODCALLTYPE SaveBmp(const std::wstring& file) override { return Save(file, AsBmpStr()); }
    bool STDMETHODCALLTYPE SavePng(const std::wstring& file, TPngFormat format) override
    {
        const std::string png = AsPngStr(format);
        return !png.empty() && Save(file, png);
    }

    base::ComPtr<IVxBitmap> STDMETHODCALLTYPE Zoom(int32_t width, int32_t height) override
    {
        if (width <= 0 || height <= 0)
            return {};
        FitZoom(FBIH.biWidth, FBIH.biHeight, width, height);
        base::ComPtr<IVxBitmap> zoomed = NewVxBitmap(width, height);
        if (!zoomed)
            return {};
        const TPixelBuffer scaled = Resample(Pixels(), width, height);
        auto* target = static_cast<TIVxBitmap*>(zoomed.Get());
        ::GdiFlush();
        std::memcpy(target->FBits, scaled.Pixels.data(), scaled.Pixels.size() * 4);
        return zoomed;
    }

private:
    TPixelBuffer Pixels() const
    {
        ::GdiFlush();
        TPixelBuffer pixels(FBIH.biWidth, FBIH.biHeight);
        std::memcpy(pixels.Pixels.data(), FBits, pixels.Pixels.size() * 4);
        return pixels;
    }

    static bool Save(const std::wstring& file, const std::string& bytes)
    {
        bool ok;
        {
            base::FileHandle out(::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                               FILE_ATTRIBUTE_NORMAL, nullptr));
            if (!out)
                return false;
            DWORD written = 0;
            ok = ::WriteFile(out.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                 written == bytes.size();
        }
        if (!ok)
            ::DeleteFileW(file.c_str());
        return ok;
    }

    BITMAPINFOHEADER FBIH;
    base::DibSection FDib;
    uint32_t* FBits;
};

bool Visible(HWND wnd, RECT& r)
{
    if (!::IsWindowVisible(wnd) || ::IsIconic(wnd) || !::GetWindowRect(wnd, &r))
        return false;
    return !(r.left >= r.right && r.top >= r.bottom);
}

struct AppWindows
{
    std::vector<HWND> List;
};

BOOL CALLBACK CollectAppWindow(HWND wnd, LPARAM param)
{
    DWORD pid = 0;
    ::GetWindowThreadProcessId(wnd, &pid);
    RECT r;
    if (pid == ::GetCurrentProcessId() && Visible(wnd, r))
        reinterpret_cast<AppWindows*>(param)->List.push_back(wnd);
    return TRUE;
}

void DrawCursor(HDC dc, int originX, int originY)
{
    using GetCursorInfoFn = BOOL(WINAPI*)(PCURSORINFO);
    auto getInfo = base::ProcAddress<GetCursorInfoFn>(::GetModuleHandleW(L"user32.dll"), "GetCursorInfo");
    CURSORINFO info{};
    info.cbSize = sizeof(info);
    HCURSOR cursor = nullptr;
    POINT position{};
    if (getInfo && getInfo(&info)) {
        if (!(info.flags & CURSOR_SHOWING))
            return;
        cursor = info.hCursor;
        position = info.ptScreenPos;
    } else if (::GetCursorPos(&position)) {
        const DWORD other = ::GetWindowThreadProcessId(::WindowFromPoint(position), nullptr);
        const DWORD self = ::GetCurrentThreadId();
        const bool attached = other && other != self && ::AttachThreadInput(self, other, TRUE);
        cursor = ::GetCursor();
        if (attached)
            ::AttachThreadInput(self, other, FALSE);
    }
    if (!cursor)
        return;
    ICONINFO icon{};
    if (::GetIconInfo(cursor, &icon)) {
        position.x -= static_cast<LONG>(icon.xHotspot);
        position.y -= static_cast<LONG>(icon.yHotspot);
        // The icon's bitmaps are copies that the caller owns.
        const base::GdiObject mask(icon.hbmMask), colour(icon.hbmColor);
    }
    ::DrawIconEx(dc, position.x - originX, position.y - originY, cursor, 0, 0, 0, nullptr, DI_NORMAL);
}

// The rectangle (x, y, w, h) of `source` in a new bitmap: with appOnly only this process's
// visible window parts, white elsewhere; with the cursor when asked.
base::ComPtr<IVxBitmap> Grab(HDC source, int x, int y, int w, int h, bool appOnly, bool cursor)
{
    base::GdiObject region;
    if (appOnly) {
        AppWindows windows;
        ::EnumWindows(&CollectAppWindow, reinterpret_cast<LPARAM>(&windows));
        RECT area{};
        bool any = false;
        for (HWND wnd : windows.List) {
            RECT r;
            Visible(wnd, r);
            ::OffsetRect(&r, -x, -y);
            if (any)
                ::UnionRect(&area, &area, &r);
            else
                area = r;
            any = true;
        }
        if (!any)
            return {};
        const RECT all{0, 0, w, h};
        if (!::IntersectRect(&area, &area, &all))
            return {};
        x += area.left;
        y += area.top;
        w = area.right - area.left;
        h = area.bottom - area.top;
        for (HWND wnd : windows.List) {
            RECT r;
            Visible(wnd, r);
            ::OffsetRect(&r, -x, -y);
            base::GdiObject part(::CreateRectRgnIndirect(&r));
            // Everything above it in the z-order, of any process, hides it.
            for (HWND above = ::GetWindow(wnd, GW_HWNDPREV); above; above = ::GetWindow(above, GW_HWNDPREV)) {
                RECT a;
                if (!Visible(above, a))
                    continue;
                ::OffsetRect(&a, -x, -y);
                base::GdiObject cover(::CreateRectRgnIndirect(&a));
                ::CombineRgn(static_cast<HRGN>(part.Get()), static_cast<HRGN>(part.Get()),
                             static_cast<HRGN>(cover.Get()), RGN_DIFF);
            }
            if (!region)
                region = std::move(part);
            else
                ::CombineRgn(static_cast<HRGN>(region.Get()), static_cast<HRGN>(region.Get()),
                             static_cast<HRGN>(part.Get()), RGN_OR);
        }
        RECT box;
        if (!region || ::GetRgnBox(static_cast<HRGN>(region.Get()), &box) == NULLREGION)
            return {};
    }
    base::ComPtr<IVxBitmap> bitmap = NewVxBitmap(w, h);
    if (!bitmap)
        return {};
    HDC dc = bitmap->DC();
    if (region) {
        const RECT all{0, 0, w, h};
        ::FillRect(dc, &all, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
        ::SelectClipRgn(dc, static_cast<HRGN>(region.Get()));
    }
    const bool copied = ::BitBlt(dc, 0, 0, w, h, source, x, y, SRCCOPY) != FALSE;
    ::SelectClipRgn(dc, nullptr);
    if (!copied)
        return {};
    if (cursor)
        DrawCursor(dc, x, y);
    return bitmap;
}

} // namespace

base::ComPtr<IVxBitmap> NewVxBitmap(int32_t width, int32_t height)
{
    if (width <= 0 || height <= 0)
        return {};
    BITMAPINFOHEADER bih{};
    bih.biSize = sizeof(bih);
    bih.biWidth = width;
    bih.biHeight = height;
    bih.biPlanes = 1;
    bih.biBitCount = 32;
    bih.biCompression = BI_RGB;
    bih.biSizeImage = static_cast<DWORD>(width) * static_cast<DWORD>(height) * 4;
    auto* bitmap = new TIVxBitmap(bih);
    base::ComPtr<IVxBitmap> owner = base::ComPtr<IVxBitmap>::Adopt(bitmap);
    return bitmap->Valid() ? owner : base::ComPtr<IVxBitmap>();
}

base::ComPtr<IVxBitmap> CaptureScreenShot(bool appOnly)
{
    base::MemoryDc display(::CreateDCW(L"DISPLAY", nullptr, nullptr, nullptr));
    if (!display)
        return {};
    int x = 0, y = 0, w, h;
    if (::GetSystemMetrics(SM_CMONITORS) > 0) {
        x = ::GetSystemMetrics(SM_XVIRTUALSCREEN);
        y = ::GetSystemMetrics(SM_YVIRTUALSCREEN);
        w = ::GetSystemMetrics(SM_CXVIRTUALSCREEN);
        h = ::GetSystemMetrics(SM_CYVIRTUALSCREEN);
    } else {
        w = ::GetDeviceCaps(display.Get(), HORZRES);
        h = ::GetDeviceCaps(display.Get(), VERTRES);
    }
    // The display context's coordinates start at the virtual screen's origin.
    return Grab(display.Get(), x, y, w, h, appOnly, true);
}

base::ComPtr<IVxBitmap> LoadBitmapFile(const std::wstring& fileName)
{
    base::GdiObject loaded(
        ::LoadImageW(nullptr, fileName.c_str(), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION | LR_LOADFROMFILE));
    if (!loaded)
        return {};
    BITMAP info{};
    if (!::GetObjectW(loaded.Get(), sizeof(info), &info))
        return {};
    base::WindowDc screen(nullptr);
    base::MemoryDc dc(::CreateCompatibleDC(screen.Get()));
    if (!dc)
        return {};
    base::DcSelection select(dc.Get(), loaded.Get());
    return Grab(dc.Get(), 0, 0, info.bmWidth, info.bmHeight < 0 ? -info.bmHeight : info.bmHeight, false,
                false);
}

} // namespace crash
