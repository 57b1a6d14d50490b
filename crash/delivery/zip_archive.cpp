#include "crash/delivery/zip_archive.h"

#include "base/ascii_case.h"
#include "base/byte_writer.h"
#include "base/crc32.h"

#include <zlib.h>

#include <limits>

namespace crash {
namespace {

constexpr uint32_t LocalSignature = 0x04034B50, CentralSignature = 0x02014B50, EndSignature = 0x06054B50;
constexpr uint16_t Version = 20, Utf8Names = 0x0800, Deflated = 8;
// Version 2.0, made on "Windows NTFS" (10): the attributes are the system's, as on FAT (0),
// but unzip takes names flagged as UTF-8 for UTF-8 only from a host other than FAT.
constexpr uint16_t MadeBy = (10 << 8) | Version;
constexpr uint64_t MostBytes = std::numeric_limits<uint32_t>::max();
constexpr size_t MostEntries = 0xFFFF;

// Raw deflate (RFC 1951) of the whole data in one call; false when zlib fails.
bool Deflate(std::span<const uint8_t> data, std::vector<uint8_t>& out)
{
    z_stream z{};
    if (deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return false;
    out.resize(deflateBound(&z, static_cast<uLong>(data.size())));
    z.next_in = const_cast<Bytef*>(data.data());
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    const int result = deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return result == Z_STREAM_END;
}

} // namespace

TDosTime DosTimeOf(int year, int month, int day, int hour, int minute, int second)
{
    if (year < 1980 || year > 2107 || month < 1 || month > 12 || day < 1 || day > 31)
        return {};
    return {static_cast<uint16_t>((hour << 11) | (minute << 5) | (second / 2)),
            static_cast<uint16_t>(((year - 1980) << 9) | (month << 5) | day)};
}

bool TZipWriter::Write(std::span<const uint8_t> bytes)
{
    if (FFailed || !FSink(bytes)) {
        FFailed = true;
        return false;
    }
    FOffset += bytes.size();
    return true;
}

bool TZipWriter::Add(std::string_view utf8Name, std::span<const uint8_t> data, TDosTime time,
                     uint32_t attributes)
{
    std::vector<uint8_t> packed;
    if (FFailed || FEntries.size() >= MostEntries || utf8Name.size() > 0xFFFF || data.size() > MostBytes ||
        FOffset > MostBytes || data.size() > std::numeric_limits<uInt>::max() || !Deflate(data, packed) ||
        FOffset + 30 + utf8Name.size() + packed.size() > MostBytes)
        return false;
    TCentral entry;
    entry.Name = utf8Name;
    entry.Crc = base::Crc32(data.data(), data.size());
    entry.Compressed = static_cast<uint32_t>(packed.size());
    entry.Size = static_cast<uint32_t>(data.size());
    entry.Attributes = attributes;
    entry.Offset = static_cast<uint32_t>(FOffset);
    entry.Time = time;

    base::TByteWriter header;
    header.U32(LocalSignature);
    header.U16(Version);
    header.U16(Utf8Names);
    header.U16(Deflated);
    header.U16(time.Time);
    header.U16(time.Date);
    header.U32(entry.Crc);
    header.U32(entry.Compressed);
    header.U32(entry.Size);
    header.U16(static_cast<uint16_t>(utf8Name.size()));
    header.U16(0);
    header.Chars(utf8Name);
    if (!Write(header.Data()) || !Write(packed))
        return false;
    FEntries.push_back(std::move(entry));
    return true;
}

bool TZipWriter::Finish()
{
    if (FFailed)
        return false;
    const uint64_t start = FOffset;
    base::TByteWriter directory;
    for (const TCentral& e : FEntries) {
        directory.U32(CentralSignature);
        directory.U16(MadeBy);
        directory.U16(Version); // needed
        directory.U16(Utf8Names);
        directory.U16(Deflated);
        directory.U16(e.Time.Time);
        directory.U16(e.Time.Date);
        directory.U32(e.Crc);
        directory.U32(e.Compressed);
        directory.U32(e.Size);
        directory.U16(static_cast<uint16_t>(e.Name.size()));
        directory.U16(0); // extra
        directory.U16(0); // comment
        directory.U16(0); // disk
        directory.U16(0); // internal attributes
        directory.U32(e.Attributes);
        directory.U32(e.Offset);
        directory.Chars(e.Name);
    }
    const uint64_t size = directory.Data().size();
    if (start > MostBytes || start + size > MostBytes)
        return false;
    directory.U32(EndSignature);
    directory.U16(0);
    directory.U16(0);
    directory.U16(static_cast<uint16_t>(FEntries.size()));
    directory.U16(static_cast<uint16_t>(FEntries.size()));
    directory.U32(static_cast<uint32_t>(size));
    directory.U32(static_cast<uint32_t>(start));
    directory.U16(0);
    return Write(directory.Data());
}

std::u16string MimeTypeOf(std::u16string_view fileName)
{
    const size_t dot = fileName.find_last_of(u'.');
    const size_t slash = fileName.find_last_of(u"\\/");
    const std::u16string_view ext =
        dot == std::u16string_view::npos || (slash != std::u16string_view::npos && slash > dot)
            ? std::u16string_view()
            : fileName.substr(dot);
    auto is = [&](std::u16string_view e) { return base::AsciiEqualIgnoringCase(ext, e); };
    if (is(u".txt") || is(u".vxt") || is(u".ini"))
        return u"text/plain";
    if (is(u".jpg") || is(u".jpeg"))
        return u"image/jpeg";
    if (is(u".png"))
        return u"image/png";
    if (is(u".zip"))
        return u"application/zip";
    return u"application/octet-stream";
}

} // namespace crash
