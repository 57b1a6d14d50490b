// The report's text and the texts of its fields, with the cases users read most: message
// endings, empty section lines, short up times, sizes at the unit borders.

#include "crash/core/report/report_text.h"
#include "crash/core/report/thread_title.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace crash {
namespace {

TEST(ReportText, HeaderAlignedSectionsWithTitlesAndDots)
{
    const TReportItems header = {{u"date/time", u"2024-05-14, 13:45:07, 123ms"},
                                 {u"exception message", u"two\r\nlines  with   runs"}};
    const TReportItems sections = {{u"main thread ($1a4)", u"first  \r\n\r\nthird\rfourth\nfifth"},
                                   {u"cpu registers:", u"eax = 00000000"}};
    EXPECT_EQ(ReportText(header, sections), u"date/time        : 2024-05-14, 13:45:07, 123ms\r\n"
                                            u"exception message: two lines with runs\r\n"
                                            u"\r\n"
                                            u"main thread ($1a4):\r\n"
                                            u"first\r\n"
                                            u".\r\n"
                                            u"third\r\n"
                                            u"fourth\r\n"
                                            u"fifth\r\n"
                                            u"\r\n"
                                            u"cpu registers:\r\n"
                                            u"eax = 00000000");
    EXPECT_EQ(ReportText({}, {}), u"");
}

TEST(ReportText, ExceptionMessages)
{
    EXPECT_EQ(ExceptionMessageText(u"  Access violation!!  "), u"Access violation.");
    EXPECT_EQ(ExceptionMessageText(u"done."), u"done.");
    EXPECT_EQ(ExceptionMessageText(u"what?!."), u"what?.");
    EXPECT_EQ(ExceptionMessageText(u" \r\n"), u"Unknown.");
    EXPECT_EQ(ExceptionMessageText(u"..."), u".");
}

TEST(ReportText, DurationsSizesAndTimes)
{
    EXPECT_EQ(DurationText(3 * 86400 + 5 * 3600 + 59), u"3 days 5 hours ");
    EXPECT_EQ(DurationText(3600 + 12 * 60 + 7), u"1 hour 12 minutes ");
    EXPECT_EQ(DurationText(86400 + 30), u"1 day ");
    EXPECT_EQ(DurationText(45), u"45 seconds ");
    EXPECT_EQ(DurationText(61), u"1 minute 1 second ");
    EXPECT_EQ(DurationText(0), u"");
    EXPECT_EQ(DurationText(-5), u"");
    EXPECT_EQ(UpTimeText(999), u"999 milliseconds");
    EXPECT_EQ(UpTimeText(1500), u"1 second ");

    EXPECT_EQ(SizeText(1023), u"1023 Bytes");
    EXPECT_EQ(SizeText(1536), u"1.50 KB");
    EXPECT_EQ(SizeText(1024 * 1024 - 1), u"1023.99 KB");
    EXPECT_EQ(SizeText(3 * 1024 * 1024 + 75 * 1024, u','), u"3,07 MB");
    EXPECT_EQ(SizeText(uint64_t{2} << 30), u"2.00 GB");

    EXPECT_EQ(DateTimeText({2024, 5, 14, 13, 45, 7, 3}), u"2024-05-14, 13:45:07, 3ms");
    const std::u16string crc = CallstackCrcText(0x1a2b3c4d, 0xff00ff, 0xbadf00d);
    EXPECT_EQ(crc, u"$1a2b3c4d, $00ff00ff, $0badf00d");
    EXPECT_EQ(crc.size(), 31u);
}

TEST(ReportText, RegistersAndStackDump)
{
    EXPECT_EQ(CpuRegistersText({1, 2, 3, 4, 5, 6, 0x401000, 0x12ff00, 0x12ff40}),
              u"eax = 00000001\r\nebx = 00000002\r\necx = 00000003\r\nedx = 00000004\r\nesi = 00000005\r\n"
              u"edi = 00000006\r\neip = 00401000\r\nesp = 0012ff00\r\nebp = 0012ff40");
    std::vector<uint8_t> bytes(20);
    for (size_t k = 0; k < bytes.size(); ++k)
        bytes[k] = static_cast<uint8_t>('A' + k);
    bytes[1] = 0;
    EXPECT_EQ(StackDumpText(0x12ff00, bytes),
              u"0012ff00  41 00 43 44 45 46 47 48 - 49 4a 4b 4c 4d 4e 4f 50  A.CDEFGHIJKLMNOP\r\n"
              u"0012ff10  51 52 53 54" +
                  // the blank after 54, three blanks for each of twelve missing bytes, two for "- ", one more
                  std::u16string(1 + 4 * 3 + 2 + 8 * 3 + 1, u' ') + u"QRST");
    // Never more than 20 lines.
    const std::vector<uint8_t> many(16 * 30, 0x20);
    const std::u16string dump = StackDumpText(0, many);
    EXPECT_EQ(std::count(dump.begin(), dump.end(), u'\n'), 19);
    EXPECT_EQ(StackDumpText(0, {}), u"");
}

TEST(ThreadTitle, NameOrClassThenStateAndPriority)
{
    EXPECT_EQ(ThreadTitle({0x1a4, u"main thread", u"", false, 0}), u"main thread ($1a4):");
    EXPECT_EQ(ThreadTitle({0x2b8, u"", u"TDownloadThread", true, -1}),
              u"thread $2b8 (TDownloadThread): <suspended> <priority:-1>");
    EXPECT_EQ(ThreadTitle({0x10, u"", u"", false, 2}), u"thread $10: <priority:2>");
    EXPECT_TRUE(HiddenThreadName(u"-"));
    EXPECT_TRUE(HiddenThreadName(u"Vexcatch - HandleExceptionThread"));
    EXPECT_FALSE(HiddenThreadName(u"main thread"));
}

} // namespace
} // namespace crash
