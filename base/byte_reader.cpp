#include "base/byte_reader.h"

#include <algorithm>

namespace base {

void TByteReader::Stop(TReadStatus status) noexcept
{
    FPos = FData.size();
    if (FStatus == TReadStatus::Ok)
        FStatus = status;
}

std::span<const uint8_t> TByteReader::BytesAt(size_t at, uint64_t count) const noexcept
{
    return HasAt(at, count) ? FData.subspan(at, static_cast<size_t>(count)) : std::span<const uint8_t>{};
}

uint64_t TByteReader::Fixed(size_t size) noexcept
{
    if (size > 8 || !Has(size)) {
        Stop(TReadStatus::Truncated);
        return 0;
    }
    const uint64_t value = FixedAt(FPos, size);
    FPos += size;
    return value;
}

int32_t TByteReader::Signed(size_t size) noexcept
{
    const auto value = static_cast<uint32_t>(Fixed(size));
    switch (size) {
    case 1:
        return static_cast<int8_t>(value);
    case 2:
        return static_cast<int16_t>(value);
    default:
        return static_cast<int32_t>(value);
    }
}

uint64_t TByteReader::Uleb() noexcept
{
    uint64_t value = 0;
    // The shift stops at 64: later groups are dropped, and a run of any length cannot
    // overflow it.
    for (int shift = 0; Ok(); shift = std::min(shift + 7, 64)) {
        const uint64_t b = U8();
        if (shift < 64)
            value |= (b & 0x7F) << shift;
        if (!(b & 0x80))
            break;
    }
    return value;
}

int64_t TByteReader::Sleb() noexcept
{
    uint64_t value = 0, b = 0;
    int shift = 0;
    do {
        b = U8();
        if (shift < 64)
            value |= (b & 0x7F) << shift;
        shift = std::min(shift + 7, 64);
    } while ((b & 0x80) && Ok());
    if (shift < 64 && (b & 0x40))
        value |= ~uint64_t{0} << shift;
    return static_cast<int64_t>(value);
}

std::span<const uint8_t> TByteReader::Bytes(uint64_t count) noexcept
{
    if (!Has(count)) {
        Stop(TReadStatus::Truncated);
        return {};
    }
    const auto bytes = FData.subspan(FPos, static_cast<size_t>(count));
    FPos += bytes.size();
    return bytes;
}

std::string_view TByteReader::Chars(uint64_t count) noexcept
{
    const auto bytes = Bytes(count);
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

std::string TByteReader::ShortString()
{
    const uint8_t length = U8();
    return std::string(Chars(length));
}

std::string TByteReader::CString()
{
    std::string text;
    while (Ok()) {
        const char c = static_cast<char>(U8());
        if (c == 0)
            break;
        text += c;
    }
    return text;
}

void TByteReader::Seek(size_t pos) noexcept
{
    if (pos > FData.size())
        Stop(TReadStatus::OutOfRange);
    else
        FPos = pos;
}

} // namespace base
