#pragma once
// The reference counting and interface lookup of the crash reporter's COM-style objects.
//
// An interface derives from IUnknown and names its identity through a function that
// argument-dependent lookup finds beside it:
//     extern const GUID IID_IMyInterface;
//     inline const GUID& InterfaceId(const IMyInterface*) { return IID_IMyInterface; }
// An interface that extends another also declares (without defining) its parent:
//     IMyInterface* ParentInterface(const IMyExtension*);
// An object derives from ComObject<IMyExtension, IOther...> and implements the interfaces'
// own operations; QueryInterface answers every listed interface, their parents, and
// IUnknown. The object starts with one reference and deletes itself with the last.

#include "base/com_ptr.h"
#include "base/com_unknown.h"

#include <atomic>

namespace base {

template <class First, class... Rest> class ComObject : public First, public Rest...
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
        *object = IsEqualGUID(iid, IID_IUnknown) ? static_cast<IUnknown*>(static_cast<First*>(this))
                                                 : Find<First, Rest...>(iid);
        if (!*object)
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++FRefCount; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const ULONG left = --FRefCount;
        if (left == 0)
            delete this;
        return left;
    }
    // The references held now: 1 when the caller's is the only one left.
    ULONG References() const { return FRefCount.load(); }

private:
    // The interface `I` (or one of its parents) of this object when it is `iid`.
    template <class I> static void* Search(I* self, REFIID iid)
    {
        if (IsEqualGUID(iid, InterfaceId(static_cast<const I*>(nullptr))))
            return self;
        if constexpr (requires { ParentInterface(static_cast<const I*>(nullptr)); })
            return Search(static_cast<decltype(ParentInterface(static_cast<const I*>(nullptr)))>(self), iid);
        return nullptr;
    }
    template <class I, class... More> void* Find(REFIID iid)
    {
        if (void* found = Search(static_cast<I*>(this), iid))
            return found;
        if constexpr (sizeof...(More) > 0)
            return Find<More...>(iid);
        return nullptr;
    }

    std::atomic<ULONG> FRefCount{1};
};

// The interface I of `object` (a reference of its own), or null when it has none.
template <class I, class U> ComPtr<I> Query(U* object)
{
    void* found = nullptr;
    if (object && object->QueryInterface(InterfaceId(static_cast<const I*>(nullptr)), &found) == S_OK)
        return ComPtr<I>::Adopt(static_cast<I*>(found));
    return nullptr;
}

} // namespace base
