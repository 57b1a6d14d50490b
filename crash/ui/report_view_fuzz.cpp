#include "crash/ui/report_view.h"

#include <cstdint>
#include <iterator>
#include <string>

// Any text (bytes as Latin-1, so that blanks, TABs and line breaks are frequent) as one kind of
// tab, which the last byte chooses: the header, the call stacks or a section with its own
// columns. Every cell of every row is drawn, so each is looked at as the list would.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const std::u16string text(data, data + size - 1);
    static const char16_t* const Sections[] = {u"memory dump", u"stack dump",    u"modules", u"cpu registers",
                                               u"processes",   u"disassembling", u"hardware"};
    const size_t kind = data[size - 1] % (std::size(Sections) + 2);
    const crash::TReportView view =
        kind == 0   ? crash::PrepareReportView({crash::TTabKind::Header, u"", text})
        : kind == 1 ? crash::PrepareReportView({crash::TTabKind::CallStack, u"", text})
                    : crash::PrepareReportView({crash::TTabKind::Section, Sections[kind - 2], text});
    for (const crash::TViewRow& row : view.Rows) {
        (void)crash::RowIsAcross(row);
        for (size_t c = 0; c < row.Cells.size(); ++c) {
            (void)crash::CellText(row.Cells[c], true);
            (void)crash::LooksLikePath(row.Cells[c]);
            (void)crash::CellBackground(row, c, view.Columns.size(), c % 2 == 0, c % 3 == 0);
        }
    }
    return 0;
}
