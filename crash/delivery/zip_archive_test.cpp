// Zip archives as the attachments travel in them: the records read back field by field, the
// data inflated again, and the archive opened by three independent readers (Python's zipfile,
// Info-ZIP's unzip, libarchive's bsdtar), names outside ASCII included.

#include "crash/delivery/zip_archive.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>

namespace crash {
namespace {

struct TEntry
{
    std::string Name;
    std::vector<uint8_t> Data;
};

uint32_t U16(const std::vector<uint8_t>& b, size_t at)
{
    return b[at] | (b[at + 1] << 8);
}

uint32_t U32(const std::vector<uint8_t>& b, size_t at)
{
    return U16(b, at) | (U16(b, at + 2) << 16);
}

std::vector<TEntry> Entries()
{
    std::vector<TEntry> entries(3);
    entries[0].Name = "bugreport.txt";
    for (int i = 0; i < 2000; ++i)
        for (char c : std::string("date/time         : 2026-12-10, 05:17:41\r\n"))
            entries[0].Data.push_back(static_cast<uint8_t>(c));
    entries[1].Name = "Bildschirmfoto \xc3\x84\xc3\x96\xc3\x9c \xe2\x82\xac.png"; // "ÄÖÜ €"
    std::mt19937 random(7);
    for (int i = 0; i < 5000; ++i)
        entries[1].Data.push_back(static_cast<uint8_t>(random())); // does not compress
    entries[2].Name = "empty.txt";
    return entries;
}

std::vector<uint8_t> Archive(const std::vector<TEntry>& entries)
{
    std::vector<uint8_t> out;
    TZipWriter zip([&](std::span<const uint8_t> bytes) {
        out.insert(out.end(), bytes.begin(), bytes.end());
        return true;
    });
    const TDosTime time = DosTimeOf(2026, 12, 10, 13, 45, 31);
    for (size_t i = 0; i < entries.size(); ++i)
        EXPECT_TRUE(zip.Add(entries[i].Name, entries[i].Data, time, 0x20 + static_cast<uint32_t>(i)));
    EXPECT_TRUE(zip.Finish());
    return out;
}

std::vector<uint8_t> Inflate(const uint8_t* data, size_t size, size_t expected)
{
    std::vector<uint8_t> out(expected + 1);
    z_stream z{};
    inflateInit2(&z, -15);
    z.next_in = const_cast<Bytef*>(data);
    z.avail_in = static_cast<uInt>(size);
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    const int result = inflate(&z, Z_FINISH);
    out.resize(z.total_out);
    inflateEnd(&z);
    EXPECT_EQ(result, Z_STREAM_END);
    return out;
}

TEST(ZipArchive, RecordsReadBackAsTheFormatDefinesThem)
{
    const std::vector<TEntry> entries = Entries();
    const std::vector<uint8_t> zip = Archive(entries);
    // The end record, then the central directory it points at.
    const size_t end = zip.size() - 22;
    ASSERT_EQ(U32(zip, end), 0x06054B50u);
    EXPECT_EQ(U16(zip, end + 8), 3u);
    EXPECT_EQ(U16(zip, end + 10), 3u);
    size_t central = U32(zip, end + 16);
    size_t directorySize = 0;
    for (size_t i = 0; i < entries.size(); ++i) {
        SCOPED_TRACE(i);
        const TEntry& e = entries[i];
        ASSERT_EQ(U32(zip, central), 0x02014B50u);
        EXPECT_EQ(U16(zip, central + 4), (10u << 8) | 20u); // version 2.0 on Windows NTFS
        EXPECT_EQ(U16(zip, central + 8), 0x0800u);
        const uint32_t crc = static_cast<uint32_t>(crc32(0, e.Data.data(), static_cast<uInt>(e.Data.size())));
        EXPECT_EQ(U32(zip, central + 16), crc);
        EXPECT_EQ(U32(zip, central + 24), e.Data.size());
        EXPECT_EQ(U32(zip, central + 38), 0x20u + i); // the file's attributes
        const size_t local = U32(zip, central + 42);
        const size_t nameLength = U16(zip, central + 28);
        EXPECT_EQ(std::string(zip.begin() + static_cast<std::ptrdiff_t>(central + 46),
                              zip.begin() + static_cast<std::ptrdiff_t>(central + 46 + nameLength)),
                  e.Name);
        // The local header repeats the values; the data inflates to the file.
        ASSERT_EQ(U32(zip, local), 0x04034B50u);
        EXPECT_EQ(U16(zip, local + 4), 20u);
        EXPECT_EQ(U16(zip, local + 6), 0x0800u);
        EXPECT_EQ(U16(zip, local + 8), 8u);
        EXPECT_EQ(U16(zip, local + 10), (13u << 11) | (45u << 5) | 15u);
        EXPECT_EQ(U16(zip, local + 12), (46u << 9) | (12u << 5) | 10u);
        EXPECT_EQ(U32(zip, local + 14), crc);
        const size_t packed = U32(zip, local + 18);
        EXPECT_EQ(packed, U32(zip, central + 20));
        EXPECT_EQ(U16(zip, local + 28), 0u);
        EXPECT_EQ(Inflate(zip.data() + local + 30 + nameLength, packed, e.Data.size()), e.Data);
        directorySize += 46 + nameLength;
        central += 46 + nameLength;
    }
    EXPECT_EQ(U32(zip, end + 12), directorySize);
    EXPECT_LT(U32(zip, 18), entries[0].Data.size() / 10); // the report compresses
}

std::string Output(const std::string& command)
{
    std::string output;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (!pipe)
        return "cannot run";
    char buffer[4096];
    while (size_t n = std::fread(buffer, 1, sizeof buffer, pipe))
        output.append(buffer, n);
    const int status = ::pclose(pipe);
    return status == 0 ? output : "failed: " + output;
}

TEST(ZipArchive, ThreeIndependentReadersAcceptTheArchive)
{
    const std::vector<TEntry> entries = Entries();
    const std::vector<uint8_t> zip = Archive(entries);
    const std::string folder = ::testing::TempDir() + "zip_archive_test";
    std::system(("rm -rf '" + folder + "' && mkdir -p '" + folder + "/files'").c_str());
    const std::string archive = folder + "/attachments.zip";
    std::ofstream(archive, std::ios::binary)
        .write(reinterpret_cast<const char*>(zip.data()), static_cast<std::streamsize>(zip.size()));
    for (const TEntry& e : entries)
        std::ofstream(folder + "/files/" + e.Name, std::ios::binary)
            .write(reinterpret_cast<const char*>(e.Data.data()), static_cast<std::streamsize>(e.Data.size()));

    const std::string python = Output(
        "python3 -c \"import sys, zipfile, os\n"
        "z = zipfile.ZipFile(sys.argv[1])\n"
        "assert z.testzip() is None\n"
        "for i in z.infolist():\n"
        "    assert z.read(i) == open(os.path.join(sys.argv[2], i.filename), 'rb').read(), i.filename\n"
        "print(*sorted(z.namelist()), sep='|')\" '" +
        archive + "' '" + folder + "/files'");
    EXPECT_EQ(python, "Bildschirmfoto \xc3\x84\xc3\x96\xc3\x9c \xe2\x82\xac.png|bugreport.txt|empty.txt\n");
    const std::string unzip = Output("LC_ALL=C.UTF-8 unzip -t '" + archive + "'");
    EXPECT_NE(unzip.find("No errors detected"), std::string::npos) << unzip;
    EXPECT_NE(unzip.find("Bildschirmfoto \xc3\x84\xc3\x96\xc3\x9c \xe2\x82\xac.png"), std::string::npos)
        << unzip;
    const std::string bsdtar = Output("LC_ALL=C.UTF-8 bsdtar -tvf '" + archive + "'");
    EXPECT_EQ(bsdtar.find("failed"), std::string::npos) << bsdtar;
    EXPECT_NE(bsdtar.find("Bildschirmfoto \xc3\x84\xc3\x96\xc3\x9c \xe2\x82\xac.png"), std::string::npos)
        << bsdtar;
    EXPECT_NE(bsdtar.find("Dec 10 13:45"), std::string::npos) << bsdtar; // the DOS time
    std::system(("rm -rf '" + folder + "'").c_str());
}

TEST(ZipArchive, AFailingSinkStopsTheArchive)
{
    int writes = 0;
    TZipWriter zip([&](std::span<const uint8_t>) { return ++writes < 2; });
    const std::vector<uint8_t> data(100, 'x');
    EXPECT_FALSE(zip.Add("a.txt", data, {}, 0)); // the header went, the data did not
    EXPECT_FALSE(zip.Add("b.txt", data, {}, 0));
    EXPECT_FALSE(zip.Finish());
    EXPECT_EQ(writes, 2);
}

TEST(ZipArchive, DosTimesAndMimeTypes)
{
    EXPECT_EQ(DosTimeOf(1980, 1, 1, 0, 0, 1).Time, 0u);
    EXPECT_EQ(DosTimeOf(2107, 12, 31, 23, 59, 58).Date, (127u << 9) | (12u << 5) | 31u);
    EXPECT_EQ(DosTimeOf(1970, 1, 1, 0, 0, 0).Date, (1u << 5) | 1u); // before the format's epoch
    EXPECT_EQ(MimeTypeOf(u"bugreport.TXT"), u"text/plain");
    EXPECT_EQ(MimeTypeOf(u"report.vxt"), u"text/plain");
    EXPECT_EQ(MimeTypeOf(u"settings.ini"), u"text/plain");
    EXPECT_EQ(MimeTypeOf(u"shot.JPEG"), u"image/jpeg");
    EXPECT_EQ(MimeTypeOf(u"shot.png"), u"image/png");
    EXPECT_EQ(MimeTypeOf(u"all.zip"), u"application/zip");
    EXPECT_EQ(MimeTypeOf(u"C:\\logs.txt\\trace"), u"application/octet-stream");
    EXPECT_EQ(MimeTypeOf(u"core"), u"application/octet-stream");
}

} // namespace
} // namespace crash
