#pragma once
// The zip archives that attachments travel in: one deflated entry per file (raw deflate,
// names in UTF-8 with the flag that says so, DOS times, the file's attributes), then the
// central directory and its end record. The writer streams to a sink, so an archive is never
// held whole in memory. Platform-free; the Windows side reads the files and writes the
// archive file (zip_archive_win.h).

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace crash {

// A DOS date and time (local time, two-second steps), as zip stores them.
struct TDosTime
{
    uint16_t Time = 0, Date = (1 << 5) | 1; // 1980-01-01 00:00:00
};
TDosTime DosTimeOf(int year, int month, int day, int hour, int minute, int second);

class TZipWriter
{
public:
    // Takes the archive's bytes in order; false stops the writing.
    using TSink = std::function<bool(std::span<const uint8_t>)>;
    explicit TZipWriter(TSink sink) : FSink(std::move(sink)) {}

    // One entry; false when it cannot be added (the sink failed, the data cannot be
    // compressed, or the archive would pass the format's 4 GB and 65,535-entry limits).
    bool Add(std::string_view utf8Name, std::span<const uint8_t> data, TDosTime time, uint32_t attributes);
    // The central directory and the end record; false when the sink failed.
    bool Finish();

private:
    struct TCentral
    {
        std::string Name;
        uint32_t Crc = 0, Compressed = 0, Size = 0, Attributes = 0, Offset = 0;
        TDosTime Time;
    };
    bool Write(std::span<const uint8_t> bytes);

    TSink FSink;
    std::vector<TCentral> FEntries;
    uint64_t FOffset = 0;
    bool FFailed = false;
};

// "text/plain", "image/jpeg", "image/png", "application/zip" or "application/octet-stream",
// by the file's extension (case ignored).
std::u16string MimeTypeOf(std::u16string_view fileName);

} // namespace crash
