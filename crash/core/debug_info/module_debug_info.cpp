#include "crash/core/debug_info/module_debug_info.h"

#include "base/module_path.h"
#include "base/read_areas.h"
#include "base/utf.h"
#include "base/win_handle.h"
#include "crash/core/debug_info/debug_sources.h"
#include "crash/core/debug_info/pdb_reader.h"
#include "crash/core/debug_info/pe_image.h"
#include "crash/settings/settings_resource.h"

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
    TModuleFiles(HMODULE module, std::wstring fileName, const std::optional<TPeImage>& image)
        : FModule(module), FFileName(std::move(fileName)), FImage(image)
    {
    }

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

    std::optional<TPeImage> MappedImage() override { return FImage; }

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
    const std::optional<TPeImage>& FImage;
};

// What the cache keeps of a module: its file, its tables, and for a module without
// information its exports, by which its functions are named instead.
struct TModuleEntry
{
    HMODULE Module;
    std::wstring FileName;
    TMapFile Map;
    std::vector<TPeExport> Exports;
};

struct TCache
{
    std::mutex Lock;
    std::map<HMODULE, std::unique_ptr<TModuleEntry>> Modules;
};

TCache& Cache()
{
    // Never destroyed: a crash report may still look up addresses while the process ends.
    static TCache* cache = new TCache;
    return *cache;
}

TMapFile LoadMapFile(HMODULE module, const std::wstring& fileName, const std::optional<TPeImage>& image,
                     bool codeOnly, bool onlyOwnFiles)
{
    const uint32_t handle = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(module));
    TMapFile map(image ? image->Ranges(handle) : TModuleRanges{handle}, codeOnly);
    TModuleFiles files(module, fileName, image);
    LoadDebugInformation(files, onlyOwnFiles, map);
    return map;
}

// The cached entry of the module holding `address`, made on first use; null outside every
// module.
const TModuleEntry* ModuleEntry(uint32_t address)
{
    const HMODULE module = ModuleOf(address);
    if (!module)
        return nullptr;
    TCache& cache = Cache();
    std::lock_guard guard(cache.Lock);
    std::unique_ptr<TModuleEntry>& entry = cache.Modules[module];
    if (!entry) {
        const auto image = TPeImage::Parse(MappedBytes(module), true);
        std::wstring fileName = base::ModulePath(module);
        TMapFile map = LoadMapFile(module, fileName, image, true, false);
        std::vector<TPeExport> exports;
        if (!map.Valid() && image)
            exports = image->Exports();
        entry =
            std::make_unique<TModuleEntry>(module, std::move(fileName), std::move(map), std::move(exports));
    }
    return entry.get();
}

// The export an address of a module without information lies in, in parentheses.
std::string ExportName(const TModuleEntry& entry, uint32_t address)
{
    const TModuleRanges& ranges = entry.Map.Ranges();
    if (address < ranges.BaseOfCode || address >= ranges.TopOfCode)
        return {};
    const uint32_t rva = address - ranges.HInstance;
    auto after = std::upper_bound(entry.Exports.begin(), entry.Exports.end(), rva,
                                  [](uint32_t a, const TPeExport& e) { return a < e.Rva; });
    if (after == entry.Exports.begin())
        return {};
    return "(" + Unmangle((after - 1)->Name).Name + ")";
}

} // namespace

TMapFile LoadModuleMapFile(HMODULE module, bool codeOnly, bool onlyOwnFiles)
{
    return LoadMapFile(module, base::ModulePath(module), TPeImage::Parse(MappedBytes(module), true), codeOnly,
                       onlyOwnFiles);
}

std::optional<TModuleSymbols> ModuleSymbols(uint32_t address)
{
    const TModuleEntry* entry = ModuleEntry(address);
    if (!entry)
        return std::nullopt;
    return TModuleSymbols{static_cast<uint32_t>(reinterpret_cast<uintptr_t>(entry->Module)), entry->FileName,
                          &entry->Map, &entry->Exports};
}

const TMapFile* ModuleMapFile(uint32_t address)
{
    const TModuleEntry* entry = ModuleEntry(address);
    return entry ? &entry->Map : nullptr;
}

TAddressInfo AddressInfo(uint32_t address)
{
    TAddressInfo info;
    const TModuleEntry* entry = ModuleEntry(address);
    if (!entry)
        return info;
    const TMapFile& map = entry->Map;
    info.ModuleName = entry->FileName;
    if (const TMfSegment* s = map.FindSegment(true, address))
        info.Unit = s->Unit_;
    info.Line = map.FindLine(address);
    if (const TMfPublic* p = map.FindPublic(address)) {
        info.PublicName = p->Name;
        info.PublicAddress = p->Address;
    }
    return info;
}

std::string FunctionName(uint32_t address)
{
    const TModuleEntry* entry = ModuleEntry(address);
    if (!entry)
        return {};
    const TMapFile& map = entry->Map;
    if (!map.Valid())
        return ExportName(*entry, address);
    const TMfPublic* p = map.FindPublic(address);
    if (!p)
        return {};
    const TMfSegment* s = map.FindSegment(true, address);
    return s && !s->Unit_.empty() ? s->Unit_ + "." + p->Name : p->Name;
}

} // namespace crash
