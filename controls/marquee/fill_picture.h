#pragma once
// A picture of the shape fill, held as its encoded bytes (PNG, BMP, JPEG or GIF, decoded
// by GDI+). Bytes that GDI+ cannot decode are kept, so they are saved again unchanged, but
// the picture then counts as empty and draws nothing.

#include "base/com_ptr.h"
#include "controls/marquee/gdiplus_session.h"
#include "framework/object.h"

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace marquee {

class TFillPicture : public framework::TObject
{
public:
    TFillPicture();
    ~TFillPicture() override;

    bool Empty() const noexcept { return !FImage; }
    // The decoded image's size in pixels; 0 for an empty picture.
    int Width() const;
    int Height() const;
    const std::vector<uint8_t>& Data() const noexcept { return FData; }

    // Takes the encoded bytes (an empty span clears the picture) and announces the change.
    void LoadFromBytes(std::span<const uint8_t> data);
    void Assign(const TFillPicture& source);

    // The size the texture is drawn at; 0 x 0 is the image's own size.
    void SetSize(int width, int height);

    // Draws the image scaled into `rect`.
    void Draw(Gdiplus::Graphics& graphics, const Gdiplus::RectF& rect) const;
    // Fills the rectangle, or the path when one is given, with the image as a repeating
    // texture at the set size.
    void FillTexture(Gdiplus::Graphics& graphics, const Gdiplus::RectF& rect,
                     const Gdiplus::GraphicsPath* path) const;

    framework::TNotifyEvent OnChange;

private:
    void Decode();
    Gdiplus::Image* TextureImage() const;

    TGdiPlusSession FSession;
    std::vector<uint8_t> FData;
    base::ComPtr<IStream> FStream; // GDI+ reads the image from it for as long as the image lives
    std::unique_ptr<Gdiplus::Image> FImage;
    int FTextureWidth = 0, FTextureHeight = 0;
    mutable std::unique_ptr<Gdiplus::Bitmap> FScaled; // the image at the texture size
};

} // namespace marquee
