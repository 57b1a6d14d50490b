#pragma once
// Test memory for the code analysis: code and data at chosen addresses of one module image
// whose code range is 0x401000 to 0x408000.

#include "crash/core/x86/x86_function.h"

#include <cstdint>
#include <initializer_list>
#include <map>
#include <string>

namespace crash::testing {

struct Image : ICodeMemory
{
    std::map<uint32_t, uint8_t> Bytes;
    void Put(uint32_t at, std::initializer_list<int> bytes)
    {
        for (int b : bytes)
            Bytes[at++] = static_cast<uint8_t>(b);
    }
    void PutDword(uint32_t at, uint32_t v)
    {
        Put(at, {int(v & 255), int(v >> 8 & 255), int(v >> 16 & 255), int(v >> 24)});
    }
    void PutText(uint32_t at, const std::string& s)
    {
        for (char c : s)
            Bytes[at++] = static_cast<uint8_t>(c);
        Bytes[at] = 0;
    }
    bool Read(uint32_t address, uint8_t* out, size_t size) override
    {
        for (size_t k = 0; k < size; ++k) {
            auto it = Bytes.find(address + static_cast<uint32_t>(k));
            if (it == Bytes.end())
                return false;
            out[k] = it->second;
        }
        return true;
    }
    std::optional<std::pair<uint32_t, uint32_t>> CodeRange(uint32_t) override
    {
        return std::make_pair(0x401000u, 0x408000u);
    }
};

} // namespace crash::testing
