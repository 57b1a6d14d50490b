// The stack tracer over a synthetic address space made from the input: a stack region and
// a code region of the input's bytes (a module without debug information, its exports and
// whether it is the main executable taken from the input too), a frame pointer, a stop
// value and the top address.

#include "crash/core/stack/prepared_stack.h"
#include "crash/core/stack/stack_text.h"
#include "crash/core/stack/stack_tracer.h"
#include "crash/core/stack/testing/memory_image.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
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

    struct TModules : crash::ITraceModules
    {
        std::optional<crash::TTraceModuleInfo> ModuleAt(uint32_t base) override
        {
            if (base != CodeBase)
                return std::nullopt;
            return Info;
        }
        crash::TTraceModuleInfo Info;
    } modules;
    modules.Info.FileName = u"fuzz.dll";
    modules.Info.CodeBegin = CodeBase;
    modules.Info.CodeEnd = static_cast<uint32_t>(CodeBase + code.Bytes.size());
    modules.Info.MainExecutable = data[5] & 1;
    const uint32_t exportAt = CodeBase + word(4) % (static_cast<uint32_t>(code.Bytes.size()) + 1);
    modules.Info.Exports = {{CodeBase, "First"}, {std::max(exportAt, CodeBase), "Second"}};
    // Debug information from the input too: a public every 32 bytes whose first code byte
    // is odd, a line every 8 bytes.
    crash::TMapFile map({CodeBase - 0x1000, CodeBase, modules.Info.CodeEnd, 0, 0});
    map.AddSegment(true, CodeBase, static_cast<uint32_t>(code.Bytes.size()), "fuzz.cpp", true);
    for (size_t at = 0; at < code.Bytes.size(); at += 8) {
        if (at % 32 == 0 && (code.Bytes[at] & 1))
            map.AddPublic(true, "f" + std::to_string(at), static_cast<uint32_t>(CodeBase + at), true);
        map.AddLine(static_cast<int32_t>(1 + at / 8), static_cast<uint32_t>(CodeBase + at));
    }
    map.Finish();
    map.SetValid(true);
    if (data[5] & 2)
        modules.Info.Debug = &map;
    crash::TTracerCaches caches(modules);
    crash::TTraceRequest request;
    request.Text = {(data[7] & 2) != 0, (data[7] & 4) != 0};
    request.HideUglyItems = data[7] & 8;
    request.CppTermination = data[7] & 16;
    request.DontAddTopItem = data[7] & 32;
    request.ExternalException = data[7] & 64;
    request.DumbTrace = data[7] & 128;
    const std::atomic<bool> abort{(data[5] & 4) != 0};
    request.Abort = &abort;
    request.StackBottom = StackBase;
    request.StackTop = static_cast<uint32_t>(StackBase + half);
    request.FramePointer = framePointer;
    request.IsException = data[6] & 1;
    request.TopAddr = CodeBase + word(0) % (static_cast<uint32_t>(code.Bytes.size()) + 1);
    request.CreatorAddr = data[7] & 1 ? exportAt : 0;
    if (data[6] & 2)
        request.PreparedStack = prepared;
    crash::TraceStack(memory, caches, request);
    return 0;
}
