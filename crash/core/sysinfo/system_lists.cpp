#include "crash/core/sysinfo/system_lists.h"

#include "base/ascii_case.h"

#include <algorithm>

namespace crash {
namespace {

std::u16string Ascii(const char* text)
{
    return std::u16string(text, text + std::char_traits<char>::length(text));
}

std::u16string Decimal(uint64_t v)
{
    return Ascii(std::to_string(v).c_str());
}

std::u16string Hex(uint32_t v, size_t width)
{
    static constexpr char Digits[] = "0123456789abcdef";
    std::u16string text;
    do {
        text.insert(text.begin(), static_cast<char16_t>(Digits[v & 15]));
        v >>= 4;
    } while (v);
    if (text.size() < width)
        text.insert(0, width - text.size(), u'0');
    return text;
}

void PadTo(std::u16string& line, const std::u16string& field, size_t width)
{
    line += field;
    if (field.size() < width)
        line.append(width - field.size(), u' ');
}

std::u16string Join(const std::vector<std::u16string>& lines)
{
    std::u16string text;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i)
            text += u"\r\n";
        text += lines[i];
    }
    return text;
}

std::u16string Trim(const std::u16string& s)
{
    const size_t first = s.find_first_not_of(u" \t\r\n");
    if (first == std::u16string::npos)
        return {};
    return s.substr(first, s.find_last_not_of(u" \t\r\n") - first + 1);
}

} // namespace

void THardwareList::Add(const std::u16string& className, TDevice device)
{
    // A new entry goes before the first entry that compares greater or equal.
    auto cls = std::find_if(FClasses.begin(), FClasses.end(), [&](const TDeviceClass& c) {
        return base::AsciiCompareIgnoringCase<char16_t>(c.Name, className) >= 0;
    });
    if (cls == FClasses.end() || base::AsciiCompareIgnoringCase<char16_t>(cls->Name, className) != 0)
        cls = FClasses.insert(cls, TDeviceClass{className, {}});
    auto& devices = cls->Devices;
    auto at = std::find_if(devices.begin(), devices.end(), [&](const TDevice& d) {
        return base::AsciiCompareIgnoringCase<char16_t>(d.Name, device.Name) >= 0;
    });
    devices.insert(at, std::move(device));
}

std::u16string ModulesText(const std::vector<TModuleEntry>& modules)
{
    size_t nameWidth = 0, versionWidth = 0;
    for (const TModuleEntry& m : modules) {
        nameWidth = std::max(nameWidth, m.Name.size());
        versionWidth = std::max(versionWidth, m.Version.size());
    }
    std::vector<std::u16string> lines;
    for (const TModuleEntry& m : modules) {
        std::u16string line = Hex(m.Handle, 8) + u' ';
        PadTo(line, m.Name, nameWidth + 1);
        PadTo(line, m.Version, versionWidth + 1);
        line += m.Path;
        lines.push_back(std::move(line));
    }
    return Join(lines);
}

std::u16string PriorityText(int32_t priorityClass)
{
    switch (priorityClass) {
    case 0x40:
        return u"idle";
    case 0x4000:
        return u"below normal";
    case 0x20:
        return u"normal";
    case 0x8000:
        return u"above normal";
    case 0x80:
        return u"high";
    case 0x100:
        return u"realtime";
    default:
        return priorityClass > 0 ? Decimal(static_cast<uint64_t>(priorityClass)) : std::u16string();
    }
}

std::u16string ProcessesText(const std::vector<TProcessEntry>& processes)
{
    size_t idWidth = 1, nameWidth = 0, sessionWidth = 0, gdiWidth = 0, userWidth = 0, priorityWidth = 0;
    for (const TProcessEntry& p : processes) {
        idWidth = std::max(idWidth, Hex(p.Id, 0).size());
        nameWidth = std::max(nameWidth, p.Name.size());
        if (p.SessionId != 0)
            sessionWidth = std::max(sessionWidth, Decimal(p.SessionId).size());
        gdiWidth = std::max(gdiWidth, Decimal(p.GdiObjects).size());
        userWidth = std::max(userWidth, Decimal(p.UserObjects).size());
        priorityWidth = std::max(priorityWidth, PriorityText(p.PriorityClass).size());
    }
    std::vector<std::u16string> lines;
    for (const TProcessEntry& p : processes) {
        std::u16string line = Hex(p.Id, idWidth) + u' ';
        PadTo(line, p.Name, nameWidth + 1);
        if (sessionWidth > 0)
            PadTo(line, Decimal(p.SessionId), sessionWidth + 1);
        PadTo(line, Decimal(p.GdiObjects), gdiWidth + 1);
        PadTo(line, Decimal(p.UserObjects), userWidth + 1);
        PadTo(line, PriorityText(p.PriorityClass), priorityWidth + 1);
        line += p.Path;
        lines.push_back(std::move(line));
    }
    return Join(lines);
}

std::u16string HardwareText(const THardwareList& hardware)
{
    std::vector<std::u16string> lines;
    for (const TDeviceClass& c : hardware.Classes()) {
        lines.push_back(u"+ " + c.Name);
        for (const TDevice& d : c.Devices) {
            std::u16string line = u"  - " + d.Name;
            if (!d.DriverVersion.empty())
                line += u" (driver " + d.DriverVersion + u")";
            lines.push_back(std::move(line));
        }
    }
    return Join(lines);
}

std::u16string ShownDriverVersion(const std::u16string& provider, const std::u16string& version,
                                  const std::u16string& date)
{
    if (provider.empty() || provider[0] == u'(' || provider == u"Microsoft")
        return {};
    const std::u16string v = Trim(version);
    return v.empty() ? Trim(date) : v;
}

} // namespace crash
