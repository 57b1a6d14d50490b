#include "crash/core/stack/stack_tracer.h"
#include "crash/core/stack/testing/memory_image.h"

#include <gtest/gtest.h>

#include <map>

namespace crash {
namespace {

using testing::TMemoryImage;

constexpr uint32_t ImageBase = 0x400000, CodeBase = 0x401000, CodeEnd = 0x402000;
constexpr uint32_t DllBase = 0x10000000, DllCode = 0x10001000;
constexpr uint32_t StackBottomLimit = 0x12F000, StackTop = 0x130000;

// A call from `at` to `target`: E8 and the relative displacement.
std::vector<uint8_t> Call(uint32_t at, uint32_t target)
{
    const uint32_t rel = target - (at + 5);
    return {0xE8, static_cast<uint8_t>(rel), static_cast<uint8_t>(rel >> 8), static_cast<uint8_t>(rel >> 16),
            static_cast<uint8_t>(rel >> 24)};
}

class TModules : public ITraceModules
{
public:
    std::optional<TTraceModuleInfo> ModuleAt(uint32_t base) override
    {
        const auto it = Modules.find(base);
        if (it == Modules.end())
            return std::nullopt;
        return it->second;
    }
    std::map<uint32_t, TTraceModuleInfo> Modules;
};

// A program of five functions, each a public with lines:
//   main 401000: push ebp; mov ebp,esp; call A; pop ebp; ret
//   A    401100: push ebp; mov ebp,esp; call B; pop ebp; ret
//   B    401200: call C; ret                    (no frame)
//   C    401300: mov eax,[0]; ret               (faults at 401300)
//   D    401400: call C; ret                    (calls C too, but is not on the stack)
//   R    401500: call B; call B; ret            (for recursion tests)
struct TProgram
{
    TProgram()
    {
        auto& image = Memory.Add(ImageBase, CodeEnd - ImageBase);
        image.Code = std::pair{CodeBase, CodeEnd};
        const auto put = [&](uint32_t at, std::vector<uint8_t> bytes) { Memory.PutBytes(at, bytes); };
        put(0x401000, {0x55, 0x89, 0xE5});
        put(0x401003, Call(0x401003, 0x401100));
        put(0x401008, {0x5D, 0xC3});
        put(0x401100, {0x55, 0x89, 0xE5});
        put(0x401103, Call(0x401103, 0x401200));
        put(0x401108, {0x5D, 0xC3});
        put(0x401200, Call(0x401200, 0x401300));
        put(0x401205, {0xC3});
        put(0x401300, {0xA1, 0, 0, 0, 0, 0xC3});
        put(0x401400, Call(0x401400, 0x401300));
        put(0x401405, {0xC3});
        put(0x401500, Call(0x401500, 0x401500)); // Rec: calls itself, then C
        put(0x401505, Call(0x401505, 0x401300));
        put(0x40150A, {0xC3});
        put(0x401600, Call(0x401600, 0x401500)); // M2: calls Rec
        put(0x401605, {0xC3});
        put(0x401700, {0xA1, 0, 0, 0, 0, 0xC3}); // CB: faults
        put(0x401800, Call(0x401800, DllCode));  // M3: calls the DLL's Enumerate
        put(0x401805, {0xC3});
        put(0x401900, {0xE9}); // Thunk: jmp B
        const uint32_t toB = 0x401200 - 0x401905;
        put(0x401901, {static_cast<uint8_t>(toB), static_cast<uint8_t>(toB >> 8),
                       static_cast<uint8_t>(toB >> 16), static_cast<uint8_t>(toB >> 24)});
        put(0x401A00, Call(0x401A00, 0x401900)); // M4: calls the thunk
        put(0x401B00, Call(0x401B00, 0x401C00)); // Thrower: calls the raise routine
        put(0x401B05, {0xC3});
        put(0x401C00, {0xCC, 0xC3});             // RaiseError
        put(0x401D00, Call(0x401D00, 0x401D80)); // Labels: calls a label of its own
        put(0x401D05, {0xC3});
        put(0x401D80, Call(0x401D80, 0x401300)); // the label calls C
        put(0x401D85, {0xC3});
        put(0x401E00, Call(0x401E00, 0x401E00)); // Loop: calls itself
        put(0x401E05, {0xC3});
        // The DLL: Enumerate calls its callback through the stack, no debug information.
        auto& dll = Memory.Add(DllBase, 0x2000);
        dll.Code = std::pair{DllCode, DllCode + 0x1000};
        put(DllCode, {0x90, 0x90, 0xFF, 0x54, 0x24, 0x04, 0xC3}); // nop; nop; call [esp+4]; ret
        Memory.Add(StackBottomLimit, StackTop - StackBottomLimit);

        Map = TMapFile({ImageBase, CodeBase, CodeEnd, 0, 0});
        Map.AddSegment(true, CodeBase, 0xF00, "prog.cpp", true);
        const std::pair<uint32_t, const char*> publics[] = {
            {0x401000, "main"},       {0x401100, "A"},      {0x401200, "B"},   {0x401300, "C"},
            {0x401400, "D"},          {0x401500, "Rec"},    {0x401600, "M2"},  {0x401700, "CB"},
            {0x401800, "M3"},         {0x401900, "Thunk"},  {0x401A00, "M4"},  {0x401B00, "Thrower"},
            {0x401C00, "RaiseError"}, {0x401D00, "Labels"}, {0x401E00, "Loop"}};
        for (const auto& [address, name] : publics)
            Map.AddPublic(true, name, address, true);
        const std::pair<uint32_t, int> lines[] = {
            {0x401000, 10}, {0x401003, 11}, {0x401008, 12}, {0x401100, 20}, {0x401103, 21},
            {0x401108, 22}, {0x401200, 30}, {0x401205, 31}, {0x401300, 40}, {0x401400, 50},
            {0x401500, 60}, {0x401505, 61}, {0x401600, 70}, {0x401700, 80}, {0x401800, 90}};
        for (const auto& [address, line] : lines)
            Map.AddLine(line, address);
        Map.Finish();
        Map.SetValid(true);

        TTraceModuleInfo exe;
        exe.FileName = u"prog.exe";
        exe.CodeBegin = CodeBase;
        exe.CodeEnd = CodeEnd;
        exe.Debug = &Map;
        exe.MainExecutable = true;
        Modules.Modules[ImageBase] = exe;
        TTraceModuleInfo library;
        library.FileName = u"enum.dll";
        library.CodeBegin = DllCode;
        library.CodeEnd = DllCode + 0x1000;
        library.Exports = {{DllCode, "Enumerate"}, {DllCode + 0x800, "Other"}};
        Modules.Modules[DllBase] = library;
    }

    // The stack of main -> A -> B -> C at the fault: return addresses and saved frame
    // pointers where the code put them. Returns the stack pointer.
    uint32_t TrueStack()
    {
        Memory.Put32(0x12FFEC, 0);        // main's saved ebp (the chain ends)
        Memory.Put32(0x12FFE8, 0x401008); // into main
        Memory.Put32(0x12FFE4, 0x12FFEC); // A's saved ebp
        Memory.Put32(0x12FFE0, 0x401108); // into A
        Memory.Put32(0x12FFDC, 0x401205); // into B
        return 0x12FFDC;
    }

    TTraceRequest Fault(uint32_t esp, uint32_t ebp)
    {
        TTraceRequest r;
        r.Text = {true, true};
        r.StackTop = StackTop;
        r.StackBottom = esp;
        r.FramePointer = ebp;
        r.IsException = true;
        r.ExternalException = true;
        r.TopAddr = 0x401300;
        return r;
    }

    TTraceResult Trace(const TTraceRequest& r) { return TraceStack(Memory, Caches, r); }

    TMemoryImage Memory;
    TMapFile Map;
    TModules Modules;
    TTracerCaches Caches{Modules};
};

std::vector<uint32_t> Addresses(const TTraceResult& r)
{
    std::vector<uint32_t> out;
    for (const TStackLine& l : r.Lines)
        out.push_back(l.Addr);
    return out;
}

const std::vector<uint32_t> TrueChain = {0x401300, 0x401200, 0x401103, 0x401003};

TEST(StackTracer, FindsTheTrueChainWithAndWithoutFramePointers)
{
    TProgram p;
    const uint32_t esp = p.TrueStack();
    const TTraceResult withFrames = p.Trace(p.Fault(esp, 0x12FFE4));
    EXPECT_EQ(Addresses(withFrames), TrueChain)
        << std::string(withFrames.Text.begin(), withFrames.Text.end());
    ASSERT_EQ(withFrames.Lines.size(), 4u);
    EXPECT_EQ(withFrames.Lines[0].FunctionName, u"C");
    EXPECT_EQ(withFrames.Lines[0].Line, 40u);
    EXPECT_EQ(withFrames.Lines[1].FunctionName, u"B");
    EXPECT_EQ(withFrames.Lines[2].FunctionName, u"A");
    EXPECT_EQ(withFrames.Lines[2].Line, 21u);
    EXPECT_EQ(withFrames.Lines[2].PublicLine, 20u);
    EXPECT_EQ(withFrames.Lines[3].UnitName, u"prog.cpp");
    EXPECT_EQ(withFrames.Lines[3].ModuleName, u"prog.exe");
    EXPECT_TRUE(withFrames.HasLineNumbers);
    EXPECT_EQ(withFrames.ExceptAddr, 0x401300u);
    EXPECT_EQ(withFrames.ExceptFuncEntry, 0x401300u);
    EXPECT_EQ(withFrames.Checksums.First, LineChecksum(withFrames.Lines[0]));

    const TTraceResult withoutFrames = p.Trace(p.Fault(esp, 0));
    EXPECT_EQ(Addresses(withoutFrames), TrueChain)
        << std::string(withoutFrames.Text.begin(), withoutFrames.Text.end());
    EXPECT_EQ(withoutFrames.Checksums.All, withFrames.Checksums.All);
}

TEST(StackTracer, StaleReturnAddressesOffTheChainAreLeftOut)
{
    TProgram p;
    const uint32_t esp = p.TrueStack();
    // A return address into D (which calls C) in a slot of main's frame, and values that
    // point into the code after no call at all.
    p.Memory.Put32(0x12FFF4, 0x401405);
    p.Memory.Put32(0x12FFF8, 0x401101);
    p.Memory.Put32(0x12FFFC, 0x401306);
    const TTraceResult r = p.Trace(p.Fault(esp, 0x12FFE4));
    std::vector<uint32_t> addresses = Addresses(r);
    EXPECT_EQ(std::vector<uint32_t>(addresses.begin(), addresses.begin() + 4), TrueChain);
    EXPECT_EQ(std::count(addresses.begin(), addresses.end(), 0x401101u), 0);
    EXPECT_EQ(std::count(addresses.begin(), addresses.end(), 0x401306u), 0);
}

TEST(StackTracer, ASlotHoldingTheExceptionAddressStartsTheTrace)
{
    TProgram p;
    const uint32_t esp = p.TrueStack();
    // Below the faulting frame the system's dispatcher pushed the exception address and
    // more return addresses of its own.
    p.Memory.Put32(esp - 4, 0x401300);
    p.Memory.Put32(esp - 8, 0x401405);
    TTraceRequest r = p.Fault(esp - 8, 0x12FFE4);
    const TTraceResult result = p.Trace(r);
    EXPECT_EQ(Addresses(result), TrueChain);
}

// A handler higher up kept a copy of the exception record: the exception address appears in
// its frame, above the frames between it and the fault. Only the slot nearest the fault
// starts the trace.
TEST(StackTracer, ACopyOfTheExceptionAddressHigherUpIsNoFrame)
{
    TProgram p;
    const uint32_t esp = p.TrueStack();
    p.Memory.Put32(0x12FFF0, 0x401300); // in main's frame: the record's address field
    p.Memory.Put32(esp - 4, 0x401300);
    p.Memory.Put32(esp - 8, 0x401405);
    const TTraceResult r = p.Trace(p.Fault(esp - 8, 0x12FFE4));
    EXPECT_EQ(Addresses(r), TrueChain) << std::string(r.Text.begin(), r.Text.end());
}

// The same in a prepared stack, which starts at the exception's own stack pointer: B raised
// at 401205 (after a call, as a raise routine does), and an earlier failure's handling left a
// copy of that address among A's locals. The copy does not cut A's frame off the trace.
TEST(StackTracer, AStaleCopyOfTheExceptionAddressInAPreparedStackIsNoFrame)
{
    TProgram p;
    p.Memory.Put32(0x12FFEC, 0);        // main's saved ebp
    p.Memory.Put32(0x12FFE8, 0x401008); // into main
    p.Memory.Put32(0x12FFE4, 0x12FFEC); // A's saved ebp
    p.Memory.Put32(0x12FFE0, 0x401205); // the stale copy, among A's locals
    p.Memory.Put32(0x12FFDC, 0x401108); // into A: where B's stack pointer is as it raises
    TTraceRequest r = p.Fault(0x12FFDC, 0x12FFE4);
    r.TopAddr = 0x401205;
    r.PreparedStack = PrepareStack(p.Memory, 0x12FFDC, StackTop, 0x12FFE4);
    const TTraceResult t = p.Trace(r);
    EXPECT_EQ(Addresses(t), (std::vector<uint32_t>{0x401205, 0x401103, 0x401003}))
        << std::string(t.Text.begin(), t.Text.end());
}

TEST(StackTracer, UnreadableStacksGiveNoText)
{
    TProgram p;
    TTraceRequest r = p.Fault(0x50000000, 0);
    r.StackTop = 0x50001000;
    EXPECT_TRUE(p.Trace(r).Text.empty());
    r.StackBottom = StackTop; // an empty range
    r.StackTop = StackTop;
    EXPECT_TRUE(p.Trace(r).Text.empty());
}

TEST(StackTracer, AnAbortEndsTheTraceWithoutOutput)
{
    TProgram p;
    const uint32_t esp = p.TrueStack();
    std::atomic<bool> abort{true};
    TTraceRequest r = p.Fault(esp, 0x12FFE4);
    r.Abort = &abort;
    EXPECT_TRUE(p.Trace(r).Text.empty());
    int last = -1;
    bool increasing = true;
    abort = false;
    r.Progress = [&](int permille) {
        increasing = increasing && permille >= last;
        last = permille;
    };
    EXPECT_FALSE(p.Trace(r).Text.empty());
    EXPECT_TRUE(increasing);
    EXPECT_EQ(last, 1000);
}

TEST(StackTracer, RecursionIsFoldedToOneRepeat)
{
    TProgram p;
    // M2 -> Rec -> Rec -> Rec -> Rec -> C, without frame pointers.
    uint32_t esp = 0x12FFF0;
    for (uint32_t ret : {0x401605u, 0x401505u, 0x401505u, 0x401505u, 0x40150Au}) {
        esp -= 4;
        p.Memory.Put32(esp, ret);
    }
    const TTraceResult r = p.Trace(p.Fault(esp, 0));
    EXPECT_EQ(Addresses(r), (std::vector<uint32_t>{0x401300, 0x401505, 0x401500, 0x401600}))
        << std::string(r.Text.begin(), r.Text.end());
}

TEST(StackTracer, FramesOfALibraryWithoutInformationAreNamedAfterTheNearestExport)
{
    TProgram p;
    // M3 -> Enumerate (in the DLL) -> CB through a pointer, which faults.
    p.Memory.Put32(0x12FFEC, 0x401805);
    p.Memory.Put32(0x12FFE8, 0xDEAD0000); // Enumerate's argument
    p.Memory.Put32(0x12FFE4, DllCode + 6);
    TTraceRequest r = p.Fault(0x12FFE4, 0);
    r.TopAddr = 0x401700;
    const TTraceResult result = p.Trace(r);
    EXPECT_EQ(Addresses(result), (std::vector<uint32_t>{0x401700, DllCode + 2, 0x401800}))
        << std::string(result.Text.begin(), result.Text.end());
    ASSERT_EQ(result.Lines.size(), 3u);
    EXPECT_EQ(result.Lines[1].ModuleName, u"enum.dll");
    EXPECT_EQ(result.Lines[1].FunctionName, u"Enumerate");
    EXPECT_EQ(result.Lines[1].Line, 0u);

    // Frames without lines are left out when asked, but not the top and creator frames.
    r.HideUglyItems = true;
    r.CreatorAddr = 0x401405;
    const TTraceResult hidden = p.Trace(r);
    EXPECT_EQ(Addresses(hidden), (std::vector<uint32_t>{0x401700, 0x401800, 0x401400}))
        << std::string(hidden.Text.begin(), hidden.Text.end());
}

TEST(StackTracer, ACallThroughAThunkReachesTheCodeItJumpsTo)
{
    TProgram p;
    // M4 -> Thunk (jmp B) -> B -> C: the thunk leaves no frame, B returns to M4.
    p.Memory.Put32(0x12FFEC, 0x401A05);
    p.Memory.Put32(0x12FFE8, 0x401205);
    const TTraceResult r = p.Trace(p.Fault(0x12FFE8, 0));
    EXPECT_EQ(Addresses(r), (std::vector<uint32_t>{0x401300, 0x401200, 0x401A00}))
        << std::string(r.Text.begin(), r.Text.end());
}

TEST(StackTracer, AFrameChainSlotIsKeptWhereAnOtherSlotWithoutACallIsNot)
{
    TProgram p;
    const uint32_t esp = p.TrueStack();
    // main's frame is chained to one more frame whose return slot holds an address in A
    // that no call precedes; the same value elsewhere is no frame.
    p.Memory.Put32(0x12FFEC, 0x12FFF4);
    p.Memory.Put32(0x12FFF8, 0x401101);
    p.Memory.Put32(0x12FFFC, 0x401101);
    std::vector<uint32_t> addresses = Addresses(p.Trace(p.Fault(esp, 0x12FFE4)));
    EXPECT_EQ(std::count(addresses.begin(), addresses.end(), 0x401101u), 1);
    EXPECT_EQ(addresses.back(), 0x401101u);
    p.Memory.Put32(0x12FFEC, 0);
    addresses = Addresses(p.Trace(p.Fault(esp, 0x12FFE4)));
    EXPECT_EQ(std::count(addresses.begin(), addresses.end(), 0x401101u), 0);
}

TEST(StackTracer, ARaiseByCallIsLocatedAtTheCall)
{
    TProgram p;
    p.Memory.Put32(0x12FFEC, 0x401B05);
    TTraceRequest r = p.Fault(0x12FFEC, 0);
    r.ExternalException = false;
    r.TopAddr = 0x401B05; // the return address of the call to the raise routine
    const TTraceResult result = p.Trace(r);
    ASSERT_FALSE(result.Lines.empty());
    EXPECT_EQ(result.Lines[0].Addr, 0x401B00u);
    EXPECT_EQ(result.Lines[0].FunctionName, u"Thrower");
}

TEST(StackTracer, APreparedStackIsTracedAsItWasWhenPrepared)
{
    TProgram p;
    const uint32_t esp = p.TrueStack();
    TTraceRequest r = p.Fault(esp, 0x12FFE4);
    r.PreparedStack = PrepareStack(p.Memory, esp, StackTop, 0x12FFE4);
    // The stack changes afterwards; the trace keeps to what was prepared.
    for (uint32_t slot = esp; slot < StackTop; slot += 4)
        p.Memory.Put32(slot, 0);
    EXPECT_EQ(Addresses(p.Trace(r)), TrueChain);

    // With a prepared stack, the system's exception dispatching is hidden: the frames from
    // the exception handler on, but the top item.
    p.Map = TMapFile({ImageBase, CodeBase, CodeEnd, 0, 0});
    p.Map.AddSegment(true, CodeBase, 0x900, "prog.cpp", true);
    const std::pair<uint32_t, const char*> publics[] = {{0x401000, "main"},
                                                        {0x401100, "KiUserExceptionDispatcher"},
                                                        {0x401200, "__ExceptionHandler"},
                                                        {0x401300, "C"}};
    for (const auto& [address, name] : publics)
        p.Map.AddPublic(true, name, address, true);
    p.Map.Finish();
    p.Map.SetValid(true);
    p.Map.SetMinDebugInfo("$00000100, $00000200, $00000300");
    TTracerCaches fresh(p.Modules);
    const TTraceResult hidden = TraceStack(p.Memory, fresh, r);
    EXPECT_EQ(Addresses(hidden), (std::vector<uint32_t>{0x401300, 0x401003}));
    EXPECT_EQ(hidden.MinDebugInfo,
              (std::vector<std::u16string>{u"prog.exe|$00000100, $00000200, $00000300"}));
}

TEST(StackTracer, BadStacksEndInBoundedTimeWithoutFault)
{
    TProgram p;
    uint32_t seed = 12345;
    const auto next = [&] { return seed = seed * 1103515245 + 12345; };
    // Random values, values into the code at every offset, and a frame chain that loops.
    for (uint32_t slot = StackBottomLimit; slot < StackTop; slot += 4)
        p.Memory.Put32(slot, next());
    (void)p.Trace(p.Fault(StackBottomLimit, StackTop - 0x100));
    for (uint32_t slot = StackBottomLimit, v = CodeBase; slot < StackTop; slot += 4, ++v)
        p.Memory.Put32(slot, v);
    const TTraceResult code = p.Trace(p.Fault(StackBottomLimit, 0));
    EXPECT_FALSE(code.Text.empty());
    p.Memory.Put32(0x12FF00, 0x12FF10);
    p.Memory.Put32(0x12FF10, 0x12FF00);
    TTraceRequest loop = p.Fault(0x12FE00, 0x12FF00);
    loop.TopAddr = 0x50000000; // unmapped
    (void)p.Trace(loop);
}

TEST(TracerCaches, ApprovalSpreadsThroughJumpsAndAnalysesOnce)
{
    TProgram p;
    TTracerCaches& caches = p.Caches;
    const int32_t thunk = caches.Function(p.Memory, 0x401900, "Thunk", 0, false);
    EXPECT_EQ(caches.FunctionCount(), 1u);
    EXPECT_FALSE(caches.FunctionByIndex(thunk).Approved);
    caches.Approve(p.Memory, thunk);
    // B, where the thunk jumps, is approved too; C, which B calls, is not analysed.
    ASSERT_EQ(caches.FunctionCount(), 2u);
    EXPECT_TRUE(caches.FunctionByIndex(thunk).Approved);
    EXPECT_EQ(caches.FunctionByIndex(1).Info.EntryPoint, 0x401200u);
    EXPECT_TRUE(caches.FunctionByIndex(1).Approved);
    EXPECT_EQ(caches.Function(p.Memory, 0x401200, "B", 0, false), 1);
    EXPECT_EQ(caches.FunctionCount(), 2u);
    EXPECT_EQ(caches.Module(ImageBase), 0);
    EXPECT_EQ(caches.Module(StackBottomLimit), -1);
    EXPECT_EQ(caches.ModuleByIndex(0).Info.FileName, u"prog.exe");
}

TEST(StackTracer, CodeReachedThroughACallInsideTheFunctionIsItsLabel)
{
    TProgram p;
    p.Memory.Put32(0x12FFEC, 0x401D05); // into Labels, from whoever called it
    p.Memory.Put32(0x12FFE8, 0x401D85); // into the label's code, after its call of C
    const TTraceResult r = p.Trace(p.Fault(0x12FFE8, 0));
    EXPECT_EQ(Addresses(r), (std::vector<uint32_t>{0x401300, 0x401D80, 0x401D00}))
        << std::string(r.Text.begin(), r.Text.end());
    ASSERT_EQ(r.Lines.size(), 3u);
    EXPECT_EQ(r.Lines[1].FunctionName, u"Labels.@label");
}

TEST(StackTracer, TheCreatorIsTheOldestFrameWhateverItsAnalysis)
{
    TProgram p;
    const uint32_t esp = p.TrueStack();
    TTraceRequest r = p.Fault(esp, 0x12FFE4);
    r.CreatorAddr = 0x401101; // no call ends there
    const std::vector<uint32_t> addresses = Addresses(p.Trace(r));
    ASSERT_FALSE(addresses.empty());
    EXPECT_EQ(addresses.back(), 0x401101u);
    EXPECT_EQ(std::vector<uint32_t>(addresses.begin(), addresses.end() - 1), TrueChain);
}

TEST(StackTracer, AStepThatFaultsGivesItsName)
{
    TProgram p;
    const uint32_t esp = p.TrueStack();
    TTraceRequest r = p.Fault(esp, 0x12FFE4);
    static int calls;
    calls = 0;
    // The platform's protection reports a fault in the third step.
    r.Protect = [](void (*fn)(void*), void* argument) {
        if (++calls == 3)
            return false;
        fn(argument);
        return true;
    };
    const std::u16string text = p.Trace(r).Text;
    EXPECT_EQ(text.substr(0, 36), u">> internal error in InDeepChecks\r\n>");
}

TEST(StackTracer, AQuarterMegabyteOfFramesEndsInBoundedTime)
{
    TProgram p;
    // 32768 frames of Loop calling itself, each with its saved frame pointer: one long
    // increasing frame chain and as many candidates.
    constexpr uint32_t Bottom = 0x12F000 - 0x40000;
    p.Memory.Add(Bottom, 0x40000);
    for (uint32_t frame = Bottom; frame + 8 <= StackTop; frame += 8) {
        p.Memory.Put32(frame, frame + 8);
        p.Memory.Put32(frame + 4, 0x401E05);
    }
    TTraceRequest r = p.Fault(Bottom, Bottom);
    r.TopAddr = 0x401E00;
    const TTraceResult result = p.Trace(r);
    EXPECT_EQ(Addresses(result), (std::vector<uint32_t>{0x401E00}))
        << std::string(result.Text.begin(), result.Text.end()).substr(0, 400);
}

TEST(StackTracer, TheThrowMachineryIsHiddenAfterATermination)
{
    TProgram p;
    p.Map = TMapFile({ImageBase, CodeBase, CodeEnd, 0, 0});
    p.Map.AddSegment(true, CodeBase, 0x900, "prog.cpp", true);
    const std::pair<uint32_t, const char*> publics[] = {
        {0x401000, "main"}, {0x401100, "A"}, {0x401200, "__cxa_throw"}, {0x401300, "C"}};
    for (const auto& [address, name] : publics)
        p.Map.AddPublic(true, name, address, true);
    p.Map.Finish();
    p.Map.SetValid(true);
    const uint32_t esp = p.TrueStack();
    TTraceRequest r = p.Fault(esp, 0x12FFE4);
    r.CppTermination = true;
    EXPECT_EQ(Addresses(p.Trace(r)), (std::vector<uint32_t>{0x401103, 0x401003}));
}

TEST(StackTracer, AFailingStepGivesTheInternalErrorText)
{
    TProgram p;
    const uint32_t esp = p.TrueStack();
    // The module source fails once, in the middle of the first step.
    struct TFailingOnce : ITraceModules
    {
        explicit TFailingOnce(ITraceModules& modules) : Modules(modules) {}
        std::optional<TTraceModuleInfo> ModuleAt(uint32_t base) override
        {
            if (!Failed) {
                Failed = true;
                throw std::runtime_error("broken");
            }
            return Modules.ModuleAt(base);
        }
        ITraceModules& Modules;
        bool Failed = false;
    } failing(p.Modules);
    TTracerCaches caches(failing);
    TTraceRequest r = p.Fault(esp, 0x12FFE4);
    r.RaiseAddr = 0x401003;
    EXPECT_EQ(
        TraceStack(p.Memory, caches, r).Text,
        u">> internal error in CollectPossibleStackItems:\r\n00401003 +3 prog.exe prog.cpp 11 +1 main\r\n"
        u">> original exception location: \r\n00401300 +0 prog.exe prog.cpp 40 +0 C");
}

} // namespace
} // namespace crash
