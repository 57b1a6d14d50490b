#pragma once
// The renderer of HTML captions: parses a caption into a THTMLData (this file), and paints
// and hit-tests it (the painting side). One renderer keeps, across parses, the number the
// next list item gets.

#include "controls/html/html_data.h"
#include "controls/html/html_measure.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace html {

// A picture the host supplies for an "img" tag; the parser needs only its size, the
// painter gets it again by its source name.
struct THTMLPicture
{
    int Width = 0, Height = 0;
    std::shared_ptr<const void> Image; // the host's own picture object
    bool Empty() const noexcept { return Width <= 0 || Height <= 0; }
};

class THTMLRender
{
public:
    // Measures with `measurer`, which must outlive the renderer.
    explicit THTMLRender(IHTMLMeasurer& measurer);
    virtual ~THTMLRender();
    THTMLRender(const THTMLRender&) = delete;
    THTMLRender& operator=(const THTMLRender&) = delete;

    // Parses `Text` into the current data object (PrepareToData with CurData()).
    void PrepareText(const std::u16string& Text, int MaxWidth, bool AutoWrap);
    // Parses `Text` into `CurData`, which is the current data until the parse ends. An
    // exception during the parse (a bad "checked" value, a failing handler) empties the
    // data and goes no further.
    void PrepareToData(const std::u16string& Text, int MaxWidth, bool AutoWrap, THTMLData& CurData);

    THTMLData& CurData() noexcept { return *FCurData; }
    void SetCurData(THTMLData* data) noexcept { FCurData = data ? data : &FIntData; }
    IHTMLMeasurer& Measurer() noexcept { return FMeasurer; }
    int32_t CurListItem() const noexcept { return FCurListItem; }

    // The painter an input item gets when its type is set (the base paints nothing).
    virtual std::unique_ptr<THTMLControlPainter> CreatePainter(THTMLInputItem& item);

    std::function<void(THTMLRender* Sender, const std::u16string& aVarName, std::u16string& aVarValue)>
        OnVariableNeeded;
    std::function<void(THTMLRender* Sender, const std::u16string& Src, std::optional<THTMLPicture>& Image)>
        OnImageNeeded;
    std::function<void(THTMLRender* Sender, const std::u16string& SourceName, THTMLPicture& Image)>
        OnImageNeededEx;

    // The picture of `source` as the host supplies it (OnImageNeeded, else OnImageNeededEx,
    // whose exceptions are swallowed); empty when neither gives one.
    THTMLPicture RequestImage(const std::u16string& source);

private:
    friend class THTMLParser;

    IHTMLMeasurer& FMeasurer;
    int FDpi;
    THTMLData FIntData;
    THTMLData* FCurData;
    int32_t FCurListItem = 0;
};

} // namespace html
