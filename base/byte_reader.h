#pragma once
// The bounded byte reader of every binary format this program reads (debug containers,
// TD32, JCL, PE headers, DWARF line tables, property streams, instructions). It never reads
// outside the bytes it was given, and it says why it stopped.
//
// Sequential reads move the position. A read that would run past the end answers 0 (or an
// empty value), moves the position to the end and sets the status to Truncated; the status
// stays there, so a caller may read a whole record and check Ok() once. Reads at an offset
// (the *At functions) leave the position and the status alone and answer 0 or an empty
// value outside the data; the caller checks sizes with HasAt where a 0 could be taken for
// data. Integers are little-endian.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace base {

enum class TReadStatus : uint8_t
{
    Ok,
    Truncated,  // a read ran past the end of the data
    OutOfRange, // Seek to an offset outside the data
};

class TByteReader
{
public:
    TByteReader() noexcept = default;
    explicit TByteReader(std::span<const uint8_t> data) noexcept : FData(data) {}
    // A reader whose position starts at `pos` (as Seek does).
    TByteReader(std::span<const uint8_t> data, size_t pos) noexcept : FData(data) { Seek(pos); }

    TReadStatus Status() const noexcept { return FStatus; }
    bool Ok() const noexcept { return FStatus == TReadStatus::Ok; }
    std::span<const uint8_t> Data() const noexcept { return FData; }
    size_t Size() const noexcept { return FData.size(); }
    size_t Pos() const noexcept { return FPos; }
    size_t Left() const noexcept { return FData.size() - FPos; }
    bool AtEnd() const noexcept { return FPos == FData.size(); }
    // Whether `count` more bytes follow the position.
    bool Has(uint64_t count) const noexcept { return count <= Left(); }

    uint8_t U8() noexcept { return static_cast<uint8_t>(Fixed(1)); }
    uint16_t U16() noexcept { return static_cast<uint16_t>(Fixed(2)); }
    uint32_t U32() noexcept { return static_cast<uint32_t>(Fixed(4)); }
    uint64_t U64() noexcept { return Fixed(8); }
    // An unsigned integer of `size` bytes (0 to 8; a larger size is a read past what an
    // integer holds and stops the reader as Truncated).
    uint64_t Fixed(size_t size) noexcept;
    // A signed integer of 1, 2 or 4 bytes, sign-extended.
    int32_t Signed(size_t size) noexcept;
    // LEB128 numbers; bits beyond 64 are dropped.
    uint64_t Uleb() noexcept;
    int64_t Sleb() noexcept;
    std::span<const uint8_t> Bytes(uint64_t count) noexcept;
    std::string_view Chars(uint64_t count) noexcept;
    // A length byte and that many characters.
    std::string ShortString();
    // Characters up to a zero byte, which is consumed; without one, what is left and
    // Truncated.
    std::string CString();
    void Skip(uint64_t count) noexcept { Bytes(count); }
    // Moves to `pos`; past the end it goes to the end and the status becomes OutOfRange.
    void Seek(size_t pos) noexcept;

    bool HasAt(size_t at, uint64_t count) const noexcept
    {
        return at <= FData.size() && count <= FData.size() - at;
    }
    uint8_t U8At(size_t at) const noexcept { return static_cast<uint8_t>(FixedAt(at, 1)); }
    uint16_t U16At(size_t at) const noexcept { return static_cast<uint16_t>(FixedAt(at, 2)); }
    uint32_t U32At(size_t at) const noexcept { return static_cast<uint32_t>(FixedAt(at, 4)); }
    // An unsigned integer of `size` bytes (0 to 8) at `at`; 0 outside the bytes.
    uint64_t FixedAt(size_t at, size_t size) const noexcept
    {
        if (size > 8 || !HasAt(at, size))
            return 0;
        uint64_t value = 0;
        for (size_t i = 0; i < size; ++i)
            value |= uint64_t{FData[at + i]} << (8 * i);
        return value;
    }
    std::span<const uint8_t> BytesAt(size_t at, uint64_t count) const noexcept;

private:
    void Stop(TReadStatus status) noexcept;

    std::span<const uint8_t> FData;
    size_t FPos = 0;
    TReadStatus FStatus = TReadStatus::Ok;
};

} // namespace base
