#pragma once
// IVxBitmap: the crash reporter's one image type, a 32-bit bottom-up DIB section held in a
// memory device context; drawable, zoomable, savable as BMP or PNG. Screenshots of the whole
// screen or of the application's own visible windows (white elsewhere), with the cursor.

#include "base/com_ptr.h"
#include "base/com_unknown.h"
#include "crash/imaging/pixel_buffer.h"

#include <windows.h>

#include <string>

namespace crash {

// {3EE757B5-CC56-4610-A917-E8731737D5BE}
extern const GUID IID_IVxBitmap;

class IVxBitmap : public IUnknown
{
public:
    virtual int32_t STDMETHODCALLTYPE GetWidth() = 0;
    virtual int32_t STDMETHODCALLTYPE GetHeight() = 0;
    virtual bool STDMETHODCALLTYPE Draw(HDC dc, int32_t x, int32_t y) = 0;
    virtual std::string STDMETHODCALLTYPE AsBmpStr() = 0;
    // The 16-grey encoding turns the bitmap itself grey.
    virtual std::string STDMETHODCALLTYPE AsPngStr(TPngFormat format) = 0;
    virtual bool STDMETHODCALLTYPE SaveBmp(const std::wstring& bmpFile) = 0;
    virtual bool STDMETHODCALLTYPE SavePng(const std::wstring& pngFile, TPngFormat format) = 0;
    // A new bitmap scaled to fit width x height with this one's proportions; none when it
    // can't be made.
    virtual base::ComPtr<IVxBitmap> STDMETHODCALLTYPE Zoom(int32_t width, int32_t height) = 0;
    // The device context that holds the bitmap, for drawing into it.
    virtual HDC STDMETHODCALLTYPE DC() = 0;
};
inline const GUID& InterfaceId(const IVxBitmap*)
{
    return IID_IVxBitmap;
}

// A new white-less (zeroed) bitmap of width x height; none when it can't be made.
base::ComPtr<IVxBitmap> NewVxBitmap(int32_t width, int32_t height);
// The whole virtual screen, or only this process's visible window parts (white elsewhere),
// with the cursor drawn in; none when there is nothing to capture.
base::ComPtr<IVxBitmap> CaptureScreenShot(bool appOnly);
// A BMP file loaded through the system; none when it can't be.
base::ComPtr<IVxBitmap> LoadBitmapFile(const std::wstring& fileName);

} // namespace crash
