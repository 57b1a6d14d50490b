#include "crash/core/intercept/os_exception_message.h"

#include "crash/core/intercept/handoff_record.h"

#include <gtest/gtest.h>

#include <cstddef>

namespace crash {
namespace {

TEST(OsExceptionMessage, TheRuntimesGermanTableByCode)
{
    const std::pair<uint32_t, const char16_t*> table[] = {
        {0xC000008C, u"Fehler bei Bereichsprüfung"},
        {0xC000008D, u"Gleitkommaunterlauf"},
        {0xC0000093, u"Gleitkommaunterlauf"},
        {0xC000008E, u"Gleitkommadivision durch Null"},
        {0xC000008F, u"Ungültige Gleitkommaoperation"},
        {0xC0000090, u"Ungültige Gleitkommaoperation"},
        {0xC0000092, u"Ungültige Gleitkommaoperation"},
        {0xC0000091, u"Gleitkommaüberlauf"},
        {0xC0000094, u"Division durch Null"},
        {0xC0000095, u"Integerüberlauf"},
        {0xC0000096, u"Privilegierte Anweisung"},
        {0xC00000FD, u"Stack-Überlauf"},
        {0xC000013A, u"Strg+C gedrückt"},
    };
    for (const auto& [code, text] : table)
        EXPECT_EQ(OsExceptionMessage({code, 0x401000, {}, u"lumigate.exe"}), text) << std::hex << code;
    // Any other code: the external-exception message with the code as "$" hexadecimal.
    EXPECT_EQ(OsExceptionMessage({0xE0000001, 0, {}, std::nullopt}), u"Externe Exception $e0000001");
    EXPECT_EQ(OsExceptionMessage({0, 0, {}, std::nullopt}), u"Externe Exception $0");
}

TEST(OsExceptionMessage, AccessViolationsNameTheModuleTheKindAndBothAddresses)
{
    EXPECT_EQ(OsExceptionMessage({0xC0000005, 0x401234, {0, 0}, u"lumigate.exe"}),
              u"Zugriffsverletzung bei Adresse $401234 in Modul 'lumigate.exe'. Lesen von Adresse $0");
    EXPECT_EQ(
        OsExceptionMessage({0xC0000005, 0x77001000, {1, 0xDEAD0}, u"kernel32.dll"}),
        u"Zugriffsverletzung bei Adresse $77001000 in Modul 'kernel32.dll'. Schreiben von Adresse $dead0");
    // Outside any module's image.
    EXPECT_EQ(OsExceptionMessage({0xC0000005, 0x12345678, {8, 0x12345678}, std::nullopt}),
              u"Access Violation");
    // A module name that looks like a placeholder is not filled in again.
    EXPECT_EQ(OsExceptionMessage({0xC0000005, 0x10, {0, 0x20}, u"%p%s.dll"}),
              u"Zugriffsverletzung bei Adresse $10 in Modul '%p%s.dll'. Lesen von Adresse $20");
}

TEST(HandoffRecord, FieldsSitWhereTheHandlingThreadReadsThem)
{
    EXPECT_EQ(offsetof(THandoffRecord, ExceptionRecord), 36u);
    EXPECT_EQ(offsetof(THandoffRecord, BugReportTarget), 116u);
    EXPECT_EQ(offsetof(THandoffRecord, Source), 120u);
    EXPECT_EQ(offsetof(THandoffRecord, Inner), 140u);
}

} // namespace
} // namespace crash
