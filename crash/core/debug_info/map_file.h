#pragma once
// The symbol information of one loaded module: which unit a code address belongs to,
// which public symbol (function) contains it, which source line it is on, and the address
// of a named function. Every source (the compact container, a linker map, TD32, JCL debug
// files, PDB) fills the same three tables, which are then sorted and answer by binary
// search. Platform-free: the module's ranges come from the caller.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace crash {

struct TMfSegment
{
    bool IsValid = true;
    bool Code = true;
    uint32_t StartAddress = 0;
    uint32_t Length = 0;
    std::string Unit_;
    bool LineNumbers = false; // the unit has line information that was not loaded
};

struct TMfPublic
{
    bool IsValid = true;
    bool Code = true;
    std::string Name;
    uint32_t Address = 0;
};

struct TMfLine
{
    int32_t Line = 0;
    uint32_t Address = 0;
};

// Where a module lies: its load address and its code and data ranges.
struct TModuleRanges
{
    uint32_t HInstance = 0;
    uint32_t BaseOfCode = 0, TopOfCode = 0;
    uint32_t BaseOfData = 0, TopOfData = 0;
};

class TMapFile
{
public:
    explicit TMapFile(const TModuleRanges& ranges = {}, bool codeOnly = false);

    // Adding entries, as every source does. `absolute` addresses are taken as they are;
    // others are made absolute by adding the code or the data base.
    void AddSegment(bool code, uint32_t start, uint32_t length, std::string unit, bool absolute = false,
                    bool lineNumbers = false);
    void AddPublic(bool code, std::string name, uint32_t address, bool absolute = false);
    void AddLine(int32_t line, uint32_t address);
    // TD32 adds its unit segments merged: a segment of the same kind and unit as the last
    // one added that starts within it (or up to 2 bytes past its end) lengthens that one.
    void AddMergedSegment(bool code, uint32_t start, uint32_t length, std::string unit);
    // A TD32 public, added after SortSegments: the segment before it is lengthened to reach
    // it (never into the next segment of its kind), and a public before every segment adds
    // a one-byte segment of its unit.
    void AddTd32Public(bool code, std::string name, uint32_t address);
    // Sorts the segments (by kind, then start) and optimizes them: empty ones and ones that
    // start where the next starts give way; with `closeGaps` a segment reaches the next of
    // its kind (absorbing it when it has the same unit), else lengths change only where
    // two segments overlap or touch.
    void SortSegments(bool closeGaps);
    // The last code segment then reaches the top of the code.
    void ExtendLastSegmentToTopOfCode();
    // Sorts the tables and closes the gaps between segments; call once after loading.
    void Finish();

    const TMfSegment* FindSegment(bool code, uint32_t address) const;
    // By index (a name of its own: on 32-bit targets size_t and an address are one type).
    const TMfSegment* FindSegmentByIndex(size_t index) const;
    const TMfPublic* FindPublic(uint32_t address) const;
    const TMfPublic* FindPublicByIndex(size_t index) const;
    // The address of a public of the unit (case-sensitive or not), or 0.
    uint32_t FindPublic(bool code, const std::string& unit, const std::string& name,
                        bool caseSensitive) const;
    // The line of an address, 0 when unknown, -1 when the table is empty but the segment
    // says the unit has lines; `next` receives where the next line starts.
    int32_t FindLine(uint32_t address) const;
    int32_t FindLine(uint32_t address, uint32_t& next) const;
    uint32_t FindAddress(const std::string& unit, const std::string& publicName) const;

    const std::vector<TMfSegment>& Segments() const noexcept { return FSItems; }
    const std::vector<TMfPublic>& Publics() const noexcept { return FPItems; }
    const std::vector<TMfLine>& Lines() const noexcept { return FLItems; }
    const TModuleRanges& Ranges() const noexcept { return FRanges; }
    bool Valid() const noexcept { return FValid; }
    void SetValid(bool valid) noexcept { FValid = valid; }
    uint32_t EntryPoint() const noexcept { return FEntryPoint; }
    void SetEntryPoint(uint32_t address) noexcept { FEntryPoint = address; }
    // The identity of the full information when the module carries minimal information
    // only (the report names it); empty otherwise.
    const std::string& MinDebugInfo() const noexcept { return FMinDebugInfo; }
    void SetMinDebugInfo(std::string identity) { FMinDebugInfo = std::move(identity); }
    // Forgets every entry (a source that failed half-way leaves nothing behind).
    void Clear();

private:
    const TMfSegment* SegmentAt(bool code, uint32_t address) const;
    // The index of the sorted segment of that kind that starts last at or before the
    // address, SIZE_MAX when there is none.
    size_t LastStartingAt(bool code, uint32_t address) const;

    bool FCodeOnly;
    std::vector<TMfSegment> FSItems;
    std::vector<TMfPublic> FPItems;
    std::vector<TMfLine> FLItems;
    uint32_t FEntryPoint = 0;
    TModuleRanges FRanges;
    bool FValid = false;
    bool FSorted = false;
    std::string FMinDebugInfo;
    size_t FLastAdded = SIZE_MAX; // the segment AddMergedSegment may lengthen
};

// A Delphi-mangled name ("@Unit1@TForm1@Button1Click$qqrp14System@TObject") as unit
// ("Unit1") and name ("TForm1.Button1Click"); a mangled C++ name demangled; other names
// come back as they are. Every "::" is made "."; no unit is given but for Delphi names.
struct TUnmangled
{
    std::string Unit;
    std::string Name;
};
TUnmangled Unmangle(const std::string& mangled);

// A C++ name of this toolchain ("_Z..." or, with i686's leading underscore, "__Z...";
// a __stdcall "@n" suffix kept) as the demangler writes it; nullopt for other names.
std::optional<std::string> DemangleCxx(const std::string& linked);

} // namespace crash
