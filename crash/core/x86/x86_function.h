#pragma once
// Analysis of a whole function from its entry point: its code areas (found by following
// jumps, case tables and exception frames), the calls and jumps it makes and where they
// lead, and the indirect ones whose targets are not known. Platform-free: code is read
// through an interface, so tests analyse hand-made byte sequences and the reporter reads
// process memory through its guarded reader.

#include "base/little_endian.h"
#include "crash/core/x86/x86_decoder.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace crash {

// Where the analysis reads code and what it knows about the module it lies in.
class ICodeMemory
{
public:
    virtual ~ICodeMemory() = default;
    // Copies `size` bytes at `address`; false when they cannot all be read.
    virtual bool Read(uint32_t address, uint8_t* out, size_t size) = 0;
    // The code range of the module that contains `address` (from its PE header), or
    // nothing when no module does.
    virtual std::optional<std::pair<uint32_t, uint32_t>> CodeRange(uint32_t address) = 0;

    // A little-endian 32-bit value at `address`; false when it cannot be read.
    bool ReadDword(uint32_t address, uint32_t& value)
    {
        uint8_t b[4];
        if (!Read(address, b, 4))
            return false;
        value = base::ReadLe32(b, 0);
        return true;
    }
    // As many of the `size` bytes at `address` as can be read (an instruction may end just
    // before unreadable memory); returns how many.
    size_t ReadUpTo(uint32_t address, uint8_t* out, size_t size)
    {
        while (size > 0 && !Read(address, out, size))
            --size;
        return size;
    }
};

// What is known about the eight general registers: a value, or nothing.
using TRegisterState = std::array<std::optional<uint32_t>, 8>;

struct TCodeArea
{
    uint32_t AreaBegin = 0;
    uint32_t AreaEnd = 0; // the last byte; 0 while the area is open
    bool CaseBlock = false;
    bool OnExceptBlock = false;
    uint32_t CalledFrom = 0; // the instruction that led here, 0 for the entry
    TRegisterState Registers;
};

struct TFarCall
{
    bool Call = false;
    uint32_t CodeAddr1 = 0, CodeAddr2 = 0;
    uint32_t Target = 0;
    bool RelTarget = false;
    uint32_t PTarget = 0, PPTarget = 0;
};

struct TUnknownTarget
{
    bool Call = false;
    uint32_t CodeAddr1 = 0, CodeAddr2 = 0;
};

struct TFunctionCopy
{
    bool IsValid = false;
    uint32_t BufferLen = 0;
    uint32_t LastErrorAddr = 0;
    uint32_t LastErrorNo = 0;
    std::string LastErrorStr;
};

struct TFunctionInfo
{
    bool IsValid = false;
    uint32_t EntryPoint = 0;
    uint32_t CodeBegin = 0;
    uint32_t CodeLen = 0;
    uint32_t LastErrorAddr = 0;
    uint32_t LastErrorNo = 0;
    std::string LastErrorStr;
    std::vector<TCodeArea> CodeAreas;
    std::vector<TFarCall> FarCalls;
    std::vector<TUnknownTarget> UnknownTargets;
    bool Interceptable = false; // the first five bytes are whole instructions no jump leads into
    TFunctionCopy Copy;
};

// The runtime's exception-handling entry points and its non-returning routines, for the
// extended analysis (0 where unknown).
struct TRuntimeEntries
{
    uint32_t HandleAnyException = 0, HandleOnException = 0, HandleAutoException = 0, HandleFinally = 0;
    std::vector<uint32_t> NoReturn; // Halt0, _CxxThrowException, ...
};

TFunctionInfo AnalyseFunction(ICodeMemory& memory, uint32_t entryPoint, const TRuntimeEntries& runtime = {});

// The area that starts at `address`, or null.
const TCodeArea* AreaAt(const TFunctionInfo& info, uint32_t address);

} // namespace crash
