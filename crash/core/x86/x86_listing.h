#pragma once
// The "disassembling" section of a bug report: the labelled listing of an analysed
// function, with names and plausible texts as comments, jump and exception tables, block
// delimiters, a source-line column and a limit around the exception address. Platform-free;
// names, lines and module images come through callbacks.

#include "crash/core/x86/x86_function.h"

#include <functional>
#include <optional>
#include <string>

namespace crash {

struct TListingOptions
{
    uint32_t ExceptionAddress = 0;
    bool AutoDelimiters = false; // FormatDisassembly: labels for every area, blank and separator lines
    int Limit = 0;               // LimitDisassembly: lines kept around the exception line, 0 for all
    // The name of the function at an address (with " (module)" where the caller adds it),
    // empty when there is none.
    std::function<std::string(uint32_t address)> NameOf;
    // The source line of an address, 0 when unknown.
    std::function<int(uint32_t address)> LineOf;
    // The name of the exception class whose class reference an exception table holds.
    std::function<std::string(uint32_t classRef)> ClassNameOf;
    // The end (exclusive) of the module image an address lies in, or nothing.
    std::function<std::optional<uint32_t>(uint32_t address)> ImageEnd;
    TRuntimeEntries Runtime;
};

constexpr const char* ListingInternalError =
    "Internal error in ParseFunction while composing the disassembling string...  :-(";

// Lines joined by CR LF.
std::string DisassemblyListing(ICodeMemory& memory, const TFunctionInfo& info,
                               const TListingOptions& options);

// Whether `bytes` (up to the first control character) read as text worth showing.
bool PlausibleText(std::string_view bytes);

} // namespace crash
