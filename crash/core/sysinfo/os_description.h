#pragma once
// The operating system a report was made on: which Windows the version data names and how
// the report describes it. Platform-free; the version data comes from the caller (the
// system, or a test).

#include <cstdint>
#include <string>

namespace crash {

enum TOsEnum
{
    osNone,
    osWin95,
    osWin95osr2,
    osWin98,
    osWin98se,
    osWinME,
    osWin9xNew,
    osWinNtOld,
    osWinNt4,
    osWin2k,
    osWinXP,
    osWin2003,
    osWinVista,
    osWin2008,
    osWin7,
    osWin2008r2,
    osWin8,
    osWin2012,
    osWin81,
    osWin2012r2,
    osWin10,
    osWinNtNew
};

// "None", "Windows 95", ..., "Windows NT New".
const char* OsEnumName(TOsEnum os);

// What the system's version functions and metrics told.
struct TOsVersionData
{
    uint32_t PlatformId = 2; // 1: Windows 9x, 2: Windows NT
    uint32_t Major = 0, Minor = 0, Build = 0;
    std::string ServicePack; // the service-pack text ("Service Pack 3"), may be empty
    bool Extended = false;   // the extended structure was filled: the next two are valid
    uint32_t ServicePackMajor = 0;
    bool Workstation = true; // product type VER_NT_WORKSTATION
    bool R2 = false, TabletPc = false, Starter = false, MediaCenter = false; // system metrics
    bool NativeAmd64 = false; // GetNativeSystemInfo's processor architecture
};

struct TOS
{
    uint32_t major = 0, minor = 0, build = 0;
    std::string spStr;
    uint8_t win9x = 0;
    TOsEnum win9xEnum = osNone;
    uint8_t winNt = 0;
    TOsEnum winNtEnum = osNone;
    TOsEnum Enum = osNone;
    uint8_t x64 = 0;
    uint32_t spNo = 0;
    std::string description;
};

TOS DescribeOs(const TOsVersionData& data);

} // namespace crash
