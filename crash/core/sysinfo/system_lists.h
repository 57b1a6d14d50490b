#pragma once
// The text of the report's "modules", "processes" and "hardware" sections from their
// entries: lines joined by CRLF, in columns as wide as their longest entry. Platform-free;
// the entries come from the system (system_lists_win.h) or a test.

#include <cstdint>
#include <string>
#include <vector>

namespace crash {

struct TModuleEntry
{
    uint32_t Handle = 0;    // the load address
    std::u16string Name;    // the file name without its folder
    std::u16string Path;    // the folder, with its trailing backslash
    std::u16string Version; // the file version, empty when the file has none
};

struct TProcessEntry
{
    std::u16string Name; // the file name without its folder
    std::u16string Path; // the folder without a trailing backslash; empty when unknown
    uint32_t Id = 0;
    uint32_t SessionId = 0;
    int32_t PriorityClass = -1; // -1 when unknown
    uint32_t GdiObjects = 0, UserObjects = 0;
};

struct TDevice
{
    std::u16string Name;
    std::u16string DriverVersion; // empty: no version is shown
};

struct TDeviceClass
{
    std::u16string Name;
    std::vector<TDevice> Devices;
};

// Device classes and their devices, both kept sorted case-insensitively; devices of
// classes of equal names share the class.
class THardwareList
{
public:
    void Add(const std::u16string& className, TDevice device);
    const std::vector<TDeviceClass>& Classes() const noexcept { return FClasses; }

private:
    std::vector<TDeviceClass> FClasses;
};

std::u16string ModulesText(const std::vector<TModuleEntry>& modules);
std::u16string ProcessesText(const std::vector<TProcessEntry>& processes);
std::u16string HardwareText(const THardwareList& hardware);

// "idle", "below normal", "normal", "above normal", "high", "realtime"; empty for 0 or
// unknown (negative); any other value as a decimal number.
std::u16string PriorityText(int32_t priorityClass);

// The driver version a device line shows: empty unless the provider is named, doesn't
// start with "(" and isn't "Microsoft"; else DriverVersion, else DriverDate, trimmed.
std::u16string ShownDriverVersion(const std::u16string& provider, const std::u16string& version,
                                  const std::u16string& date);

} // namespace crash
