#pragma once
// The progress alert: a small always-on-top window with a line of text, an optional 32 x 32
// image and a progress bar. A job is divided into weighted areas; the caller moves through
// them and sets the position (0 to 1000) within the current one. The user cannot close the
// alert; it may be driven from a worker thread while the thread that showed it pumps its
// messages. It is a native window of its own class, not built from the control library.

#include "base/com_ptr.h"
#include "base/com_unknown.h"

#include <windows.h>

#include <cstdint>
#include <string>

namespace crash {

// {45B8448C-47B8-4F1C-886E-95ED5FD41E5F}
extern const GUID IID_IProgressAlert;

class IProgressAlert : public IUnknown
{
public:
    virtual std::wstring STDMETHODCALLTYPE GetTitle() = 0;
    virtual void STDMETHODCALLTYPE SetTitle(const std::wstring& value) = 0;
    virtual int32_t STDMETHODCALLTYPE GetPosition() = 0;
    virtual void STDMETHODCALLTYPE SetPosition(int32_t value) = 0;
    virtual void STDMETHODCALLTYPE AddArea(int64_t weight, const std::wstring& text) = 0;
    virtual void STDMETHODCALLTYPE ClearAreas() = 0;
    virtual void STDMETHODCALLTYPE AreaDone() = 0;
    virtual int32_t STDMETHODCALLTYPE GetCurrentArea() = 0;
    virtual void STDMETHODCALLTYPE SetCurrentArea(int32_t value) = 0;
    virtual void STDMETHODCALLTYPE ProcessMessages() = 0;
    // Creates and shows the window; false when it was already shown.
    virtual bool STDMETHODCALLTYPE Show(HWND parentWindow, bool activate) = 0;
    virtual void STDMETHODCALLTYPE Close() = 0;
};
inline const GUID& InterfaceId(const IProgressAlert*)
{
    return IID_IProgressAlert;
}

// Shows nothing yet; the window exists only between Show and Close. The image is the
// RT_BITMAP resource `imageName` of `imageModule` (32 x 32, 32-bit with alpha), if any.
base::ComPtr<IProgressAlert> CreateProgressAlert(const std::wstring& title, HMODULE imageModule,
                                                 const std::wstring& imageName);

} // namespace crash
