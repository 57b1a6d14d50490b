#include "base/property_stream.h"

#include "base/byte_reader.h"
#include "base/byte_writer.h"
#include "base/utf.h"

#include <algorithm>
#include <cstring>

namespace base {
namespace {

constexpr int MaxDepth = 64;

class Reader
{
public:
    Reader(std::span<const uint8_t> data, const TAnsiDecoder& ansi) : FIn(data), FAnsi(ansi) {}

    TStreamReadResult Read()
    {
        TStreamReadResult result;
        if (FIn.Chars(4) != "TPF0") {
            result.Status = TStreamStatus::BadSignature;
            return result;
        }
        result.Status = ReadObject(result.Root, 0, result.BadKind);
        return result;
    }

private:
    TStreamStatus ReadValue(TStreamProperty& p)
    {
        switch (p.Kind) {
        case vkInt8:
        case vkInt16:
        case vkInt32:
            p.Int = FIn.Signed(p.Kind == vkInt8 ? 1 : p.Kind == vkInt16 ? 2 : 4);
            break;
        case vkFalse:
        case vkTrue:
            p.Bool = p.Kind == vkTrue;
            break;
        case vkString:
        case vkUtf8String:
        case vkLString:
        case vkLUtf8String: {
            const bool shortLength = p.Kind == vkString || p.Kind == vkUtf8String;
            const std::string_view bytes = FIn.Chars(FIn.Fixed(shortLength ? 1 : 4));
            if (FIn.Ok())
                p.Text = p.Kind == vkString || p.Kind == vkLString ? FAnsi(bytes) : base::Utf8ToUtf16(bytes);
            break;
        }
        case vkWString: {
            const uint32_t n = FIn.U32();
            const std::span<const uint8_t> bytes = FIn.Bytes(uint64_t{n} * 2);
            if (!FIn.Ok())
                break;
            p.Text.resize(n);
            for (uint32_t i = 0; i < n; ++i)
                p.Text[i] = static_cast<char16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
            break;
        }
        default:
            return TStreamStatus::UnknownKind;
        }
        return FIn.Ok() ? TStreamStatus::Ok : TStreamStatus::Truncated;
    }

    // The zero byte that ends a list of properties or children, when it is next.
    bool ListEnd()
    {
        if (FIn.Has(1) && FIn.U8At(FIn.Pos()) == 0) {
            FIn.Skip(1);
            return true;
        }
        return false;
    }

    TStreamStatus ReadObject(TStreamObject& object, int depth, uint8_t& badKind)
    {
        if (depth > MaxDepth)
            return TStreamStatus::TooDeep;
        object.ClassName = FIn.ShortString();
        object.Name = FIn.ShortString();
        if (!FIn.Ok())
            return depth == 0 ? TStreamStatus::BadSignature : TStreamStatus::Truncated;
        while (!ListEnd()) {
            TStreamProperty p;
            p.Name = FIn.ShortString();
            p.Kind = FIn.U8();
            if (!FIn.Ok())
                return TStreamStatus::Truncated;
            const TStreamStatus status = ReadValue(p);
            if (status == TStreamStatus::UnknownKind)
                badKind = p.Kind;
            if (status != TStreamStatus::Ok)
                return status;
            object.Properties.push_back(std::move(p));
        }
        while (!ListEnd()) {
            if (!FIn.Has(1))
                return TStreamStatus::Truncated;
            object.Children.emplace_back();
            const TStreamStatus status = ReadObject(object.Children.back(), depth + 1, badKind);
            if (status != TStreamStatus::Ok)
                return status;
        }
        return TStreamStatus::Ok;
    }

    TByteReader FIn;
    const TAnsiDecoder& FAnsi;
};

void WriteObject(TByteWriter& out, const TStreamObject& object, const TAnsiEncoder& ansi)
{
    out.ShortString(object.ClassName).ShortString(object.Name);
    for (const TStreamProperty& p : object.Properties) {
        if (p.Name.empty() || !IsKnownKind(p.Kind))
            continue;
        out.ShortString(p.Name).U8(p.Kind);
        switch (p.Kind) {
        case vkInt8:
            out.U8(static_cast<uint32_t>(p.Int));
            break;
        case vkInt16:
            out.U16(static_cast<uint32_t>(p.Int));
            break;
        case vkInt32:
            out.U32(static_cast<uint32_t>(p.Int));
            break;
        case vkWString:
            out.U32(static_cast<uint32_t>(p.Text.size()));
            for (char16_t c : p.Text)
                out.U16(c);
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
            if (shortLength)
                out.U8(static_cast<uint32_t>(bytes.size()));
            else
                out.U32(static_cast<uint32_t>(bytes.size()));
            out.Chars(bytes);
            break;
        }
        default: // booleans carry no value bytes
            break;
        }
    }
    out.U8(0);
    for (const TStreamObject& child : object.Children)
        WriteObject(out, child, ansi);
    out.U8(0);
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
    TByteWriter out;
    out.Chars("TPF0");
    WriteObject(out, root, ansi);
    return out.Take();
}

} // namespace base
