#pragma once
// Owners for Win32 handles: one owner type per handle kind, each with its own invalid
// value and release call. Nothing in the program closes a handle by hand.

#include <windows.h>

#include <utility>

namespace base {

template <class Traits> class UniqueHandle
{
public:
    using Handle = typename Traits::Handle;

    constexpr UniqueHandle() noexcept = default;
    explicit UniqueHandle(Handle h) noexcept : FHandle(h) {}
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : FHandle(other.Release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept
    {
        Reset(other.Release());
        return *this;
    }
    ~UniqueHandle() { Reset(); }

    Handle Get() const noexcept { return FHandle; }
    bool Valid() const noexcept { return FHandle != Traits::Invalid(); }
    explicit operator bool() const noexcept { return Valid(); }

    Handle Release() noexcept { return std::exchange(FHandle, Traits::Invalid()); }
    void Reset(Handle h = Traits::Invalid()) noexcept
    {
        Handle old = std::exchange(FHandle, h);
        if (old != Traits::Invalid())
            Traits::Close(old);
    }

private:
    Handle FHandle = Traits::Invalid();
};

struct KernelHandleTraits
{
    using Handle = HANDLE;
    static constexpr Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { ::CloseHandle(h); }
};

struct FileHandleTraits
{
    using Handle = HANDLE;
    static Handle Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Handle h) noexcept { ::CloseHandle(h); }
};

struct FindHandleTraits
{
    using Handle = HANDLE;
    static Handle Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Handle h) noexcept { ::FindClose(h); }
};

struct GdiObjectTraits
{
    using Handle = HGDIOBJ;
    static constexpr Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { ::DeleteObject(h); }
};

struct MemoryDcTraits
{
    using Handle = HDC;
    static constexpr Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { ::DeleteDC(h); }
};

struct WindowTraits
{
    using Handle = HWND;
    static constexpr Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { ::DestroyWindow(h); }
};

struct ModuleTraits
{
    using Handle = HMODULE;
    static constexpr Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { ::FreeLibrary(h); }
};

struct RegistryKeyTraits
{
    using Handle = HKEY;
    static constexpr Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { ::RegCloseKey(h); }
};

struct MenuTraits
{
    using Handle = HMENU;
    static constexpr Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { ::DestroyMenu(h); }
};

struct GlobalMemoryTraits
{
    using Handle = HGLOBAL;
    static constexpr Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { ::GlobalFree(h); }
};

// A view of a file mapping (MapViewOfFile); the mapping itself is a KernelHandle.
struct MappedViewTraits
{
    using Handle = void*;
    static constexpr Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { ::UnmapViewOfFile(h); }
};

// Memory of VirtualAlloc (the whole allocation is released).
struct VirtualMemoryTraits
{
    using Handle = void*;
    static constexpr Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { ::VirtualFree(h, 0, MEM_RELEASE); }
};

// A block of the process heap.
struct HeapBlockTraits
{
    using Handle = void*;
    static constexpr Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { ::HeapFree(::GetProcessHeap(), 0, h); }
};

// Memory of LocalAlloc and of the functions that hand theirs out so (CommandLineToArgvW).
struct LocalMemoryTraits
{
    using Handle = HLOCAL;
    static constexpr Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { ::LocalFree(h); }
};

// A security identifier of AllocateAndInitializeSid.
struct SidTraits
{
    using Handle = PSID;
    static constexpr Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { ::FreeSid(h); }
};

using KernelHandle = UniqueHandle<KernelHandleTraits>;
using FileHandle = UniqueHandle<FileHandleTraits>;
using FindHandle = UniqueHandle<FindHandleTraits>;
using GdiObject = UniqueHandle<GdiObjectTraits>;
using MemoryDc = UniqueHandle<MemoryDcTraits>;
// A printer's device context (the print dialog's, CreateDC's): released with DeleteDC too.
using PrinterDc = UniqueHandle<MemoryDcTraits>;
using Window = UniqueHandle<WindowTraits>;
using Module = UniqueHandle<ModuleTraits>;
using RegistryKey = UniqueHandle<RegistryKeyTraits>;
using Menu = UniqueHandle<MenuTraits>;
using GlobalMemory = UniqueHandle<GlobalMemoryTraits>;
using MappedView = UniqueHandle<MappedViewTraits>;
using VirtualMemory = UniqueHandle<VirtualMemoryTraits>;
using HeapBlock = UniqueHandle<HeapBlockTraits>;
using LocalMemory = UniqueHandle<LocalMemoryTraits>;
using Sid = UniqueHandle<SidTraits>;

// A device context obtained with GetDC, given back with ReleaseDC.
class WindowDc
{
public:
    explicit WindowDc(HWND wnd) noexcept : FWnd(wnd), FDc(::GetDC(wnd)) {}
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    ~WindowDc()
    {
        if (FDc)
            ::ReleaseDC(FWnd, FDc);
    }
    HDC Get() const noexcept { return FDc; }

private:
    HWND FWnd;
    HDC FDc;
};

// An object selected into a device context for the lifetime of the owner; the previous
// object is selected back at the end.
class DcSelection
{
public:
    DcSelection(HDC dc, HGDIOBJ obj) noexcept : FDc(dc), FOld(obj ? ::SelectObject(dc, obj) : nullptr) {}
    DcSelection(const DcSelection&) = delete;
    DcSelection& operator=(const DcSelection&) = delete;
    ~DcSelection()
    {
        if (FOld)
            ::SelectObject(FDc, FOld);
    }

private:
    HDC FDc;
    HGDIOBJ FOld;
};

// Restores a device context's state (origin, clipping, objects) at the end of a scope.
class SavedDc
{
public:
    explicit SavedDc(HDC dc) : FDc(dc), FState(::SaveDC(dc)) {}
    SavedDc(const SavedDc&) = delete;
    SavedDc& operator=(const SavedDc&) = delete;
    ~SavedDc() { ::RestoreDC(FDc, FState); }

private:
    HDC FDc;
    int FState;
};

// A DIB section selected into a memory device context of its own: the bitmap is selected
// out again, then deleted, then the device context. Invalid when the system refused either.
class DibSection
{
public:
    DibSection() noexcept = default;
    explicit DibSection(const BITMAPINFO& info) noexcept
    {
        const WindowDc screen(nullptr);
        FDc.Reset(::CreateCompatibleDC(screen.Get()));
        if (!FDc)
            return;
        FBitmap.Reset(::CreateDIBSection(FDc.Get(), &info, DIB_RGB_COLORS, &FBits, nullptr, 0));
        if (FBitmap && FBits)
            FOld = ::SelectObject(FDc.Get(), FBitmap.Get());
        else
            FBits = nullptr;
    }
    DibSection(DibSection&& other) noexcept
        : FDc(std::move(other.FDc)), FBitmap(std::move(other.FBitmap)),
          FOld(std::exchange(other.FOld, nullptr)), FBits(std::exchange(other.FBits, nullptr))
    {
    }
    DibSection& operator=(DibSection other) noexcept
    {
        std::swap(FDc, other.FDc);
        std::swap(FBitmap, other.FBitmap);
        std::swap(FOld, other.FOld);
        std::swap(FBits, other.FBits);
        return *this;
    }
    ~DibSection()
    {
        if (FOld)
            ::SelectObject(FDc.Get(), FOld);
    }

    bool Valid() const noexcept { return FOld != nullptr; }
    HDC Dc() const noexcept { return FDc.Get(); }
    void* Bits() const noexcept { return FBits; }

private:
    MemoryDc FDc;
    GdiObject FBitmap;
    HGDIOBJ FOld = nullptr;
    void* FBits = nullptr;
};

// Holds a named mutex of the process (created on first use) for the lifetime of the owner.
class NamedMutexLock
{
public:
    // Waits at most `timeoutMs` (a mutex whose holder ended counts as had).
    explicit NamedMutexLock(const wchar_t* name, DWORD timeoutMs = INFINITE) noexcept
        : FMutex(::CreateMutexW(nullptr, FALSE, name))
    {
        const DWORD got = FMutex ? ::WaitForSingleObject(FMutex.Get(), timeoutMs) : WAIT_FAILED;
        FHeld = got == WAIT_OBJECT_0 || got == WAIT_ABANDONED;
    }
    NamedMutexLock(const NamedMutexLock&) = delete;
    NamedMutexLock& operator=(const NamedMutexLock&) = delete;
    ~NamedMutexLock()
    {
        if (FHeld)
            ::ReleaseMutex(FMutex.Get());
    }
    // False when the mutex could not be created or had in time.
    bool Held() const noexcept { return FHeld; }

private:
    KernelHandle FMutex;
    bool FHeld = false;
};

// A registered window class, unregistered when the owner ends.
class WindowClass
{
public:
    WindowClass() noexcept = default;
    WindowClass(const WNDCLASSEXW& wc) noexcept : FInstance(wc.hInstance), FAtom(::RegisterClassExW(&wc)) {}
    WindowClass(const WindowClass&) = delete;
    WindowClass& operator=(const WindowClass&) = delete;
    ~WindowClass()
    {
        if (FAtom)
            ::UnregisterClassW(reinterpret_cast<LPCWSTR>(static_cast<ULONG_PTR>(FAtom)), FInstance);
    }
    ATOM Atom() const noexcept { return FAtom; }
    LPCWSTR Name() const noexcept { return reinterpret_cast<LPCWSTR>(static_cast<ULONG_PTR>(FAtom)); }

private:
    HINSTANCE FInstance = nullptr;
    ATOM FAtom = 0;
};

} // namespace base
