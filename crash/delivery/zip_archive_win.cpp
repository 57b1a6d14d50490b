#include "crash/delivery/zip_archive_win.h"

#include "base/utf_win.h"
#include "base/win_handle.h"
#include "crash/delivery/zip_archive.h"

#include <windows.h>

#include <exception>

namespace crash {
namespace {

std::wstring FileNameOf(const std::wstring& path)
{
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// The whole file with its time and attributes; false when it cannot be read.
bool ReadWhole(const std::wstring& path, std::vector<uint8_t>& data, TDosTime& time, uint32_t& attributes)
{
    const base::FileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                              nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    LARGE_INTEGER size;
    if (!file || !::GetFileSizeEx(file.Get(), &size) || size.QuadPart > 0x7FFFFFFF)
        return false;
    data.resize(static_cast<size_t>(size.QuadPart));
    for (size_t done = 0; done < data.size();) {
        DWORD got = 0;
        const DWORD want = static_cast<DWORD>(std::min<size_t>(data.size() - done, 1 << 24));
        if (!::ReadFile(file.Get(), data.data() + done, want, &got, nullptr) || got == 0)
            return false;
        done += got;
    }
    FILETIME written, local;
    SYSTEMTIME t;
    if (::GetFileTime(file.Get(), nullptr, nullptr, &written) &&
        ::FileTimeToLocalFileTime(&written, &local) && ::FileTimeToSystemTime(&local, &t))
        time = DosTimeOf(t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
    const DWORD attrs = ::GetFileAttributesW(path.c_str());
    attributes = attrs == INVALID_FILE_ATTRIBUTES ? 0 : attrs;
    return true;
}

} // namespace

bool WriteZipArchive(const std::wstring& archive, const std::vector<std::wstring>& files,
                     const std::vector<std::wstring>& names)
{
    bool ok = false;
    {
        const base::FileHandle out(::CreateFileW(archive.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                                 FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!out)
            return false;
        TZipWriter zip([&](std::span<const uint8_t> bytes) {
            for (size_t done = 0; done < bytes.size();) {
                DWORD wrote = 0;
                const DWORD want = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1 << 24));
                if (!::WriteFile(out.Get(), bytes.data() + done, want, &wrote, nullptr) || wrote == 0)
                    return false;
                done += wrote;
            }
            return true;
        });
        // A file too big for this process's memory (each is read whole, and deflated into a
        // buffer of its size) fails like one that cannot be read.
        try {
            ok = true;
            for (size_t i = 0; ok && i < files.size(); ++i) {
                std::vector<uint8_t> data;
                TDosTime time;
                uint32_t attributes = 0;
                const std::wstring name = i < names.size() ? names[i] : FileNameOf(files[i]);
                ok = ReadWhole(files[i], data, time, attributes) &&
                     zip.Add(base::WideToUtf8(name), data, time, attributes);
            }
            ok = ok && zip.Finish();
        } catch (const std::exception&) {
            ok = false;
        }
    }
    if (!ok)
        ::DeleteFileW(archive.c_str()); // never half an archive
    return ok;
}

} // namespace crash
