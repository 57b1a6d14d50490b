#include "controls/html/html_names.h"

#include "base/ascii_case.h"

#include <algorithm>

namespace html {
namespace {

struct TNamed
{
    std::u16string_view Name;
    uint32_t Value;
};

constexpr TNamed Entities[] = {
    {u"quot", 34},    {u"amp", 38},     {u"lt", 60},      {u"gt", 62},
    {u"nbsp", 32}, // an ordinary space, not U+00A0
    {u"iexcl", 161},  {u"cent", 162},   {u"pound", 163},  {u"curren", 164},
    {u"yen", 165},    {u"brvbar", 166}, {u"sect", 167},   {u"uml", 168},
    {u"copy", 169},   {u"ordf", 170},   {u"laquo", 171},  {u"not", 172},
    {u"shy", 173},    {u"reg", 174},    {u"macr", 175},   {u"deg", 176},
    {u"plusmn", 177}, {u"sup2", 178},   {u"sup3", 179},   {u"acute", 180},
    {u"micro", 181},  {u"para", 182},   {u"middot", 183}, {u"cedil", 184},
    {u"sup1", 185},   {u"ordm", 186},   {u"raquo", 187},  {u"frac14", 188},
    {u"frac12", 189}, {u"frac34", 190}, {u"iquest", 191}, {u"Agrave", 192},
    {u"Aacute", 193}, {u"Acirc", 194},  {u"Atilde", 195}, {u"Auml", 196},
    {u"Aring", 197},  {u"AElig", 198},  {u"Ccedil", 199}, {u"Egrave", 200},
    {u"Eacute", 201}, {u"Ecirc", 202},  {u"Euml", 203},   {u"Igrave", 204},
    {u"Iacute", 205}, {u"Icirc", 206},  {u"Iuml", 207},   {u"ETH", 208},
    {u"Ntilde", 209}, {u"Ograve", 210}, {u"Oacute", 211}, {u"Ocirc", 212},
    {u"Otilde", 213}, {u"Ouml", 214},   {u"times", 215},  {u"Oslash", 216},
    {u"Ugrave", 217}, {u"Uacute", 218}, {u"Ucirc", 219},  {u"Uuml", 220},
    {u"Yacute", 221}, {u"THORN", 222},  {u"szlig", 223},  {u"agrave", 224},
    {u"aacute", 225}, {u"acirc", 226},  {u"atilde", 227}, {u"auml", 228},
    {u"aring", 229},  {u"aelig", 230},  {u"ccedil", 231}, {u"egrave", 232},
    {u"eacute", 233}, {u"ecirc", 234},  {u"euml", 235},   {u"igrave", 236},
    {u"iacute", 237}, {u"icirc", 238},  {u"iuml", 239},   {u"eth", 240},
    {u"ntilde", 241}, {u"ograve", 242}, {u"oacute", 243}, {u"ocirc", 244},
    {u"otilde", 245}, {u"ouml", 246},   {u"divide", 247}, {u"oslash", 248},
    {u"ugrave", 249}, {u"uacute", 250}, {u"trade", 8482}, {u"euro", 8364},
};

constexpr uint32_t System(uint32_t index)
{
    return 0xFF000000u | index;
}

constexpr TNamed Colors[] = {
    {u"clBlack", 0x000000},
    {u"clMaroon", 0x000080},
    {u"clGreen", 0x008000},
    {u"clOlive", 0x008080},
    {u"clNavy", 0x800000},
    {u"clPurple", 0x800080},
    {u"clTeal", 0x808000},
    {u"clGray", 0x808080},
    {u"clSilver", 0xC0C0C0},
    {u"clRed", 0x0000FF},
    {u"clLime", 0x00FF00},
    {u"clYellow", 0x00FFFF},
    {u"clBlue", 0xFF0000},
    {u"clFuchsia", 0xFF00FF},
    {u"clAqua", 0xFFFF00},
    {u"clWhite", 0xFFFFFF},
    {u"clMoneyGreen", 0xC0DCC0},
    {u"clSkyBlue", 0xF0CAA6},
    {u"clCream", 0xF0FBFF},
    {u"clMedGray", 0xA4A0A0},
    {u"clNone", 0x1FFFFFFF},
    {u"clDefault", 0x20000000},
    {u"clScrollBar", System(0)},
    {u"clBackground", System(1)},
    {u"clActiveCaption", System(2)},
    {u"clInactiveCaption", System(3)},
    {u"clMenu", System(4)},
    {u"clWindow", System(5)},
    {u"clWindowFrame", System(6)},
    {u"clMenuText", System(7)},
    {u"clWindowText", System(8)},
    {u"clCaptionText", System(9)},
    {u"clActiveBorder", System(10)},
    {u"clInactiveBorder", System(11)},
    {u"clAppWorkSpace", System(12)},
    {u"clHighlight", System(13)},
    {u"clHighlightText", System(14)},
    {u"clBtnFace", System(15)},
    {u"clBtnShadow", System(16)},
    {u"clGrayText", System(17)},
    {u"clBtnText", System(18)},
    {u"clInactiveCaptionText", System(19)},
    {u"clBtnHighlight", System(20)},
    {u"cl3DDkShadow", System(21)},
    {u"cl3DLight", System(22)},
    {u"clInfoText", System(23)},
    {u"clInfoBk", System(24)},
    {u"clHotLight", System(26)},
    {u"clGradientActiveCaption", System(27)},
    {u"clGradientInactiveCaption", System(28)},
    {u"clMenuHighlight", System(29)},
    {u"clMenuBar", System(30)},
};
static_assert(sizeof Colors / sizeof Colors[0] == 52);

} // namespace

std::optional<char16_t> EntityCharacter(std::u16string_view name)
{
    for (const TNamed& e : Entities)
        if (e.Name == name)
            return static_cast<char16_t>(e.Value);
    return std::nullopt;
}

std::optional<THTMLColor> ColorByName(std::u16string_view name)
{
    for (const TNamed& c : Colors)
        if (base::AsciiEqualIgnoringCase(c.Name, name))
            return c.Value;
    return std::nullopt;
}

} // namespace html
