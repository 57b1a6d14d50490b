#pragma once
// The shape fill: how to paint a rectangular area (a colour or gradient, optionally split
// into an upper and a mirrored lower part, rounded corners, a border, a shadow, a glow, a
// background picture and a picture on top, each with its own opacity) and the routine that
// paints it onto a GDI+ surface. A control owns one fill, calls Fill from its paint routine
// and repaints on OnChange.
//
// Setters announce only real changes, and nothing between BeginUpdate and EndUpdate;
// EndUpdate itself announces nothing.

#include "controls/marquee/fill_picture.h"
#include "controls/marquee/fill_types.h"
#include "controls/marquee/gdiplus_session.h"
#include "controls/marquee/shape_fill_properties.h"
#include "framework/object.h"

#include <cstdint>
#include <memory>
#include <string>

namespace framework {
class TIniFile;
}

namespace marquee {

class TShapeFill : public framework::TObject
{
public:
    TShapeFill();
    ~TShapeFill() override;

#define MARQUEE_FILL_ACCESSORS(Type, Name, Initial)                                                          \
    Type Name() const noexcept                                                                               \
    {                                                                                                        \
        return F##Name;                                                                                      \
    }                                                                                                        \
    void Set##Name(Type value);
    MARQUEE_FILL_PROPERTIES(MARQUEE_FILL_ACCESSORS)
#undef MARQUEE_FILL_ACCESSORS

    const TFillPicture& Picture() const noexcept
    {
        return FPicture;
    }
    const TFillPicture& BackGroundPicture() const noexcept
    {
        return FBackGroundPicture;
    }
    // Copy the given picture's content into the fill's own picture.
    void SetPicture(const TFillPicture& picture)
    {
        FPicture.Assign(picture);
    }
    void SetBackGroundPicture(const TFillPicture& picture)
    {
        FBackGroundPicture.Assign(picture);
    }
    void LoadPicture(std::span<const uint8_t> data)
    {
        FPicture.LoadFromBytes(data);
    }
    void LoadBackGroundPicture(std::span<const uint8_t> data)
    {
        FBackGroundPicture.LoadFromBytes(data);
    }

    // Not stored with a layout.
    bool Focus() const noexcept
    {
        return FFocus;
    }
    void SetFocus(bool value);
    TFillColor FocusColor() const noexcept
    {
        return FFocusColor;
    }
    void SetFocusColor(TFillColor value);
    // The rectangle inside the border, as the last Fill left it.
    const TRectF& FocusRect() const noexcept
    {
        return FFocusRect;
    }

    framework::TNotifyEvent OnChange;

    // Copies every published value and both pictures (not OnChange, Focus or FocusColor),
    // then announces the change.
    void Assign(const TShapeFill& source);
    void BeginUpdate() noexcept
    {
        ++FUpdateCount;
    }
    void EndUpdate() noexcept
    {
        if (FUpdateCount > 0)
            --FUpdateCount;
    }

    // Paints `r`. Each opacity argument below 255 is used as given, 255 takes the fill's own
    // value. Returns the rectangle that remains after the shadow took its share. A null
    // surface paints nothing.
    TRectF Fill(Gdiplus::Graphics* graphics, const TRectF& r, uint8_t ABorderOpacity = 255,
                uint8_t AOpacity = 255, uint8_t AOpacityTo = 255, uint8_t AOpacityMirror = 255,
                uint8_t AOpacityMirrorTo = 255);
    // Paints the main part (Mirror false) or the mirror part of a fill.
    void DrawGradientBackGround(Gdiplus::Graphics& graphics, const TRectF& r, bool Mirror, uint8_t oc,
                                uint8_t octo, uint8_t ocmr, uint8_t ocmrto);
    void DrawGlow(Gdiplus::Graphics& graphics, const TRectF& r);

    // The values in a configuration file's section; the pictures as hexadecimal text.
    // LoadFromFile throws EConvertError ("No Hex-Number") for a picture text with a
    // character that is not a hexadecimal digit; the values read before it stay set.
    void SaveToFile(const std::wstring& fileName, const std::wstring& section) const;
    void SaveToFile(framework::TIniFile& ini, const std::wstring& section) const;
    void LoadFromFile(const std::wstring& fileName, const std::wstring& section);
    void LoadFromFile(framework::TIniFile& ini, const std::wstring& section);
    // The published values on the clipboard under the format "GDI+ Fill". Both report
    // whether the clipboard could be used; loading does nothing without such data.
    bool SaveToClipBoard() const;
    bool LoadFromClipBoard();

    // The stream the clipboard holds: a "TSaver" object with the values as properties of
    // "SaveObject". Reading ignores unknown names, wrong kinds and values out of range.
    std::vector<uint8_t> SaveToStream() const;
    void LoadFromStream(std::span<const uint8_t> data);

private:
    void Changed();
    void DrawFillPicture(Gdiplus::Graphics& graphics, bool aspectRatio, TPictureMode aspectMode, int left,
                         int top, const TRectI& box, int w, int h, TFillPicturePosition position,
                         TFillPicture& picture);
    void DrawBackGroundPicture(Gdiplus::Graphics& graphics, const TRectF& r);

    TGdiPlusSession FSession;
#define MARQUEE_FILL_FIELD(Type, Name, Initial) Type F##Name = Initial;
    MARQUEE_FILL_PROPERTIES(MARQUEE_FILL_FIELD)
#undef MARQUEE_FILL_FIELD
    TFillPicture FPicture;
    TFillPicture FBackGroundPicture;
    bool FFocus = false;
    TFillColor FFocusColor = 0;
    TRectF FFocusRect;
    int FUpdateCount = 0;
};

// A rounded rectangle as the fill draws it: a closed figure with the alternate fill mode,
// clockwise from the top left; each rounded corner a 90-degree arc of a circle of diameter
// 2 * radius. A radius of 0 or less gives square corners.
std::unique_ptr<Gdiplus::GraphicsPath> CreateRoundRectPath(const TRectF& r, int radius,
                                                           TFillRoundingType type);

// Paints a rectangle with a soft radial gradient from its top (or bottom) edge, clipped to
// its rounded outline.
void FillRadialGradient(Gdiplus::Graphics& graphics, const TRectF& r, TFillColor color, TFillColor colorTo,
                        uint8_t opacity, uint8_t opacityTo, bool top, int radius, TFillRoundingType type);

struct TGradientPaint
{
    TFillGradientType Kind = gtSolid;
    TFillColor Color = ColorNone, ColorTo = ColorNone;
    uint8_t Opacity = 255, OpacityTo = 255;
    THatchStyle Hatch{};
    int Angle = 0;
    const TFillPicture* Texture = nullptr;
    TFillColor BorderColor = ColorNone;
    int BorderWidth = 0;
    Gdiplus::DashStyle BorderDash = Gdiplus::DashStyleSolid;
    bool Mirror = false;
};
// Paints the path if there is one, else the rectangle, with one gradient kind; then draws
// its outline when a border colour is given.
void PaintGradient(Gdiplus::Graphics& graphics, const Gdiplus::GraphicsPath* path, const TRectF& r,
                   const TGradientPaint& paint);

// The GDI+ colour of `color` (system colours resolved) at `opacity`.
Gdiplus::Color ArgbColor(uint8_t opacity, TFillColor color);

} // namespace marquee
