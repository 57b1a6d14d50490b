// Fuzz target: any bytes as the code of a module (mapped at 0x401000, the first byte choosing
// the entry point and the exception address), analysed and listed as the report's
// "disassembling" section does with the foreign process's memory: the analysis reads only
// what the memory gives, and the listing is made of what the analysis found.
#include "crash/core/x86/x86_listing.h"

#include <cstring>

namespace {

constexpr uint32_t Base = 0x401000;

class TFuzzMemory : public crash::ICodeMemory
{
public:
    TFuzzMemory(const uint8_t* data, size_t size) : FData(data), FSize(size) {}
    bool Read(uint32_t address, uint8_t* out, size_t size) override
    {
        if (address < Base || address - Base > FSize || size > FSize - (address - Base))
            return false;
        std::memcpy(out, FData + (address - Base), size);
        return true;
    }
    std::optional<std::pair<uint32_t, uint32_t>> CodeRange(uint32_t address) override
    {
        if (address < Base || address - Base >= FSize)
            return std::nullopt;
        return std::pair<uint32_t, uint32_t>{Base, Base + static_cast<uint32_t>(FSize)};
    }

private:
    const uint8_t* FData;
    size_t FSize;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    const uint32_t entry = Base + 1 + data[0] % (size - 1);
    TFuzzMemory memory(data, size);
    crash::TRuntimeEntries runtime;
    runtime.NoReturn = {Base + 0x10};
    const crash::TFunctionInfo info = crash::AnalyseFunction(memory, entry, runtime);
    crash::TListingOptions options;
    options.ExceptionAddress = entry + data[1] % 64;
    options.AutoDelimiters = data[1] & 0x40;
    options.Limit = data[1] & 0x80 ? 12 : 0;
    options.NameOf = [](uint32_t address) {
        return address % 5 == 0 ? std::string("Unit.Routine") : std::string();
    };
    options.LineOf = [](uint32_t address) { return static_cast<int>(address % 7); };
    options.ClassNameOf = [](uint32_t) { return std::string("EAccessViolation"); };
    options.ImageEnd = [size](uint32_t address) -> std::optional<uint32_t> {
        if (address < Base || address - Base >= size)
            return std::nullopt;
        return Base + static_cast<uint32_t>(size);
    };
    options.Runtime = runtime;
    (void)crash::DisassemblyListing(memory, info, options);
    (void)crash::PlausibleText({reinterpret_cast<const char*>(data), size});
    return 0;
}
