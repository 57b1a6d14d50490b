// The debug-information container builder, a build-time program of the host:
//   vex_builder build IMAGE CONTAINER     the container of a linked image's symbols
//   vex_builder same-code IMAGE1 IMAGE2   fails when the code sections differ
//   vex_builder lookup IMAGE CONTAINER    answers hexadecimal addresses from the standard
//                                         input with "address line name" lines
// Exits with 1 and a message on bad input.

#include "crash/core/debug_info/debug_container.h"
#include "crash/core/debug_info/pe_image.h"
#include "tools/debug_tables.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <tuple>
#include <vector>

namespace {

bool ReadFile(const char* path, std::vector<uint8_t>& out)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

int Fail(const char* what, const char* path)
{
    std::fprintf(stderr, "vex_builder: %s: %s\n", path, what);
    return 1;
}

// The build's date and time in the DOS form (date in the low word's place of the header):
// SOURCE_DATE_EPOCH (seconds since 1970, UTC) when it is set, so that two builds of the
// same sources write the same container; otherwise the local time now.
std::pair<uint16_t, uint16_t> DosBuildTime()
{
    std::tm t{};
    const char* epoch = std::getenv("SOURCE_DATE_EPOCH");
    char* end = nullptr;
    const long long seconds = epoch ? std::strtoll(epoch, &end, 10) : 0;
    if (epoch && *epoch && end && !*end && seconds >= 0) {
        const std::time_t at = static_cast<std::time_t>(seconds);
        gmtime_r(&at, &t);
    } else {
        const std::time_t now = std::time(nullptr);
        localtime_r(&now, &t);
    }
    // The DOS form starts in 1980.
    const int year = std::max(t.tm_year - 80, 0);
    const auto date = static_cast<uint16_t>(year << 9 | (t.tm_mon + 1) << 5 | t.tm_mday);
    const auto time = static_cast<uint16_t>(t.tm_hour << 11 | t.tm_min << 5 | t.tm_sec / 2);
    return {date, time};
}

int Build(const char* imagePath, const char* containerPath)
{
    std::vector<uint8_t> file;
    if (!ReadFile(imagePath, file))
        return Fail("cannot be read", imagePath);
    const auto tables = tools::BuildDebugTables(file);
    if (!tables)
        return Fail("is no PE image", imagePath);
    crash::TExportOptions options;
    std::tie(options.DosDate, options.DosTime) = DosBuildTime();
    const std::vector<uint8_t> container = crash::ExportContainer(tables->Map, options);
    std::ofstream out(containerPath, std::ios::binary);
    out.write(reinterpret_cast<const char*>(container.data()),
              static_cast<std::streamsize>(container.size()));
    if (!out.good())
        return Fail("cannot be written", containerPath);
    std::printf("vex_builder: %zu units, %zu functions, %zu lines; container %zu bytes, DWARF %zu bytes\n",
                tables->Map.Segments().size(), tables->Map.Publics().size(), tables->Map.Lines().size(),
                container.size(), tables->DwarfSize);
    return 0;
}

int SameCode(const char* first, const char* second)
{
    std::vector<uint8_t> a, b;
    if (!ReadFile(first, a))
        return Fail("cannot be read", first);
    if (!ReadFile(second, b))
        return Fail("cannot be read", second);
    const auto ia = crash::TPeImage::Parse(a, false), ib = crash::TPeImage::Parse(b, false);
    if (!ia || !ib)
        return Fail("is no PE image", !ia ? first : second);
    size_t compared = 0;
    for (const crash::TPeSection& s : ia->Sections) {
        if (!(s.Characteristics & crash::PeSectionCode))
            continue;
        const auto other =
            std::find_if(ib->Sections.begin(), ib->Sections.end(), [&](const crash::TPeSection& t) {
                return t.Name == s.Name && t.VirtualAddress == s.VirtualAddress &&
                       t.VirtualSize == s.VirtualSize;
            });
        if (other == ib->Sections.end() ||
            !std::ranges::equal(ia->AtOffset(s.PointerToRawData, s.SizeOfRawData),
                                ib->AtOffset(other->PointerToRawData, other->SizeOfRawData)))
            return Fail(("code section " + s.Name + " moved or changed").c_str(), second);
        ++compared;
    }
    if (ia->ImageBase != ib->ImageBase || !compared)
        return Fail("has another image base or no code", second);
    return 0;
}

int Lookup(const char* imagePath, const char* containerPath)
{
    std::vector<uint8_t> file, container;
    if (!ReadFile(imagePath, file))
        return Fail("cannot be read", imagePath);
    if (!ReadFile(containerPath, container))
        return Fail("cannot be read", containerPath);
    const auto image = crash::TPeImage::Parse(file, false);
    if (!image)
        return Fail("is no PE image", imagePath);
    crash::TMapFile map(image->Ranges(static_cast<uint32_t>(image->ImageBase)));
    if (!crash::ImportContainer(container, map))
        return Fail("is no readable container", containerPath);
    std::string word;
    while (std::cin >> word) {
        const uint32_t address = static_cast<uint32_t>(std::stoul(word, nullptr, 16));
        const crash::TMfPublic* p = map.FindPublic(address);
        std::printf("%08x %d %s\n", address, map.FindLine(address), p ? p->Name.c_str() : "");
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string command = argc == 4 ? argv[1] : "";
    if (command == "build")
        return Build(argv[2], argv[3]);
    if (command == "same-code")
        return SameCode(argv[2], argv[3]);
    if (command == "lookup")
        return Lookup(argv[2], argv[3]);
    std::fprintf(stderr,
                 "usage: %s build IMAGE CONTAINER | same-code IMAGE1 IMAGE2 | lookup IMAGE CONTAINER\n",
                 argv[0]);
    return 2;
}
