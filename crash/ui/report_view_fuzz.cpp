#include "crash/ui/report_view.h"

#include <cstdint>
#include <string>

// Any text (bytes as Latin-1, so that blanks, TABs and line breaks are frequent) as every kind
// of tab: the header, the call stacks and each section with its own columns. Every cell of
// every row is drawn, so each is looked at as the list would.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::u16string text(data, data + size);
    static const char16_t* const Sections[] = {u"memory dump", u"stack dump",    u"modules", u"cpu registers",
                                               u"processes",   u"disassembling", u"hardware"};
    auto look = [](const crash::TReportView& view) {
        for (const crash::TViewRow& row : view.Rows) {
            (void)crash::RowIsAcross(row);
            for (size_t c = 0; c < row.Cells.size(); ++c) {
                (void)crash::CellText(row.Cells[c], true);
                (void)crash::LooksLikePath(row.Cells[c]);
                (void)crash::CellBackground(row, c, view.Columns.size(), c % 2 == 0, c % 3 == 0);
            }
        }
    };
    look(crash::PrepareReportView({crash::TTabKind::Header, u"", text}));
    look(crash::PrepareReportView({crash::TTabKind::CallStack, u"", text}));
    for (const char16_t* name : Sections)
        look(crash::PrepareReportView({crash::TTabKind::Section, name, text}));
    return 0;
}
