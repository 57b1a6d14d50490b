#include "controls/html/html_dump.h"

#include "base/utf.h"

#include <cstdio>

namespace html {
namespace {

const char* KindName(THTMLItemType t)
{
    static const char* const Names[] = {"char", "softbreak", "break",  "para",  "bitmap",  "hr", "li",
                                        "ul",   "ol",        "indent", "input", "control", "var"};
    return t < sizeof Names / sizeof Names[0] ? Names[t] : "?";
}

std::string Hex(uint32_t v)
{
    char text[16];
    std::snprintf(text, sizeof text, "%X", static_cast<unsigned>(v));
    return text;
}

std::string Styles(THTMLFontStyles s)
{
    std::string text;
    text += s & fsBold ? 'B' : '-';
    text += s & fsItalic ? 'I' : '-';
    text += s & fsUnderline ? 'U' : '-';
    text += s & fsStrikeOut ? 'S' : '-';
    return text;
}

// Text in double quotes with CR, LF, tab, quotes and backslashes escaped.
std::string Quoted(const std::u16string& text)
{
    std::string out = "\"";
    for (char c : base::Utf16ToUtf8(text)) {
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\t')
            out += "\\t";
        else if (c == '"' || c == '\\')
            out += std::string("\\") + c;
        else
            out += c;
    }
    return out + "\"";
}

} // namespace

std::string DumpHTMLData(const THTMLData& data)
{
    std::string out = "size " + std::to_string(data.FTextSize.Width) + "x" +
                      std::to_string(data.FTextSize.Height) + ", " + std::to_string(data.LineCount()) +
                      " lines\n";
    for (const auto& p : data.FArray) {
        const THTMLItem& item = *p;
        std::string line = KindName(item.FItemType);
        if (!item.FText.empty() || item.FItemType == hitChar)
            line += " " + Quoted(item.FText);
        line += " " + Styles(item.FontStyle) + " h" + std::to_string(item.FontHeight);
        if (!item.FFontRef.empty())
            line += " face=" + Quoted(item.FFontRef);
        line += " color=" + Hex(item.FontColor);
        if (item.FontBgColor != clNone)
            line += " bg=" + Hex(item.FontBgColor);
        if (item.FFntCnt)
            line += " fonts=" + std::to_string(item.FFntCnt);
        if (item.IsLink())
            line += " link=" + Quoted(item.FLinkRef);
        if (item.IsSub())
            line += " sub";
        if (item.IsSuper())
            line += " super";
        if (item.FBoolState & bsAbsolute)
            line += " abs";
        if (item.FBoolState & bsClosedPara)
            line += " closed";
        if (item.FIndent)
            line += " indent=" + std::to_string(item.FIndent);
        line += " w" + std::to_string(item.FWidth) + " h" + std::to_string(item.FHeight);
        if (const auto* b = dynamic_cast<const THTMLBreakItem*>(&item)) {
            line +=
                " align=" + std::to_string(b->Alignment()) + " descent=" + std::to_string(b->LineDescent());
            if (item.FItemType == hitLI)
                line += " level=" + std::to_string(b->FListLevel) + " n=" + std::to_string(b->FListItemN);
        }
        if (const auto* in = dynamic_cast<const THTMLInputItem*>(&item)) {
            line += in->FInputType == itCheckBox ? " checkbox" : " radio";
            if (in->FChecked)
                line += " checked";
            if (!in->FName.empty())
                line += " name=" + Quoted(in->FName);
            if (!in->FValue.empty())
                line += " value=" + Quoted(in->FValue);
            if (in->FTag)
                line += " group=" + std::to_string(in->FTag);
        }
        if (const auto* c = dynamic_cast<const THTMLControlItem*>(&item)) {
            line += " class=" + base::Utf16ToUtf8(c->FControlClass);
            for (const auto& prop : c->FControlPropList)
                line += " " + Quoted(prop);
        }
        if (item.FItemType == hitBitmap && !item.FTransparent)
            line += " solid";
        out += line + "\n";
    }
    return out;
}

} // namespace html
