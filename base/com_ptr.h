#pragma once
// An owner of one reference to a reference-counted interface (AddRef/Release), as the crash
// reporter hands its objects out. The one ownership model of the reporter's objects.

#include <type_traits>
#include <utility>

namespace base {

template <class T> class ComPtr
{
public:
    ComPtr() noexcept = default;
    ComPtr(std::nullptr_t) noexcept {}
    // Takes over a reference the caller already holds.
    static ComPtr Adopt(T* p) noexcept
    {
        ComPtr c;
        c.FPtr = p;
        return c;
    }
    // Takes a reference of its own to an object that someone else keeps alive.
    static ComPtr Share(T* p) noexcept
    {
        if (p)
            p->AddRef();
        return Adopt(p);
    }
    ComPtr(const ComPtr& other) noexcept : FPtr(other.FPtr)
    {
        if (FPtr)
            FPtr->AddRef();
    }
    ComPtr(ComPtr&& other) noexcept : FPtr(std::exchange(other.FPtr, nullptr)) {}
    // From a pointer to a derived object or interface.
    template <class U>
    requires std::is_convertible_v<U*, T*> ComPtr(const ComPtr<U>& other)
    noexcept : FPtr(other.Get())
    {
        if (FPtr)
            FPtr->AddRef();
    }
    ComPtr& operator=(ComPtr other) noexcept
    {
        std::swap(FPtr, other.FPtr);
        return *this;
    }
    ~ComPtr() { Reset(); }

    void Reset() noexcept
    {
        if (T* p = std::exchange(FPtr, nullptr))
            p->Release();
    }
    T* Get() const noexcept { return FPtr; }
    T* operator->() const noexcept { return FPtr; }
    T& operator*() const noexcept { return *FPtr; }
    explicit operator bool() const noexcept { return FPtr != nullptr; }
    friend bool operator==(const ComPtr& a, const ComPtr& b) noexcept { return a.FPtr == b.FPtr; }

private:
    T* FPtr = nullptr;
};

// A new object of type T (a ComObject, which starts with one reference).
template <class T, class... Args> ComPtr<T> MakeCom(Args&&... args)
{
    return ComPtr<T>::Adopt(new T(std::forward<Args>(args)...));
}

} // namespace base
