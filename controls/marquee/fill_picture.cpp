#include "controls/marquee/fill_picture.h"

#include "base/global_memory.h"

namespace marquee {

TFillPicture::TFillPicture() = default;

// Members go in reverse order: the images before the stream they read, GDI+ last.
TFillPicture::~TFillPicture() = default;

int TFillPicture::Width() const
{
    return FImage ? static_cast<int>(FImage->GetWidth()) : 0;
}

int TFillPicture::Height() const
{
    return FImage ? static_cast<int>(FImage->GetHeight()) : 0;
}

void TFillPicture::LoadFromBytes(std::span<const uint8_t> data)
{
    FData.assign(data.begin(), data.end());
    Decode();
    if (OnChange)
        OnChange(this);
}

void TFillPicture::Assign(const TFillPicture& source)
{
    if (&source == this)
        return;
    FTextureWidth = source.FTextureWidth;
    FTextureHeight = source.FTextureHeight;
    LoadFromBytes(source.FData);
}

void TFillPicture::Decode()
{
    FScaled.reset();
    FImage.reset();
    FStream.Reset();
    if (FData.empty() || !FSession.Ok())
        return;
    base::GlobalMemory memory = base::GlobalCopy(FData);
    if (!memory)
        return;
    IStream* stream = nullptr;
    if (::CreateStreamOnHGlobal(memory.Get(), TRUE, &stream) != S_OK)
        return;
    // The stream frees the memory when it is released.
    memory.Release();
    FStream = base::ComPtr<IStream>::Adopt(stream);
    std::unique_ptr<Gdiplus::Image> image(Gdiplus::Image::FromStream(stream));
    if (image && image->GetLastStatus() == Gdiplus::Ok && image->GetWidth() > 0 && image->GetHeight() > 0)
        FImage = std::move(image);
}

void TFillPicture::SetSize(int width, int height)
{
    if (width == FTextureWidth && height == FTextureHeight)
        return;
    FTextureWidth = width;
    FTextureHeight = height;
    FScaled.reset();
}

void TFillPicture::Draw(Gdiplus::Graphics& graphics, const Gdiplus::RectF& rect) const
{
    if (!FImage)
        return;
    // Scaling samples beyond the image's edges; mirrored samples keep the edges from fading
    // into transparency.
    Gdiplus::ImageAttributes attributes;
    attributes.SetWrapMode(Gdiplus::WrapModeTileFlipXY);
    graphics.DrawImage(FImage.get(), rect, 0, 0, static_cast<float>(Width()), static_cast<float>(Height()),
                       Gdiplus::UnitPixel, &attributes);
}

Gdiplus::Image* TFillPicture::TextureImage() const
{
    if (!FImage)
        return nullptr;
    if (FTextureWidth <= 0 || FTextureHeight <= 0 || (FTextureWidth == Width() && FTextureHeight == Height()))
        return FImage.get();
    if (!FScaled) {
        auto scaled = std::make_unique<Gdiplus::Bitmap>(FTextureWidth, FTextureHeight, PixelFormat32bppARGB);
        if (scaled->GetLastStatus() != Gdiplus::Ok)
            return FImage.get();
        Gdiplus::Graphics g(scaled.get());
        g.DrawImage(FImage.get(), Gdiplus::RectF(0, 0, static_cast<float>(FTextureWidth),
                                                 static_cast<float>(FTextureHeight)));
        FScaled = std::move(scaled);
    }
    return FScaled.get();
}

void TFillPicture::FillTexture(Gdiplus::Graphics& graphics, const Gdiplus::RectF& rect,
                               const Gdiplus::GraphicsPath* path) const
{
    Gdiplus::Image* image = TextureImage();
    if (!image)
        return;
    Gdiplus::TextureBrush brush(image, Gdiplus::WrapModeTile);
    if (brush.GetLastStatus() != Gdiplus::Ok)
        return;
    if (path)
        graphics.FillPath(&brush, path);
    else
        graphics.FillRectangle(&brush, rect);
}

} // namespace marquee
