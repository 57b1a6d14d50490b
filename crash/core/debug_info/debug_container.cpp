#include "crash/core/debug_info/debug_container.h"

#include "base/byte_reader.h"
#include "base/byte_writer.h"
#include "base/hex.h"
#include "base/little_endian.h"
#include "base/rc4.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace crash {
namespace {

constexpr size_t SignatureLength = 14;
static_assert(sizeof ContainerSignature - 1 == SignatureLength);

// One signed byte, or -128 and the 4-byte value.
void PutPacked(base::TByteWriter& out, int32_t v)
{
    if (v >= -127 && v <= 127)
        out.U8(static_cast<uint8_t>(static_cast<int8_t>(v)));
    else
        out.U8(0x80).U32(static_cast<uint32_t>(v));
}

int32_t ReadPacked(base::TByteReader& r)
{
    const uint8_t b = r.U8();
    return b == 0x80 ? static_cast<int32_t>(r.U32()) : static_cast<int8_t>(b);
}

// The cipher's key: a fixed word and the payload's length, in hexadecimal and decimal.
std::string Password(size_t payloadLength)
{
    char text[32];
    std::snprintf(text, sizeof text, "VxDbg!%07zx%08zu", payloadLength & 0xFFFFFFF,
                  payloadLength % 100000000);
    return text;
}

// Reads a counted table; each entry is added by `entry`, which reads it from `r`. A count
// that the rest of the stream cannot hold is Damaged; a stream that ends inside the table
// is Truncated.
template <class F> TDebugStatus Table(base::TByteReader& r, F entry)
{
    const uint32_t count = r.U32();
    if (!r.Ok())
        return TDebugStatus::Truncated;
    if (count > r.Left())
        return TDebugStatus::Damaged;
    for (uint32_t k = 0; k < count && r.Ok(); ++k)
        entry(k);
    return r.Ok() ? TDebugStatus::Ok : TDebugStatus::Truncated;
}

// Whether a line of the map lies in the segment.
bool HasLines(const TMapFile& map, const TMfSegment& s)
{
    const auto& lines = map.Lines();
    auto it = std::lower_bound(lines.begin(), lines.end(), s.StartAddress,
                               [](const TMfLine& l, uint32_t a) { return l.Address < a; });
    return it != lines.end() && it->Address - s.StartAddress < s.Length;
}

// The header of a container of version 2 or 3 whose payload the data holds.
TDebugStatus ParseHeader(std::span<const uint8_t> data, TContainerHeader& h)
{
    base::TByteReader r(data);
    if (r.Chars(SignatureLength) != std::string_view(ContainerSignature, SignatureLength))
        return TDebugStatus::WrongSignature;
    h.PayloadLength = r.U32();
    h.Version = r.U32();
    if (r.Ok() && h.Version == 3) {
        const uint32_t dateTime = r.U32();
        h.ThirdWord = r.U32();
        h.Flags = r.U32();
        h.DosDate = static_cast<uint16_t>(dateTime);
        h.DosTime = static_cast<uint16_t>(dateTime >> 16);
    }
    if (!r.Ok())
        return TDebugStatus::Truncated;
    if (h.Version != 2 && h.Version != 3)
        return TDebugStatus::WrongVersion;
    h.PayloadOffset = r.Pos();
    return r.Has(h.PayloadLength) ? TDebugStatus::Ok : TDebugStatus::Truncated;
}

} // namespace

std::vector<uint8_t> ExportContainer(const TMapFile& map, const TExportOptions& options)
{
    const uint32_t base = map.Ranges().BaseOfCode;
    base::TByteWriter stream;
    std::vector<const TMfSegment*> segments;
    for (const TMfSegment& s : map.Segments())
        if (s.Code)
            segments.push_back(&s);
    stream.U32(static_cast<uint32_t>(segments.size()));
    for (const TMfSegment* s : segments) {
        stream.U32(s->StartAddress - base).U32(s->Length);
        if (options.MinimalOnly)
            stream.U8(s->LineNumbers || HasLines(map, *s));
        else
            stream.ShortString(s->Unit_);
    }
    std::vector<const TMfPublic*> publics;
    for (const TMfPublic& p : map.Publics())
        if (p.Code)
            publics.push_back(&p);
    stream.U32(static_cast<uint32_t>(publics.size()));
    for (size_t k = 0; k < publics.size(); ++k) {
        if (!options.MinimalOnly)
            stream.ShortString(publics[k]->Name);
        if (k == 0)
            stream.U32(publics[k]->Address - base);
        else
            PutPacked(stream, static_cast<int32_t>(publics[k]->Address - publics[k - 1]->Address));
    }
    const auto& lines = map.Lines();
    stream.U32(options.MinimalOnly ? 0 : static_cast<uint32_t>(lines.size()));
    if (!options.MinimalOnly && !lines.empty()) {
        stream.U32(static_cast<uint32_t>(lines[0].Line)).U32(lines[0].Address - base);
        for (size_t k = 1; k < lines.size(); ++k) {
            PutPacked(stream, lines[k].Line - lines[k - 1].Line);
            PutPacked(stream, static_cast<int32_t>(lines[k].Address - lines[k - 1].Address));
        }
    }
    stream.U32(map.EntryPoint() ? map.EntryPoint() - base : 0);

    const std::vector<uint8_t>& table = stream.Data();
    uLongf packedSize = compressBound(static_cast<uLong>(table.size()));
    std::vector<uint8_t> payload(packedSize);
    if (compress2(payload.data(), &packedSize, table.data(), static_cast<uLong>(table.size()), 9) != Z_OK)
        return {};
    payload.resize(packedSize);
    // The identity word is taken before the payload is enciphered.
    const uint32_t third = payload.size() >= 12 ? base::ReadLe32(payload, 8) : 0;
    base::Rc4(payload, Password(payload.size()));

    base::TByteWriter out;
    out.Chars({ContainerSignature, SignatureLength});
    out.U32(static_cast<uint32_t>(payload.size())).U32(options.NewFormat ? 3 : 2);
    if (options.NewFormat)
        out.U16(options.DosDate)
            .U16(options.DosTime)
            .U32(third)
            .U32(options.MinimalOnly ? ContainerMinimalFlag : 0);
    out.Bytes(payload);
    out.Zeros((4 - out.Size() % 4) % 4);
    return out.Take();
}

std::optional<TContainerHeader> ReadContainerHeader(std::span<const uint8_t> data)
{
    TContainerHeader h;
    if (ParseHeader(data, h) != TDebugStatus::Ok)
        return std::nullopt;
    return h;
}

std::string ContainerIdentity(std::span<const uint8_t> data)
{
    const auto h = ReadContainerHeader(data);
    if (!h || h->Version != 3)
        return {};
    return base::HexText(static_cast<uint32_t>(data.size()), 8) + ", " +
           base::HexText(base::ReadLe32(data, SignatureLength + 8), 8) + ", " +
           base::HexText(base::ReadLe32(data, SignatureLength + 12), 8);
}

TDebugRead ImportContainer(std::span<const uint8_t> data, TMapFile& map)
{
    TContainerHeader h;
    if (const TDebugStatus status = ParseHeader(data, h); status != TDebugStatus::Ok)
        return {status};
    // A minimal container has no names: its units and publics are numbered instead.
    const bool minimal = h.Flags & ContainerMinimalFlag;
    std::vector<uint8_t> payload(data.begin() + static_cast<std::ptrdiff_t>(h.PayloadOffset),
                                 data.begin() +
                                     static_cast<std::ptrdiff_t>(h.PayloadOffset + h.PayloadLength));
    base::Rc4(payload, Password(payload.size()));
    // Inflate into a growing buffer; a stream that does not end cleanly is refused.
    std::vector<uint8_t> stream;
    z_stream z{};
    if (inflateInit(&z) != Z_OK)
        return {TDebugStatus::Damaged};
    z.next_in = payload.data();
    z.avail_in = static_cast<uInt>(payload.size());
    int status = Z_OK;
    uint8_t chunk[16384];
    while (status == Z_OK && stream.size() < (256u << 20)) {
        z.next_out = chunk;
        z.avail_out = sizeof chunk;
        status = inflate(&z, Z_NO_FLUSH);
        stream.insert(stream.end(), chunk, chunk + (sizeof chunk - z.avail_out));
        if (status == Z_BUF_ERROR && z.avail_in == 0)
            break;
    }
    inflateEnd(&z);
    if (status != Z_STREAM_END)
        return {TDebugStatus::Damaged};

    const uint32_t base = map.Ranges().BaseOfCode;
    base::TByteReader r(stream);
    TDebugStatus read = Table(r, [&](uint32_t k) {
        const uint32_t start = r.U32(), length = r.U32();
        std::string unit = minimal ? "segment%" + std::to_string(k) : std::string();
        const uint8_t lineNumbers = minimal ? r.U8() : 0;
        if (!minimal)
            unit = r.ShortString();
        if (r.Ok())
            map.AddSegment(true, start, length, unit, false, lineNumbers != 0);
    });
    if (read == TDebugStatus::Ok) {
        // Each public looks up its segment: sorted first, that is a binary search instead of
        // a pass over every segment (tens of thousands in a program's container).
        map.SortSegments(false);
        read = Table(r, [&, address = uint32_t{0}](uint32_t k) mutable {
            const std::string name = minimal ? "public%" + std::to_string(k) : r.ShortString();
            address = k == 0 ? base + r.U32() : address + static_cast<uint32_t>(ReadPacked(r));
            if (r.Ok())
                map.AddPublic(true, name, address, true);
        });
    }
    if (read != TDebugStatus::Ok)
        return {read};
    const uint32_t count = r.U32();
    if (!r.Ok())
        return {TDebugStatus::Truncated};
    if (count > r.Left() + 1)
        return {TDebugStatus::Damaged};
    if (count) {
        int32_t current = static_cast<int32_t>(r.U32());
        uint32_t address = base + r.U32();
        if (r.Ok())
            map.AddLine(current, address);
        for (uint32_t k = 1; k < count && r.Ok(); ++k) {
            const int32_t dl = ReadPacked(r), da = ReadPacked(r);
            current = static_cast<int32_t>(static_cast<uint32_t>(current) + static_cast<uint32_t>(dl));
            address += static_cast<uint32_t>(da);
            if (r.Ok())
                map.AddLine(current, address);
        }
        if (!r.Ok())
            return {TDebugStatus::Truncated};
    }
    if (r.Left() == 4)
        if (const uint32_t entry = r.U32())
            map.SetEntryPoint(base + entry);
    map.Finish();
    map.SetValid(true);
    return {};
}

} // namespace crash
