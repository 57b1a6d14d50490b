#include "crash/ui/report_view.h"

#include "base/ascii_case.h"

#include <algorithm>
#include <array>

namespace crash {
namespace {

using TLines = std::vector<std::u16string_view>;

// A text of padded columns has at most this many; the last holds the rest of each line.
constexpr size_t MaxColumns = 32;

TLines SplitLines(std::u16string_view text)
{
    TLines lines;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != u'\r' && text[i] != u'\n')
            continue;
        lines.push_back(text.substr(start, i - start));
        if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
            ++i;
        start = i + 1;
    }
    lines.push_back(text.substr(start));
    return lines;
}

bool Blank(char16_t c)
{
    return c == u' ' || c == u'\t';
}

std::u16string_view Trim(std::u16string_view s)
{
    while (!s.empty() && Blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && Blank(s.back()))
        s.remove_suffix(1);
    return s;
}

// The part of `line` from `from` to `to`, empty where the line is shorter.
std::u16string_view Slice(std::u16string_view line, size_t from, size_t to = std::u16string_view::npos)
{
    if (from >= line.size() || to <= from)
        return {};
    return line.substr(from, to - from);
}

bool StartsNoCase(std::u16string_view text, std::u16string_view prefix)
{
    return text.size() >= prefix.size() &&
           base::AsciiEqualIgnoringCase(text.substr(0, prefix.size()), prefix);
}

bool IsHexDigit(char16_t c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

bool IsDigits(std::u16string_view s)
{
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; });
}

// A number in a stack line's line columns: "123" or "+12".
bool IsLineNumber(std::u16string_view s)
{
    return IsDigits(s.starts_with(u'+') ? s.substr(1) : s);
}

// Eight hexadecimal digits, then a blank or the end: a line that begins with an address.
bool StartsWithAddress(std::u16string_view line)
{
    if (line.size() < 8 || (line.size() > 8 && line[8] != u' '))
        return false;
    return std::all_of(line.begin(), line.begin() + 8, IsHexDigit);
}

std::u16string_view NextToken(std::u16string_view line, size_t& pos)
{
    while (pos < line.size() && Blank(line[pos]))
        ++pos;
    const size_t start = pos;
    while (pos < line.size() && !Blank(line[pos]))
        ++pos;
    return Slice(line, start, pos);
}

// The positions at which a column begins: a character of some line stands there, and every
// line has a blank (or has ended) just before it. At most `most`: the last column holds the
// rest of each line (so that any text makes at most lines x `most` cells).
std::vector<size_t> ColumnStarts(const TLines& lines, size_t most)
{
    size_t width = 0;
    for (std::u16string_view l : lines)
        width = std::max(width, l.size());
    std::vector<bool> allBlank(width, true), anyText(width, false);
    for (std::u16string_view l : lines) {
        for (size_t p = 0; p < l.size(); ++p) {
            const bool blank = Blank(l[p]);
            allBlank[p] = allBlank[p] && blank;
            anyText[p] = anyText[p] || !blank;
        }
    }
    std::vector<size_t> starts;
    for (size_t p = 0; p < width && starts.size() < most; ++p)
        if (anyText[p] && (p == 0 || allBlank[p - 1]))
            starts.push_back(p);
    return starts;
}

// The cells of `line` between `starts` (the last cell runs to the line's end).
std::vector<std::u16string> CellsAt(std::u16string_view line, const std::vector<size_t>& starts)
{
    std::vector<std::u16string> cells;
    for (size_t i = 0; i < starts.size(); ++i) {
        const size_t end = i + 1 < starts.size() ? starts[i + 1] : std::u16string_view::npos;
        cells.emplace_back(Trim(Slice(line, starts[i], end)));
    }
    return cells;
}

std::vector<std::u16string> SplitTabs(std::u16string_view line, bool trim = true)
{
    std::vector<std::u16string> cells;
    size_t start = 0;
    for (;;) {
        const size_t tab =
            cells.size() + 1 < MaxColumns ? line.find(u'\t', start) : std::u16string_view::npos;
        const std::u16string_view cell =
            line.substr(start, tab == std::u16string_view::npos ? tab : tab - start);
        cells.emplace_back(trim ? Trim(cell) : cell);
        if (tab == std::u16string_view::npos)
            return cells;
        start = tab + 1;
    }
}

TViewRow Row(std::u16string_view line, std::vector<std::u16string> cells, uint32_t colour = 0)
{
    TViewRow row;
    row.Cells = std::move(cells);
    row.Colour = colour;
    row.Line = line;
    return row;
}

void SetColumns(TReportView& view, std::initializer_list<std::u16string_view> captions)
{
    for (std::u16string_view c : captions)
        view.Columns.push_back(ViewColumn(c));
}

// Whether every row leaves the column at `index` empty or filled as `test` wants.
template <class Test>
bool ColumnIs(const std::vector<std::vector<std::u16string>>& rows, size_t index, Test test)
{
    return std::all_of(rows.begin(), rows.end(), [&](const std::vector<std::u16string>& cells) {
        return index >= cells.size() || cells[index].empty() || test(cells[index]);
    });
}

// ---- the thread view ----------------------------------------------------------------------

enum TStackColumn
{
    scAddress,
    scRelAddr,
    scModule,
    scUnit,
    scLine,
    scRelLine,
    scFunction,
    scCount
};

using TStackCells = std::array<std::u16string, scCount>;

// One run of consecutive stack lines (one trace, padded to common columns, or a single
// location line). Each column's width is its longest entry plus a blank, so the module's and
// the unit's columns end where every line of the run has a blank; the line numbers are the
// numbers after them; the function is the rest (its name may hold blanks).
std::vector<TStackCells> ParseStackRun(const TLines& run)
{
    std::vector<TStackCells> out(run.size());
    size_t moduleStart = 9;
    for (size_t i = 0; i < run.size(); ++i) {
        out[i][scAddress] = run[i].substr(0, 8);
        size_t pos = 8;
        const std::u16string_view rel = NextToken(run[i], pos);
        if (rel.size() > 1 && rel[0] == u'+' && std::all_of(rel.begin() + 1, rel.end(), IsHexDigit)) {
            out[i][scRelAddr] = rel.substr(1);
            moduleStart = std::max(moduleStart, pos + 1);
        }
    }
    auto endOfColumn = [&](size_t from) {
        size_t p = from;
        for (;; ++p) {
            bool blank = true, ended = true;
            for (std::u16string_view l : run) {
                blank = blank && (p >= l.size() || Blank(l[p]));
                ended = ended && p >= l.size();
            }
            if (blank || ended)
                return p;
        }
    };
    const size_t moduleEnd = endOfColumn(moduleStart);
    const size_t unitStart = moduleEnd + 1;
    const bool anyUnit = std::any_of(run.begin(), run.end(), [&](std::u16string_view l) {
        return unitStart < l.size() && !Blank(l[unitStart]);
    });
    const size_t unitEnd = anyUnit ? endOfColumn(unitStart) : unitStart;
    for (size_t i = 0; i < run.size(); ++i) {
        const std::u16string_view line = run[i];
        out[i][scModule] = Trim(Slice(line, moduleStart, moduleEnd));
        out[i][scUnit] = Trim(Slice(line, unitStart, unitEnd));
        size_t pos = unitEnd;
        std::vector<std::u16string_view> numbers;
        for (;;) {
            size_t next = pos;
            const std::u16string_view token = NextToken(line, next);
            if (numbers.size() == 2 || !IsLineNumber(token))
                break;
            numbers.push_back(token);
            pos = next;
        }
        if (numbers.size() == 2) {
            out[i][scLine] = numbers[0];
            out[i][scRelLine] = numbers[1];
        } else if (numbers.size() == 1) {
            out[i][numbers[0].starts_with(u'+') ? scRelLine : scLine] = numbers[0];
        }
        out[i][scFunction] = Trim(Slice(line, pos));
    }
    return out;
}

TReportView ThreadView(std::u16string_view text)
{
    TReportView view;
    view.ThreadView = true;
    const TLines lines = SplitLines(text);
    // The last block (after the last empty line) opening with an internal error is not a title.
    size_t lastBlock = 0;
    for (size_t i = 0; i < lines.size(); ++i)
        if (lines[i].empty())
            lastBlock = i + 1;
    const bool internalLast =
        lastBlock < lines.size() && StartsNoCase(lines[lastBlock], u">> internal error");

    std::vector<TStackCells> stack(lines.size());
    std::vector<bool> isStack(lines.size(), false);
    std::array<bool, scCount> used{};
    for (size_t i = 0; i < lines.size();) {
        size_t end = i;
        while (end < lines.size() && StartsWithAddress(lines[end]))
            ++end;
        if (end == i) {
            ++i;
            continue;
        }
        const std::vector<TStackCells> cells = ParseStackRun(TLines(lines.begin() + i, lines.begin() + end));
        for (size_t k = 0; k < cells.size(); ++k) {
            stack[i + k] = cells[k];
            isStack[i + k] = true;
            for (int c = 0; c < scCount; ++c)
                used[c] = used[c] || !cells[k][c].empty();
        }
        i = end;
    }
    static constexpr std::u16string_view Captions[scCount] = {u"^address", u"^ rel.", u"module",  u"unit",
                                                              u" line",    u" rel.",  u"function"};
    std::vector<int> shown;
    for (int c = 0; c < scCount; ++c) {
        if (used[c]) {
            view.Columns.push_back(ViewColumn(Captions[c]));
            shown.push_back(c);
        }
    }
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::u16string_view line = lines[i];
        if (isStack[i]) {
            std::vector<std::u16string> cells;
            for (int c : shown)
                cells.push_back(stack[i][static_cast<size_t>(c)]);
            view.Rows.push_back(Row(line, std::move(cells)));
            continue;
        }
        const bool arrow = line.starts_with(u">>");
        TViewRow row = Row(line, {std::u16string(Trim(line))}, arrow || line.empty() ? WhiteColour : 0);
        row.Title = arrow && (i == 0 || lines[i - 1].empty()) && !(internalLast && i == lastBlock);
        view.Rows.push_back(std::move(row));
    }
    if (view.Columns.empty()) {
        view.Headers = false;
        view.Columns.push_back(ViewColumn(u""));
    }
    return view;
}

// ---- the section views ----------------------------------------------------------------------

// Two columns: each line's part before `separator` and the part after it (all of a line
// without one in the first).
TReportView PairView(std::u16string_view text, std::u16string_view separator,
                     std::initializer_list<std::u16string_view> captions)
{
    TReportView view;
    SetColumns(view, captions);
    for (std::u16string_view line : SplitLines(text)) {
        const size_t at = line.find(separator);
        std::u16string_view name = line, value;
        if (at != std::u16string_view::npos) {
            name = line.substr(0, at);
            value = line.substr(at + separator.size());
        }
        view.Rows.push_back(Row(line, {std::u16string(Trim(name)), std::u16string(Trim(value))}));
    }
    return view;
}

// "address  00 11 ... 77 - 88 ... ff  chars": the bytes end at column 60, the characters
// begin at 61 (they may be blanks themselves).
TReportView HexDumpView(std::u16string_view text)
{
    constexpr size_t BytesEnd = 60, CharsStart = 61;
    TReportView view;
    view.FixedFont = true;
    SetColumns(view, {u"address", u"data - hexadecimal", u"data - chars"});
    for (std::u16string_view line : SplitLines(text)) {
        size_t pos = 0;
        const std::u16string_view address = NextToken(line, pos);
        const bool full = line.size() > CharsStart && line[BytesEnd] == u' ' && pos <= BytesEnd;
        const std::u16string_view bytes = Trim(full ? Slice(line, pos, BytesEnd) : Slice(line, pos));
        view.Rows.push_back(Row(line, {std::u16string(address), std::u16string(bytes),
                                       full ? std::u16string(line.substr(CharsStart)) : std::u16string()}));
    }
    return view;
}

// Handle, file name, version and path. A version column that nobody fills is no column of
// the text: what stands there is the path (which may hold blanks, so it runs to the end).
TReportView ModulesView(std::u16string_view text)
{
    TReportView view;
    SetColumns(view, {u"^handle", u"file name", u" version", u"path"});
    const TLines lines = SplitLines(text);
    std::vector<size_t> starts = ColumnStarts(lines, 4);
    std::vector<std::vector<std::u16string>> rows;
    for (std::u16string_view line : lines)
        rows.push_back(CellsAt(line, starts));
    const bool versions =
        ColumnIs(rows, 2, [](const std::u16string& v) { return v[0] >= u'0' && v[0] <= u'9'; });
    if (!versions && starts.size() > 3)
        starts.pop_back();
    for (size_t i = 0; i < lines.size(); ++i) {
        if (!versions) {
            rows[i] = CellsAt(lines[i], starts);
            if (rows[i].size() == 3)
                rows[i].insert(rows[i].begin() + 2, u"");
        }
        view.Rows.push_back(Row(lines[i], std::move(rows[i])));
    }
    return view;
}

// Id, file name, the session (only when some process has one), the GDI and USER counts,
// the priority and the path. The numeric columns after the file name tell which are there.
TReportView ProcessesView(std::u16string_view text)
{
    TReportView view;
    const TLines lines = SplitLines(text);
    std::vector<size_t> starts = ColumnStarts(lines, 7);
    std::vector<std::vector<std::u16string>> all;
    for (std::u16string_view line : lines)
        all.push_back(CellsAt(line, starts));
    size_t numeric = 0;
    while (numeric < 3 && 2 + numeric + 1 < starts.size() &&
           ColumnIs(all, 2 + numeric, [](const std::u16string& c) { return IsDigits(c); }))
        ++numeric;
    const bool session = numeric == 1 || numeric == 3;
    const bool counts = numeric >= 2;
    SetColumns(view, {u"^id", u"file name"});
    if (session)
        SetColumns(view, {u"session"});
    if (counts)
        SetColumns(view, {u"gdi objects", u"user objects"});
    SetColumns(view, {u"priority", u"path"});
    if (starts.size() > view.Columns.size())
        starts.resize(view.Columns.size());
    for (std::u16string_view line : lines)
        view.Rows.push_back(Row(line, CellsAt(line, starts)));
    return view;
}

// "address [line] [>] code  ; comment"; the exception's line is marked with ">".
TReportView DisassemblyView(std::u16string_view text)
{
    TReportView view;
    view.FixedFont = true;
    const TLines lines = SplitLines(text);
    // The width of the line-number column: the digits after the first instruction address.
    size_t width = 0;
    for (std::u16string_view line : lines) {
        size_t pos = 9, end = 9;
        while (end < line.size() && line[end] >= u'0' && line[end] <= u'9')
            ++end;
        if (StartsWithAddress(line) && end > pos && end < line.size() && line[end] == u' ') {
            width = end - pos;
            break;
        }
    }
    SetColumns(view, {u"address"});
    if (width)
        SetColumns(view, {u"line"});
    SetColumns(view, {u"asm code", u"comments"});
    for (std::u16string_view line : lines) {
        if (!StartsWithAddress(line)) { // "[...]"
            std::vector<std::u16string> cells{u"", std::u16string(Trim(line))};
            if (width)
                cells.insert(cells.begin() + 1, u"");
            view.Rows.push_back(Row(line, std::move(cells)));
            continue;
        }
        std::u16string_view rest = Slice(line, 9);
        std::u16string number;
        const std::u16string_view column = rest.substr(0, std::min(width, rest.size()));
        if (width && rest.size() > width && rest[width] == u' ' &&
            (IsDigits(column) || Trim(column).empty())) {
            number = Trim(column);
            rest.remove_prefix(width + 1);
        }
        const bool marked = rest.starts_with(u'>');
        if (marked)
            rest.remove_prefix(1);
        std::u16string_view code = rest, comment;
        const size_t semicolon = rest.starts_with(u"; ") ? 0 : rest.find(u"  ; ");
        if (semicolon != std::u16string_view::npos) {
            code = rest.substr(0, semicolon);
            comment = Trim(Slice(Trim(rest.substr(semicolon)), 1));
        }
        std::vector<std::u16string> cells{std::u16string(line.substr(0, 8)), std::u16string(Trim(code)),
                                          std::u16string(comment)};
        if (width)
            cells.insert(cells.begin() + 1, number);
        view.Rows.push_back(Row(line, std::move(cells), marked ? MarkedLineColour : 0));
    }
    return view;
}

// Any other text: a list when it reads as one (several lines, few of them long), as "+" and
// "-" items, or in the columns its TABs or its padding make; else the raw text.
TReportView AutomaticView(std::u16string_view text)
{
    TReportView view;
    view.FixedFont = true;
    TLines lines = SplitLines(text);
    const bool captioned = text.starts_with(u'^');
    size_t longLines = 0;
    for (std::u16string_view l : lines)
        longLines += l.size() >= 81;
    const size_t shortLines = lines.size() - longLines;
    if (!captioned && (lines.size() < 2 || longLines * 5 >= shortLines))
        return view;

    const bool items = !captioned && !Trim(text).empty() &&
                       std::all_of(lines.begin(), lines.end(), [](std::u16string_view l) {
                           const std::u16string_view t = Trim(l);
                           return t.empty() || t[0] == u'+' || t[0] == u'-' || l[0] == u'!';
                       });
    if (items) {
        view.Headers = false;
        view.Columns.push_back(ViewColumn(u""));
        for (std::u16string_view l : lines) {
            const std::u16string_view t = Trim(l);
            const uint32_t colour = l.starts_with(u'!')   ? BangLineColour
                                    : t.starts_with(u'+') ? PlusLineColour
                                                          : 0;
            view.Rows.push_back(Row(l, {std::u16string(l.starts_with(u'!') ? l.substr(1) : l)}, colour));
        }
        return view;
    }

    view.FixedFont = false;
    if (captioned) {
        for (const std::u16string& c : SplitTabs(lines.front().substr(1), false))
            view.Columns.push_back(ViewColumn(c));
        lines.erase(lines.begin());
    } else {
        view.Headers = false;
    }
    const bool tabs = std::any_of(lines.begin(), lines.end(), [](std::u16string_view l) {
        return l.find(u'\t') != std::u16string_view::npos;
    });
    const std::vector<size_t> starts = tabs ? std::vector<size_t>{} : ColumnStarts(lines, MaxColumns);
    for (std::u16string_view l : lines)
        view.Rows.push_back(Row(l, tabs ? SplitTabs(l) : CellsAt(l, starts)));
    size_t columns = 1;
    for (const TViewRow& r : view.Rows)
        columns = std::max(columns, r.Cells.size());
    while (view.Columns.size() < columns)
        view.Columns.push_back(ViewColumn(u""));
    return view;
}

bool SectionIs(const TTabContent& content, std::u16string_view name)
{
    return base::AsciiEqualIgnoringCase(std::u16string_view(content.SectionName), name);
}

uint32_t Darker(uint32_t colour, uint32_t by)
{
    uint32_t out = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        const uint32_t c = (colour >> shift) & 0xFF;
        out |= (c > by ? c - by : 0) << shift;
    }
    return out;
}

} // namespace

TViewColumn ViewColumn(std::u16string_view caption)
{
    TViewColumn column;
    if (caption.starts_with(u'^')) {
        column.UpperCase = true;
        caption.remove_prefix(1);
    }
    if (caption.starts_with(u' ')) {
        column.Align = TViewAlign::Right;
        caption.remove_prefix(1);
    }
    column.Caption = caption;
    return column;
}

TReportView PrepareReportView(const TTabContent& content)
{
    const std::u16string_view text = content.Text;
    if (StartsNoCase(text, u">> will be"))
        return AutomaticView(text);
    if (StartsNoCase(text, u">> internal"))
        return ThreadView(text);
    if (content.Kind == TTabKind::Header)
        return PairView(text, u"\t", {u"description", u"value"});
    if (content.Kind == TTabKind::CallStack)
        return ThreadView(text);
    if (SectionIs(content, u"memory dump") || SectionIs(content, u"stack dump"))
        return HexDumpView(text);
    if (SectionIs(content, u"modules"))
        return ModulesView(text);
    if (SectionIs(content, u"cpu registers"))
        return PairView(text, u" = ", {u"reg.", u"content"});
    if (SectionIs(content, u"processes"))
        return ProcessesView(text);
    if (SectionIs(content, u"disassembling"))
        return DisassemblyView(text);
    return AutomaticView(text);
}

bool RowIsAcross(const TViewRow& row)
{
    return !row.Cells.empty() && row.Cells.front().starts_with(u">>");
}

std::u16string CellText(std::u16string_view cell, bool upperCase)
{
    std::u16string out(Trim(cell));
    if (upperCase)
        for (char16_t& c : out)
            if (c >= u'a' && c <= u'z')
                c = static_cast<char16_t>(c - 0x20);
    return out;
}

bool LooksLikePath(std::u16string_view text)
{
    text = Trim(text);
    return text.size() >= 3 &&
           ((text[0] >= u'A' && text[0] <= u'Z') || (text[0] >= u'a' && text[0] <= u'z')) &&
           text[1] == u':' && text[2] == u'\\';
}

uint32_t CellBackground(const TViewRow& row, size_t column, size_t columnCount, bool selected,
                        bool deepColours)
{
    uint32_t colour = row.Colour;
    if (!colour) {
        if (column % 2 == 1 || columnCount <= 1)
            colour = WhiteColour;
        else
            colour = column % 4 == 0 ? PlusLineColour : BangLineColour;
    }
    if (deepColours)
        return selected ? Darker(colour, 16) : colour;
    struct TSubstitute
    {
        uint32_t Colour, Plain, Selected;
    };
    static constexpr TSubstitute Substitutes[] = {
        {MarkedLineColour, ViewRgb(255, 0, 0), ViewRgb(128, 0, 0)},
        {BangLineColour, ViewRgb(128, 255, 255), ViewRgb(0, 128, 128)},
        {PlusLineColour, ViewRgb(255, 255, 192), ViewRgb(128, 128, 0)},
        {WhiteColour, WhiteColour, ViewRgb(192, 192, 192)},
    };
    for (const TSubstitute& s : Substitutes)
        if (s.Colour == colour)
            return selected ? s.Selected : s.Plain;
    return selected ? Darker(colour, 16) : colour;
}

uint32_t SelectionFrame(bool deepColours)
{
    return deepColours ? ViewRgb(176, 176, 176) : ViewRgb(128, 128, 128);
}

} // namespace crash
