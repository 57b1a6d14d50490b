#include "app/temp_folder.h"

#include "base/win_handle.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace app {
namespace {

class TempFolder : public ::testing::Test
{
protected:
    void SetUp() override
    {
        wchar_t temp[MAX_PATH];
        ::GetTempPathW(MAX_PATH, temp);
        Base = GetLongPath(temp);
        if (Base.back() != L'\\')
            Base += L'\\';
        Long = Base + L"Lumigate Long Folder Name";
        ::CreateDirectoryW(Long.c_str(), nullptr);
        wchar_t saved[1024] = {};
        HadTemp = ::GetEnvironmentVariableW(L"TEMP", saved, 1024) != 0;
        Saved = saved;
    }
    void TearDown() override { ::SetEnvironmentVariableW(L"TEMP", HadTemp ? Saved.c_str() : nullptr); }
    static void SetTemp(const std::wstring& value) { ::SetEnvironmentVariableW(L"TEMP", value.c_str()); }

    std::wstring Base, Long, Saved;
    bool HadTemp = false;
};

TEST_F(TempFolder, ShortNamesBecomeLongAndABackslashIsAppended)
{
    wchar_t shortName[MAX_PATH] = {};
    ASSERT_GT(::GetShortPathNameW(Long.c_str(), shortName, MAX_PATH), 0u);
    ASSERT_NE(std::wstring(shortName), Long); // the test needs a real 8.3 form
    SetTemp(shortName);
    EXPECT_EQ(GetTempDir(), Long + L"\\");
    SetTemp(Long + L"\\");
    EXPECT_EQ(GetTempDir(), Long + L"\\");
}

TEST_F(TempFolder, BlanksAndControlCharactersAroundAreTrimmed)
{
    SetTemp(L"  \t" + Long + L" \r\n ");
    EXPECT_EQ(GetTempDir(), Long + L"\\");
}

TEST_F(TempFolder, NowhereUnsetFileOrWildcardGiveTheDriveRoot)
{
    SetTemp(Base + L"no such folder");
    EXPECT_EQ(GetTempDir(), L"C:\\");
    ::SetEnvironmentVariableW(L"TEMP", nullptr); // "%temp%" stays unexpanded
    EXPECT_EQ(GetTempDir(), L"C:\\");
    const std::wstring file = Base + L"lumigate-not-a-folder.txt";
    base::FileHandle(::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    SetTemp(file);
    EXPECT_EQ(GetTempDir(), L"C:\\");
    ::DeleteFileW(file.c_str());
    SetTemp(Base + L"Lumigate*");
    EXPECT_EQ(GetTempDir(), L"C:\\");
    SetTemp(std::wstring(400, L'x'));
    EXPECT_EQ(GetTempDir(), L"C:\\");
}

TEST_F(TempFolder, FoldersOutsideTheAnsiCodePage)
{
    const std::wstring folder = Base + L"\u0434\u0430\u043d\u043d\u044b\u0435 \u65e5\u672c";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    SetTemp(folder);
    EXPECT_EQ(GetTempDir(), folder + L"\\");
    ::RemoveDirectoryW(folder.c_str());
}

TEST_F(TempFolder, GetLongPathResolvesDotsAndKeepsWhatDoesNotExist)
{
    EXPECT_EQ(GetLongPath(Long + L"\\..\\Lumigate Long Folder Name\\.\\missing\\deeper"),
              Long + L"\\missing\\deeper");
    EXPECT_EQ(GetLongPath(L"C:\\"), L"C:\\");
}

TEST_F(TempFolder, TargetPathTakesTheUrlsLastSegment)
{
    EXPECT_EQ(TargetPath(L"C:\\t\\", "http://download.korvane.com/download/orvellaVV.exe"),
              L"C:\\t\\orvellaVV.exe");
    EXPECT_EQ(TargetPath(L"C:\\t\\", "installer.exe"), L"C:\\t\\installer.exe");
    EXPECT_EQ(TargetPath(L"C:\\t\\", "http://host/"), L"C:\\t\\");
}

TEST_F(TempFolder, FilesAndFolders)
{
    EXPECT_FALSE(FileExists(Long));
    EXPECT_TRUE(IsDirectory(Long));
    const std::wstring file = Long + L"\\file.bin";
    base::FileHandle(::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    EXPECT_TRUE(FileExists(file));
    EXPECT_FALSE(IsDirectory(file));
    ::DeleteFileW(file.c_str());
    EXPECT_FALSE(FileExists(file));
}

} // namespace
} // namespace app
