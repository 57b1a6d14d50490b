// The report's header for a real report object in this process: its fields in order, the
// exception's class and message by their rules, the placeholder and the add index.

#include "crash/core/report/report_header_win.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

namespace crash {
namespace {

std::vector<std::u16string> Names(const TReportHeader& h)
{
    std::vector<std::u16string> names;
    for (const auto& item : h.Items)
        names.push_back(item.first);
    return names;
}

std::u16string Content(const TReportHeader& h, const std::u16string& name)
{
    for (const auto& [n, c] : h.Items)
        if (n == name)
            return c;
    return u"(missing)";
}

base::ComPtr<ExceptionReport> ReportOf(std::exception_ptr e, TExceptType type = etNormal)
{
    TReportRequest request;
    request.Exception = &e;
    request.Type = type;
    request.Source = esManual;
    return CreateExceptionReport(std::move(request));
}

TEST(ReportHeader, FieldsInOrderWithTheExceptionLast)
{
    const base::ComPtr<ExceptionReport> report =
        ReportOf(std::make_exception_ptr(std::runtime_error(" the disk\r\nis full!! ")));
    const TReportHeader h = BuildReportHeader(*report);
    const std::vector<std::u16string> names = Names(h);
    // Always there on any machine, in this order.
    const std::vector<std::u16string> always = {
        u"date/time",        u"computer name",   u"user name",        u"operating system", u"process id",
        u"executable",       u"exec. date/time", u"compiled with",    u"Vexcatch version", u"callstack crc",
        u"exception number", u"exception class", u"exception message"};
    auto at = names.begin();
    for (const std::u16string& name : always) {
        at = std::find(at, names.end(), name);
        EXPECT_NE(at, names.end()) << std::string(name.begin(), name.end());
    }
    EXPECT_EQ(Content(h, u"exception class"), u"std::runtime_error");
    EXPECT_EQ(Content(h, u"exception message"), u"the disk is full.");
    EXPECT_EQ(Content(h, u"callstack crc"), u"will be calculated soon");
    EXPECT_EQ(Content(h, u"Vexcatch version"), u"4.0.12");
    EXPECT_EQ(Content(h, u"executable"), u"crash_report_win_test.exe");
    EXPECT_EQ(Content(h, u"process id").substr(0, 1), u"$");
    // Fields added later go right before the checksum.
    ASSERT_LT(static_cast<size_t>(h.AddIndex), names.size());
    EXPECT_EQ(names[static_cast<size_t>(h.AddIndex)], u"callstack crc");
}

TEST(ReportHeader, NumbersMessagesEqualToTheClassAndFreezes)
{
    const TReportHeader first =
        BuildReportHeader(*ReportOf(std::make_exception_ptr(std::runtime_error("x"))));
    const TReportHeader second =
        BuildReportHeader(*ReportOf(std::make_exception_ptr(std::runtime_error("x"))));
    EXPECT_EQ(std::stoi(std::string(Content(second, u"exception number").begin(),
                                    Content(second, u"exception number").end())),
              std::stoi(std::string(Content(first, u"exception number").begin(),
                                    Content(first, u"exception number").end())) +
                  1);
    // A message that only repeats the class is left out.
    const TReportHeader same =
        BuildReportHeader(*ReportOf(std::make_exception_ptr(std::runtime_error("std::runtime_error"))));
    EXPECT_EQ(Content(same, u"exception message"), u"(missing)");
    // So is an object's that has no message of its own: its class tells it.
    struct NoMessage
    {
    };
    const TReportHeader plain = BuildReportHeader(*ReportOf(std::make_exception_ptr(NoMessage())));
    EXPECT_NE(Content(plain, u"exception class"), u"(missing)");
    EXPECT_EQ(Content(plain, u"exception message"), u"(missing)");
    // A freeze has no class; its message is the FrozenMsg setting.
    const TReportHeader frozen = BuildReportHeader(*ReportOf(nullptr, etFrozen));
    EXPECT_EQ(Content(frozen, u"exception class"), u"(missing)");
    EXPECT_EQ(Content(frozen, u"exception message"), u"The application seems to be frozen.");
}

} // namespace
} // namespace crash
