// Parse-time wrapping of long lines, and the measuring of the lines that ends a parse.

#include "controls/html/html_parser.h"

#include <algorithm>

namespace html {

// After a character was added: breaks the line when it got too wide. Returns the
// character to be read again, if any.
std::optional<char16_t> THTMLParser::Wrap()
{
    const size_t lastBreak = LastBreakIndex();
    int w = FCurrent->GetWidth();
    for (size_t i = lastBreak == SIZE_MAX ? 0 : lastBreak + 1; i < FData.FArray.size(); ++i)
        w += FData.FArray[i]->GetWidth();
    THTMLBreakItem* lineStart = LastBreak();
    if (lineStart)
        w += lineStart->FIndent;
    if (w <= FData.FMaxWidth)
        return std::nullopt;

    std::u16string& text = FCurrent->FText;
    const size_t space = text.rfind(u' ');
    const size_t k = space == std::u16string::npos ? 0 : space + 1; // 1-based, 0: none
    const THTMLItem* last = LastItem();
    std::u16string carried;
    std::optional<char16_t> again;
    if (k == 0 && last && last->IsBreak()) {
        // The run starts its line and has no space: the word is split here. A lone
        // character wider than the line stays where it is.
        if (text.size() < 2)
            return std::nullopt;
        carried = text.substr(text.size() - 1);
        text.pop_back();
    } else if (text.size() > 1) {
        again = text.back();
        text.pop_back();
        const size_t cut = std::min(k, text.size());
        carried = text.substr(cut);
        text.erase(cut);
    } else {
        carried = text.substr(std::min(k, text.size()));
        text.erase(std::min(k, text.size()));
    }
    FCurrent->FTWidth = WidthNotMeasured;
    auto soft = NewBreak(hitSoftBreak, *FCurrent);
    soft->AssignBreakProps(lineStart);
    auto next = NewRun(*soft);
    next->FText = std::move(carried);
    const bool oldEmpty = FCurrent->FText.empty();
    THTMLItem* old = Append(std::move(FCurrent));
    Append(std::move(soft));
    if (oldEmpty) {
        auto it = std::find_if(FData.FArray.begin(), FData.FArray.end(),
                               [&](const auto& p) { return p.get() == old; });
        Discard(std::move(*it));
        FData.FArray.erase(it);
    }
    FCurrent = std::move(next);
    return again;
}

void THTMLParser::MeasureLines()
{
    int maxWidth = 0, totalHeight = 0;
    auto& items = FData.FArray;
    for (size_t i = 0; i < items.size();) {
        auto* lineStart = static_cast<THTMLBreakItem*>(items[i].get());
        size_t end = i + 1;
        while (end < items.size() && !items[end]->IsBreak())
            ++end;
        int running = 0, lineHeight = 0, lineDescent = 0;
        for (size_t k = i; k < end; ++k) {
            THTMLItem& item = *items[k];
            const THTMLItem* next = k + 1 < items.size() ? items[k + 1].get() : nullptr;
            const int width = item.GetWidth();
            int baseLine = 0;
            int height = item.GetHeight(baseLine, next);
            if (item.FItemType == hitIndent && (item.FBoolState & bsAbsolute))
                running = item.FWidth;
            else
                running += width;
            if (item.FItemType == hitChar && item.IsSub()) {
                baseLine += height / 4;
                height += height / 4;
            } else if (item.FItemType == hitChar && item.IsSuper()) {
                baseLine -= height / 2;
                height += height * 2 / 3;
            }
            item.FWidth = Clamp16(width);
            item.FHeight = Clamp16(height);
            lineHeight = std::max(lineHeight, height);
            lineDescent = std::max(lineDescent, baseLine);
        }
        lineStart->FHeight = Clamp16(lineHeight);
        lineStart->FWidth = Clamp16(lineStart->FIndent + running);
        lineStart->FParams =
            (lineStart->FParams & 0xFFFF) | static_cast<uint32_t>(std::min(lineDescent, 0xFFFF)) << 16;
        maxWidth = std::max<int>(maxWidth, lineStart->FWidth);
        totalHeight += lineStart->FHeight;
        i = end;
    }
    FData.FTextSize = {maxWidth, totalHeight};
}

} // namespace html
