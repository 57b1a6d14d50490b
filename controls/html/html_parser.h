#pragma once
// One parse of an HTML caption into the items of a THTMLData: the scanner's characters go
// into the current run, each tag acts on the runs through the tag table, long lines wrap
// while the parse runs, and the lines are measured at its end. Internal to the renderer
// (THTMLRender::PrepareToData); the parts are html_parser.cpp (items and runs),
// html_tags.cpp (what each tag does) and html_wrap.cpp (wrapping and line measuring).

#include "controls/html/html_render.h"
#include "controls/html/html_scanner.h"

#include <cstdint>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

namespace html {

class THTMLParser
{
public:
    THTMLParser(THTMLRender& render, THTMLData& data, const std::u16string& text, bool autoWrap);
    void Run();

    // The actions of the tag table (html_tags.cpp). `currentNonEmpty` tells whether the
    // current run held something before the tag acted.
    void ApplyTag(const std::u16string& tag, const TAttributes& a);
    void Style(unsigned bits, bool on, bool currentNonEmpty);
    void Flag(uint32_t bit, bool on, bool currentNonEmpty);
    void FontTag(const TAttributes& a, bool currentNonEmpty);
    void FontEnd(bool currentNonEmpty);
    void LinkStart(const TAttributes& a);
    void LinkEnd(bool currentNonEmpty);
    void LineBreak(bool currentNonEmpty);
    void Paragraph(const TAttributes& a, bool currentNonEmpty, bool closing);
    void ListStart(bool currentNonEmpty, bool ordered);
    void ListEnd(bool currentNonEmpty, bool ordered);
    void ListItem(bool currentNonEmpty);
    void Rule(const TAttributes& a, bool currentNonEmpty);
    void Image(const TAttributes& a, bool currentNonEmpty);
    void Indent(const TAttributes& a, bool currentNonEmpty);
    void Input(const TAttributes& a, bool currentNonEmpty);
    void Control(const TAttributes& a, bool currentNonEmpty);
    void Variable(const TAttributes& a, bool currentNonEmpty);

private:
    // The font a "font" tag changes and its closing tag restores.
    struct TFontSettings
    {
        std::u16string FontName;
        int32_t Height = 0;
        THTMLColor Color = 0, BgColor = 0;
    };

    // --- items and runs (html_parser.cpp)
    template <class Item> std::unique_ptr<Item> NewItem(THTMLItemType type);
    std::unique_ptr<THTMLBreakItem> NewBreak(THTMLItemType type, const THTMLItem& formatting);
    std::unique_ptr<THTMLItem> NewRun(const THTMLItem& formatting);
    static bool NonEmpty(const THTMLItem& item);
    THTMLItem* Append(std::unique_ptr<THTMLItem> item);
    void Discard(std::unique_ptr<THTMLItem> item);
    void Replace(std::unique_ptr<THTMLItem> next, bool currentNonEmpty);
    // The copy-on-change step: a new run with the current run's formatting, changed by
    // `change`, becomes current. The current run is appended (when it is not empty) before
    // the change is made: a change may look back through the list and must find it there
    // ("/a").
    template <class F> void Step(bool currentNonEmpty, F change)
    {
        auto n = NewRun(*FCurrent);
        if (currentNonEmpty)
            Append(std::move(FCurrent));
        change(*n);
        Replace(std::move(n), false);
    }
    void InsertSpecial(std::unique_ptr<THTMLItem> item, bool currentNonEmpty);
    void TakeFont(THTMLItem& item) const;
    THTMLItem* LastItem() const;
    size_t LastBreakIndex() const;
    THTMLBreakItem* LastBreak() const;
    void RemoveLastIfBreak();
    void Add(char16_t c, bool typedSpace);
    int WidestCharacter(const THTMLItem& item) const;
    std::optional<THTMLColor> ColorValue(const std::u16string& value, THTMLColor fallback) const;

    // --- wrapping and measuring (html_wrap.cpp)
    std::optional<char16_t> Wrap();
    void MeasureLines();

    THTMLRender& FRender;
    THTMLData& FData;
    THTMLScanner FScanner;
    bool FAutoWrap;
    std::unique_ptr<THTMLItem> FCurrent; // the run characters go into; not in the list yet
    TFontSettings FFont;
    std::vector<TFontSettings> FFontStack;
    int32_t FListDepth = 0;
};

template <class Item> std::unique_ptr<Item> THTMLParser::NewItem(THTMLItemType type)
{
    if constexpr (std::is_same_v<Item, THTMLInputItem> || std::is_same_v<Item, THTMLControlItem>)
        return std::make_unique<Item>(&FData);
    else
        return std::make_unique<Item>(&FData, type);
}

// Arithmetic of the markup's sizes.
int Sign(int32_t v);
// a * b / c rounded half away from zero, in 64 bits; -1 when c is 0.
int32_t MulDivRound(int32_t a, int32_t b, int32_t c);
int32_t Clamp(int64_t v);    // to -32768..32767
uint16_t Clamp16(int32_t v); // to 0..0xFFFE

} // namespace html
