#pragma once
// IUnknown and the few COM names the crash reporter's interfaces are built on. On Windows
// they are the system's. The host build of the platform-free code gets stand-ins of the same
// shape, so that one interface declaration compiles in both builds; nothing on the host
// crosses a process or module boundary through them.

#ifdef _WIN32

#include <unknwn.h>
#include <windows.h>

#else

#include <cstdint>
#include <cstring>

using HRESULT = int32_t;
using ULONG = uint32_t;

struct GUID
{
    uint32_t Data1;
    uint16_t Data2, Data3;
    uint8_t Data4[8];
};
using REFIID = const GUID&;

#define STDMETHODCALLTYPE

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
inline constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
inline constexpr GUID IID_IUnknown = {0, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

inline bool IsEqualGUID(const GUID& a, const GUID& b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

class IUnknown
{
public:
    virtual HRESULT QueryInterface(REFIID iid, void** object) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    ~IUnknown() = default;
};

#endif
