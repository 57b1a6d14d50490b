#pragma once
// The reference counting and interface lookup of the crash reporter's COM-style objects:
// derive from ComObject<IMyInterface, IID_IMyInterface> and implement the interface's own
// operations. The object starts with one reference and deletes itself with the last.

#include <unknwn.h>
#include <windows.h>

#include <atomic>

namespace base {

template <class Interface, const GUID& Iid> class ComObject : public Interface
{
public:
    ComObject() = default;
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;
    virtual ~ComObject() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        if (::IsEqualGUID(iid, IID_IUnknown) || ::IsEqualGUID(iid, Iid)) {
            *object = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++FRefCount; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const ULONG left = --FRefCount;
        if (left == 0)
            delete this;
        return left;
    }

private:
    std::atomic<ULONG> FRefCount{1};
};

} // namespace base
