#include "crash/core/intercept/integrity_check_win.h"

#include "base/win_handle.h"
#include "crash/core/debug_info/pe_image.h"

#include <cstdint>
#include <span>

namespace crash {

bool FileIsIntact(const wchar_t* path)
{
    const base::FileHandle file(::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file || !::GetFileSizeEx(file.Get(), &size) || size.QuadPart <= 0 || size.QuadPart > 0x7FFFFFFF)
        return true;
    const base::KernelHandle mapping(::CreateFileMappingW(file.Get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
    const base::MappedView view(mapping ? ::MapViewOfFile(mapping.Get(), FILE_MAP_READ, 0, 0, 0) : nullptr);
    if (!view)
        return true;
    const std::span<const uint8_t> bytes(static_cast<const uint8_t*>(view.Get()),
                                         static_cast<size_t>(size.QuadPart));
    const auto image = TPeImage::Parse(bytes, false);
    return !image || image->CheckSum == 0 || PeFileChecksum(bytes, image->CheckSumOffset) == image->CheckSum;
}

bool ModuleFileIsIntact(HMODULE module)
{
    wchar_t path[MAX_PATH];
    const DWORD n = ::GetModuleFileNameW(module, path, MAX_PATH);
    return n == 0 || n >= MAX_PATH || FileIsIntact(path);
}

} // namespace crash
