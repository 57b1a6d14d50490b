#include "base/win_handle.h"
#include "crash/core/sysinfo/os_description_win.h"
#include "crash/core/sysinfo/system_lists_win.h"

#include <setupapi.h>

#include <vector>

namespace crash {
namespace {

constexpr wchar_t ClassKeys[] = L"System\\CurrentControlSet\\Control\\Class\\";

// A device information set, destroyed with its owner.
class DeviceInfoSet
{
public:
    explicit DeviceInfoSet(HDEVINFO set) noexcept : FSet(set) {}
    ~DeviceInfoSet()
    {
        if (FSet != INVALID_HANDLE_VALUE)
            ::SetupDiDestroyDeviceInfoList(FSet);
    }
    DeviceInfoSet(const DeviceInfoSet&) = delete;
    DeviceInfoSet& operator=(const DeviceInfoSet&) = delete;
    HDEVINFO Get() const noexcept { return FSet; }
    explicit operator bool() const noexcept { return FSet != INVALID_HANDLE_VALUE; }

private:
    HDEVINFO FSet;
};

// A text property of a device (the first string of a list); empty when it has none.
std::wstring DeviceText(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property)
{
    DWORD type = 0, size = 0;
    ::SetupDiGetDeviceRegistryPropertyW(set, &device, property, &type, nullptr, 0, &size);
    if (size == 0)
        return {};
    std::vector<wchar_t> text(size / sizeof(wchar_t) + 2, 0);
    if (!::SetupDiGetDeviceRegistryPropertyW(set, &device, property, &type,
                                             reinterpret_cast<BYTE*>(text.data()), size, nullptr) ||
        (type != REG_SZ && type != REG_MULTI_SZ && type != REG_EXPAND_SZ))
        return {};
    return text.data();
}

// A value of a registry key: the text (nothing unless a string), or the 4-byte number.
std::wstring KeyText(HKEY key, const wchar_t* name)
{
    DWORD type = 0, size = 0;
    if (::RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ) || size == 0)
        return {};
    std::vector<wchar_t> text(size / sizeof(wchar_t) + 1, 0);
    if (::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &size) !=
        ERROR_SUCCESS)
        return {};
    return text.data();
}

bool KeyNumber(HKEY key, const wchar_t* name, DWORD& value)
{
    DWORD type = 0, size = sizeof value;
    return ::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) ==
               ERROR_SUCCESS &&
           type == REG_DWORD && size == sizeof value;
}

base::RegistryKey OpenKey(HKEY root, const std::wstring& path)
{
    HKEY key = nullptr;
    if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return {};
    return base::RegistryKey(key);
}

std::wstring GuidText(const GUID& g)
{
    wchar_t text[40];
    swprintf(text, 40, L"{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.Data1, g.Data2, g.Data3,
             g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return text;
}

bool SameText(const std::wstring& a, const wchar_t* b)
{
    return ::CompareStringOrdinal(a.c_str(), -1, b, -1, TRUE) == CSTR_EQUAL;
}

} // namespace

THardwareList CollectHardware(HKEY classRoot)
{
    THardwareList hardware;
    DeviceInfoSet set(::SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES));
    if (!set)
        return hardware;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; ::SetupDiEnumDeviceInfo(set.Get(), i, &device); ++i) {
        const std::wstring className = DeviceText(set.Get(), device, SPDRP_CLASS);
        if (className.empty() || SameText(className, L"LegacyDriver") || SameText(className, L"Unknown") ||
            SameText(className, L"Volume"))
            continue;
        const std::wstring hardwareId = DeviceText(set.Get(), device, SPDRP_HARDWAREID);
        if (hardwareId.size() >= 3 && SameText(hardwareId.substr(0, 3), L"sw\\"))
            continue;
        std::wstring classTitle;
        if (base::RegistryKey cls = OpenKey(classRoot, ClassKeys + GuidText(device.ClassGuid)))
            classTitle = KeyText(cls.Get(), nullptr);
        if (classTitle.empty())
            classTitle = className;
        std::wstring name = DeviceText(set.Get(), device, SPDRP_FRIENDLYNAME);
        if (name.empty())
            name = DeviceText(set.Get(), device, SPDRP_DEVICEDESC);
        TDevice entry{AsU16(name), {}};
        const std::wstring driver = DeviceText(set.Get(), device, SPDRP_DRIVER);
        if (!driver.empty()) {
            if (base::RegistryKey key = OpenKey(classRoot, ClassKeys + driver)) {
                DWORD characteristics = 0;
                if (KeyNumber(key.Get(), L"Characteristics", characteristics) && (characteristics & 8))
                    continue; // a hidden device
                entry.DriverVersion = ShownDriverVersion(AsU16(KeyText(key.Get(), L"ProviderName")),
                                                         AsU16(KeyText(key.Get(), L"DriverVersion")),
                                                         AsU16(KeyText(key.Get(), L"DriverDate")));
            }
        }
        hardware.Add(AsU16(classTitle), std::move(entry));
    }
    return hardware;
}

THardwareList CollectHardware9x(HKEY configManagerEnum, HKEY machine)
{
    constexpr wchar_t ServiceClasses[] = L"System\\CurrentControlSet\\Services\\Class\\";
    THardwareList hardware;
    wchar_t entryName[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = 256;
        if (::RegEnumKeyExW(configManagerEnum, i, entryName, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        base::RegistryKey entry = OpenKey(configManagerEnum, entryName);
        DWORD problem = 0;
        if (!entry || (KeyNumber(entry.Get(), L"Problem", problem) && problem != 0))
            continue;
        const std::wstring hardwareKey = KeyText(entry.Get(), L"HardWareKey");
        std::wstring upper = hardwareKey;
        for (wchar_t& c : upper)
            c = static_cast<wchar_t>(towupper(c));
        if (hardwareKey.empty() || (L"\\" + upper).find(L"\\SWENUM\\") != std::wstring::npos)
            continue;
        base::RegistryKey device = OpenKey(machine, L"Enum\\" + hardwareKey);
        if (!device)
            continue;
        const std::wstring className = KeyText(device.Get(), L"Class");
        if (className.empty() || SameText(className, L"NetClient") || SameText(className, L"NetService") ||
            SameText(className, L"NetTrans"))
            continue;
        std::wstring classTitle;
        if (base::RegistryKey cls = OpenKey(machine, ServiceClasses + className))
            classTitle = KeyText(cls.Get(), nullptr);
        if (classTitle.empty())
            classTitle = className;
        std::wstring name = KeyText(device.Get(), L"DeviceDesc");
        const std::wstring drive = KeyText(device.Get(), L"CurrentDriveLetterAssignment");
        if (!drive.empty())
            name = L"[" + drive.substr(0, 1) + L":] " + name;
        TDevice entryOut{AsU16(name), {}};
        const std::wstring driver = KeyText(device.Get(), L"Driver");
        if (!driver.empty()) {
            if (base::RegistryKey key = OpenKey(machine, ServiceClasses + driver))
                entryOut.DriverVersion = ShownDriverVersion(AsU16(KeyText(key.Get(), L"ProviderName")),
                                                            AsU16(KeyText(key.Get(), L"DriverVersion")),
                                                            AsU16(KeyText(key.Get(), L"DriverDate")));
        }
        hardware.Add(AsU16(classTitle), std::move(entryOut));
    }
    return hardware;
}

std::wstring HardwareListText()
{
    if (OperatingSystem().win9x) {
        // The configuration manager lists the devices of the current configuration.
        base::RegistryKey enumKey = OpenKey(HKEY_DYN_DATA, L"Config Manager\\Enum");
        return enumKey ? AsWide(HardwareText(CollectHardware9x(enumKey.Get(), HKEY_LOCAL_MACHINE)))
                       : std::wstring();
    }
    return AsWide(HardwareText(CollectHardware()));
}

} // namespace crash
