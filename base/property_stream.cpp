#include "base/property_stream.h"

#include "base/utf.h"

#include <algorithm>
#include <cstring>

namespace base {
namespace {

constexpr int MaxDepth = 64;

class Reader
{
public:
    Reader(std::span<const uint8_t> data, const TAnsiDecoder& ansi) : FData(data), FAnsi(ansi) {}

    TStreamReadResult Read()
    {
        TStreamReadResult result;
        if (!Take(4) || std::memcmp(FData.data(), "TPF0", 4) != 0) {
            result.Status = TStreamStatus::BadSignature;
            return result;
        }
        FPos = 4;
        result.Status = ReadObject(result.Root, 0, result.BadKind);
        return result;
    }

private:
    bool Take(size_t n) const { return FData.size() - FPos >= n; }

    bool ShortString(std::string& out)
    {
        if (!Take(1))
            return false;
        const size_t n = FData[FPos];
        if (!Take(1 + n))
            return false;
        out.assign(reinterpret_cast<const char*>(FData.data() + FPos + 1), n);
        FPos += 1 + n;
        return true;
    }

    bool Bytes(size_t n, std::string_view& out)
    {
        if (!Take(n))
            return false;
        out = {reinterpret_cast<const char*>(FData.data() + FPos), n};
        FPos += n;
        return true;
    }

    bool Number(size_t size, uint32_t& out)
    {
        if (!Take(size))
            return false;
        out = 0;
        for (size_t i = 0; i < size; ++i)
            out |= static_cast<uint32_t>(FData[FPos + i]) << (8 * i);
        FPos += size;
        return true;
    }

    TStreamStatus ReadValue(TStreamProperty& p)
    {
        uint32_t n = 0;
        std::string_view bytes;
        switch (p.Kind) {
        case vkInt8:
            if (!Number(1, n))
                return TStreamStatus::Truncated;
            p.Int = static_cast<int8_t>(n);
            return TStreamStatus::Ok;
        case vkInt16:
            if (!Number(2, n))
                return TStreamStatus::Truncated;
            p.Int = static_cast<int16_t>(n);
            return TStreamStatus::Ok;
        case vkInt32:
            if (!Number(4, n))
                return TStreamStatus::Truncated;
            p.Int = static_cast<int32_t>(n);
            return TStreamStatus::Ok;
        case vkFalse:
        case vkTrue:
            p.Bool = p.Kind == vkTrue;
            return TStreamStatus::Ok;
        case vkString:
        case vkUtf8String:
        case vkLString:
        case vkLUtf8String: {
            const bool shortLength = p.Kind == vkString || p.Kind == vkUtf8String;
            if (!Number(shortLength ? 1 : 4, n) || !Bytes(n, bytes))
                return TStreamStatus::Truncated;
            p.Text = p.Kind == vkString || p.Kind == vkLString ? FAnsi(bytes) : base::Utf8ToUtf16(bytes);
            return TStreamStatus::Ok;
        }
        case vkWString:
            if (!Number(4, n) || n > (FData.size() - FPos) / 2 || !Bytes(size_t{n} * 2, bytes))
                return TStreamStatus::Truncated;
            p.Text.resize(n);
            for (uint32_t i = 0; i < n; ++i)
                p.Text[i] = static_cast<char16_t>(static_cast<uint8_t>(bytes[2 * i]) |
                                                  static_cast<uint8_t>(bytes[2 * i + 1]) << 8);
            return TStreamStatus::Ok;
        default:
            return TStreamStatus::UnknownKind;
        }
    }

    TStreamStatus ReadObject(TStreamObject& object, int depth, uint8_t& badKind)
    {
        if (depth > MaxDepth)
            return TStreamStatus::TooDeep;
        if (!ShortString(object.ClassName) || !ShortString(object.Name))
            return depth == 0 ? TStreamStatus::BadSignature : TStreamStatus::Truncated;
        for (;;) {
            if (!Take(1))
                return TStreamStatus::Truncated;
            if (FData[FPos] == 0) {
                ++FPos;
                break;
            }
            TStreamProperty p;
            if (!ShortString(p.Name) || !Take(1))
                return TStreamStatus::Truncated;
            p.Kind = FData[FPos++];
            const TStreamStatus status = ReadValue(p);
            if (status == TStreamStatus::UnknownKind)
                badKind = p.Kind;
            if (status != TStreamStatus::Ok)
                return status;
            object.Properties.push_back(std::move(p));
        }
        for (;;) {
            if (!Take(1))
                return TStreamStatus::Truncated;
            if (FData[FPos] == 0) {
                ++FPos;
                return TStreamStatus::Ok;
            }
            object.Children.emplace_back();
            const TStreamStatus status = ReadObject(object.Children.back(), depth + 1, badKind);
            if (status != TStreamStatus::Ok)
                return status;
        }
    }

    std::span<const uint8_t> FData;
    const TAnsiDecoder& FAnsi;
    size_t FPos = 0;
};

void PutNumber(std::vector<uint8_t>& out, uint32_t value, size_t size)
{
    for (size_t i = 0; i < size; ++i)
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void PutShortString(std::vector<uint8_t>& out, std::string_view text)
{
    const size_t n = std::min<size_t>(text.size(), 255);
    out.push_back(static_cast<uint8_t>(n));
    out.insert(out.end(), text.begin(), text.begin() + static_cast<long>(n));
}

void WriteObject(std::vector<uint8_t>& out, const TStreamObject& object, const TAnsiEncoder& ansi)
{
    PutShortString(out, object.ClassName);
    PutShortString(out, object.Name);
    for (const TStreamProperty& p : object.Properties) {
        if (p.Name.empty() || !IsKnownKind(p.Kind))
            continue;
        PutShortString(out, p.Name);
        out.push_back(p.Kind);
        switch (p.Kind) {
        case vkInt8:
            PutNumber(out, static_cast<uint32_t>(p.Int), 1);
            break;
        case vkInt16:
            PutNumber(out, static_cast<uint32_t>(p.Int), 2);
            break;
        case vkInt32:
            PutNumber(out, static_cast<uint32_t>(p.Int), 4);
            break;
        case vkWString:
            PutNumber(out, static_cast<uint32_t>(p.Text.size()), 4);
            for (char16_t c : p.Text)
                PutNumber(out, c, 2);
            break;
        case vkString:
        case vkUtf8String:
        case vkLString:
        case vkLUtf8String: {
            const bool shortLength = p.Kind == vkString || p.Kind == vkUtf8String;
            std::string bytes =
                p.Kind == vkString || p.Kind == vkLString ? ansi(p.Text) : base::Utf16ToUtf8(p.Text);
            if (shortLength && bytes.size() > 255) {
                // Cut at a character boundary of UTF-8 text.
                size_t n = 255;
                while (p.Kind == vkUtf8String && n > 0 && (static_cast<uint8_t>(bytes[n]) & 0xC0) == 0x80)
                    --n;
                bytes.resize(n);
            }
            PutNumber(out, static_cast<uint32_t>(bytes.size()), shortLength ? 1 : 4);
            out.insert(out.end(), bytes.begin(), bytes.end());
            break;
        }
        default: // booleans carry no value bytes
            break;
        }
    }
    out.push_back(0);
    for (const TStreamObject& child : object.Children)
        WriteObject(out, child, ansi);
    out.push_back(0);
}

} // namespace

bool IsIntegerKind(uint8_t kind)
{
    return kind == vkInt8 || kind == vkInt16 || kind == vkInt32;
}
bool IsBooleanKind(uint8_t kind)
{
    return kind == vkFalse || kind == vkTrue;
}
bool IsStringKind(uint8_t kind)
{
    return kind == vkString || kind == vkUtf8String || kind == vkLString || kind == vkWString ||
           kind == vkLUtf8String;
}
bool IsKnownKind(uint8_t kind)
{
    return IsIntegerKind(kind) || IsBooleanKind(kind) || IsStringKind(kind);
}

std::u16string Latin1Decode(std::string_view bytes)
{
    std::u16string out(bytes.size(), u'\0');
    std::transform(bytes.begin(), bytes.end(), out.begin(),
                   [](char c) { return static_cast<char16_t>(static_cast<unsigned char>(c)); });
    return out;
}

std::string Latin1Encode(std::u16string_view text)
{
    std::string out(text.size(), '\0');
    std::transform(text.begin(), text.end(), out.begin(),
                   [](char16_t c) { return c <= 0xFF ? static_cast<char>(c) : '?'; });
    return out;
}

TStreamReadResult ReadPropertyStream(std::span<const uint8_t> data, const TAnsiDecoder& ansi)
{
    return Reader(data, ansi).Read();
}

std::vector<uint8_t> WritePropertyStream(const TStreamObject& root, const TAnsiEncoder& ansi)
{
    std::vector<uint8_t> out{'T', 'P', 'F', '0'};
    WriteObject(out, root, ansi);
    return out;
}

} // namespace base
