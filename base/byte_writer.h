#pragma once
// The byte writer of every binary format this program writes (debug containers, PNG and
// BMP files, property streams, the tests' debug files): integers in either byte order,
// bytes, counted texts, and patches of values that are known only later. Appending cannot
// fail short of memory; a patch outside what was written is refused.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

namespace base {

class TByteWriter
{
public:
    TByteWriter& U8(uint32_t v);
    TByteWriter& U16(uint32_t v) { return U8(v).U8(v >> 8); }
    TByteWriter& U32(uint32_t v) { return U16(v).U16(v >> 16); }
    TByteWriter& U32Be(uint32_t v) { return U8(v >> 24).U8(v >> 16).U8(v >> 8).U8(v); }
    TByteWriter& Bytes(std::span<const uint8_t> bytes);
    TByteWriter& Chars(std::string_view text);
    // A length byte and the text, cut after 255 characters.
    TByteWriter& ShortString(std::string_view text);
    TByteWriter& Zeros(size_t count);
    // Zeros up to `size` bytes in all (nothing when there are as many already).
    TByteWriter& PadTo(size_t size) { return Zeros(size > Size() ? size - Size() : 0); }
    // Overwrites 4 bytes written before; false (and nothing written) when they were not.
    bool PatchU32(size_t at, uint32_t v);

    size_t Size() const noexcept { return FBytes.size(); }
    const std::vector<uint8_t>& Data() const noexcept { return FBytes; }
    std::vector<uint8_t> Take() noexcept { return std::move(FBytes); }

private:
    std::vector<uint8_t> FBytes;
};

} // namespace base
