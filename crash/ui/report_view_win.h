#pragma once
// The control that shows one tab of the report inside the crash dialog's tab control: an
// owner-drawn list of the prepared view (coloured columns, bold block titles, long cells
// shortened with "...", paths in their middle), or the raw text in a read-only edit when the
// text has no columns. The list holds no items of its own: it asks for each row as it draws.
// The tab control passes on what the list tells its parent (ParentMessage).

#include "base/win_handle.h"
#include "crash/ui/report_view.h"

#include <windows.h>

#include <commctrl.h>

#include <string>
#include <vector>

namespace crash {

struct ImageListTraits
{
    using Handle = HIMAGELIST;
    static constexpr Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { ::ImageList_Destroy(h); }
};
using ImageList = base::UniqueHandle<ImageListTraits>;

struct TReportViewFonts
{
    HFONT Normal = nullptr; // the dialog's
    HFONT Fixed = nullptr;  // for texts that need one
};

class TReportViewControl
{
public:
    TReportViewControl(TReportView view, std::u16string rawText, TReportViewFonts fonts, bool deepColours);
    TReportViewControl(const TReportViewControl&) = delete;
    TReportViewControl& operator=(const TReportViewControl&) = delete;

    // Creates the control in `parent`; the parent must pass messages on from the start (the
    // list asks for its row height while it is created).
    bool Create(HWND parent, const RECT& rect, HINSTANCE instance);
    HWND Window() const noexcept { return FWnd.Get(); }
    bool IsList() const noexcept { return !FView.Columns.empty(); }
    void Move(const RECT& rect);
    // A message of the parent: true when it was about this control (`result` is its result).
    bool ParentMessage(UINT msg, WPARAM wparam, LPARAM lparam, LRESULT& result);

private:
    std::vector<int> ColumnWidths() const;
    void DrawRow(const DRAWITEMSTRUCT& item);
    void DrawAcross(HDC dc, const TViewRow& row, const RECT& r, bool selected);
    std::u16string Cell(size_t row, size_t column) const;

    TReportView FView;
    std::u16string FRawText;
    TReportViewFonts FFonts;
    bool FDeepColours;
    HFONT FFont = nullptr; // of the list
    base::GdiObject FBold; // the list's font in bold, for block titles
    ImageList FImages;     // 16 x 16: the rows' height
    int FRowHeight = 18;
    base::Window FWnd;
};

} // namespace crash
