#include "crash/core/sysinfo/os_description_win.h"
#include "crash/core/sysinfo/system_lists_win.h"

#include "base/win_handle.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace crash {
namespace {

std::wstring Lower(std::wstring s)
{
    for (wchar_t& c : s)
        c = static_cast<wchar_t>(towlower(c));
    return s;
}

TEST(SystemInfo, TheOperatingSystemIsReadOnce)
{
    const TOS& os = OperatingSystem();
    EXPECT_EQ(&os, &OperatingSystem());
    EXPECT_EQ(os.winNt, 1);
    EXPECT_NE(os.Enum, osNone);
    EXPECT_EQ(os.description.rfind(OsEnumName(os.Enum), 0), 0u) << os.description;
    EXPECT_GT(os.major, 0u);
}

TEST(SystemInfo, ModulesOfThisProcessWithVersions)
{
    const std::vector<TModuleEntry> modules = CollectModules();
    ASSERT_GE(modules.size(), 3u);
    EXPECT_TRUE(
        std::is_sorted(modules.begin(), modules.end(),
                       [](const TModuleEntry& a, const TModuleEntry& b) { return a.Handle < b.Handle; }));
    wchar_t self[MAX_PATH];
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring selfName = self;
    selfName = Lower(selfName.substr(selfName.find_last_of(L'\\') + 1));
    auto find = [&](const std::wstring& name) {
        return std::find_if(modules.begin(), modules.end(),
                            [&](const TModuleEntry& m) { return Lower(AsWide(m.Name)) == name; });
    };
    const auto exe = find(selfName);
    ASSERT_NE(exe, modules.end());
    EXPECT_EQ(exe->Handle, reinterpret_cast<uintptr_t>(::GetModuleHandleW(nullptr)));
    EXPECT_EQ(exe->Path.back(), u'\\');
    const auto kernel = find(L"kernel32.dll");
    ASSERT_NE(kernel, modules.end());
    EXPECT_FALSE(kernel->Version.empty());
    EXPECT_EQ(std::count(kernel->Version.begin(), kernel->Version.end(), u'.'), 3);
    EXPECT_NE(find(L"ntdll.dll"), modules.end());

    const std::wstring text = ModulesListText();
    EXPECT_NE(Lower(text).find(L"kernel32.dll"), std::wstring::npos);
    EXPECT_EQ(std::count(text.begin(), text.end(), L'\n') + 1, static_cast<long>(modules.size()));
}

TEST(SystemInfo, VersionsOfFilesWithoutOrWithADamagedResource)
{
    EXPECT_EQ(FileVersionText(L"C:\\no such file.dll"), u"");
    wchar_t folder[MAX_PATH];
    ::GetTempPathW(MAX_PATH, folder);
    const std::wstring path = std::wstring(folder) + L"lumigate_damaged.dll";
    // A PE header that promises a resource section the file doesn't have.
    std::string junk =
        "MZ" + std::string(58, '\0') + std::string("\x40\0\0\0", 4) + "PE" + std::string(500, '\x7f');
    base::FileHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    ASSERT_TRUE(file);
    DWORD written = 0;
    ::WriteFile(file.Get(), junk.data(), static_cast<DWORD>(junk.size()), &written, nullptr);
    file.Reset();
    EXPECT_EQ(FileVersionText(path), u"");
    ::DeleteFileW(path.c_str());
}

TEST(SystemInfo, ProcessesContainThisOne)
{
    const std::vector<TProcessEntry> processes = CollectProcesses();
    ASSERT_FALSE(processes.empty());
    const DWORD id = ::GetCurrentProcessId();
    const auto self =
        std::find_if(processes.begin(), processes.end(), [&](const TProcessEntry& p) { return p.Id == id; });
    ASSERT_NE(self, processes.end());
    EXPECT_EQ(Lower(AsWide(self->Name)), L"crash_sysinfo_test.exe");
    EXPECT_EQ(self->PriorityClass, 0x20);
    EXPECT_FALSE(self->Path.empty());
    EXPECT_NE(self->Path.back(), u'\\');

    const std::wstring text = ProcessesListText();
    wchar_t hex[16];
    swprintf(hex, 16, L"%x ", static_cast<unsigned>(id));
    EXPECT_NE(text.find(hex), std::wstring::npos);
}

TEST(SystemInfo, TheHardwareListIsWellFormed)
{
    const std::wstring text = HardwareListText();
    size_t at = 0;
    bool inClass = false;
    while (at < text.size()) {
        size_t end = text.find(L"\r\n", at);
        if (end == std::wstring::npos)
            end = text.size();
        const std::wstring line = text.substr(at, end - at);
        if (line.rfind(L"+ ", 0) == 0) {
            inClass = true;
            EXPECT_NE(line, L"+ Volume");
        } else {
            EXPECT_TRUE(inClass && line.rfind(L"  - ", 0) == 0) << std::string(line.begin(), line.end());
        }
        at = end + 2;
    }
}

// Registry keys made for a test under HKCU, removed at its end.
class TestKeys
{
public:
    TestKeys() { ::RegDeleteTreeW(HKEY_CURRENT_USER, Root); }
    ~TestKeys() { ::RegDeleteTreeW(HKEY_CURRENT_USER, Root); }
    void Set(const std::wstring& path, const wchar_t* name, const std::wstring& value)
    {
        ::RegSetKeyValueW(HKEY_CURRENT_USER, (std::wstring(Root) + L"\\" + path).c_str(), name, REG_SZ,
                          value.c_str(), static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    }
    void SetNumber(const std::wstring& path, const wchar_t* name, DWORD value)
    {
        ::RegSetKeyValueW(HKEY_CURRENT_USER, (std::wstring(Root) + L"\\" + path).c_str(), name, REG_DWORD,
                          &value, sizeof value);
    }
    base::RegistryKey Open(const std::wstring& path)
    {
        HKEY key = nullptr;
        ::RegOpenKeyExW(HKEY_CURRENT_USER, (std::wstring(Root) + L"\\" + path).c_str(), 0, KEY_READ, &key);
        return base::RegistryKey(key);
    }

private:
    static constexpr const wchar_t* Root = L"Software\\Lumigate tests";
};

TEST(SystemInfo, TheWindows9xDeviceTree)
{
    TestKeys keys;
    const std::wstring classes = L"Machine\\System\\CurrentControlSet\\Services\\Class\\";
    // A CD drive with a drive letter and a vendor driver, a display adapter from Microsoft,
    // a device with a problem, a software-enumerated one and a network protocol.
    keys.Set(L"Dyn\\0001", L"HardWareKey", L"SCSI\\CDROM\\0001");
    keys.Set(L"Dyn\\0002", L"HardWareKey", L"PCI\\VEN_1234\\0000");
    keys.SetNumber(L"Dyn\\0002", L"Problem", 0);
    keys.Set(L"Dyn\\0003", L"HardWareKey", L"PCI\\BROKEN\\0000");
    keys.SetNumber(L"Dyn\\0003", L"Problem", 22);
    keys.Set(L"Dyn\\0004", L"HardWareKey", L"SWENUM\\X\\0000");
    keys.Set(L"Dyn\\0005", L"HardWareKey", L"ROOT\\NET\\0000");
    keys.Set(L"Machine\\Enum\\SCSI\\CDROM\\0001", L"Class", L"CDROM");
    keys.Set(L"Machine\\Enum\\SCSI\\CDROM\\0001", L"DeviceDesc", L"Generic CD-ROM");
    keys.Set(L"Machine\\Enum\\SCSI\\CDROM\\0001", L"CurrentDriveLetterAssignment", L"E");
    keys.Set(L"Machine\\Enum\\SCSI\\CDROM\\0001", L"Driver", L"CDROM\\0000");
    keys.Set(classes + L"CDROM", nullptr, L"CD-ROM drives");
    keys.Set(classes + L"CDROM\\0000", L"ProviderName", L"Vendor");
    keys.Set(classes + L"CDROM\\0000", L"DriverDate", L" 4-23-1999 ");
    keys.Set(L"Machine\\Enum\\PCI\\VEN_1234\\0000", L"Class", L"Display");
    keys.Set(L"Machine\\Enum\\PCI\\VEN_1234\\0000", L"DeviceDesc", L"Standard VGA");
    keys.Set(L"Machine\\Enum\\PCI\\VEN_1234\\0000", L"Driver", L"DISPLAY\\0000");
    keys.Set(classes + L"DISPLAY\\0000", L"ProviderName", L"Microsoft");
    keys.Set(classes + L"DISPLAY\\0000", L"DriverVersion", L"4.10");
    keys.Set(L"Machine\\Enum\\PCI\\BROKEN\\0000", L"Class", L"Display");
    keys.Set(L"Machine\\Enum\\SWENUM\\X\\0000", L"Class", L"Display");
    keys.Set(L"Machine\\Enum\\ROOT\\NET\\0000", L"Class", L"NetTrans");

    base::RegistryKey dyn = keys.Open(L"Dyn"), machine = keys.Open(L"Machine");
    ASSERT_TRUE(dyn && machine);
    EXPECT_EQ(HardwareText(CollectHardware9x(dyn.Get(), machine.Get())),
              u"+ CD-ROM drives\r\n"
              u"  - [E:] Generic CD-ROM (driver 4-23-1999)\r\n"
              u"+ Display\r\n"
              u"  - Standard VGA");
}

} // namespace
} // namespace crash
