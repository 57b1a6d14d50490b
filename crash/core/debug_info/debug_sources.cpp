#include "crash/core/debug_info/debug_sources.h"

#include "base/ascii_case.h"
#include "crash/core/debug_info/debug_container.h"
#include "crash/core/debug_info/jdbg_reader.h"
#include "crash/core/debug_info/map_text_reader.h"
#include "crash/core/debug_info/td32_reader.h"

#include <string_view>

namespace crash {
namespace {

bool EndsWithIgnoringCase(std::wstring_view s, std::wstring_view tail)
{
    return s.size() >= tail.size() && base::AsciiEqualIgnoringCase(s.substr(s.size() - tail.size()), tail);
}

TTd32Layout LayoutOf(const std::optional<TPeImage>& image)
{
    TTd32Layout layout;
    if (image && image->SecondSectionIsCode()) {
        layout.SecondSectionIsCode = true;
        layout.SecondSectionDistance = image->Sections[1].VirtualAddress - image->Sections[0].VirtualAddress;
    }
    return layout;
}

// A source that fails half-way leaves nothing behind for the next one.
bool Tried(bool found, TMapFile& map)
{
    if (!found)
        map.Clear();
    return found;
}

bool Tried(TDebugRead read, TMapFile& map)
{
    return Tried(static_cast<bool>(read), map);
}

class TLoader
{
public:
    TLoader(IDebugSourceFiles& files, bool onlyOwnFiles, TMapFile& map)
        : FFiles(files), FOnlyOwn(onlyOwnFiles), FMap(map), FImage(files.MappedImage()),
          FLayout(LayoutOf(FImage)), FModule(files.ModuleFileName())
    {
    }

    bool Load()
    {
        const auto embedded = FFiles.EmbeddedContainer();
        if (!embedded.empty() && Tried(LoadContainer(embedded, FFiles, FMap), FMap))
            return true;
        const auto memoryTd32 = FImage ? Td32OfMappedImage(*FImage) : std::span<const uint8_t>{};
        if (!FOnlyOwn && Td32Version(memoryTd32) == 10 && Tried(ReadTd32(memoryTd32, FLayout, FMap), FMap))
            return true;
        if (!FOnlyOwn) {
            const std::wstring pdb = ChangeExtension(FModule, L".pdb");
            if (FFiles.WriteTime(pdb) && Tried(FFiles.ReadPdb(pdb, FMap), FMap))
                return true;
            // An existing map ends the search, whatever it yields.
            if (auto text = FFiles.ReadFile(ChangeExtension(FModule, L".map"))) {
                const std::string_view view(reinterpret_cast<const char*>(text->data()), text->size());
                return Tried(ReadTextMap(view, FMap), FMap);
            }
        }
        if (auto vex = FFiles.ReadFile(ChangeExtension(FModule, L".vex"))) {
            const auto header = ReadContainerHeader(*vex);
            if (header && !(header->Flags & ContainerMinimalFlag) && Tried(ImportContainer(*vex, FMap), FMap))
                return true;
        }
        if (FOnlyOwn)
            return false;
        if (auto jdbg = FFiles.ReadFile(ChangeExtension(FModule, L".jdbg")))
            if (Tried(ReadJdbg(*jdbg, FMap), FMap))
                return true;
        if (!memoryTd32.empty())
            return Tried(ReadTd32(memoryTd32, FLayout, FMap), FMap);
        return Tried(Td32FromFile(), FMap);
    }

private:
    bool Td32FromFile()
    {
        std::wstring source = FModule;
        if (!EndsWithIgnoringCase(FModule, L".tds")) {
            const std::wstring tds = ChangeExtension(FModule, L".tds");
            if (const auto tdsTime = FFiles.WriteTime(tds)) {
                // A .tds older than the map of the same name is left out.
                const auto mapTime = FFiles.WriteTime(ChangeExtension(FModule, L".map"));
                if (mapTime && *tdsTime < *mapTime)
                    return false;
                source = tds;
            }
        }
        const auto file = FFiles.ReadFile(source);
        return file && ReadTd32(Td32OfFile(*file), FLayout, FMap);
    }

    IDebugSourceFiles& FFiles;
    bool FOnlyOwn;
    TMapFile& FMap;
    std::optional<TPeImage> FImage;
    TTd32Layout FLayout;
    std::wstring FModule;
};

} // namespace

std::wstring ChangeExtension(const std::wstring& path, const std::wstring& extension)
{
    const size_t slash = path.find_last_of(L"\\/");
    const size_t dot = path.find_last_of(L'.');
    if (dot == std::wstring::npos || (slash != std::wstring::npos && dot < slash))
        return path + extension;
    return path.substr(0, dot) + extension;
}

std::span<const uint8_t> Td32OfFile(std::span<const uint8_t> file)
{
    const auto image = TPeImage::Parse(file, false);
    if (!image)
        return file;
    if (image->Sections.empty() || image->DebugDirectoryRva != image->Sections.back().VirtualAddress)
        return {};
    const auto entries = image->DebugEntries();
    if (entries.empty() || entries[0].PointerToRawData >= file.size())
        return {};
    return file.subspan(entries[0].PointerToRawData);
}

std::span<const uint8_t> Td32OfMappedImage(const TPeImage& image)
{
    const auto entries = image.DebugEntries();
    if (entries.empty() || entries[0].AddressOfRawData == 0 || entries[0].AddressOfRawData >= image.Size())
        return {};
    const uint32_t at = entries[0].AddressOfRawData;
    return image.AtOffset(at, static_cast<uint32_t>(image.Size() - at));
}

bool LoadContainer(std::span<const uint8_t> container, IDebugSourceFiles& files, TMapFile& map)
{
    const auto header = ReadContainerHeader(container);
    if (!header)
        return false;
    if (!(header->Flags & ContainerMinimalFlag)) {
        map.SetMinDebugInfo({});
        return static_cast<bool>(ImportContainer(container, map));
    }
    const std::string identity = files.MinDebugInfo();
    if (!identity.empty()) {
        if (auto vex = files.ReadFile(ChangeExtension(files.ModuleFileName(), L".vex"))) {
            const auto full = ReadContainerHeader(*vex);
            if (full && !(full->Flags & ContainerMinimalFlag) && ContainerIdentity(*vex) == identity &&
                ImportContainer(*vex, map)) {
                map.SetMinDebugInfo({});
                return true;
            }
            map.Clear();
        }
    }
    map.SetMinDebugInfo(identity);
    return static_cast<bool>(ImportContainer(container, map));
}

bool LoadDebugInformation(IDebugSourceFiles& files, bool onlyOwnFiles, TMapFile& map)
{
    return TLoader(files, onlyOwnFiles, map).Load();
}

} // namespace crash
