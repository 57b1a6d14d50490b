#pragma once
// The parse result of an HTML caption: a flat, ordered list of items, each carrying its
// complete formatting, with the settings the parse started from and the sizes line
// measuring wrote. Platform-free.

#include "controls/html/html_measure.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace html {

using THTMLColor = uint32_t; // 0x00BBGGRR, 0xFF0000nn system colour nn, clNone

// A size as the items keep it: 0 to 0xFFFE.
uint16_t Clamp16(int32_t v);
constexpr THTMLColor clNone = 0x1FFFFFFF;
constexpr THTMLColor clBlue = 0xFF0000;
constexpr THTMLColor clWindowText = 0xFF000008;

enum THTMLItemType : uint8_t
{
    hitChar,
    hitSoftBreak,
    hitBreak,
    hitPara,
    hitBitmap,
    hitHR,
    hitLI,
    hitUL,
    hitOL,
    hitIndent,
    hitInput,
    hitControl,
    hitVar
};

// FBoolState bits.
constexpr uint32_t bsIsLink = 1, bsIsSub = 2, bsIsSuper = 4, bsAbsolute = 8, bsClosedPara = 0x80000000u;
constexpr uint16_t WidthNotMeasured = 0xFFFF;

bool IsBreakType(THTMLItemType type);

class THTMLData;

class THTMLItem
{
public:
    THTMLItem(THTMLData* owner, THTMLItemType type) : FOwner(owner), FItemType(type) {}
    virtual ~THTMLItem() = default;
    THTMLItem(const THTMLItem&) = delete;
    THTMLItem& operator=(const THTMLItem&) = delete;

    // The item's own markup, as GenerateHTML writes it; empty for plain items.
    virtual std::u16string MarkupText() const { return {}; }
    // The height and the descent (BaseLine); `next` is the item after this one, if any.
    virtual int GetHeight(int& BaseLine, const THTMLItem* next);
    virtual int GetWidth();
    // Copies the formatting: style, height, colours, link, face, indent, font count, flags.
    virtual void Assign(const THTMLItem& source);

    bool IsBreak() const noexcept { return IsBreakType(FItemType); }
    bool IsLink() const noexcept { return FBoolState & bsIsLink; }
    bool IsSub() const noexcept { return FBoolState & bsIsSub; }
    bool IsSuper() const noexcept { return FBoolState & bsIsSuper; }
    // The font the item is measured and painted with (sub- and superscript 2 smaller).
    THTMLFont Font() const;

    THTMLData* FOwner;
    THTMLItemType FItemType;
    std::u16string FText;
    THTMLFontStyles FontStyle = 0;
    int32_t FontHeight = 0;
    THTMLColor FontBgColor = 0;
    THTMLColor FontColor = 0;
    std::u16string FLinkRef;
    std::u16string FFontRef;
    int32_t FFntCnt = 0;
    uint16_t FTWidth = WidthNotMeasured;
    uint16_t FWidth = 0;
    uint16_t FHeight = 0;
    int32_t FIndent = 0;
    uint32_t FBoolState = 0;
    bool FTransparent = false;
    int32_t FTag = 0;
};

class THTMLBreakItem : public THTMLItem
{
public:
    using THTMLItem::THTMLItem;
    int GetHeight(int& BaseLine, const THTMLItem* next) override;
    int GetWidth() override;
    void Assign(const THTMLItem& source) override;
    void AssignBreakProps(const THTMLBreakItem* source);
    int Alignment() const noexcept { return static_cast<int>(FParams & 0xFFFF); }
    int LineDescent() const noexcept { return static_cast<int>(FParams >> 16); }

    uint32_t FParams = 0;
    int32_t FListLevel = 0;
    int32_t FListItemN = 0;
};

enum THTMLInputType
{
    itCheckBox,
    itRadioButton
};

class THTMLControlPainter;

class THTMLInputItem : public THTMLItem
{
public:
    explicit THTMLInputItem(THTMLData* owner);
    ~THTMLInputItem() override;
    std::u16string MarkupText() const override;
    int GetHeight(int& BaseLine, const THTMLItem* next) override;
    // Gives the item its painter; a named radio button joins its group.
    void SetInputType(THTMLInputType type);

    bool FChecked = false;
    THTMLInputType FInputType = itCheckBox;
    std::u16string FName;
    std::u16string FValue;
    std::unique_ptr<THTMLControlPainter> FControlPainter;
};

// The classes an embedded control may be of (lower case, as "vclclass" names them).
bool IsEmbeddableClass(const std::u16string& className);

class THTMLControlItem : public THTMLItem
{
public:
    explicit THTMLControlItem(THTMLData* owner) : THTMLItem(owner, hitControl) {}
    std::u16string MarkupText() const override;
    int GetHeight(int& BaseLine, const THTMLItem* next) override;

    void* FControlHook = nullptr;
    std::u16string FControlClass;
    std::vector<std::u16string> FControlPropList; // "name=value", values unquoted
    void* FControl = nullptr;                     // the control the host created for the item
};

struct TTextSize
{
    int Width = 0, Height = 0;
    friend bool operator==(const TTextSize&, const TTextSize&) = default;
};

struct THTMLRect
{
    int Left = 0, Top = 0, Right = 0, Bottom = 0;
    int Width() const noexcept { return Right - Left; }
    int Height() const noexcept { return Bottom - Top; }
};

class THTMLRender;

class THTMLData
{
public:
    explicit THTMLData(THTMLRender* render) : FRender(render) {}
    THTMLData(const THTMLData&) = delete;
    THTMLData& operator=(const THTMLData&) = delete;

    // Markup of the parsed document: "<html>", the runs, breaks, inputs, controls and
    // variables, "</html>".
    std::u16string GenerateHTML() const;
    // The plain text: runs, CR LF per hard break, two per paragraph but the first, "- " per
    // list item.
    std::u16string AsText() const;
    int LineCount() const;
    void ClearArray();
    IHTMLMeasurer& Measurer() const;

    std::vector<std::unique_ptr<THTMLItem>> FArray;
    std::vector<THTMLItem*> FControlsArray;
    std::vector<std::u16string> FRadioList;
    THTMLRender* FRender;
    THTMLColor FLinkColor = clBlue;
    THTMLColor FDefaultColor = clWindowText;
    THTMLFontStyles FLinkStyle = fsUnderline;
    THTMLFontStyles FDefaultStyle = 0;
    int32_t FDefaultHeight = -11;
    uint8_t FCharset = 0;
    std::u16string FDefaultFont = u"MS Sans Serif";
    int32_t FMaxWidth = 0;
    THTMLColor FDefaultBgColor = clNone;
    THTMLColor FHighlightBgColor = 0, FHighlightColor = 0;
    THTMLItem* FSelectedItem = nullptr;
    THTMLRect FRect;
    TTextSize FTextSize;
    THTMLInputItem* FActiveItem = nullptr;
};

class IHTMLCanvas;

// Paints an input item into a rectangle; the base paints nothing.
class THTMLControlPainter
{
public:
    virtual ~THTMLControlPainter() = default;
    virtual void PaintTo(IHTMLCanvas&, const THTMLRect&) {}
};

} // namespace html
