#include "base/byte_writer.h"

#include <algorithm>

namespace base {

TByteWriter& TByteWriter::U8(uint32_t v)
{
    FBytes.push_back(static_cast<uint8_t>(v));
    return *this;
}

TByteWriter& TByteWriter::Bytes(std::span<const uint8_t> bytes)
{
    FBytes.insert(FBytes.end(), bytes.begin(), bytes.end());
    return *this;
}

TByteWriter& TByteWriter::Chars(std::string_view text)
{
    FBytes.insert(FBytes.end(), text.begin(), text.end());
    return *this;
}

TByteWriter& TByteWriter::ShortString(std::string_view text)
{
    const size_t length = std::min<size_t>(text.size(), 255);
    return U8(static_cast<uint32_t>(length)).Chars(text.substr(0, length));
}

TByteWriter& TByteWriter::Zeros(size_t count)
{
    FBytes.resize(FBytes.size() + count);
    return *this;
}

bool TByteWriter::PatchU32(size_t at, uint32_t v)
{
    if (at > FBytes.size() || FBytes.size() - at < 4)
        return false;
    for (size_t i = 0; i < 4; ++i)
        FBytes[at + i] = static_cast<uint8_t>(v >> (8 * i));
    return true;
}

} // namespace base
