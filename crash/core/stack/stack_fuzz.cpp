// The stack tracer's steps over a synthetic address space made from the input: a stack
// region and a code region of the input's bytes, a frame pointer and a stop value.

#include "crash/core/stack/prepared_stack.h"
#include "crash/core/stack/stack_text.h"
#include "crash/core/stack/testing/memory_image.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 8)
        return 0;
    const auto word = [&](size_t at) {
        return static_cast<uint32_t>(data[at] | data[at + 1] << 8 | data[at + 2] << 16) |
               static_cast<uint32_t>(data[at + 3]) << 24;
    };
    constexpr uint32_t StackBase = 0x10000, CodeBase = 0x400000;
    const size_t half = (size - 8) / 2;
    crash::testing::TMemoryImage memory;
    memory.Add(StackBase, half).Bytes.assign(data + 8, data + 8 + half);
    auto& code = memory.Add(CodeBase, size - 8 - half);
    code.Bytes.assign(data + 8 + half, data + size);
    code.Code = std::pair{CodeBase, static_cast<uint32_t>(CodeBase + code.Bytes.size())};
    // The frame pointer somewhere in (or near) the stack; the stop value as given.
    const uint32_t framePointer = StackBase + (word(0) % (static_cast<uint32_t>(half) + 64));
    const std::vector<uint8_t> prepared =
        crash::PrepareStack(memory, StackBase, static_cast<uint32_t>(StackBase + half), framePointer,
                            data[4] & 1 ? std::optional<uint32_t>(word(4)) : std::nullopt);
    std::vector<crash::TStackLine> lines;
    for (const crash::TPreparedEntry& e : crash::ReadPreparedStack(prepared))
        lines.push_back({e.Address, e.Certain ? e.Address - 1 : 0, u"m", u"", e.Address & 0xFF, 0, u"f"});
    crash::StackText(lines, {true, true});
    crash::StackChecksums(lines);
    crash::ReadPreparedStack({data, size});
    return 0;
}
