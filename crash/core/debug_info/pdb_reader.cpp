#include "crash/core/debug_info/pdb_reader.h"

#include "base/module_path.h"
#include "base/proc_address.h"
#include "base/utf.h"
#include "base/win_handle.h"
#include "crash/core/debug_info/pe_image.h"

#include <windows.h>

#include <dbghelp.h>

#include <vector>

namespace crash {
namespace {

constexpr DWORD64 LoadBase = 0x80000000;

struct TDebugHelp
{
    base::Module Library;
    decltype(&::SymInitializeW) SymInitializeW = nullptr;
    decltype(&::SymCleanup) SymCleanup = nullptr;
    decltype(&::SymLoadModuleExW) SymLoadModuleExW = nullptr;
    decltype(&::SymUnloadModule64) SymUnloadModule64 = nullptr;
    decltype(&::SymGetModuleInfoW64) SymGetModuleInfoW64 = nullptr;
    decltype(&::SymEnumSymbolsW) SymEnumSymbolsW = nullptr;
    // The lines come through the ANSI form: Wine's SymEnumLinesW is a stub that ends the
    // process when it is called.
    decltype(&::SymEnumLines) SymEnumLines = nullptr;
    decltype(&::SymGetOptions) SymGetOptions = nullptr;
    decltype(&::SymSetOptions) SymSetOptions = nullptr;

    bool Complete() const
    {
        return SymInitializeW && SymCleanup && SymLoadModuleExW && SymUnloadModule64 && SymGetModuleInfoW64 &&
               SymEnumSymbolsW && SymEnumLines && SymGetOptions && SymSetOptions;
    }
};

// The folder of the module this code is linked into.
std::wstring ReporterFolder()
{
    HMODULE self = nullptr;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                             GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCWSTR>(&ReporterFolder), &self);
    const std::wstring path = base::ModulePath(self);
    return path.substr(0, path.find_last_of(L"\\/") + 1);
}

// Loaded on first use and kept for the process: other modules of the process may be
// between two uses of it.
const TDebugHelp& DebugHelp()
{
    static const TDebugHelp help = [] {
        TDebugHelp h;
        const std::wstring folder = ReporterFolder();
        if (folder.empty())
            return h;
        h.Library.Reset(
            ::LoadLibraryExW((folder + L"dbghelp.dll").c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
        const HMODULE m = h.Library.Get();
        h.SymInitializeW = base::ProcAddress<decltype(h.SymInitializeW)>(m, "SymInitializeW");
        h.SymCleanup = base::ProcAddress<decltype(h.SymCleanup)>(m, "SymCleanup");
        h.SymLoadModuleExW = base::ProcAddress<decltype(h.SymLoadModuleExW)>(m, "SymLoadModuleExW");
        h.SymUnloadModule64 = base::ProcAddress<decltype(h.SymUnloadModule64)>(m, "SymUnloadModule64");
        h.SymGetModuleInfoW64 = base::ProcAddress<decltype(h.SymGetModuleInfoW64)>(m, "SymGetModuleInfoW64");
        h.SymEnumSymbolsW = base::ProcAddress<decltype(h.SymEnumSymbolsW)>(m, "SymEnumSymbolsW");
        h.SymEnumLines = base::ProcAddress<decltype(h.SymEnumLines)>(m, "SymEnumLines");
        h.SymGetOptions = base::ProcAddress<decltype(h.SymGetOptions)>(m, "SymGetOptions");
        h.SymSetOptions = base::ProcAddress<decltype(h.SymSetOptions)>(m, "SymSetOptions");
        return h;
    }();
    return help;
}

// The library's session for this process, cleaned up on every path.
class TSymbolSession
{
public:
    // The library loads no line information unless it is asked to; the options are the
    // whole process's and are put back afterwards.
    explicit TSymbolSession(const TDebugHelp& help)
        : FHelp(help), FProcess(::GetCurrentProcess()), FOptions(help.SymGetOptions()),
          FOpen((help.SymSetOptions(FOptions | SYMOPT_LOAD_LINES),
                 help.SymInitializeW(FProcess, nullptr, FALSE)))
    {
    }
    ~TSymbolSession()
    {
        if (FLoaded)
            FHelp.SymUnloadModule64(FProcess, LoadBase);
        if (FOpen)
            FHelp.SymCleanup(FProcess);
        FHelp.SymSetOptions(FOptions);
    }
    TSymbolSession(const TSymbolSession&) = delete;
    TSymbolSession& operator=(const TSymbolSession&) = delete;

    bool Load(const std::wstring& path)
    {
        if (!FOpen)
            return false;
        FLoaded = FHelp.SymLoadModuleExW(FProcess, nullptr, path.c_str(), nullptr, LoadBase, 0, nullptr, 0) ==
                  LoadBase;
        IMAGEHLP_MODULEW64 info{};
        info.SizeOfStruct = sizeof info;
        return FLoaded && FHelp.SymGetModuleInfoW64(FProcess, LoadBase, &info);
    }
    HANDLE Process() const { return FProcess; }

private:
    const TDebugHelp& FHelp;
    HANDLE FProcess;
    DWORD FOptions;
    bool FOpen;
    bool FLoaded = false;
};

struct TReading
{
    TMapFile& Map;
    uint32_t CorrectBase;
    std::string LastFile;
    DWORD LastLine = 0;
    DWORD64 LastAddress = 0;
    bool First = true;
    bool Found = false;

    // The library's address as an address of the module.
    uint32_t Absolute(DWORD64 address) const
    {
        return Map.Ranges().BaseOfCode + static_cast<uint32_t>(address - CorrectBase - LoadBase);
    }
};

// The file name without its folder, from the system's ANSI code page into UTF-8.
std::string FileOnly(const char* path)
{
    std::string p(path);
    p = p.substr(p.find_last_of("\\/") + 1);
    std::wstring wide(p.size(), L'\0');
    wide.resize(static_cast<size_t>(::MultiByteToWideChar(CP_ACP, 0, p.data(), static_cast<int>(p.size()),
                                                          wide.data(), static_cast<int>(wide.size()))));
    return base::Utf16ToUtf8(reinterpret_cast<const char16_t*>(wide.c_str()));
}

BOOL CALLBACK OnLine(PSRCCODEINFO line, PVOID context)
{
    TReading& r = *static_cast<TReading*>(context);
    const std::string file(line->FileName);
    if (r.First || line->Address < r.LastAddress || line->LineNumber < r.LastLine ||
        ::CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, file.c_str(), -1, r.LastFile.c_str(), -1) !=
            CSTR_EQUAL) {
        // One byte: the segments are then made to reach each other.
        r.Map.AddSegment(true, r.Absolute(line->Address), 1, FileOnly(line->FileName), true, true);
    }
    r.Map.AddLine(static_cast<int32_t>(line->LineNumber), r.Absolute(line->Address));
    r.First = false;
    r.LastFile = file;
    r.LastLine = line->LineNumber;
    r.LastAddress = line->Address;
    r.Found = true;
    return TRUE;
}

BOOL CALLBACK OnSymbol(PSYMBOL_INFOW symbol, ULONG, PVOID context)
{
    TReading& r = *static_cast<TReading*>(context);
    constexpr ULONG TagFunction = 5, TagPublicSymbol = 10;
    if (symbol->Tag == TagFunction || symbol->Tag == TagPublicSymbol) {
        const std::u16string name(reinterpret_cast<const char16_t*>(symbol->Name), symbol->NameLen);
        r.Map.AddPublic(true, base::Utf16ToUtf8(name), r.Absolute(symbol->Address), true);
        r.Found = true;
    }
    return TRUE;
}

} // namespace

bool DebugHelpAvailable()
{
    return DebugHelp().Complete();
}

bool ReadPdb(const std::wstring& path, uint32_t correctBase, TMapFile& map)
{
    const TDebugHelp& help = DebugHelp();
    if (!help.Complete())
        return false;
    const base::NamedMutexLock lock(L"VexcatchDbgHelp"); // serializes the library across modules
    if (!lock.Held())
        return false;
    TSymbolSession session(help);
    if (!session.Load(path))
        return false;
    TReading reading{map, correctBase, {}, 0, 0, true, false};
    help.SymEnumLines(session.Process(), LoadBase, nullptr, nullptr, OnLine, &reading);
    map.SortSegments(true);
    map.ExtendLastSegmentToTopOfCode();
    help.SymEnumSymbolsW(session.Process(), LoadBase, nullptr, OnSymbol, &reading);
    map.Finish();
    map.SetValid(reading.Found);
    return reading.Found;
}

uint32_t CorrectBaseOfFile(const std::wstring& path)
{
    base::FileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_EXISTING, 0, nullptr));
    std::vector<uint8_t> headers(4096);
    DWORD read = 0;
    if (!file || !::ReadFile(file.Get(), headers.data(), static_cast<DWORD>(headers.size()), &read, nullptr))
        return 4096;
    headers.resize(read);
    const auto image = TPeImage::Parse(headers, false);
    if (!image)
        return 4096;
    if (!image->Sections.empty() && (image->Sections[0].Characteristics & PeSectionCode))
        return image->Sections[0].VirtualAddress;
    return image->BaseOfCode;
}

} // namespace crash
