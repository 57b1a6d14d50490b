#include "crash/core/module_debug_info.h"

#include "base/module_path.h"
#include "base/read_areas.h"
#include "base/utf.h"
#include "base/win_handle.h"
#include "crash/core/debug_sources.h"
#include "crash/core/pdb_reader.h"
#include "crash/core/pe_image.h"
#include "crash/ui/settings_resource.h"

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>

namespace crash {
namespace {

HMODULE ModuleOf(uint32_t address)
{
    HMODULE module = nullptr;
    if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                  GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                              reinterpret_cast<LPCWSTR>(static_cast<uintptr_t>(address)), &module))
        return nullptr;
    return module;
}

// The loaded image as the loader mapped it, as far as its header says it reaches and as
// far as it can be read from its start: the tables are read from the module's memory, and
// a page the module keeps unreadable must end them instead of faulting.
std::span<const uint8_t> MappedBytes(HMODULE module)
{
    const auto* bytes = reinterpret_cast<const uint8_t*>(module);
    size_t readable = 0;
    for (MEMORY_BASIC_INFORMATION region;
         readable < (256u << 20) &&
         ::VirtualQuery(bytes + readable, &region, sizeof region) == sizeof region &&
         region.AllocationBase == module &&
         base::ReadClass(region.State == MEM_COMMIT, region.Protect) == base::rcReadable;)
        readable =
            static_cast<size_t>(static_cast<const uint8_t*>(region.BaseAddress) - bytes) + region.RegionSize;
    const auto headers = TPeImage::Parse({bytes, std::min<size_t>(readable, 4096)}, true);
    if (!headers)
        return {};
    return {bytes, std::min<size_t>(readable, headers->SizeOfImage)};
}

class TModuleFiles : public IDebugSourceFiles
{
public:
    explicit TModuleFiles(HMODULE module) : FModule(module), FFileName(base::ModulePath(module)) {}

    std::wstring ModuleFileName() override { return FFileName; }

    std::span<const uint8_t> EmbeddedContainer() override
    {
        HRSRC info = ::FindResourceW(FModule, L"EXCEPT", L"VEX");
        HGLOBAL data = info ? ::LoadResource(FModule, info) : nullptr;
        const void* bytes = data ? ::LockResource(data) : nullptr;
        return bytes ? std::span<const uint8_t>(static_cast<const uint8_t*>(bytes),
                                                ::SizeofResource(FModule, info))
                     : std::span<const uint8_t>{};
    }

    std::optional<TPeImage> MappedImage() override { return TPeImage::Parse(MappedBytes(FModule), true); }

    std::optional<std::vector<uint8_t>> ReadFile(const std::wstring& path) override
    {
        base::FileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        LARGE_INTEGER size{};
        if (!file || !::GetFileSizeEx(file.Get(), &size) || size.QuadPart > (512 << 20))
            return std::nullopt;
        std::vector<uint8_t> bytes(static_cast<size_t>(size.QuadPart));
        DWORD read = 0;
        if (!bytes.empty() &&
            (!::ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) ||
             read != bytes.size()))
            return std::nullopt;
        return bytes;
    }

    std::optional<int64_t> WriteTime(const std::wstring& path) override
    {
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
            return std::nullopt;
        const uint64_t ticks =
            uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32 | data.ftLastWriteTime.dwLowDateTime;
        return static_cast<int64_t>(ticks / 10000000);
    }

    bool ReadPdb(const std::wstring& path, TMapFile& map) override
    {
        const TModuleRanges& r = map.Ranges();
        return crash::ReadPdb(path, r.BaseOfCode - r.HInstance, map);
    }

    std::string MinDebugInfo() override
    {
        const TSettingsParse parse = ParseSettingsBlock(SettingsResource(FModule));
        const SettingsProperty* p = parse.List.Find("MinDebugInfo");
        return p ? base::Utf16ToUtf8(p->StrValue) : std::string();
    }

private:
    HMODULE FModule;
    std::wstring FFileName;
};

struct TCache
{
    std::mutex Lock;
    std::map<HMODULE, std::unique_ptr<TMapFile>> Maps;
};

TCache& Cache()
{
    // Never destroyed: a crash report may still look up addresses while the process ends.
    static TCache* cache = new TCache;
    return *cache;
}

std::string ExportName(HMODULE module, uint32_t address)
{
    const auto image = TPeImage::Parse(MappedBytes(module), true);
    if (!image)
        return {};
    const uint32_t rva = address - static_cast<uint32_t>(reinterpret_cast<uintptr_t>(module));
    const TPeExport* best = nullptr;
    for (const TPeExport& e : image->Exports())
        if (e.Rva <= rva)
            best = &e;
    const TModuleRanges ranges = image->Ranges(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(module)));
    if (!best || address >= ranges.TopOfCode || address < ranges.BaseOfCode)
        return {};
    return "(" + Unmangle(best->Name).Name + ")";
}

} // namespace

TMapFile LoadModuleMapFile(HMODULE module, bool codeOnly, bool onlyOwnFiles)
{
    const uint32_t handle = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(module));
    const auto image = TPeImage::Parse(MappedBytes(module), true);
    TMapFile map(image ? image->Ranges(handle) : TModuleRanges{handle}, codeOnly);
    TModuleFiles files(module);
    LoadDebugInformation(files, onlyOwnFiles, map);
    return map;
}

const TMapFile* ModuleMapFile(uint32_t address)
{
    const HMODULE module = ModuleOf(address);
    if (!module)
        return nullptr;
    TCache& cache = Cache();
    std::lock_guard guard(cache.Lock);
    std::unique_ptr<TMapFile>& map = cache.Maps[module];
    if (!map)
        map = std::make_unique<TMapFile>(LoadModuleMapFile(module, true, false));
    return map.get();
}

TAddressInfo AddressInfo(uint32_t address)
{
    TAddressInfo info;
    const TMapFile* map = ModuleMapFile(address);
    if (!map)
        return info;
    info.ModuleName = base::ModulePath(ModuleOf(address));
    if (const TMfSegment* s = map->FindSegment(true, address))
        info.Unit = s->Unit_;
    info.Line = map->FindLine(address);
    if (const TMfPublic* p = map->FindPublic(address)) {
        info.PublicName = p->Name;
        info.PublicAddress = p->Address;
    }
    return info;
}

std::string FunctionName(uint32_t address)
{
    const TMapFile* map = ModuleMapFile(address);
    if (!map)
        return {};
    if (!map->Valid())
        return ExportName(ModuleOf(address), address);
    const TAddressInfo info = AddressInfo(address);
    if (info.PublicName.empty())
        return {};
    return info.Unit.empty() ? info.PublicName : info.Unit + "." + info.PublicName;
}

} // namespace crash
