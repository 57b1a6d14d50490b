#include "controls/html/html_gdi.h"

#include "framework/graphics.h"

#include <algorithm>
#include <uxtheme.h>
#include <vssym32.h>

namespace html {
namespace {

COLORREF Rgb(THTMLColor color)
{
    return framework::ColorToRGB(color);
}

std::wstring Wide(const std::u16string& s)
{
    return {s.begin(), s.end()};
}

} // namespace

HFONT THTMLFontCache::Get(const THTMLFont& f)
{
    auto key = std::make_tuple(f.Face, f.Height, f.Style, f.Charset);
    auto at = FFonts.find(key);
    if (at == FFonts.end()) {
        const std::wstring face = Wide(f.Face.substr(0, LF_FACESIZE - 1));
        HFONT font =
            ::CreateFontW(f.Height, 0, 0, 0, f.Style & fsBold ? FW_BOLD : FW_NORMAL, f.Style & fsItalic,
                          f.Style & fsUnderline, f.Style & fsStrikeOut, f.Charset, OUT_DEFAULT_PRECIS,
                          CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face.c_str());
        at = FFonts.emplace(key, base::GdiObject(font)).first;
    }
    return static_cast<HFONT>(at->second.Get());
}

TGdiMeasurer::TGdiMeasurer()
{
    base::WindowDc screen(nullptr);
    FDc = base::MemoryDc(::CreateCompatibleDC(screen.Get()));
    FBitmap = base::GdiObject(::CreateCompatibleBitmap(screen.Get(), 1, 1));
    FSelection = std::make_unique<base::DcSelection>(FDc.Get(), FBitmap.Get());
    const int dpi = screen.Get() ? ::GetDeviceCaps(screen.Get(), LOGPIXELSY) : 0;
    FDpi = dpi > 0 ? dpi : 100;
}

THTMLFontMetrics TGdiMeasurer::Metrics(const THTMLFont& font)
{
    base::DcSelection selected(FDc.Get(), FFonts.Get(font));
    TEXTMETRICW tm{};
    if (!::GetTextMetricsW(FDc.Get(), &tm))
        return {};
    return {tm.tmHeight, tm.tmDescent, tm.tmMaxCharWidth, tm.tmAveCharWidth};
}

int TGdiMeasurer::TextWidth(const THTMLFont& font, std::u16string_view text)
{
    if (text.empty())
        return 0;
    base::DcSelection selected(FDc.Get(), FFonts.Get(font));
    SIZE size{};
    ::GetTextExtentPoint32W(FDc.Get(), reinterpret_cast<const wchar_t*>(text.data()),
                            static_cast<int>(text.size()), &size);
    return size.cx;
}

THTMLPicture PictureOfBitmap(std::shared_ptr<const base::GdiObject> bitmap)
{
    BITMAP info{};
    if (!bitmap || !::GetObjectW(bitmap->Get(), sizeof info, &info))
        return {};
    return {info.bmWidth, std::abs(info.bmHeight), std::make_shared<const TGdiImage>(std::move(bitmap))};
}

TGdiCanvas::TGdiCanvas(HDC target, const THTMLRect& R, bool doubleBuffered, THTMLFontCache& fonts)
    : FTarget(target), FR(R), FFonts(fonts), FDc(target)
{
    LOGBRUSH brush{};
    if (::GetObjectW(::GetCurrentObject(target, OBJ_BRUSH), sizeof brush, &brush))
        FBrushColor = brush.lbColor;
    if (doubleBuffered) {
        const int w = R.Width() + 1, h = R.Height() + 1;
        FMemory = base::MemoryDc(::CreateCompatibleDC(target));
        FBuffer = base::GdiObject(::CreateCompatibleBitmap(target, w > 0 ? w : 1, h > 0 ? h : 1));
        if (FMemory && FBuffer) {
            FBufferSelection = std::make_unique<base::DcSelection>(FMemory.Get(), FBuffer.Get());
            ::BitBlt(FMemory.Get(), 0, 0, w, h, target, R.Left, R.Top, SRCCOPY);
            FDc = FMemory.Get();
        }
    }
    if (FDc == target) {
        FOffsetX = R.Left;
        FOffsetY = R.Top;
    }
    FSavedAlign = ::SetTextAlign(FDc, TA_BASELINE | TA_LEFT);
    FSavedFont = ::GetCurrentObject(FDc, OBJ_FONT);
}

TGdiCanvas::~TGdiCanvas()
{
    ::SetTextAlign(FDc, FSavedAlign);
    if (FSavedFont)
        ::SelectObject(FDc, FSavedFont);
    if (FDc != FTarget)
        ::BitBlt(FTarget, FR.Left, FR.Top, FR.Width() + 1, FR.Height() + 1, FDc, 0, 0, SRCCOPY);
}

RECT TGdiCanvas::Rect(const THTMLRect& r) const
{
    return {r.Left + FOffsetX, r.Top + FOffsetY, r.Right + FOffsetX, r.Bottom + FOffsetY};
}

void TGdiCanvas::SelectFont(const THTMLFont& font)
{
    ::SelectObject(FDc, FFonts.Get(font));
}

THTMLColor TGdiCanvas::ResolveColor(THTMLColor color)
{
    return Rgb(color);
}

void TGdiCanvas::DrawRun(int x, int baseline, const std::u16string& text, const THTMLFont& font,
                         THTMLColor color, THTMLColor background)
{
    SelectFont(font);
    ::SetTextColor(FDc, Rgb(color));
    if (background == clNone) {
        ::SetBkMode(FDc, TRANSPARENT);
    } else {
        ::SetBkMode(FDc, OPAQUE);
        ::SetBkColor(FDc, Rgb(background));
    }
    ::ExtTextOutW(FDc, x + FOffsetX, baseline + FOffsetY, 0, nullptr,
                  reinterpret_cast<const wchar_t*>(text.data()), static_cast<UINT>(text.size()), nullptr);
}

void TGdiCanvas::DrawBullet(const THTMLRect& box, THTMLColor color)
{
    base::GdiObject brush(::CreateSolidBrush(Rgb(color)));
    base::DcSelection selected(FDc, brush.Get());
    const RECT r = Rect(box);
    ::Ellipse(FDc, r.left, r.top, r.right, r.bottom);
}

void TGdiCanvas::DrawNumber(int x, int baseline, const std::u16string& text, const THTMLFont& font,
                            THTMLColor color)
{
    SelectFont(font);
    ::SetTextColor(FDc, Rgb(color));
    ::SetBkMode(FDc, OPAQUE);
    ::SetBkColor(FDc, FBrushColor);
    ::ExtTextOutW(FDc, x + FOffsetX, baseline + FOffsetY, 0, nullptr,
                  reinterpret_cast<const wchar_t*>(text.data()), static_cast<UINT>(text.size()), nullptr);
}

void TGdiCanvas::DrawPicture(const THTMLPicture& picture, bool transparent, const THTMLRect& cut,
                             const THTMLRect& box)
{
    const auto* image = dynamic_cast<const TGdiImage*>(picture.Image.get());
    const base::GdiObject* bitmap = image ? image->Bitmap.get() : nullptr;
    if (!bitmap || !bitmap->Get())
        return;
    base::MemoryDc source(::CreateCompatibleDC(FDc));
    base::DcSelection selected(source.Get(), bitmap->Get());
    if (transparent) {
        // The classic masked copy: the bottom-left pixel's colour is cut out through a
        // monochrome mask.
        const RECT r = Rect(cut);
        const int w = std::min<int>(r.right - r.left, picture.Width);
        const int h = std::min<int>(r.bottom - r.top, picture.Height);
        if (w <= 0 || h <= 0)
            return;
        const COLORREF key = ::GetPixel(source.Get(), 0, picture.Height - 1);
        base::MemoryDc maskDc(::CreateCompatibleDC(FDc));
        base::GdiObject mask(::CreateBitmap(w, h, 1, 1, nullptr));
        base::DcSelection maskSelected(maskDc.Get(), mask.Get());
        ::SetBkColor(source.Get(), key);
        ::BitBlt(maskDc.Get(), 0, 0, w, h, source.Get(), 0, 0, SRCCOPY);
        const COLORREF oldBk = ::SetBkColor(FDc, RGB(255, 255, 255));
        const COLORREF oldText = ::SetTextColor(FDc, RGB(0, 0, 0));
        ::BitBlt(FDc, r.left, r.top, w, h, source.Get(), 0, 0, SRCINVERT);
        ::BitBlt(FDc, r.left, r.top, w, h, maskDc.Get(), 0, 0, SRCAND);
        ::BitBlt(FDc, r.left, r.top, w, h, source.Get(), 0, 0, SRCINVERT);
        ::SetBkColor(FDc, oldBk);
        ::SetTextColor(FDc, oldText);
        return;
    }
    const RECT r = Rect(box);
    ::SetStretchBltMode(FDc, COLORONCOLOR);
    ::StretchBlt(FDc, r.left, r.top, r.right - r.left, r.bottom - r.top, source.Get(), 0, 0, picture.Width,
                 picture.Height, SRCCOPY);
}

void TGdiCanvas::DrawRule(int left, int right, int top)
{
    const RECT r = Rect({left, top, right, top + 2});
    if (r.right <= r.left)
        return;
    const HBRUSH shadow = ::GetSysColorBrush(COLOR_BTNSHADOW), face = ::GetSysColorBrush(COLOR_BTNFACE);
    const RECT topEdge{r.left, r.top, r.right, r.top + 1}, bottomEdge{r.left, r.top + 1, r.right, r.bottom};
    const RECT leftEdge{r.left, r.top, r.left + 1, r.bottom},
        rightEdge{r.right - 1, r.top + 1, r.right, r.bottom};
    ::FillRect(FDc, &bottomEdge, face);
    ::FillRect(FDc, &rightEdge, face);
    ::FillRect(FDc, &topEdge, shadow);
    ::FillRect(FDc, &leftEdge, shadow);
}

void TGdiCanvas::DrawCheckBox(bool radio, bool checked, bool hot, bool focused, const THTMLRect& box)
{
    RECT r = Rect(box);
    const int w = r.right - r.left, h = r.bottom - r.top;
    if (w <= 0 || h <= 0)
        return;
    HTHEME theme = ::IsThemeActive() && ::IsAppThemed() ? ::OpenThemeData(nullptr, L"BUTTON") : nullptr;
    if (theme) {
        const int part = radio ? BP_RADIOBUTTON : BP_CHECKBOX;
        // Check boxes and radio buttons number their four states alike.
        const int state = checked ? (hot ? CBS_CHECKEDHOT : CBS_CHECKEDNORMAL)
                                  : (hot ? CBS_UNCHECKEDHOT : CBS_UNCHECKEDNORMAL);
        static_assert(int{CBS_CHECKEDHOT} == int{RBS_CHECKEDHOT} &&
                      int{CBS_UNCHECKEDNORMAL} == int{RBS_UNCHECKEDNORMAL});
        ::DrawThemeBackground(theme, FDc, part, state, &r, nullptr);
        ::CloseThemeData(theme);
    } else {
        // The classic frame control, drawn into a bitmap of the box's size and copied there.
        base::MemoryDc temp(::CreateCompatibleDC(FDc));
        base::GdiObject bitmap(::CreateCompatibleBitmap(FDc, w, h));
        base::DcSelection selected(temp.Get(), bitmap.Get());
        ::BitBlt(temp.Get(), 0, 0, w, h, FDc, r.left, r.top, SRCCOPY);
        RECT inner{0, 0, w, h};
        ::DrawFrameControl(temp.Get(), &inner, DFC_BUTTON,
                           (radio ? DFCS_BUTTONRADIO : DFCS_BUTTONCHECK) | (checked ? DFCS_CHECKED : 0) |
                               (hot ? DFCS_HOT : 0));
        ::BitBlt(FDc, r.left, r.top, w, h, temp.Get(), 0, 0, SRCCOPY);
    }
    if (focused) {
        RECT focus{r.left - 1, r.top - 1, r.right + 1, r.bottom + 1};
        ::DrawFocusRect(FDc, &focus);
    }
}

void TGdiCanvas::PlaceControl(THTMLControlItem& item, const THTMLRect& box)
{
    if (OnPlaceControl)
        OnPlaceControl(item,
                       {box.Left + FR.Left, box.Top + FR.Top, box.Right + FR.Left, box.Bottom + FR.Top});
}

} // namespace html
