// The report file's contents as reports are added: duplicates merged into a counted report,
// other programs' reports kept apart, the oldest reports cut at a report's start.

#include "crash/core/report/report_lookup.h"
#include "crash/ui/print_layout.h"
#include "crash/ui/report_file.h"
#include "crash/ui/report_html.h"
#include "crash/ui/report_path.h"

#include <gtest/gtest.h>

#include <string>

namespace crash {
namespace {

std::string Report(const std::string& time, const std::string& crc, const std::string& exe = "lumigate.exe",
                   const std::string& more = "")
{
    return "date/time        : " + time + "\r\nexecutable       : " + exe + "\r\nversion          : 1.0\r\n" +
           "callstack crc    : " + crc + "\r\nexception class  : EAccessViolation" + more +
           "\r\n\r\nmain thread ($1):\r\n00401000 lumigate.exe";
}

const std::string A = "$11111111, $22222222, $33333333", B = "$11111111, $44444444, $55555555";

TEST(ReportFile, DuplicatesAreMergedIntoACountedReport)
{
    std::string file = AppendReport("", Report("1", A), {});
    EXPECT_EQ(file, Report("1", A) + "\r\n\r\n");
    file = AppendReport(file, Report("2", B), {true, 2}); // another place: kept
    file = AppendReport(file, Report("3", A), {true, 2});
    std::string counted = Report("3", A);
    InsertHeaderLine(counted, std::string_view("count"), std::string_view("callstack crc"),
                     std::string_view("2"));
    EXPECT_EQ(file, Report("2", B) + "\r\n\r\n" + counted + "\r\n\r\n");
    EXPECT_NE(counted.find("\r\ncallstack crc    : " + A + "\r\ncount            : 2\r\n"),
              std::string::npos);
    // The third occurrence counts on from the counted one.
    file = AppendReport(file, Report("4", A), {true, 2});
    EXPECT_EQ(ExtractHeaderField(std::string_view(file), std::string_view("count")), "3");
    EXPECT_EQ(file.find("date/time        : 3"), std::string::npos);
    // With only the first checksum compared, B is a duplicate of A.
    file = AppendReport(file, Report("5", B), {true, 0});
    EXPECT_EQ(file.find("date/time        : 4"), std::string::npos);
    EXPECT_EQ(ExtractHeaderField(std::string_view(file), std::string_view("count")), "4");
    // A stored count of 0 counts on too.
    std::string zero = Report("6", A);
    InsertHeaderLine(zero, std::string_view("count"), std::string_view("callstack crc"),
                     std::string_view("0"));
    file = AppendReport(zero + "\r\n\r\n", Report("7", A), {true, 2});
    EXPECT_EQ(file.find("date/time        : 6"), std::string::npos) << file;
    EXPECT_EQ(ExtractHeaderField(std::string_view(file), std::string_view("count")), "1");
}

TEST(ReportFile, AnotherProgramsReportIsNoDuplicate)
{
    std::string file = AppendReport("", Report("1", A, "other.exe"), {});
    file = AppendReport(file, Report("2", A), {true, 2});
    EXPECT_NE(file.find("other.exe"), std::string::npos);
    EXPECT_EQ(file.find("count"), std::string::npos);
    // Without a key (a value that is no checksum) nothing is merged either.
    EXPECT_EQ(DuplicateKey("will be calculated soon", 2), "");
    EXPECT_EQ(DuplicateKey(A, 1), "$11111111, $22222222");
}

TEST(ReportFile, AFileOverItsLimitLosesItsOldestReports)
{
    std::string file;
    for (int k = 0; k < 10; ++k)
        file = AppendReport(file, Report(std::to_string(k), A), {});
    const size_t one = Report("0", A).size() + 4;
    ASSERT_EQ(file.size(), 10 * one);
    const uint64_t limit = 4 * one;
    file = AppendReport(file, Report("new", A), {false, 2, limit});
    // What is kept before the new report starts at a report and is under three quarters.
    EXPECT_EQ(file.rfind("date/time", 0), 0u);
    const size_t newAt = file.find("date/time        : new");
    EXPECT_LT(newAt, limit - limit / 4);
    EXPECT_EQ(newAt % one, 0u);
    // A file under its limit is left whole.
    EXPECT_EQ(AppendReport("x", Report("1", A), {false, 2, 100000}).rfind("x", 0), 0u);
}

TEST(ReportLookup, FieldsSectionsAndInsertedLines)
{
    const std::u16string report =
        u"date/time : now\r\nversion  : 1.0 \r\nversions : many\r\n\r\nmodules:\r\na\r\nb\r\n\r\nend:\r\nx";
    EXPECT_EQ(ExtractHeaderField(std::u16string_view(report), std::u16string_view(u"version")), u"1.0");
    EXPECT_EQ(ExtractHeaderField(std::u16string_view(report), std::u16string_view(u"date/time")),
              u""); // first line
    EXPECT_EQ(ExtractHeaderField(std::u16string_view(report), std::u16string_view(u"vers")), u"");
    EXPECT_EQ(ExtractSection(std::u16string_view(report), std::u16string_view(u"modules")), u"\r\na\r\nb");
    EXPECT_EQ(ExtractSection(std::u16string_view(report), std::u16string_view(u"end")), u"\r\nx");
    std::u16string copy = report;
    InsertHeaderLine(copy, std::u16string_view(u"x"), std::u16string_view(u"nothing"),
                     std::u16string_view(u"1"));
    EXPECT_EQ(copy, report);
}

TEST(ReportPath, BesideTheProgramOnItsDriveAndWithoutDots)
{
    const std::u16string folder = u"C:\\Program Files\\Lumigate\\", root = u"C:\\";
    EXPECT_EQ(AbsolutePath(u"bugreport.txt", folder, root), u"C:\\Program Files\\Lumigate\\bugreport.txt");
    EXPECT_EQ(AbsolutePath(u"logs\\..\\r.txt", folder, root), u"C:\\Program Files\\Lumigate\\r.txt");
    EXPECT_EQ(AbsolutePath(u"\\reports\\r.txt", folder, root), u"C:\\reports\\r.txt");
    EXPECT_EQ(AbsolutePath(u"\\reports\\r.txt", folder, u"\\\\server\\share\\"),
              u"\\\\server\\share\\reports\\r.txt");
    EXPECT_EQ(AbsolutePath(u"D:\\a\\.\\.\\b\\c\\..\\..\\r.txt", folder, root), u"D:\\a\\r.txt");
    EXPECT_EQ(AbsolutePath(u"D:\\..\\r.txt", folder, root), u"D:\\..\\r.txt"); // not above the drive
    EXPECT_EQ(AbsolutePath(u"\\\\srv\\share\\x\\..\\r.txt", folder, root), u"\\\\srv\\share\\r.txt");
    EXPECT_EQ(AbsolutePath(u"", folder, root), folder);
}

// The page for a web client: the message with its line breaks, the report escaped in a hidden
// text area behind a show button (or shown at once), the back button's caption.
TEST(ReportHtml, MessageButtonsAndTheEscapedReport)
{
    THtmlPageTexts t;
    t.Title = u"Lumigate & co";
    t.ExceptMsg = u"An error occurred%lf%in %exceptClass%.";
    t.Expand = [](const std::u16string& s) {
        std::u16string out = s;
        if (const size_t at = out.find(u"%exceptClass%"); at != std::u16string::npos)
            out.replace(at, 13, u"<script>");
        return out;
    };
    t.ContinueCaption = u"continue";
    t.ShowCaption = u"show bug report";
    const std::u16string page = ReportHtmlPage(u"exception message : </textarea><b>x", t);
    EXPECT_NE(page.find(u"<title>Lumigate &amp; co</title>"), std::u16string::npos);
    EXPECT_NE(page.find(u"An error occurred<br>\r\nin &lt;script&gt;.</p>"), std::u16string::npos);
    EXPECT_NE(
        page.find(u"visibility:hidden;\">\r\nexception message : &lt;/textarea&gt;&lt;b&gt;x</textarea>"),
        std::u16string::npos);
    EXPECT_NE(page.find(u"&nbsp;show bug report&nbsp;</button>"), std::u16string::npos);
    EXPECT_NE(page.find(u"history.back();\" style=\"height:19.5pt;\">&nbsp;continue&nbsp;"),
              std::u16string::npos);
    t.AutoShow = true;
    t.ContinueVisible = false;
    const std::u16string shown = ReportHtmlPage(u"r", t);
    EXPECT_EQ(shown.find(u"visibility:hidden"), std::u16string::npos);
    EXPECT_EQ(shown.find(u"show bug report"), std::u16string::npos);
    EXPECT_NE(shown.find(u"&nbsp;continue application&nbsp;"), std::u16string::npos);
    EXPECT_TRUE(shown.ends_with(u"\r\nr</textarea></td></tr></table></body></html>"));
}

// A4 at 600 dots per inch: 1 cm is 236 dots, less the unprintable 100.
TEST(PrintLayout, MarginsAndPages)
{
    const TPrintMargins m = PrintMargins({4960, 7016, 210, 297, 100, 100});
    EXPECT_EQ(m.Top, 236 - 100);
    EXPECT_EQ(m.Bottom, 7016 - 2 * 136);
    EXPECT_EQ(m.Left, 472 - 100);
    EXPECT_EQ(m.Right, 236 - 100);
    EXPECT_EQ(m.Width, 4960 - 372 - 136);
    EXPECT_EQ(PrintMargins({}).Width, 0); // a device that tells nothing

    // Lines of 100 dots, one of 250 (wrapped); the bottom limit after five lines.
    const TPrintMargins small{0, 500, 10, 10, 80};
    const auto height = [](const std::u16string& line) { return line == u"long" ? 250 : 100; };
    const std::vector<TPrintedLine> lines = LayOutPrint(u"a\r\n\r\nb\r\nlong\r\nc\r\nd", small, height);
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[1].Text, u" "); // an empty line keeps its height
    EXPECT_EQ(lines[2].Page, 0);
    EXPECT_EQ(lines[2].Y, 200);
    EXPECT_EQ(lines[3].Page, 1); // at 300 it would reach 550, past the limit
    EXPECT_EQ(lines[3].Y, 0);
    EXPECT_EQ(lines[4].Y, 250);
    EXPECT_EQ(lines[5].Y, 350);
    EXPECT_EQ(lines[5].X, 10);
    // A line taller than a page is printed on a page of its own, not pushed on forever.
    const std::vector<TPrintedLine> tall = LayOutPrint(u"long", {0, 100, 0, 0, 10}, height);
    ASSERT_EQ(tall.size(), 1u);
    EXPECT_EQ(tall[0].Page, 0);
}

} // namespace
} // namespace crash
