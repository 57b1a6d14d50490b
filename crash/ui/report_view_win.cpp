#include "crash/ui/report_view_win.h"

#include "crash/core/report/ide_jump_win.h"

#include <algorithm>

namespace crash {
namespace {

constexpr COLORREF RowLineColour = RGB(224, 224, 224);
constexpr COLORREF AcrossTextColour = RGB(96, 96, 96);
constexpr int CellPadding = 4, FirstCellPadding = 6;
// Cells are measured up to this many characters: a column is never wider than a screen or two.
constexpr size_t MeasuredChars = 400;

constexpr size_t WrappedLineLimit = 2000;

size_t LongestLine(const std::u16string& text)
{
    size_t longest = 0, current = 0;
    for (char16_t c : text) {
        current = c == u'\r' || c == u'\n' ? 0 : current + 1;
        longest = std::max(longest, current);
    }
    return longest;
}

const wchar_t* W(const std::u16string& s)
{
    return reinterpret_cast<const wchar_t*>(s.c_str());
}

void Fill(HDC dc, const RECT& r, COLORREF colour)
{
    ::SetBkColor(dc, colour);
    ::ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &r, nullptr, 0, nullptr);
}

int TextWidth(HDC dc, const std::u16string& text)
{
    SIZE size{0, 0};
    ::GetTextExtentPoint32W(dc, W(text), static_cast<int>(std::min(text.size(), MeasuredChars)), &size);
    return size.cx;
}

} // namespace

TReportViewControl::TReportViewControl(TReportView view, std::u16string rawText, TReportViewFonts fonts,
                                       bool deepColours)
    : FView(std::move(view)), FRawText(std::move(rawText)), FFonts(fonts), FDeepColours(deepColours)
{
    FFont = FView.FixedFont ? FFonts.Fixed : FFonts.Normal;
    LOGFONTW log{};
    if (FFont && ::GetObjectW(FFont, sizeof log, &log)) {
        log.lfWeight = FW_BOLD;
        FBold.Reset(::CreateFontIndirectW(&log));
    }
    const base::MemoryDc dc(::CreateCompatibleDC(nullptr));
    const base::DcSelection font(dc.Get(), FFont);
    TEXTMETRICW metrics{};
    if (::GetTextMetricsW(dc.Get(), &metrics))
        FRowHeight = std::max<int>(FRowHeight, metrics.tmHeight + 5);
}

bool TReportViewControl::Create(HWND parent, const RECT& r, HINSTANCE instance)
{
    if (!IsList()) {
        // The text wraps at the view's width, unless a line is so long that wrapping it would
        // keep the edit control busy for seconds: then it scrolls sideways.
        DWORD style = WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_READONLY;
        if (LongestLine(FRawText) > WrappedLineLimit)
            style |= WS_HSCROLL | ES_AUTOHSCROLL;
        FWnd.Reset(::CreateWindowExW(WS_EX_CLIENTEDGE, L"Edit", L"", style, r.left, r.top, r.right - r.left,
                                     r.bottom - r.top, parent, nullptr, instance, nullptr));
        if (!FWnd)
            return false;
        ::SendMessageW(FWnd.Get(), WM_SETFONT,
                       reinterpret_cast<WPARAM>(FView.FixedFont ? FFonts.Fixed : FFonts.Normal), FALSE);
        ::SendMessageW(FWnd.Get(), EM_SETLIMITTEXT, 0, 0); // a report is longer than an edit's usual limit
        ::SetWindowTextW(FWnd.Get(), W(FRawText));
        return true;
    }
    DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_HSCROLL | WS_VSCROLL | LVS_REPORT | LVS_SINGLESEL |
                  LVS_SHOWSELALWAYS | LVS_OWNERDRAWFIXED | LVS_OWNERDATA | LVS_NOSORTHEADER |
                  LVS_SHAREIMAGELISTS; // the image list is ours
    if (!FView.Headers)
        style |= LVS_NOCOLUMNHEADER;
    FWnd.Reset(::CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"", style, r.left, r.top, r.right - r.left,
                                 r.bottom - r.top, parent, nullptr, instance, nullptr));
    if (!FWnd)
        return false;
    const HWND list = FWnd.Get();
    ::SendMessageW(list, WM_SETFONT, reinterpret_cast<WPARAM>(FFont), FALSE);
    ListView_SetExtendedListViewStyle(list, LVS_EX_DOUBLEBUFFER | LVS_EX_FULLROWSELECT);
    FImages.Reset(::ImageList_Create(16, 16, ILC_COLOR32, 0, 1));
    if (FImages)
        ListView_SetImageList(list, FImages.Get(), LVSIL_SMALL);
    const std::vector<int> widths = ColumnWidths();
    for (size_t c = 0; c < FView.Columns.size(); ++c) {
        const TViewColumn& column = FView.Columns[c];
        std::wstring caption(column.Caption.begin(), column.Caption.end());
        LVCOLUMNW lvc{};
        lvc.mask = LVCF_TEXT | LVCF_FMT | LVCF_WIDTH;
        lvc.fmt = column.Align == TViewAlign::Right ? LVCFMT_RIGHT : LVCFMT_LEFT;
        lvc.cx = widths[c];
        lvc.pszText = caption.data();
        ListView_InsertColumn(list, static_cast<int>(c), &lvc);
    }
    ListView_SetItemCountEx(list, static_cast<int>(FView.Rows.size()), LVSICF_NOSCROLL);
    return true;
}

void TReportViewControl::Move(const RECT& r)
{
    if (FWnd)
        ::SetWindowPos(FWnd.Get(), nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                       SWP_NOZORDER | SWP_NOACTIVATE);
}

std::u16string TReportViewControl::Cell(size_t row, size_t column) const
{
    if (row >= FView.Rows.size())
        return {};
    const TViewRow& r = FView.Rows[row];
    if (column >= r.Cells.size() || column >= FView.Columns.size())
        return {};
    return CellText(r.Cells[column], FView.Columns[column].UpperCase && !RowIsAcross(r));
}

// Each column as wide as its widest cell and its caption; rows drawn across do not count.
// Measuring every cell of a long list would keep the dialog waiting, and the widest cell is
// among the longest: the few longest of each column are measured.
std::vector<int> TReportViewControl::ColumnWidths() const
{
    constexpr size_t Measured = 6;
    const base::MemoryDc dc(::CreateCompatibleDC(nullptr));
    const base::DcSelection font(dc.Get(), FFont);
    std::vector<int> widths;
    for (size_t c = 0; c < FView.Columns.size(); ++c) {
        std::vector<std::u16string> longest;
        for (size_t r = 0; r < FView.Rows.size(); ++r) {
            if (RowIsAcross(FView.Rows[r]) || c >= FView.Rows[r].Cells.size())
                continue;
            const size_t length = FView.Rows[r].Cells[c].size();
            if (longest.size() == Measured && length <= longest.back().size())
                continue;
            std::u16string cell = Cell(r, c);
            if (std::find(longest.begin(), longest.end(), cell) != longest.end())
                continue;
            if (longest.size() == Measured)
                longest.pop_back();
            longest.insert(std::upper_bound(longest.begin(), longest.end(), cell,
                                            [](const std::u16string& a, const std::u16string& b) {
                                                return a.size() > b.size();
                                            }),
                           std::move(cell));
        }
        const int padding = 2 * (c == 0 ? FirstCellPadding : CellPadding);
        int width = FView.Headers ? TextWidth(dc.Get(), FView.Columns[c].Caption) + 2 * CellPadding + 8 : 0;
        for (const std::u16string& cell : longest)
            width = std::max(width, TextWidth(dc.Get(), cell) + padding);
        widths.push_back(std::max(width, 2 * CellPadding));
    }
    return widths;
}

bool TReportViewControl::ParentMessage(UINT msg, WPARAM, LPARAM lparam, LRESULT& result)
{
    switch (msg) {
    case WM_MEASUREITEM: {
        auto* item = reinterpret_cast<MEASUREITEMSTRUCT*>(lparam);
        if (item->CtlType != ODT_LISTVIEW)
            return false;
        item->itemHeight = static_cast<UINT>(FRowHeight);
        result = TRUE;
        return true;
    }
    case WM_DRAWITEM: {
        const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lparam);
        if (!FWnd || item->hwndItem != FWnd.Get())
            return false;
        DrawRow(*item);
        result = TRUE;
        return true;
    }
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lparam);
        if (!FWnd || header->hwndFrom != FWnd.Get())
            return false;
        result = 0;
        if (header->code == LVN_GETDISPINFOW) {
            // The text of a cell, for whoever asks the list (accessibility, tests).
            auto* info = reinterpret_cast<NMLVDISPINFOW*>(lparam);
            if ((info->item.mask & LVIF_TEXT) && info->item.pszText && info->item.cchTextMax > 0) {
                const std::u16string text =
                    Cell(static_cast<size_t>(info->item.iItem), static_cast<size_t>(info->item.iSubItem));
                const size_t n = std::min(text.size(), static_cast<size_t>(info->item.cchTextMax - 1));
                std::copy_n(text.begin(), n, info->item.pszText);
                info->item.pszText[n] = 0;
            }
        } else if (header->code == NM_DBLCLK && FView.ThreadView) {
            const int row = reinterpret_cast<const NMITEMACTIVATE*>(lparam)->iItem;
            if (row >= 0 && static_cast<size_t>(row) < FView.Rows.size())
                JumpToStackLine(FView.Rows[static_cast<size_t>(row)].Line);
        }
        return true;
    }
    default:
        return false;
    }
}

void TReportViewControl::DrawAcross(HDC dc, const TViewRow& row, const RECT& r, bool selected)
{
    const COLORREF back = CellBackground(row, 1, FView.Columns.size(), selected, FDeepColours);
    Fill(dc, r, back);
    RECT text = r;
    text.left += FirstCellPadding;
    if (row.Title) {
        text.bottom -= 2;
        const base::DcSelection bold(dc, FBold.Get());
        ::SetTextColor(dc, RGB(0, 0, 0));
        ::DrawTextW(dc, W(row.Cells.front()), -1, &text,
                    DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
        const RECT line{r.left, r.bottom - 2, r.right, r.bottom};
        Fill(dc, line, selected ? RGB(160, 160, 160) : RGB(192, 192, 192));
    } else {
        ::SetTextColor(dc, AcrossTextColour);
        ::DrawTextW(dc, W(row.Cells.front()), -1, &text,
                    DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
    }
}

void TReportViewControl::DrawRow(const DRAWITEMSTRUCT& item)
{
    const size_t index = item.itemID;
    if (index >= FView.Rows.size())
        return;
    const TViewRow& row = FView.Rows[index];
    const HDC dc = item.hDC;
    const base::SavedDc saved(dc);
    const bool selected = (item.itemState & ODS_SELECTED) != 0;
    ::SelectObject(dc, FFont);
    ::SetBkMode(dc, TRANSPARENT);
    RECT r = item.rcItem;
    if (RowIsAcross(row)) {
        DrawAcross(dc, row, r, selected);
    } else {
        int x = r.left;
        for (size_t c = 0; c < FView.Columns.size(); ++c) {
            const int width = ListView_GetColumnWidth(FWnd.Get(), static_cast<int>(c));
            const RECT cell{x, r.top, x + width, r.bottom};
            x += width;
            Fill(dc, cell, CellBackground(row, c, FView.Columns.size(), selected, FDeepColours));
            RECT text = cell;
            text.left += c == 0 ? FirstCellPadding : CellPadding;
            text.right -= CellPadding;
            const std::u16string content = Cell(index, c);
            UINT format = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX;
            format |= LooksLikePath(content) ? DT_PATH_ELLIPSIS : DT_END_ELLIPSIS;
            format |= FView.Columns[c].Align == TViewAlign::Right ? DT_RIGHT : DT_LEFT;
            ::SetTextColor(dc, RGB(0, 0, 0));
            ::DrawTextW(dc, W(content), -1, &text, format);
        }
        r.right = x;
    }
    const bool beforeTitle = index + 1 < FView.Rows.size() && FView.Rows[index + 1].Title;
    if (beforeTitle || index + 1 == FView.Rows.size()) {
        const RECT line{r.left, r.bottom - 1, r.right, r.bottom};
        Fill(dc, line, RowLineColour);
    }
    if (selected) {
        const base::GdiObject frame(::CreateSolidBrush(SelectionFrame(FDeepColours)));
        ::FrameRect(dc, &r, static_cast<HBRUSH>(frame.Get()));
    }
}

} // namespace crash
