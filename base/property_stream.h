#pragma once
// The binary property stream of form layouts, the crash reporter's settings block and its
// assistant forms: "TPF0", then one object (class name, object name, property records, a
// zero byte, child objects, a zero byte). This reader and writer need no Windows API; 8-bit
// text in the system code page is converted by a function the caller gives.
//
// Any byte sequence is accepted: the reader never reads past the data and reports how it
// stopped; what it read up to that point stays in the result.

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace base {

// Value kinds of a property record, by their kind byte.
enum TValueKind : uint8_t
{
    vkInt8 = 2,
    vkInt16 = 3,
    vkInt32 = 4,
    vkString = 6,     // length byte, 8-bit text in the system code page
    vkUtf8String = 7, // length byte, UTF-8
    vkFalse = 8,
    vkTrue = 9,
    vkLString = 12,     // 4-byte length, 8-bit text in the system code page
    vkWString = 18,     // 4-byte length in characters, UTF-16LE
    vkLUtf8String = 20, // 4-byte length, UTF-8
};

bool IsKnownKind(uint8_t kind);
bool IsIntegerKind(uint8_t kind);
bool IsBooleanKind(uint8_t kind);
bool IsStringKind(uint8_t kind);

struct TStreamProperty
{
    std::string Name; // ASCII, as stored
    uint8_t Kind = vkInt32;
    int32_t Int = 0;
    bool Bool = false;
    std::u16string Text;

    friend bool operator==(const TStreamProperty&, const TStreamProperty&) = default;
};

struct TStreamObject
{
    std::string ClassName;
    std::string Name;
    std::vector<TStreamProperty> Properties;
    std::vector<TStreamObject> Children;

    friend bool operator==(const TStreamObject&, const TStreamObject&) = default;
};

enum class TStreamStatus
{
    Ok,
    BadSignature, // not "TPF0" followed by two names
    UnknownKind,  // a kind byte outside the table; the record is not taken
    Truncated,    // the data ended inside an item
    TooDeep,      // objects nested deeper than the reader follows
};

struct TStreamReadResult
{
    TStreamObject Root;
    TStreamStatus Status = TStreamStatus::Ok;
    uint8_t BadKind = 0; // for UnknownKind
};

// Converts 8-bit text in the system code page to UTF-16, and back.
using TAnsiDecoder = std::function<std::u16string(std::string_view)>;
using TAnsiEncoder = std::function<std::string(std::u16string_view)>;
// Latin-1: each byte is the code point of the same value (and back, '?' above U+00FF).
std::u16string Latin1Decode(std::string_view bytes);
std::string Latin1Encode(std::u16string_view text);

TStreamReadResult ReadPropertyStream(std::span<const uint8_t> data, const TAnsiDecoder& ansi = Latin1Decode);

// The stream of `root`; each property is written with its own kind. Texts too long for a
// kind's length field are cut to the longest length it can hold.
std::vector<uint8_t> WritePropertyStream(const TStreamObject& root, const TAnsiEncoder& ansi = Latin1Encode);

} // namespace base
