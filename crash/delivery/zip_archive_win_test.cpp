// Archives written from files on disk: their names, times and attributes, and no archive at
// all when a file cannot be read.

#include "base/win_handle.h"
#include "crash/core/intercept/testing/child_process.h"
#include "crash/delivery/report_temp_folder_win.h"
#include "crash/delivery/testing/peer_records_win.h"
#include "crash/delivery/zip_archive_win.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace crash {
namespace {

std::vector<uint8_t> Bytes(const std::wstring& path)
{
    const base::FileHandle file(
        ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    std::vector<uint8_t> data(file ? ::GetFileSize(file.Get(), nullptr) : 0);
    DWORD got = 0;
    if (!data.empty())
        ::ReadFile(file.Get(), data.data(), static_cast<DWORD>(data.size()), &got, nullptr);
    data.resize(got);
    return data;
}

void Write(const std::wstring& path, const std::string& text)
{
    const base::FileHandle file(
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD wrote = 0;
    ::WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &wrote, nullptr);
}

// The folder is emptied of every file, a read-only one too, and made again when it is gone.
TEST(ReportTempFolder, EmptiedOfEveryFile)
{
    const std::wstring folder = ReportTempFolder();
    Write(folder + L"old report.txt", "earlier");
    Write(folder + L"screenShot.png", "picture");
    ::SetFileAttributesW((folder + L"screenShot.png").c_str(), FILE_ATTRIBUTE_READONLY);
    ClearReportTempFolder();
    EXPECT_EQ(::GetFileAttributesW((folder + L"old report.txt").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(::GetFileAttributesW((folder + L"screenShot.png").c_str()), INVALID_FILE_ATTRIBUTES);
    ASSERT_TRUE(::RemoveDirectoryW(folder.c_str()));
    EXPECT_EQ(ReportTempFolder(), folder);
    EXPECT_NE(::GetFileAttributesW(folder.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(ZipArchiveFiles, FilesGoInUnderTheirNamesTimesAndAttributes)
{
    const std::wstring folder = ReportTempFolder();
    EXPECT_NE(folder.find(L"crash_delivery_test.Vexcatch\\"), std::wstring::npos);
    EXPECT_NE(::GetFileAttributesW(folder.c_str()), INVALID_FILE_ATTRIBUTES);
    const std::wstring report = folder + L"bugreport.txt", shot = folder + L"Bildschirmfoto \u00c4.png";
    Write(report, std::string(5000, 'r'));
    Write(shot, "picture");
    ::SetFileAttributesW(shot.c_str(), FILE_ATTRIBUTE_READONLY);
    const std::wstring archive = folder + L"attachments.zip";
    ASSERT_TRUE(WriteZipArchive(archive, {report, shot}, {L"report.txt"}));
    const std::vector<uint8_t> zip = Bytes(archive);
    ASSERT_GT(zip.size(), 22u);
    const std::string text(zip.begin(), zip.end());
    EXPECT_NE(text.find("report.txt"), std::string::npos);                  // the given name
    EXPECT_NE(text.find("Bildschirmfoto \xc3\x84.png"), std::string::npos); // its own, in UTF-8
    EXPECT_EQ(text.find("bugreport.txt"), std::string::npos);
    // The local headers' DOS dates are today's (local time).
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    const uint16_t date = static_cast<uint16_t>(((now.wYear - 1980) << 9) | (now.wMonth << 5) | now.wDay);
    EXPECT_EQ(zip[12] | (zip[13] << 8), date);
    // The second central entry carries the read-only attribute.
    const size_t second = text.find("PK\x01\x02", text.find("PK\x01\x02") + 4);
    ASSERT_NE(second, std::string::npos);
    EXPECT_TRUE(zip[second + 38] & FILE_ATTRIBUTE_READONLY);
    testing::KeepArchiveForReaders(testing::Beside(L"zip-archive"), archive,
                                   {{L"report.txt", report}, {L"Bildschirmfoto \u00c4.png", shot}});
    ::SetFileAttributesW(shot.c_str(), FILE_ATTRIBUTE_NORMAL);
    for (const std::wstring& f : {report, shot, archive})
        ::DeleteFileW(f.c_str());
}

TEST(ZipArchiveFiles, AFileThatCannotBeReadLeavesNoArchive)
{
    const std::wstring folder = ReportTempFolder();
    const std::wstring locked = folder + L"locked.txt", archive = folder + L"broken.zip";
    Write(locked, "locked");
    {
        const base::FileHandle hold(
            ::CreateFileW(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr)); // no sharing
        ASSERT_TRUE(hold);
        EXPECT_FALSE(WriteZipArchive(archive, {locked}, {}));
        EXPECT_EQ(::GetFileAttributesW(archive.c_str()), INVALID_FILE_ATTRIBUTES);
    }
    EXPECT_FALSE(WriteZipArchive(archive, {folder + L"gone.txt"}, {}));
    EXPECT_EQ(::GetFileAttributesW(archive.c_str()), INVALID_FILE_ATTRIBUTES);
    ::DeleteFileW(locked.c_str());
}

// A file of zeros of `size` bytes, made without writing them.
void MakeSparse(const std::wstring& path, long long size)
{
    const base::FileHandle file(
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    LARGE_INTEGER at;
    at.QuadPart = size;
    ASSERT_TRUE(::SetFilePointerEx(file.Get(), at, nullptr, FILE_BEGIN) && ::SetEndOfFile(file.Get()));
}

// 200 MB of attachments: a whole archive (read back to its end record, and kept for the three
// readers). A file of almost 2 GB cannot be held by a 32-bit process: no archive, and no
// exception.
TEST(ZipArchiveFiles, TwoHundredMegabytesMakeAWholeArchiveOrNone)
{
    const std::wstring folder = ReportTempFolder();
    const std::wstring big = folder + L"big.bin", archive = folder + L"big.zip";
    const std::wstring first = folder + L"first.txt"; // written before the big one fails
    Write(first, "first");
    MakeSparse(big, 0x7F000000);
    bool written = true;
    EXPECT_NO_THROW(written = WriteZipArchive(archive, {first, big}, {}));
    EXPECT_FALSE(written);
    EXPECT_EQ(::GetFileAttributesW(archive.c_str()), INVALID_FILE_ATTRIBUTES);

    MakeSparse(big, 200LL << 20);
    ASSERT_TRUE(WriteZipArchive(archive, {big}, {}));
    const std::vector<uint8_t> zip = Bytes(archive);
    ASSERT_GE(zip.size(), 22u);
    EXPECT_EQ(std::vector<uint8_t>(zip.end() - 22, zip.end() - 18), (std::vector<uint8_t>{0x50, 0x4B, 5, 6}));
    testing::KeepArchiveForReaders(testing::Beside(L"big-archive"), archive, {{L"big.bin", big}});
    for (const std::wstring& f : {first, big, archive})
        ::DeleteFileW(f.c_str());
}

} // namespace
} // namespace crash
