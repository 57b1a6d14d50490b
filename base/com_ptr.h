#pragma once
// An owner of one reference to a reference-counted interface (AddRef/Release), as the crash
// reporter hands its objects out.

#include <utility>

namespace base {

template <class T> class ComPtr
{
public:
    ComPtr() noexcept = default;
    // Takes over a reference the caller already holds.
    static ComPtr Adopt(T* p) noexcept
    {
        ComPtr c;
        c.FPtr = p;
        return c;
    }
    ComPtr(const ComPtr& other) noexcept : FPtr(other.FPtr)
    {
        if (FPtr)
            FPtr->AddRef();
    }
    ComPtr(ComPtr&& other) noexcept : FPtr(std::exchange(other.FPtr, nullptr)) {}
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
    explicit operator bool() const noexcept { return FPtr != nullptr; }

private:
    T* FPtr = nullptr;
};

} // namespace base
