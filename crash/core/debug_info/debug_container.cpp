#include "crash/core/debug_info/debug_container.h"

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

void Put32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void Put16(std::vector<uint8_t>& out, uint16_t v)
{
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

// One signed byte, or -128 and the 4-byte value.
void PutPacked(std::vector<uint8_t>& out, int32_t v)
{
    if (v >= -127 && v <= 127) {
        out.push_back(static_cast<uint8_t>(static_cast<int8_t>(v)));
        return;
    }
    out.push_back(0x80);
    Put32(out, static_cast<uint32_t>(v));
}

void PutString(std::vector<uint8_t>& out, const std::string& s)
{
    const size_t n = std::min<size_t>(s.size(), 255);
    out.push_back(static_cast<uint8_t>(n));
    out.insert(out.end(), s.begin(), s.begin() + static_cast<std::ptrdiff_t>(n));
}

class Reader
{
public:
    explicit Reader(std::span<const uint8_t> data) : FData(data) {}
    bool U32(uint32_t& v)
    {
        if (FData.size() - FPos < 4)
            return false;
        v = base::ReadLe32(FData, FPos);
        FPos += 4;
        return true;
    }
    bool U8(uint8_t& v)
    {
        if (FPos >= FData.size())
            return false;
        v = FData[FPos++];
        return true;
    }
    bool Packed(int32_t& v)
    {
        uint8_t b;
        if (!U8(b))
            return false;
        if (b != 0x80) {
            v = static_cast<int8_t>(b);
            return true;
        }
        uint32_t w;
        if (!U32(w))
            return false;
        v = static_cast<int32_t>(w);
        return true;
    }
    bool String(std::string& s)
    {
        uint8_t n;
        if (!U8(n) || FData.size() - FPos < n)
            return false;
        s.assign(reinterpret_cast<const char*>(FData.data() + FPos), n);
        FPos += n;
        return true;
    }
    size_t Left() const { return FData.size() - FPos; }

private:
    std::span<const uint8_t> FData;
    size_t FPos = 0;
};

// The cipher's key: a fixed word and the payload's length, in hexadecimal and decimal.
std::string Password(size_t payloadLength)
{
    char text[32];
    std::snprintf(text, sizeof text, "VxDbg!%07zx%08zu", payloadLength & 0xFFFFFFF,
                  payloadLength % 100000000);
    return text;
}

// Reads a counted table; each entry is added by `entry`. False when the stream ends early.
template <class F> bool Table(Reader& r, F entry)
{
    uint32_t count;
    if (!r.U32(count) || count > r.Left())
        return false;
    for (uint32_t k = 0; k < count; ++k)
        if (!entry(k))
            return false;
    return true;
}

// Whether a line of the map lies in the segment.
bool HasLines(const TMapFile& map, const TMfSegment& s)
{
    const auto& lines = map.Lines();
    auto it = std::lower_bound(lines.begin(), lines.end(), s.StartAddress,
                               [](const TMfLine& l, uint32_t a) { return l.Address < a; });
    return it != lines.end() && it->Address - s.StartAddress < s.Length;
}

} // namespace

std::vector<uint8_t> ExportContainer(const TMapFile& map, const TExportOptions& options)
{
    const uint32_t base = map.Ranges().BaseOfCode;
    std::vector<uint8_t> stream;
    std::vector<const TMfSegment*> segments;
    for (const TMfSegment& s : map.Segments())
        if (s.Code)
            segments.push_back(&s);
    Put32(stream, static_cast<uint32_t>(segments.size()));
    for (const TMfSegment* s : segments) {
        Put32(stream, s->StartAddress - base);
        Put32(stream, s->Length);
        if (options.MinimalOnly)
            stream.push_back(s->LineNumbers || HasLines(map, *s));
        else
            PutString(stream, s->Unit_);
    }
    std::vector<const TMfPublic*> publics;
    for (const TMfPublic& p : map.Publics())
        if (p.Code)
            publics.push_back(&p);
    Put32(stream, static_cast<uint32_t>(publics.size()));
    for (size_t k = 0; k < publics.size(); ++k) {
        if (!options.MinimalOnly)
            PutString(stream, publics[k]->Name);
        if (k == 0)
            Put32(stream, publics[k]->Address - base);
        else
            PutPacked(stream, static_cast<int32_t>(publics[k]->Address - publics[k - 1]->Address));
    }
    const auto& lines = map.Lines();
    Put32(stream, options.MinimalOnly ? 0 : static_cast<uint32_t>(lines.size()));
    if (!options.MinimalOnly && !lines.empty()) {
        Put32(stream, static_cast<uint32_t>(lines[0].Line));
        Put32(stream, lines[0].Address - base);
        for (size_t k = 1; k < lines.size(); ++k) {
            PutPacked(stream, lines[k].Line - lines[k - 1].Line);
            PutPacked(stream, static_cast<int32_t>(lines[k].Address - lines[k - 1].Address));
        }
    }
    Put32(stream, map.EntryPoint() ? map.EntryPoint() - base : 0);

    uLongf packedSize = compressBound(static_cast<uLong>(stream.size()));
    std::vector<uint8_t> payload(packedSize);
    if (compress2(payload.data(), &packedSize, stream.data(), static_cast<uLong>(stream.size()), 9) != Z_OK)
        return {};
    payload.resize(packedSize);
    // The identity word is taken before the payload is enciphered.
    uint32_t third = 0;
    if (payload.size() >= 12)
        std::memcpy(&third, payload.data() + 8, 4);
    base::Rc4(payload, Password(payload.size()));

    std::vector<uint8_t> out(ContainerSignature, ContainerSignature + SignatureLength);
    Put32(out, static_cast<uint32_t>(payload.size()));
    Put32(out, options.NewFormat ? 3 : 2);
    if (options.NewFormat) {
        Put16(out, options.DosDate);
        Put16(out, options.DosTime);
        Put32(out, third);
        Put32(out, options.MinimalOnly ? ContainerMinimalFlag : 0);
    }
    out.insert(out.end(), payload.begin(), payload.end());
    while (out.size() % 4)
        out.push_back(0);
    return out;
}

std::optional<TContainerHeader> ReadContainerHeader(std::span<const uint8_t> data)
{
    if (data.size() < SignatureLength + 8 ||
        std::memcmp(data.data(), ContainerSignature, SignatureLength) != 0)
        return std::nullopt;
    Reader r(data.subspan(SignatureLength));
    TContainerHeader h;
    r.U32(h.PayloadLength);
    r.U32(h.Version);
    if (h.Version == 2) {
        h.PayloadOffset = SignatureLength + 8;
    } else if (h.Version == 3) {
        uint32_t dateTime;
        if (!r.U32(dateTime) || !r.U32(h.ThirdWord) || !r.U32(h.Flags))
            return std::nullopt;
        h.DosDate = static_cast<uint16_t>(dateTime);
        h.DosTime = static_cast<uint16_t>(dateTime >> 16);
        h.PayloadOffset = SignatureLength + 20;
    } else {
        return std::nullopt;
    }
    if (data.size() - h.PayloadOffset < h.PayloadLength)
        return std::nullopt;
    return h;
}

std::string ContainerIdentity(std::span<const uint8_t> data)
{
    const auto h = ReadContainerHeader(data);
    if (!h || h->Version != 3)
        return {};
    uint32_t words[2];
    std::memcpy(words, data.data() + SignatureLength + 8, 8);
    return base::HexText(static_cast<uint32_t>(data.size()), 8) + ", " + base::HexText(words[0], 8) + ", " +
           base::HexText(words[1], 8);
}

bool ImportContainer(std::span<const uint8_t> data, TMapFile& map)
{
    const auto h = ReadContainerHeader(data);
    if (!h)
        return false;
    // A minimal container has no names: its units and publics are numbered instead.
    const bool minimal = h->Flags & ContainerMinimalFlag;
    std::vector<uint8_t> payload(data.begin() + static_cast<std::ptrdiff_t>(h->PayloadOffset),
                                 data.begin() +
                                     static_cast<std::ptrdiff_t>(h->PayloadOffset + h->PayloadLength));
    base::Rc4(payload, Password(payload.size()));
    // Inflate into a growing buffer; a stream that does not end cleanly is refused.
    std::vector<uint8_t> stream;
    z_stream z{};
    if (inflateInit(&z) != Z_OK)
        return false;
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
        return false;

    const uint32_t base = map.Ranges().BaseOfCode;
    Reader r(stream);
    const bool ok =
        Table(r,
              [&](uint32_t k) {
                  uint32_t start, length;
                  std::string unit;
                  uint8_t lineNumbers = 0;
                  if (!r.U32(start) || !r.U32(length) || !(minimal ? r.U8(lineNumbers) : r.String(unit)))
                      return false;
                  if (minimal)
                      unit = "segment%" + std::to_string(k);
                  map.AddSegment(true, start, length, unit, false, lineNumbers != 0);
                  return true;
              }) &&
        Table(r, [&, address = uint32_t{0}](uint32_t k) mutable {
            std::string name;
            if (minimal)
                name = "public%" + std::to_string(k);
            else if (!r.String(name))
                return false;
            if (k == 0) {
                uint32_t first;
                if (!r.U32(first))
                    return false;
                address = base + first;
            } else {
                int32_t delta;
                if (!r.Packed(delta))
                    return false;
                address += static_cast<uint32_t>(delta);
            }
            map.AddPublic(true, name, address, true);
            return true;
        });
    if (!ok)
        return false;
    uint32_t count;
    if (!r.U32(count) || count > r.Left() + 1)
        return false;
    if (count) {
        uint32_t line, offset;
        if (!r.U32(line) || !r.U32(offset))
            return false;
        int32_t current = static_cast<int32_t>(line);
        uint32_t address = base + offset;
        map.AddLine(current, address);
        for (uint32_t k = 1; k < count; ++k) {
            int32_t dl, da;
            if (!r.Packed(dl) || !r.Packed(da))
                return false;
            current = static_cast<int32_t>(static_cast<uint32_t>(current) + static_cast<uint32_t>(dl));
            address += static_cast<uint32_t>(da);
            map.AddLine(current, address);
        }
    }
    uint32_t entry;
    if (r.Left() == 4 && r.U32(entry) && entry)
        map.SetEntryPoint(base + entry);
    map.Finish();
    map.SetValid(true);
    return true;
}

} // namespace crash
