#include "crash/core/sysinfo/os_description.h"

namespace crash {
namespace {

TOsEnum Windows9x(const TOsVersionData& d)
{
    if (d.Major > 4)
        return osWin9xNew;
    if (d.Minor < 10)
        return d.Build <= 1000 ? osWin95 : osWin95osr2;
    if (d.Minor == 10)
        return d.Build > 2700 ? osWinME : d.Build <= 2000 ? osWin98 : osWin98se;
    if (d.Minor <= 90)
        return osWinME;
    return osWin9xNew;
}

TOsEnum WindowsNt(const TOsVersionData& d)
{
    switch (d.Major) {
    case 0:
    case 1:
    case 2:
    case 3:
        return osWinNtOld;
    case 4:
        return osWinNt4;
    case 5:
        if (d.Minor == 0)
            return osWin2k;
        return d.Minor == 1 || d.Workstation ? osWinXP : osWin2003;
    case 6:
        switch (d.Minor) {
        case 0:
            return d.Workstation ? osWinVista : osWin2008;
        case 1:
            return d.Workstation ? osWin7 : osWin2008r2;
        case 2:
            return d.Workstation ? osWin8 : osWin2012;
        case 3:
            return d.Workstation ? osWin81 : osWin2012r2;
        default:
            return osWinNtNew;
        }
    case 10:
        return osWin10;
    default:
        return osWinNtNew;
    }
}

// The number in a service-pack text after its first 13 characters ("Service Pack " is 13
// long); 0 when none follows.
uint32_t ParseServicePack(const std::string& text)
{
    uint32_t n = 0;
    for (size_t i = 13; i < text.size() && text[i] >= '0' && text[i] <= '9' && n < 100000; ++i)
        n = n * 10 + static_cast<uint32_t>(text[i] - '0');
    return n;
}

} // namespace

const char* OsEnumName(TOsEnum os)
{
    static const char* const Names[] = {
        "None",          "Windows 95",    "Windows 95 OSR-2", "Windows 98",
        "Windows 98 SE", "Windows ME",    "Windows 9x New",   "Windows NT 3",
        "Windows NT 4",  "Windows 2000",  "Windows XP",       "Windows 2003",
        "Windows Vista", "Windows 2008",  "Windows 7",        "Windows 2008 R2",
        "Windows 8",     "Windows 2012",  "Windows 8.1",      "Windows 2012 R2",
        "Windows 10",    "Windows NT New"};
    const auto i = static_cast<unsigned>(os);
    return i < sizeof Names / sizeof Names[0] ? Names[i] : "None";
}

TOS DescribeOs(const TOsVersionData& d)
{
    TOS os;
    os.major = d.Major;
    os.minor = d.Minor;
    os.build = d.Build;
    os.spStr = d.ServicePack;
    if (d.PlatformId == 1) {
        os.win9x = 1;
        os.win9xEnum = os.Enum = Windows9x(d);
    } else if (d.PlatformId == 2) {
        os.winNt = 1;
        os.winNtEnum = os.Enum = WindowsNt(d);
        os.x64 = d.NativeAmd64;
    }
    os.spNo = d.Extended ? d.ServicePackMajor : ParseServicePack(d.ServicePack);
    os.description = OsEnumName(os.Enum);
    if (os.winNt) {
        if (d.R2)
            os.description += " R2";
        if (d.TabletPc)
            os.description += " Tablet PC";
        if (d.Starter)
            os.description += " Starter";
        if (d.MediaCenter && os.Enum < osWinVista)
            os.description += " Media Center";
        if (d.NativeAmd64)
            os.description += " x64";
        if (!d.ServicePack.empty())
            os.description += " " + d.ServicePack;
    }
    return os;
}

} // namespace crash
