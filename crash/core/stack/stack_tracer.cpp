#include "crash/core/stack/stack_tracer.h"

#include "base/utf.h"
#include "crash/core/stack/call_test.h"
#include "crash/core/x86/x86_decoder.h"

#include <algorithm>
#include <array>
#include <stdexcept>
#include <string_view>
#include <type_traits>

namespace crash {

// ------------------------------------------------------------------ caches

int32_t TTracerCaches::Module(uint32_t base)
{
    for (size_t i = 0; i < FModuleList.size(); ++i)
        if (FModuleList[i].Base == base)
            return static_cast<int32_t>(i);
    if (std::find(FNoModule.begin(), FNoModule.end(), base) != FNoModule.end())
        return -1;
    std::optional<TTraceModuleInfo> info = FModules.ModuleAt(base);
    if (!info) {
        FNoModule.push_back(base);
        return -1;
    }
    FModuleList.push_back({base, std::move(*info)});
    return static_cast<int32_t>(FModuleList.size() - 1);
}

int32_t TTracerCaches::Function(ICodeMemory& memory, uint32_t entry, const std::string& name, int32_t module,
                                bool approve)
{
    const auto known = FByEntry.find(entry);
    int32_t index = known == FByEntry.end() ? -1 : known->second;
    // A function first met without a name (through a jump) takes the first name given.
    if (index >= 0 && FFunctions[static_cast<size_t>(index)].Name.empty())
        FFunctions[static_cast<size_t>(index)].Name = name;
    if (index < 0) {
        TFunction f;
        f.Module = module;
        f.Name = name;
        f.Info = AnalyseFunction(memory, entry);
        FFunctions.push_back(std::move(f));
        index = static_cast<int32_t>(FFunctions.size() - 1);
        FByEntry.emplace(entry, index);
    }
    if (approve)
        Approve(memory, index);
    return index;
}

void TTracerCaches::Approve(ICodeMemory& memory, int32_t function)
{
    // Approval spreads through jumps to other functions, breadth first.
    std::vector<int32_t> pending{function};
    while (!pending.empty()) {
        const int32_t f = pending.back();
        pending.pop_back();
        if (FFunctions[static_cast<size_t>(f)].Approved)
            continue;
        FFunctions[static_cast<size_t>(f)].Approved = true;
        const std::vector<TFarCall> calls = FFunctions[static_cast<size_t>(f)].Info.FarCalls;
        const int32_t module = FFunctions[static_cast<size_t>(f)].Module;
        for (const TFarCall& c : calls)
            if (!c.Call && c.Target)
                pending.push_back(Function(memory, c.Target, {}, module, false));
    }
}

namespace {

// ------------------------------------------------------------------ items

struct TStackLink
{
    int32_t Link = -1; // the partner item, -1 unresolved
    uint32_t CodeAddr = 0;
    bool HasTarget = false;
    uint32_t Target = 0;
    int32_t Func = -1;
    int64_t Quality = 0; // 0: not computed yet
};

struct TStackLinks
{
    std::vector<TStackLink> Links;
    int32_t Best = -1;
};

constexpr int ToNewer = 0, ToOlder = 1;

struct TItem
{
    uint32_t AfterInstr = 0;
    bool DontKill = false;
    bool TopItem = false;
    int32_t Module = -1;
    std::array<TStackLinks, 2> Links;
    bool Invalid = false;
    bool Hidden = false;
    uint32_t TopCode = 0; // the top item's own code address
    TStackLine Out;
};

// A transfer of a function (a call or a jump) that ends right before an address.
struct TTransfer
{
    uint32_t CodeAddr = 0;
    bool HasTarget = false;
    uint32_t Target = 0;
    bool Call = false;
};

// The transfer of `f` that ends at v: those with unknown targets first, then the others.
std::optional<TTransfer> TransferBefore(const TFunctionInfo& f, uint32_t v)
{
    for (const TUnknownTarget& u : f.UnknownTargets)
        if (u.CodeAddr2 == v)
            return TTransfer{u.CodeAddr1, false, 0, u.Call};
    for (const TFarCall& c : f.FarCalls)
        if (c.CodeAddr2 == v)
            return TTransfer{c.CodeAddr1, c.Target != 0, c.Target, c.Call};
    return std::nullopt;
}

bool InCodeAreas(const TFunctionInfo& f, uint32_t address)
{
    return std::any_of(f.CodeAreas.begin(), f.CodeAreas.end(), [&](const TCodeArea& a) {
        return address >= a.AreaBegin && (a.AreaEnd == 0 || address <= a.AreaEnd);
    });
}

std::u16string Utf16(const std::string& text)
{
    return base::Utf8ToUtf16(text);
}

// A step of the trace ended by the abort flag.
struct TAborted
{
};

constexpr int64_t StartQuality = 0x1000000000000000LL;
constexpr int64_t EndWithFunction = 0x7000000000000000LL;
constexpr int64_t EndWithoutFunction = 0x5000000000000000LL;
constexpr int64_t Bit61 = int64_t{1} << 61;
constexpr int64_t Bit62 = int64_t{1} << 62;
// How many functions a chain of jumps from a call's target may pass through.
constexpr size_t MaxJumpChain = 16;

// A linked name as the trace shows it: unmangled, a label function's suffix kept.
std::string ReadableName(const std::string& name)
{
    static constexpr std::string_view Label = ".@label";
    if (name.size() > Label.size() && name.ends_with(Label))
        return Unmangle(name.substr(0, name.size() - Label.size())).Name + std::string(Label);
    return Unmangle(name).Name;
}

// Names of the frames of the raise machinery, hidden from the trace.
bool IsThrowFrame(const std::u16string& name)
{
    return name == u"_ThrowExceptionLDTC" || name == u"_ReThrowException" || name == u"__cxa_throw" ||
           name == u"__cxa_rethrow" || name == u"__wrap___cxa_throw";
}

class TStackTracer
{
public:
    TStackTracer(ITraceMemory& memory, TTracerCaches& caches, const TTraceRequest& request)
        : M(memory), FCaches(caches), R(request)
    {
        if (R.PreparedStack)
            FPrepared = ReadPreparedStack(*R.PreparedStack);
    }

    TTraceResult Run()
    {
        TTraceResult result;
        if (!StackReadable())
            return result;
        const std::pair<const char*, void (TStackTracer::*)()> steps[] = {
            {"CollectPossibleStackItems", &TStackTracer::CollectPossibleStackItems},
            {"RemoveRecursiveStackAreas", &TStackTracer::RemoveRecursiveStackAreas},
            {"InDeepChecks", &TStackTracer::InDeepChecks},
            {"RealizeOptimalLinkChains", &TStackTracer::RealizeOptimalLinkChains},
            {"RemoveRecursiveAreas", &TStackTracer::RemoveRecursiveAreas},
            {"FillFinalOutput", &TStackTracer::FillFinalOutput},
        };
        try {
            for (const auto& step : steps) {
                FStep = step.first;
                RunProtected([&] { (this->*step.second)(); });
            }
            FStep = "ComposeResult";
            RunProtected([&] { ComposeResult(result); });
        } catch (const TAborted&) {
            return {};
        } catch (...) {
            TTraceResult failed;
            failed.Text = InternalError();
            return failed;
        }
        return result;
    }

private:
    // ------------------------------------------------------------ helpers

    // A step under the platform's protection: an operating-system exception in it fails
    // the step as a C++ exception would.
    template <class F> void RunProtected(F&& step)
    {
        if (!R.Protect) {
            step();
            return;
        }
        if (!R.Protect([](void* p) { (*static_cast<std::remove_reference_t<F>*>(p))(); }, &step))
            throw std::runtime_error("an operating-system exception");
    }

    void Poll() const
    {
        if (R.Abort && R.Abort->load())
            throw TAborted{};
    }
    void Progress(int permille) const
    {
        if (R.Progress)
            R.Progress(std::clamp(permille, 0, 1000));
    }

    bool StackReadable()
    {
        if (R.StackTop < R.StackBottom + 4)
            return false;
        uint32_t v;
        return M.ReadDword(R.StackTop - 4, v) && M.ReadDword(R.StackBottom & ~3u, v);
    }

    int32_t ModuleOf(uint32_t address)
    {
        const std::optional<TMemoryRegion> region = M.Query(address);
        if (!region || !region->Committed || !region->AllocationBase)
            return -1;
        return FCaches.Module(region->AllocationBase);
    }
    const TTraceModuleInfo* Info(int32_t module) const
    {
        return module >= 0 ? &FCaches.ModuleByIndex(module).Info : nullptr;
    }
    TTracerCaches::TFunction& Func(int32_t f) { return FCaches.FunctionByIndex(f); }
    bool Approved(int32_t f) { return f >= 0 && Func(f).Approved && !Func(f).Invalid; }

    // The name the debug information or the exports give the function at `entry`.
    std::string NameAt(uint32_t entry)
    {
        const TTraceModuleInfo* info = Info(ModuleOf(entry));
        if (!info)
            return {};
        if (info->Debug) {
            const TMfPublic* p = info->Debug->FindPublic(entry);
            return p ? p->Name : std::string();
        }
        const auto it = std::upper_bound(info->Exports.begin(), info->Exports.end(), entry,
                                         [](uint32_t a, const auto& e) { return a < e.first; });
        return it == info->Exports.begin() ? std::string() : std::prev(it)->second;
    }

    int32_t FunctionAt(uint32_t entry, const std::string& name, bool approve)
    {
        const int32_t f =
            FCaches.Function(M, entry, name.empty() ? NameAt(entry) : name, ModuleOf(entry), approve);
        return Func(f).Invalid ? -1 : f;
    }

    // ------------------------------------------------------------ 1. candidates

    struct TAnalysis
    {
        bool Accepted = false;
        uint32_t CandidateAddr = 0;
        uint32_t CodeAddr = 0;
        int32_t Func = -1;
        bool HasTarget = false;
        uint32_t Target = 0;
    };

    // The transfer of function `f` that ends at v, as an accepted analysis.
    std::optional<TAnalysis> MatchIn(int32_t f, uint32_t v)
    {
        if (f < 0)
            return std::nullopt;
        const std::optional<TTransfer> t = TransferBefore(Func(f).Info, v);
        if (!t)
            return std::nullopt;
        return TAnalysis{true, v, t->CodeAddr, f, t->HasTarget, t->Target};
    }

    TAnalysis AnalyseWithDebugInfo(const TTraceModuleInfo& module, uint32_t v, uint32_t probe, bool top)
    {
        TAnalysis a;
        a.CandidateAddr = v;
        const TMfPublic* pub = module.Debug->FindPublic(probe);
        if (!pub)
            return a;
        const int32_t f = FunctionAt(pub->Address, pub->Name, true);
        if (top) {
            a.CodeAddr = probe;
            a.Func = f;
            if (f < 0)
                return a;
            const TFunctionInfo& info = Func(f).Info;
            // An exception raised by a call to the raise routine is located at that call.
            if (R.IsException && !R.ExternalException) {
                for (const TFarCall& c : info.FarCalls) {
                    if (!c.Call || c.CodeAddr2 != R.TopAddr || !c.Target)
                        continue;
                    const std::string target = NameAt(c.Target);
                    if (target.find("@RaiseExcept") != std::string::npos ||
                        target.find("Error") != std::string::npos) {
                        return {true, c.CodeAddr2, c.CodeAddr1, f, true, c.Target};
                    }
                }
            }
            a.Accepted = LandsOnInstruction(info, probe);
            return a;
        }
        if (auto m = MatchIn(f, v))
            return *m;
        if (f < 0)
            return a;
        // Code reached by a far jump of the function but still its own: label functions.
        const TFunctionInfo info = Func(f).Info;
        for (const TFarCall& c : info.FarCalls) {
            Poll();
            if (!c.Target || c.Target <= info.EntryPoint)
                continue;
            const bool inExtent = c.Target >= info.CodeBegin && c.Target - info.CodeBegin < info.CodeLen;
            const TMfPublic* targetPublic = module.Debug->FindPublic(c.Target);
            if (!inExtent && targetPublic != pub)
                continue;
            if (auto m = MatchIn(FunctionAt(c.Target, pub->Name + ".@label", true), v))
                return *m;
        }
        return a;
    }

    // Decoding the code area that holds `address` from its start lands on `address`.
    bool LandsOnInstruction(const TFunctionInfo& info, uint32_t address)
    {
        if (info.CodeAreas.empty())
            return info.EntryPoint == address;
        for (const TCodeArea& area : info.CodeAreas) {
            if (address < area.AreaBegin || (area.AreaEnd != 0 && address > area.AreaEnd))
                continue;
            uint32_t at = area.AreaBegin;
            while (at < address) {
                Poll();
                std::array<uint8_t, 15> code{};
                const size_t n = M.ReadUpTo(at, code.data(), code.size());
                const InstructionInfo i = DecodeInstruction({code.data(), n}, at);
                if (!i.Valid || i.Length == 0)
                    return false;
                at += i.Length;
            }
            return at == address;
        }
        return false;
    }

    TAnalysis Analyse(int32_t module, uint32_t v, uint32_t probe, bool top)
    {
        const TTraceModuleInfo& info = *Info(module);
        if (info.Debug)
            return AnalyseWithDebugInfo(info, v, probe, top);
        TAnalysis a;
        a.CandidateAddr = v;
        if (info.MainExecutable) {
            a.Accepted = true;
            if (top)
                a.CodeAddr = probe;
            return a;
        }
        // A module without information: the nearest export at or below the address.
        const auto it = std::upper_bound(info.Exports.begin(), info.Exports.end(), probe,
                                         [](uint32_t x, const auto& e) { return x < e.first; });
        if (it == info.Exports.begin()) {
            a.Accepted = true;
            if (top)
                a.CodeAddr = probe;
            return a;
        }
        const int32_t f = FunctionAt(std::prev(it)->first, std::prev(it)->second, false);
        if (top) {
            a.CodeAddr = probe;
            a.Func = f;
            a.Accepted = f >= 0 && LandsOnInstruction(Func(f).Info, probe);
            return a;
        }
        if (f >= 0 && InCodeAreas(Func(f).Info, probe)) {
            if (auto m = MatchIn(f, v))
                return *m;
            return a; // inside the function but after no transfer of it
        }
        a.Accepted = true;
        return a;
    }

    enum class TCandidate
    {
        Slot,
        Creator,
        Top,
    };

    // Processes one candidate; true when it passed the test and the analysis.
    bool Candidate(uint32_t value, bool certain, TCandidate kind)
    {
        const bool top =
            kind == TCandidate::Top || (kind == TCandidate::Slot && R.IsException && value == R.TopAddr);
        uint32_t v = value;
        const uint32_t probe = top ? value : value - 1;
        bool decoded = false;
        if (top) {
            std::array<uint8_t, 15> code{};
            const size_t n = M.ReadUpTo(value, code.data(), code.size());
            const InstructionInfo i = DecodeInstruction({code.data(), n}, value);
            if (i.Valid) {
                v = i.Next;
                decoded = true;
            }
        }
        bool passed = v > 7;
        int32_t module = -1;
        if (passed) {
            const std::optional<TMemoryRegion> region = M.Query(probe);
            passed = region && region->Committed && region->AllocationBase;
            // The module is known even when the test fails: a certain slot is kept, and named.
            if (passed)
                module = FCaches.Module(region->AllocationBase);
            if (passed && !top && kind != TCandidate::Creator)
                passed = CallCanEndAt(M, v);
            if (passed) {
                if (const TTraceModuleInfo* info = Info(module)) {
                    const bool inCode = v > info->CodeBegin && v <= info->CodeEnd;
                    const bool inData = v > info->DataBegin && v <= info->DataEnd;
                    passed = inCode || inData;
                }
            }
        }
        TAnalysis a;
        a.CandidateAddr = v;
        if (passed) {
            const TTraceModuleInfo* info = Info(module);
            if (info && v > info->CodeBegin && v <= info->CodeEnd)
                a = Analyse(module, v, probe, top);
            else
                a.Accepted = true;
        }
        if (top && !a.Accepted) {
            // A top item is kept whatever its analysis said, at its own address; an external
            // exception at an unreadable address still gets a (nameless) function.
            a.CandidateAddr = v;
            a.CodeAddr = value;
            uint8_t byte;
            if (a.Func < 0 && R.ExternalException && !M.Read(value, &byte, 1))
                a.Func = FCaches.Function(M, value, {}, module, false);
        }
        if (top && decoded && a.CodeAddr == 0)
            a.CodeAddr = value;
        const bool ok = passed && a.Accepted;
        // The creator is the oldest item whatever its analysis says.
        if (!ok && !top && !certain && kind != TCandidate::Creator)
            return false;
        TItem item;
        item.AfterInstr = a.CandidateAddr;
        item.Module = module;
        item.TopItem = top;
        item.DontKill = top || certain;
        if (a.CodeAddr)
            item.Links[ToOlder].Links.push_back({-1, a.CodeAddr, a.HasTarget, a.Target, a.Func, 0});
        if (top)
            item.TopCode = a.CodeAddr;
        FItems.push_back(std::move(item));
        if (top)
            FTopStored = true;
        return ok;
    }

    void CollectPossibleStackItems()
    {
        if (R.CreatorAddr)
            Candidate(R.CreatorAddr, false, TCandidate::Creator);
        const uint32_t slots = (R.StackTop - R.StackBottom) / 4;
        if (!R.PreparedStack) {
            const std::vector<uint32_t> chain =
                R.FramePointer ? FrameChainSlots(M, R.FramePointer, R.StackBottom, R.StackTop)
                               : std::vector<uint32_t>();
            // Where the exception's own address lies on the stack: the slot nearest the stack
            // pointer. Copies of it further up (an exception record kept in a handler's frame)
            // are no frames.
            uint32_t topSlot = 0;
            if (R.IsException && R.TopAddr)
                for (uint32_t slot = R.StackBottom, v; slot + 4 <= R.StackTop; slot += 4)
                    if (M.ReadDword(slot, v) && v == R.TopAddr) {
                        topSlot = slot;
                        break;
                    }
            uint32_t visited = 0;
            for (uint32_t slot = R.StackTop - 4; slot >= R.StackBottom && !FTopStored; slot -= 4) {
                if ((++visited & 0xFF) == 0) {
                    Poll();
                    Progress(static_cast<int>(25ull * visited / std::max(slots, 1u)));
                }
                uint32_t v;
                if (M.ReadDword(slot, v) && !(R.IsException && v == R.TopAddr && slot != topSlot)) {
                    const bool certain = std::binary_search(chain.begin(), chain.end(), slot);
                    const bool passed = Candidate(v, certain, TCandidate::Slot);
                    // The saved frame pointer below a certain slot is no candidate.
                    if (passed && certain && !FItems.back().TopItem) {
                        if (slot < R.StackBottom + 8)
                            break;
                        slot -= 4;
                    }
                }
                if (slot < R.StackBottom + 4)
                    break;
            }
        } else {
            // Prepared stacks start at the exception's own stack pointer, so its own slot lies
            // below them: an entry holding the exception address that the frame chain does
            // not vouch for is a copy (an exception record kept in a frame by an earlier
            // failure's handling), no frame, and it must not end the walk.
            for (const TPreparedEntry& e : FPrepared) {
                Poll();
                if (R.IsException && e.Address == R.TopAddr && !e.Certain)
                    continue;
                Candidate(e.Address, e.Certain, TCandidate::Slot);
                if (FTopStored)
                    break;
            }
        }
        const bool walkFoundTop = FTopStored;
        if (!R.DontAddTopItem && !FTopStored && R.TopAddr)
            Candidate(R.TopAddr, false, TCandidate::Top);
        if (R.DontAddTopItem || walkFoundTop)
            FHasPrepared = false;
        else
            FHasPrepared = R.PreparedStack.has_value();
        Progress(25);
    }

    // ------------------------------------------------------------ 2., 5. recursion

    // A block of frames repeated right below itself is folded to one occurrence: the newer
    // repeat loses its certain flag and is removed (in the first pass with its links, in
    // the second only marked). Passes repeat until nothing changes.
    void FoldRecursion(bool full)
    {
        std::vector<bool> removed(FItems.size(), false);
        for (bool changed = true; changed;) {
            changed = false;
            // The top item is where the exception happened, never a repeat of a call.
            std::vector<size_t> valid;
            for (size_t i = 0; i < FItems.size(); ++i)
                if (!FItems[i].Invalid && !FItems[i].TopItem)
                    valid.push_back(i);
            // From the newest down; a fold removes the newer occurrence and the j items below
            // it, and the search goes on below what was removed.
            for (size_t n = valid.size(); n-- > 0;) {
                Poll();
                size_t older = n;
                while (older-- > 0)
                    if (FItems[valid[older]].AfterInstr == FItems[valid[n]].AfterInstr)
                        break;
                if (older == SIZE_MAX)
                    continue;
                const size_t j = n - older - 1;
                if (older < j)
                    continue;
                bool equal = true;
                for (size_t k = 1; k <= j && equal; ++k)
                    equal = FItems[valid[n - k]].AfterInstr == FItems[valid[older - k]].AfterInstr;
                if (!equal)
                    continue;
                for (size_t k = 0; k <= j; ++k) {
                    TItem& item = FItems[valid[n - k]];
                    item.Invalid = true;
                    item.DontKill = false;
                    if (full)
                        item.Links = {};
                    removed[valid[n - k]] = true;
                }
                n -= j; // the loop's own step moves below the removed block
                changed = true;
            }
        }
        // The links other items hold to removed ones go too, in one sweep.
        if (full)
            for (TItem& item : FItems)
                for (TStackLinks& list : item.Links)
                    std::erase_if(list.Links, [&](const TStackLink& l) {
                        return l.Link >= 0 && removed[static_cast<size_t>(l.Link)];
                    });
    }

    void RemoveRecursiveStackAreas() { FoldRecursion(true); }
    void RemoveRecursiveAreas() { FoldRecursion(false); }

    // ------------------------------------------------------------ 3. in-depth checks

    // Deletes every link naming the function and marks it invalid: it never matches again.
    void InvalidateFunction(int32_t f)
    {
        Func(f).Invalid = true;
        for (TItem& item : FItems)
            for (TStackLinks& list : item.Links)
                std::erase_if(list.Links, [&](const TStackLink& l) { return l.Func == f; });
    }

    // An item that a function's code shows to be no return address. Certain items (the top
    // item, frame-chain slots) stay: they are certain whatever the analysis says.
    void InvalidateItem(size_t i)
    {
        if (FItems[i].DontKill)
            return;
        FItems[i].Invalid = true;
        for (TStackLinks& list : FItems[i].Links)
            list = {};
        for (TItem& other : FItems)
            for (TStackLinks& list : other.Links)
                std::erase_if(list.Links,
                              [&](const TStackLink& l) { return l.Link == static_cast<int32_t>(i); });
    }

    // The newer items a call of item i can have led to: up to and including the next
    // certain item.
    size_t ReachEnd(size_t i) const
    {
        if (i + 1 >= FItems.size())
            return i; // nothing newer
        size_t k = i + 1;
        while (k < FItems.size() && !FItems[k].DontKill)
            ++k;
        return std::min(k, FItems.size() - 1);
    }

    void FillFromUnknownTarget(size_t i, uint32_t codeAddr)
    {
        const auto& newer = FItems[i].Links[ToNewer].Links;
        if (std::any_of(newer.begin(), newer.end(), [](const TStackLink& l) { return l.Func < 0; }))
            return;
        const size_t end = ReachEnd(i);
        for (size_t k = i + 1; k <= end; ++k) {
            Poll();
            if (FItems[k].Invalid)
                continue;
            uint32_t code = 0;
            for (const TStackLink& l : FItems[k].Links[ToOlder].Links)
                if (l.CodeAddr) {
                    code = l.CodeAddr;
                    break;
                }
            FItems[k].Links[ToOlder].Links.push_back({static_cast<int32_t>(i), code, false, 0, -1, 0});
            FItems[i].Links[ToNewer].Links.push_back({static_cast<int32_t>(k), codeAddr, false, 0, -1, 0});
        }
    }

    // The function at `entry` and the functions it reaches by known jumps (thunks, tail
    // calls), transitively: a call that lands in a thunk returns from the code the thunk
    // jumps to.
    std::vector<int32_t> ReachedFunctions(uint32_t entry, bool approved)
    {
        std::vector<int32_t> reached;
        if (const int32_t f = FunctionAt(entry, {}, approved); f >= 0)
            reached.push_back(f);
        for (size_t n = 0; n < reached.size() && reached.size() < MaxJumpChain; ++n) {
            const std::vector<TFarCall> calls = Func(reached[n]).Info.FarCalls;
            for (const TFarCall& c : calls) {
                if (c.Call || !c.Target)
                    continue;
                const int32_t g = FunctionAt(c.Target, {}, approved);
                if (g >= 0 && std::find(reached.begin(), reached.end(), g) == reached.end())
                    reached.push_back(g);
            }
        }
        return reached;
    }

    void FillFromCall(size_t i, uint32_t codeAddr, std::optional<uint32_t> target, bool approved)
    {
        if (!target) {
            FillFromUnknownTarget(i, codeAddr);
            return;
        }
        const std::vector<int32_t> reached = ReachedFunctions(*target, approved);
        if (reached.empty())
            return;
        for (int32_t f : reached) {
            const auto& unknown = Func(f).Info.UnknownTargets;
            if (std::any_of(unknown.begin(), unknown.end(),
                            [](const TUnknownTarget& u) { return !u.Call; })) {
                FillFromUnknownTarget(i, codeAddr);
                break;
            }
        }
        const size_t end = ReachEnd(i);
        for (size_t k = i + 1; k <= end; ++k) {
            Poll();
            TItem& newer = FItems[k];
            if (newer.Invalid)
                continue;
            // A return address must follow a transfer of the target; the top item (where the
            // exception happened) must lie on an instruction of it.
            std::optional<TTransfer> t;
            int32_t f = -1;
            for (int32_t candidate : reached) {
                const TFunctionInfo& info = Func(candidate).Info;
                if (!newer.TopItem)
                    t = TransferBefore(info, newer.AfterInstr);
                else if (newer.TopCode && InCodeAreas(info, newer.TopCode) &&
                         LandsOnInstruction(info, newer.TopCode))
                    t = TTransfer{newer.TopCode, false, 0, false};
                if (t) {
                    f = candidate;
                    break;
                }
            }
            if (!t)
                continue;
            if (!approved) {
                const auto& older = newer.Links[ToOlder].Links;
                if (std::any_of(older.begin(), older.end(), [&](const TStackLink& l) {
                        return Approved(l.Func) && l.CodeAddr != t->CodeAddr;
                    }))
                    continue;
            }
            newer.Links[ToOlder].Links.push_back(
                {static_cast<int32_t>(i), t->CodeAddr, t->HasTarget, t->Target, f, 0});
            FItems[i].Links[ToNewer].Links.push_back({static_cast<int32_t>(k), codeAddr, false, 0, f, 0});
        }
    }

    void InDeepChecks()
    {
        for (size_t i = R.CreatorAddr ? 1 : 0; i < FItems.size(); ++i) {
            Poll();
            Progress(25 + static_cast<int>(625 * i / FItems.size()));
            TItem& item = FItems[i];
            if (item.Invalid)
                continue;
            const TStackLink* approvedLink = nullptr;
            for (const TStackLink& l : item.Links[ToOlder].Links)
                if (Approved(l.Func)) {
                    approvedLink = &l;
                    break;
                }
            if (!approvedLink) {
                bool decided = false;
                for (size_t f = 0; f < FCaches.FunctionCount() && !decided; ++f) {
                    const int32_t fi = static_cast<int32_t>(f);
                    if (!Approved(fi) || !InCodeAreas(Func(fi).Info, item.AfterInstr - 1))
                        continue;
                    decided = true;
                    if (const std::optional<TTransfer> t = TransferBefore(Func(fi).Info, item.AfterInstr)) {
                        item.Links[ToOlder].Links.push_back(
                            {-1, t->CodeAddr, t->HasTarget, t->Target, fi, 0});
                        approvedLink = &item.Links[ToOlder].Links.back();
                    } else {
                        InvalidateItem(i);
                    }
                }
                if (decided && !approvedLink)
                    continue;
            }
            if (approvedLink) {
                const TStackLink link = *approvedLink;
                std::vector<int32_t> others;
                for (const TStackLink& l : item.Links[ToOlder].Links)
                    if (l.Func >= 0 && l.Func != link.Func && l.CodeAddr != link.CodeAddr)
                        others.push_back(l.Func);
                for (int32_t f : others)
                    InvalidateFunction(f);
                FillFromCall(i, link.CodeAddr, link.HasTarget ? std::optional(link.Target) : std::nullopt,
                             true);
                continue;
            }
            // No function knows the code: the calls that end at the return address.
            const std::optional<TMemoryRegion> region = M.Query(item.AfterInstr - 1);
            if (!region || !region->Committed)
                continue;
            for (uint32_t back : {7u, 6u, 5u, 4u, 3u, 2u}) {
                if (item.AfterInstr < back || item.AfterInstr - back < region->Base)
                    continue;
                const uint32_t at = item.AfterInstr - back;
                std::array<uint8_t, 15> code{};
                const size_t n = M.ReadUpTo(at, code.data(), std::min<size_t>(back, code.size()));
                const InstructionInfo d = DecodeInstruction({code.data(), n}, at);
                if (d.Valid && d.Call && d.Next == item.AfterInstr)
                    FillFromCall(i, at, d.Target ? std::optional(d.Target) : std::nullopt, false);
            }
        }
        Progress(650);
    }

    // ------------------------------------------------------------ 4. chains

    bool HasLine(int32_t module, uint32_t address)
    {
        const TTraceModuleInfo* info = Info(module);
        return info && info->Debug && info->Debug->FindLine(address) > 0;
    }

    // The chain quality of `item` toward `end` (see the Part's rules), computed depth-first
    // with an explicit stack: a chain can be as long as the stack has slots.
    int64_t ChainQuality(int32_t start, int32_t end, bool startDirect)
    {
        const int dir = end < start ? ToOlder : ToNewer;
        struct TFrame
        {
            int32_t Item;
            bool Direct;
            size_t Next = 0; // the link to look at next
            int64_t Max = StartQuality;
            int32_t Best = -1;
            int64_t Pending = 0; // the partner's quality, when a child frame returned it
            bool HasPending = false;
        };
        // An item's quality toward this end is the same however it is reached (its links'
        // values are memoized on the first visit), so each item is evaluated once.
        if (FMemo.size() != FItems.size())
            FMemo.assign(FItems.size(), {0, 0});
        ++FMemoGeneration;
        std::vector<TFrame> frames{{start, startDirect}};
        int64_t returned = 0;
        while (!frames.empty()) {
            Poll();
            TFrame& fr = frames.back();
            std::vector<TStackLink>& links = FItems[static_cast<size_t>(fr.Item)].Links[dir].Links;
            if (fr.Next >= links.size()) {
                FItems[static_cast<size_t>(fr.Item)].Links[dir].Best = fr.Best;
                FMemo[static_cast<size_t>(fr.Item)] = {FMemoGeneration, fr.Max};
                returned = fr.Max;
                frames.pop_back();
                if (!frames.empty()) {
                    frames.back().Pending = returned;
                    frames.back().HasPending = true;
                }
                continue;
            }
            TStackLink& link = links[fr.Next];
            if (link.Link < 0) {
                ++fr.Next;
                continue;
            }
            if (link.Quality == 0) {
                int64_t base;
                if (link.Link == end) {
                    base = link.Func >= 0 ? EndWithFunction : EndWithoutFunction;
                } else if (fr.HasPending) {
                    base = fr.Pending;
                    fr.HasPending = false;
                } else if (FMemo[static_cast<size_t>(link.Link)].first == FMemoGeneration) {
                    base = FMemo[static_cast<size_t>(link.Link)].second;
                } else {
                    frames.push_back({link.Link, fr.Direct && link.Func >= 0});
                    continue;
                }
                link.Quality = LinkValue(fr.Item, link, base, fr.Direct);
            }
            if (link.Quality > fr.Max) {
                fr.Max = link.Quality;
                fr.Best = static_cast<int32_t>(fr.Next);
            }
            ++fr.Next;
        }
        return returned;
    }

    int64_t LinkValue(int32_t item, const TStackLink& link, int64_t value, bool direct)
    {
        int c = 0;
        if (link.Func >= 0) {
            c += 14;
            if (direct || (value & Bit61))
                c += 14;
            if (Approved(link.Func))
                c += 14;
        } else {
            value &= ~Bit61;
        }
        const TItem& self = FItems[static_cast<size_t>(item)];
        const TItem& partner = FItems[static_cast<size_t>(link.Link)];
        const TTraceModuleInfo* selfInfo = Info(self.Module);
        if (selfInfo && selfInfo->Debug && partner.Module >= 0) {
            c += 3;
            if (HasLine(self.Module, self.AfterInstr - 1))
                c += 3;
            if (HasLine(partner.Module, partner.AfterInstr - 1))
                c += 3;
        }
        // A long chain must not overflow: the value saturates below the bit that tells that
        // the end was reached (or at the top when it was).
        const int64_t add = int64_t{1} << c;
        const int64_t cap = (value & Bit62) ? INT64_MAX : Bit62 - 1;
        return value > cap - add ? cap : value + add;
    }

    void Realize(int32_t from, int32_t to)
    {
        const int dir = to < from ? ToOlder : ToNewer;
        for (int32_t a = from; a >= 0;) {
            Poll();
            const TStackLinks& links = FItems[static_cast<size_t>(a)].Links[dir];
            if (links.Best < 0)
                return;
            const int32_t partner = links.Links[static_cast<size_t>(links.Best)].Link;
            if (partner == to || partner < 0)
                return;
            FItems[static_cast<size_t>(partner)].Invalid = false;
            a = partner;
        }
    }

    void Stretch(int32_t lo, int32_t hi)
    {
        if (hi - lo < 2)
            return;
        int64_t forward = 0;
        if (lo >= 0)
            forward = ChainQuality(lo, hi, true);
        int64_t backward = 0;
        if (!(forward & Bit62))
            backward = ChainQuality(hi, lo, true);
        for (int32_t k = lo + 1; k < hi; ++k)
            FItems[static_cast<size_t>(k)].Invalid = true;
        if (lo >= 0 && backward < forward)
            Realize(lo, hi);
        else
            Realize(hi, lo);
    }

    void RealizeOptimalLinkChains()
    {
        if (R.DumbTrace) {
            Progress(1000);
            return;
        }
        std::vector<int32_t> certain;
        for (size_t i = 0; i < FItems.size(); ++i)
            if (FItems[i].DontKill && !FItems[i].Invalid)
                certain.push_back(static_cast<int32_t>(i));
        for (size_t k = 0; k + 1 < certain.size(); ++k) {
            Progress(650 + static_cast<int>(350 * k / certain.size()));
            Stretch(certain[k], certain[k + 1]);
        }
        // The oldest stretch begins at the creator when there is one: its frame is shown
        // although no call of the traced thread leads to it.
        if (!certain.empty())
            Stretch(R.CreatorAddr && !FItems.empty() && certain.front() > 0 ? 0 : -1, certain.front());
        Progress(1000);
    }

    // ------------------------------------------------------------ 6. final output

    TStackLine LineAt(uint32_t address, int32_t module, int32_t function)
    {
        TStackLine out;
        out.Addr = address;
        const TTraceModuleInfo* info = Info(module);
        if (!info)
            return out;
        out.ModuleName = info->FileName;
        if (function >= 0 && Approved(function)) {
            out.FunctionName = Utf16(ReadableName(Func(function).Name));
            out.PublicAddr = Func(function).Info.EntryPoint;
        }
        if (info->Debug) {
            const TMapFile& map = *info->Debug;
            if (out.FunctionName.empty()) {
                if (const TMfPublic* p = map.FindPublic(address)) {
                    out.FunctionName = Utf16(ReadableName(p->Name));
                    out.PublicAddr = p->Address;
                }
            }
            if (const TMfSegment* s = map.FindSegment(true, address))
                out.UnitName = Utf16(s->Unit_);
            const int32_t line = map.FindLine(address);
            out.Line = line > 0 ? static_cast<uint32_t>(line) : 0;
            if (R.Text.ShowRelativeLines && out.Line && out.PublicAddr) {
                const int32_t first = map.FindLine(out.PublicAddr);
                out.PublicLine = first > 0 ? static_cast<uint32_t>(first) : 0;
            }
            if (!map.MinDebugInfo().empty()) {
                const std::u16string entry = info->FileName + u"|" + Utf16(map.MinDebugInfo());
                if (std::find(FMinDebugInfo.begin(), FMinDebugInfo.end(), entry) == FMinDebugInfo.end())
                    FMinDebugInfo.push_back(entry);
            }
        } else if (function >= 0 && out.FunctionName.empty()) {
            out.FunctionName = Utf16(Func(function).Name);
            out.PublicAddr = Func(function).Info.EntryPoint;
        }
        return out;
    }

    void FillFinalOutput()
    {
        for (size_t n = FItems.size(); n-- > 0;) {
            Poll();
            TItem& item = FItems[n];
            if (item.Invalid)
                continue;
            uint32_t address = 0;
            int32_t function = -1;
            for (const TStackLink& l : item.Links[ToOlder].Links)
                if (Approved(l.Func) && l.CodeAddr) {
                    address = l.CodeAddr;
                    function = l.Func;
                    break;
                }
            if (!address) {
                for (const TStackLink& l : item.Links[ToOlder].Links)
                    if (l.CodeAddr) {
                        address = l.CodeAddr;
                        function = l.Func;
                        break;
                    }
            }
            const TStackLinks& newer = item.Links[ToNewer];
            if (!address && newer.Best >= 0)
                address = newer.Links[static_cast<size_t>(newer.Best)].CodeAddr;
            if (!address)
                address = item.AfterInstr;
            item.Out = LineAt(address, item.Module, function);
            if (!FExceptAddr)
                FExceptAddr = address;
        }
        HideRaiseMachinery();
    }

    void HideRaiseMachinery()
    {
        if (R.CppTermination) {
            for (size_t n = FItems.size(); n-- > 0;) {
                if (FItems[n].Invalid || !IsThrowFrame(FItems[n].Out.FunctionName))
                    continue;
                for (size_t k = n; k < FItems.size(); ++k)
                    FItems[k].Hidden = true;
                break;
            }
        }
        if (FHasPrepared) {
            for (size_t n = FItems.size(); n-- > 0;) {
                const auto& names = R.ExceptionHandlerNames;
                if (FItems[n].Invalid ||
                    std::find(names.begin(), names.end(), FItems[n].Out.FunctionName) == names.end())
                    continue;
                for (size_t k = n; k < FItems.size(); ++k)
                    FItems[k].Hidden = FItems[k].Hidden || !FItems[k].TopItem;
                // The system's dispatcher right below it goes too; a named frame between ends
                // the rule.
                for (size_t k = n; k-- > 0;) {
                    if (FItems[k].Invalid || FItems[k].Out.FunctionName.empty())
                        continue;
                    if (FItems[k].Out.FunctionName == u"KiUserExceptionDispatcher")
                        FItems[k].Hidden = true;
                    break;
                }
                break;
            }
        }
    }

    // ------------------------------------------------------------ 7. result

    void ComposeResult(TTraceResult& result)
    {
        for (size_t n = FItems.size(); n-- > 0;) {
            Poll();
            const TItem& item = FItems[n];
            if (item.Invalid || item.Hidden)
                continue;
            const bool creator = n == 0 && R.CreatorAddr;
            const bool named = !item.Out.FunctionName.empty() && (!R.HideUglyItems || item.Out.Line);
            if (!item.TopItem && !creator && !named)
                continue;
            if (!result.Lines.empty() && result.Lines.back().Addr == item.Out.Addr)
                continue;
            result.Lines.push_back(item.Out);
            result.EndsWithCreator = creator;
        }
        for (const TStackLine& line : result.Lines) {
            result.Trace.push_back(ToStackItem(line));
            result.HasLineNumbers = result.HasLineNumbers || line.Line;
            if (!result.ExceptFuncEntry && line.PublicAddr && line.PublicLine) {
                result.ExceptFuncEntry = line.PublicAddr;
                result.ExceptFuncAddr = line.Addr;
            }
        }
        result.Text = StackText(result.Lines, R.Text);
        result.Checksums = StackChecksums(result.Lines);
        result.MinDebugInfo = FMinDebugInfo;
        result.ExceptAddr = FExceptAddr;
    }

    std::u16string InternalError()
    {
        std::u16string text = u">> internal error in " + Utf16(FStep);
        try {
            if (R.RaiseAddr)
                text += u":\r\n" + LocationLine(LineAt(R.RaiseAddr, ModuleOf(R.RaiseAddr), -1), R.Text);
            if (R.TopAddr)
                text += u"\r\n>> original exception location: \r\n" +
                        LocationLine(LineAt(R.TopAddr, ModuleOf(R.TopAddr), -1), R.Text);
        } catch (...) {
        }
        return text;
    }

    ITraceMemory& M;
    TTracerCaches& FCaches;
    const TTraceRequest& R;
    std::vector<TPreparedEntry> FPrepared;
    std::vector<TItem> FItems;
    bool FTopStored = false;
    bool FHasPrepared = false;
    uint32_t FExceptAddr = 0;
    std::vector<std::u16string> FMinDebugInfo;
    std::string FStep;
    std::vector<std::pair<uint32_t, int64_t>>
        FMemo; // per item: the evaluation it was computed in, its quality
    uint32_t FMemoGeneration = 0;
};

} // namespace

TTraceResult TraceStack(ITraceMemory& memory, TTracerCaches& caches, const TTraceRequest& request)
{
    const std::lock_guard<std::recursive_mutex> lock(caches.Lock);
    return TStackTracer(memory, caches, request).Run();
}

} // namespace crash
