#include "crash/dialogs/assistant_form.h"

#include "base/ascii_case.h"
#include "base/property_stream.h"
#include "base/utf.h"

#include <string_view>

namespace crash {
namespace {

constexpr std::u16string_view MainNames[mbCount] = {u"ContinueBtn", u"SkipBtn", u"CancelBtn"};
constexpr std::u16string_view MainCaptions[mbCount] = {u"Next >", u"Skip", u"Cancel"};

bool Same(std::u16string_view a, std::u16string_view b)
{
    return base::AsciiEqualIgnoringCase(a, b);
}

// An item's kind from its class name: the interface's name with any first letter
// ("IVxEdit", "TVxEdit").
bool KindOf(const std::string& className, TItemKind& kind)
{
    static constexpr std::pair<std::string_view, TItemKind> Kinds[] = {{"VxButton", TItemKind::Button},
                                                                       {"VxLabel", TItemKind::Label},
                                                                       {"VxEdit", TItemKind::Edit},
                                                                       {"VxCheckBox", TItemKind::CheckBox},
                                                                       {"VxImage", TItemKind::Image}};
    if (className.empty())
        return false;
    const std::string_view rest = std::string_view(className).substr(1);
    for (const auto& [name, k] : Kinds) {
        if (base::AsciiEqualIgnoringCase(rest, name)) {
            kind = k;
            return true;
        }
    }
    return false;
}

// Values are applied as text: integers in decimal, booleans as "1" or "0".
std::u16string ValueText(const base::TStreamProperty& p)
{
    if (base::IsIntegerKind(p.Kind)) {
        const std::string digits = std::to_string(p.Int);
        return {digits.begin(), digits.end()};
    }
    if (base::IsBooleanKind(p.Kind))
        return p.Bool ? u"1" : u"0";
    return p.Text;
}

bool ContainsNoCase(std::u16string_view text, std::u16string_view part)
{
    for (size_t i = 0; i + part.size() <= text.size(); ++i)
        if (Same(text.substr(i, part.size()), part))
            return true;
    return false;
}

bool BoolOf(std::u16string_view text)
{
    return Same(text, u"yes") || Same(text, u"true") || text == u"1";
}

int32_t IntOf(std::u16string_view text)
{
    // A decimal number; anything else is 0.
    bool negative = false;
    size_t i = 0;
    if (!text.empty() && (text[0] == u'-' || text[0] == u'+')) {
        negative = text[0] == u'-';
        i = 1;
    }
    if (i == text.size())
        return 0;
    int64_t value = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < u'0' || text[i] > u'9')
            return 0;
        value = value * 10 + (text[i] - u'0');
        if (value > int64_t{INT32_MAX} + negative)
            return 0;
    }
    return static_cast<int32_t>(negative ? -value : value);
}

std::u16string ReplaceLineFeeds(std::u16string text)
{
    for (size_t at = text.find(u"%lf%"); at != std::u16string::npos; at = text.find(u"%lf%", at + 2))
        text.replace(at, 4, u"\r\n");
    return text;
}

void ApplyToForm(TFormDefinition& form, const std::string& name, const std::u16string& value)
{
    if (name == "Message")
        form.Message = value;
    else if (name == "MinWidth")
        form.MinWidth = IntOf(value);
    else if (name == "ActiveControl")
        form.ActiveControl = value;
    else if (name == "Timer")
        form.Timer = IntOf(value);
    else if (name == "OnAction")
        form.OnAction = value;
}

void ApplyToItem(TFormItem& item, const std::string& name, const std::u16string& value)
{
    const bool button = item.Kind == TItemKind::Button, label = item.Kind == TItemKind::Label,
               edit = item.Kind == TItemKind::Edit, check = item.Kind == TItemKind::CheckBox,
               image = item.Kind == TItemKind::Image;
    if (name == "Spacing")
        item.Spacing = IntOf(value);
    else if (name == "Enabled")
        item.Enabled = BoolOf(value);
    else if (name == "OutputType")
        item.OutputType = ContainsNoCase(value, u"ownSection") ? otOwnSection : otHeader; // "nvoOwnSection"
    else if (name == "OutputName")
        item.OutputName = value;
    else if (name == "Caption" && (button || label || check))
        item.Caption = value;
    else if (name == "Text" && check)
        item.Caption = value;
    else if (name == "MinWidth" && button)
        item.MinWidth = IntOf(value);
    else if (name == "NoOwnerDraw" && button)
        item.NoOwnerDraw = BoolOf(value);
    else if (name == "Visible" && button)
        item.Invisible = !BoolOf(value);
    else if (name == "Text" && edit)
        item.Text = ReplaceLineFeeds(value);
    else if (name == "Lines" && edit)
        item.Lines = IntOf(value);
    else if (name == "Optional" && edit)
        item.Optional = BoolOf(value);
    else if (name == "Colored" && edit)
        item.Colored = BoolOf(value);
    else if (name == "Valid" && edit)
        item.Valid = BoolOf(value);
    else if (name == "Checked" && check)
        item.Checked = BoolOf(value);
    else if (name == "File" && image)
        item.File = value;
    else if (name == "Width" && image)
        item.Width = IntOf(value);
    else if (name == "Height" && image)
        item.Height = IntOf(value);
    else if (name == "Clickable" && image)
        item.Clickable = BoolOf(value);
    else if (name == "Border" && image)
        item.Border = BoolOf(value);
}

struct TReader
{
    TFormDefinition& Form;
    bool Named = false;

    void Visit(const base::TStreamObject& object, bool root)
    {
        std::u16string name = base::Utf8ToUtf16(object.Name);
        if (Same(name, u"AbortBtn")) // older definitions
            name = MainNames[mbCancel];
        TItemKind kind;
        TFormItem* item = nullptr;
        if (!root && KindOf(object.ClassName, kind)) {
            for (int m = 0; m < mbCount && kind == TItemKind::Button; ++m)
                if (Same(name, MainNames[m]))
                    item = &Form.Items[static_cast<size_t>(m)];
            if (!item) {
                Form.Items.emplace_back();
                item = &Form.Items.back();
                item->Kind = kind;
                item->Name = name;
            }
        } else if (!Named) {
            Form.Name = name;
            Named = true;
        }
        for (const base::TStreamProperty& p : object.Properties) {
            if (item)
                ApplyToItem(*item, p.Name, ValueText(p));
            else
                ApplyToForm(Form, p.Name, ValueText(p));
        }
        for (const base::TStreamObject& child : object.Children)
            Visit(child, false);
    }
};

} // namespace

TFormReadResult ReadFormDefinition(std::span<const uint8_t> data, const base::TAnsiDecoder& ansi)
{
    TFormReadResult out;
    for (int m = 0; m < mbCount; ++m) {
        TFormItem button;
        button.Name = MainNames[m];
        button.Caption = MainCaptions[m];
        out.Form.Items.push_back(std::move(button));
    }
    const base::TStreamReadResult read = base::ReadPropertyStream(data, ansi);
    if (read.Status == base::TStreamStatus::BadSignature)
        return out;
    TReader{out.Form}.Visit(read.Root, true);
    out.UnsupportedKind = read.Status == base::TStreamStatus::UnknownKind;
    out.BadKind = read.BadKind;
    return out;
}

const TFormItem* FindItem(const TFormDefinition& form, std::u16string_view name)
{
    for (const TFormItem& item : form.Items)
        if (Same(item.Name, name))
            return &item;
    return nullptr;
}

} // namespace crash
