// Saving and loading a shape fill: a configuration file's section, and the clipboard.

#include "base/global_memory.h"
#include "base/property_stream.h"
#include "base/win_handle.h"
#include "base/window_class.h"
#include "controls/marquee/hex_text.h"
#include "controls/marquee/shape_fill.h"
#include "framework/exception.h"
#include "framework/ini_file.h"

#include <climits>
#include <cstring>

namespace marquee {
namespace {

// The keys of a configuration file in the order they are written. The picture texts and
// their lengths follow them. The "PictureSize" key holds the length of the picture text
// (as files written before always had it, since that value overwrote the property), so
// the PictureSize property has a key of its own.
#define MARQUEE_FILL_INI_KEYS(K)                                                                             \
    K(Color, "Color")                                                                                        \
    K(ColorTo, "ColorTo")                                                                                    \
    K(ColorMirror, "ColorMirror")                                                                            \
    K(ColorMirrorTo, "ColorMirrorTo")                                                                        \
    K(GradientType, "GradientType")                                                                          \
    K(GradientMirrorType, "GradientMirrorType")                                                              \
    K(HatchStyle, "HatchStyle")                                                                              \
    K(HatchStyleMirror, "HatchStyleMirror")                                                                  \
    K(BackGroundPictureMode, "BackGroundPictureMode")                                                        \
    K(BackGroundPicturePosition, "BackGroundPicturePosition")                                                \
    K(BackGroundPictureLeft, "BackGroundPictureLeft")                                                        \
    K(BackGroundPictureTop, "BackGroundPictureTop")                                                          \
    K(PicturePosition, "PicturePosition")                                                                    \
    K(PictureLeft, "PictureLeft")                                                                            \
    K(PictureTop, "PictureTop")                                                                              \
    K(PictureSize, "PictureSizeMode")                                                                        \
    K(PictureWidth, "PictureWidth")                                                                          \
    K(PictureHeight, "PictureHeight")                                                                        \
    K(Opacity, "Opacity")                                                                                    \
    K(OpacityTo, "OpacityTo")                                                                                \
    K(OpacityMirror, "OpacityMirror")                                                                        \
    K(OpacityMirrorTo, "OpacityMirrorTo")                                                                    \
    K(BorderColor, "BorderColor")                                                                            \
    K(BorderOpacity, "BorderOpacity")                                                                        \
    K(BorderWidth, "BorderWidth")                                                                            \
    K(Rounding, "Rounding")                                                                                  \
    K(RoundingType, "RoundingType")                                                                          \
    K(ShadowOffset, "ShadowOffset")                                                                          \
    K(ShadowColor, "ShadowColor")                                                                            \
    K(Angle, "Angle")                                                                                        \
    K(Glow, "Glow")                                                                                          \
    K(GlowGradientColor, "GlowGradientColor")                                                                \
    K(GlowRadialColor, "GlowRadialColor")

// Values as the files and the clipboard store them (32-bit integers, booleans as 0 and
// 1), and back: a stored number out of its type's range is refused, so that a damaged
// file can't put an enumeration out of its values.
template <class T> int32_t ToStored(T value)
{
    return static_cast<int32_t>(value);
}

template <class T> constexpr int ValueCount();
template <> constexpr int ValueCount<TFillGradientType>()
{
    return GradientTypeCount;
}
template <> constexpr int ValueCount<TShadowType>()
{
    return ShadowTypeCount;
}
template <> constexpr int ValueCount<TGlowMode>()
{
    return GlowModeCount;
}
template <> constexpr int ValueCount<TFillRoundingType>()
{
    return RoundingTypeCount;
}
template <> constexpr int ValueCount<TFillPicturePosition>()
{
    return PicturePositionCount;
}
template <> constexpr int ValueCount<TFillPictureSize>()
{
    return PictureSizeCount;
}
template <> constexpr int ValueCount<TFillPictureMode>()
{
    return FillPictureModeCount;
}
template <> constexpr int ValueCount<TPictureMode>()
{
    return PictureModeCount;
}
template <> constexpr int ValueCount<THatchStyle>()
{
    return HatchStyleCount;
}

template <class T> bool FromStored(int32_t stored, T& value)
{
    if constexpr (std::is_same_v<T, bool>) {
        value = stored != 0;
    } else if constexpr (std::is_same_v<T, uint8_t>) {
        if (stored < 0 || stored > 255)
            return false;
        value = static_cast<uint8_t>(stored);
    } else if constexpr (std::is_same_v<T, TFillColor> || std::is_same_v<T, int>) {
        value = static_cast<T>(stored);
    } else {
        if (stored < 0 || stored >= ValueCount<T>())
            return false;
        value = static_cast<T>(stored);
    }
    return true;
}

std::wstring Wide(const char* ascii)
{
    return std::wstring(ascii, ascii + std::strlen(ascii));
}

std::string Narrow(const std::wstring& text)
{
    std::string ascii;
    for (wchar_t c : text)
        ascii += c < 0x80 ? static_cast<char>(c) : '?';
    return ascii;
}

void SavePictureText(framework::TIniFile& ini, const std::wstring& section, const TFillPicture& picture,
                     const wchar_t* textKey, const wchar_t* sizeKey)
{
    const std::string text = HexUpper(picture.Data());
    ini.WriteString(section, textKey, Wide(text.c_str()));
    ini.WriteInteger(section, sizeKey, static_cast<int>(std::min<size_t>(text.size(), INT_MAX)));
}

// The picture's bytes from its text, when its length key says there is one.
std::optional<std::vector<uint8_t>> LoadPictureText(const framework::TIniFile& ini,
                                                    const std::wstring& section, const wchar_t* textKey,
                                                    const wchar_t* sizeKey)
{
    if (ini.ReadInteger(section, sizeKey, 0) <= 0)
        return std::nullopt;
    auto bytes = DecodeHex(Narrow(ini.ReadString(section, textKey, L"")));
    if (!bytes)
        throw framework::EConvertError(L"No Hex-Number");
    return bytes;
}

constexpr char SaverPrefix[] = "SaveObject.";

UINT ClipboardFormat()
{
    static const UINT format = ::RegisterClipboardFormatW(L"GDI+ Fill");
    return format;
}

LRESULT CALLBACK ClipboardOwnerProc(HWND wnd, UINT msg, WPARAM wparam, LPARAM lparam)
{
    return ::DefWindowProcW(wnd, msg, wparam, lparam);
}

// The clipboard, open for this object's lifetime.
class OpenClipboard
{
public:
    explicit OpenClipboard(HWND owner) : FOpen(owner && ::OpenClipboard(owner)) {}
    ~OpenClipboard()
    {
        if (FOpen)
            ::CloseClipboard();
    }
    OpenClipboard(const OpenClipboard&) = delete;
    OpenClipboard& operator=(const OpenClipboard&) = delete;
    explicit operator bool() const noexcept { return FOpen; }

private:
    bool FOpen;
};

} // namespace

void TShapeFill::SaveToFile(const std::wstring& fileName, const std::wstring& section) const
{
    framework::TIniFile ini(fileName);
    SaveToFile(ini, section);
}

void TShapeFill::LoadFromFile(const std::wstring& fileName, const std::wstring& section)
{
    framework::TIniFile ini(fileName);
    LoadFromFile(ini, section);
}

void TShapeFill::SaveToFile(framework::TIniFile& ini, const std::wstring& section) const
{
#define MARQUEE_FILL_SAVE(Name, Key) ini.WriteInteger(section, L"" Key, ToStored(F##Name));
    MARQUEE_FILL_INI_KEYS(MARQUEE_FILL_SAVE)
#undef MARQUEE_FILL_SAVE
    SavePictureText(ini, section, FPicture, L"Picture", L"PictureSize");
    SavePictureText(ini, section, FBackGroundPicture, L"BackgroundPicture", L"BackgroundPictureSize");
}

void TShapeFill::LoadFromFile(framework::TIniFile& ini, const std::wstring& section)
{
    auto load = [&] {
#define MARQUEE_FILL_LOAD(Name, Key)                                                                         \
    FromStored(ini.ReadInteger(section, L"" Key, ToStored(F##Name)), F##Name);
        MARQUEE_FILL_INI_KEYS(MARQUEE_FILL_LOAD)
#undef MARQUEE_FILL_LOAD
        if (auto bytes = LoadPictureText(ini, section, L"Picture", L"PictureSize"))
            FPicture.LoadFromBytes(*bytes);
        if (auto bytes = LoadPictureText(ini, section, L"BackgroundPicture", L"BackgroundPictureSize"))
            FBackGroundPicture.LoadFromBytes(*bytes);
    };
    // One announcement at the end, also when a picture text stops the load: what was read
    // before it stays set.
    ++FUpdateCount;
    try {
        load();
    } catch (...) {
        --FUpdateCount;
        Changed();
        throw;
    }
    --FUpdateCount;
    Changed();
}

std::vector<uint8_t> TShapeFill::SaveToStream() const
{
    base::TStreamObject saver;
    saver.ClassName = "TSaver";
    auto add = [&](const char* name, auto value) {
        base::TStreamProperty p;
        p.Name = std::string(SaverPrefix) + name;
        if constexpr (std::is_same_v<decltype(value), bool>) {
            p.Kind = value ? base::vkTrue : base::vkFalse;
            p.Bool = value;
        } else {
            p.Kind = base::vkInt32;
            p.Int = ToStored(value);
        }
        saver.Properties.push_back(std::move(p));
    };
#define MARQUEE_FILL_STREAM(Type, Name, Initial) add(#Name, F##Name);
    MARQUEE_FILL_PROPERTIES(MARQUEE_FILL_STREAM)
#undef MARQUEE_FILL_STREAM
    // Pictures as their encoded bytes, one character per byte.
    auto addPicture = [&](const char* name, const TFillPicture& picture) {
        base::TStreamProperty p;
        p.Name = std::string(SaverPrefix) + name;
        p.Kind = base::vkLString;
        const auto& data = picture.Data();
        p.Text =
            base::Latin1Decode(std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
        saver.Properties.push_back(std::move(p));
    };
    addPicture("Picture.Data", FPicture);
    addPicture("BackGroundPicture.Data", FBackGroundPicture);
    return base::WritePropertyStream(saver);
}

void TShapeFill::LoadFromStream(std::span<const uint8_t> data)
{
    const base::TStreamReadResult read = base::ReadPropertyStream(data);
    if (read.Root.ClassName != "TSaver")
        return;
    ++FUpdateCount;
    for (const base::TStreamProperty& p : read.Root.Properties) {
        if (p.Name.rfind(SaverPrefix, 0) != 0)
            continue;
        const std::string name = p.Name.substr(sizeof SaverPrefix - 1);
        const bool integer = base::IsIntegerKind(p.Kind), boolean = base::IsBooleanKind(p.Kind);
#define MARQUEE_FILL_UNSTREAM(Type, Name, Initial)                                                           \
    if (name == #Name) {                                                                                     \
        if (std::is_same_v<Type, bool> ? boolean : integer)                                                  \
            FromStored(boolean ? int32_t{p.Bool} : p.Int, F##Name);                                          \
        continue;                                                                                            \
    }
        MARQUEE_FILL_PROPERTIES(MARQUEE_FILL_UNSTREAM)
#undef MARQUEE_FILL_UNSTREAM
        if (base::IsStringKind(p.Kind) && (name == "Picture.Data" || name == "BackGroundPicture.Data")) {
            const std::string bytes = base::Latin1Encode(p.Text);
            (name == "Picture.Data" ? FPicture : FBackGroundPicture)
                .LoadFromBytes({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()});
        }
    }
    --FUpdateCount;
    Changed();
}

bool TShapeFill::SaveToClipBoard() const
{
    const std::vector<uint8_t> stream = SaveToStream();
    base::Window owner = base::CreateMessageWindow(L"LumigateClipboardOwner", &ClipboardOwnerProc);
    OpenClipboard clipboard(owner.Get());
    if (!clipboard || !ClipboardFormat())
        return false;
    base::GlobalMemory memory = base::GlobalCopy(stream);
    if (!memory)
        return false;
    ::EmptyClipboard();
    if (!::SetClipboardData(ClipboardFormat(), memory.Get()))
        return false;
    // The clipboard owns the memory once it took it.
    memory.Release();
    return true;
}

bool TShapeFill::LoadFromClipBoard()
{
    base::Window owner = base::CreateMessageWindow(L"LumigateClipboardOwner", &ClipboardOwnerProc);
    OpenClipboard clipboard(owner.Get());
    if (!clipboard || !ClipboardFormat())
        return false;
    HANDLE memory = ::GetClipboardData(ClipboardFormat());
    if (!memory)
        return true;
    const std::vector<uint8_t> stream = base::GlobalBytes(memory);
    if (stream.empty())
        return false;
    LoadFromStream(stream);
    return true;
}

} // namespace marquee
