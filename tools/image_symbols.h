#pragma once
// What a linked PE image file tells the container builder besides its headers: sections by
// their full names (names over 8 characters live in the COFF string table as "/offset")
// and the function symbols of its COFF symbol table. Every read is checked.

#include "crash/core/debug_info/pe_image.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tools {

struct TImageFunction
{
    uint32_t Address = 0; // at the image's preferred base
    std::string Name;     // as linked (C++ names mangled)
};

class TImageSymbols
{
public:
    TImageSymbols(std::span<const uint8_t> file, const crash::TPeImage& image);
    // The raw bytes of the section of that name; empty when there is none.
    std::span<const uint8_t> Section(const std::string& name) const;
    // The sum of the sizes of the ".debug_" sections.
    size_t DebugSize() const;
    // The symbols of code sections that name functions and labels of code (not the
    // sections' own symbols), and the cold parts of functions ("NAME.cold", from the
    // symbols of their ".text.unlikely.NAME" sections), sorted by address.
    std::vector<TImageFunction> Functions() const;

private:
    std::string FullName(const std::string& name) const;
    std::string SymbolName(size_t at) const;

    std::span<const uint8_t> FFile;
    const crash::TPeImage& FImage;
    size_t FStrings = 0; // the string table's offset, 0 without a symbol table
};

} // namespace tools
