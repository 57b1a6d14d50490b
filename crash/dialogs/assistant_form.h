#pragma once
// The definition of one assistant form as its resource stores it: a property stream
// ("TPF0") whose root object is the form and whose children are the items (buttons, labels,
// edits, check boxes, images). The three main buttons (continue, skip, cancel) always come
// first; the stream only configures them. Platform-free: the resource may hold anything.

#include "base/property_stream.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace crash {

enum class TItemKind
{
    Button,
    Label,
    Edit,
    CheckBox,
    Image
};

enum TOutputType
{
    otHeader,
    otOwnSection
};

struct TFormItem
{
    TItemKind Kind = TItemKind::Button;
    std::u16string Name;
    bool TabStop = true;
    bool Enabled = true;
    int32_t Spacing = 0; // the gap below the item; 0: by the layout's rules
    TOutputType OutputType = otHeader;
    std::u16string OutputName; // the report's field; empty: not reported

    std::u16string Caption; // buttons, labels, check boxes (empty: the name)
    int32_t MinWidth = 0;   // buttons
    bool NoOwnerDraw = false, Invisible = false;
    int32_t Lines = 1; // edits: 1 single-line, more: multi-line with that many visible lines
    bool Optional = false, Colored = false, Valid = true;
    std::u16string Text;  // edits
    bool Checked = false; // check boxes
    std::u16string File;  // images
    int32_t Width = 0, Height = 0;
    bool Clickable = false, Border = false;

    // A button's or label's caption: its name when it has none.
    std::u16string ShownCaption() const { return Caption.empty() ? Name : Caption; }
    friend bool operator==(const TFormItem&, const TFormItem&) = default;
};

// Items 0 to 2 are always these.
enum TMainButton
{
    mbContinue,
    mbSkip,
    mbCancel,
    mbCount
};

struct TFormDefinition
{
    std::u16string Name;
    std::u16string Message;       // the header text
    int32_t MinWidth = 0;         // of the client area
    std::u16string ActiveControl; // the item focused first
    int32_t Timer = 0;            // milliseconds; 0: none
    std::u16string OnAction;      // the action handler's name
    std::vector<TFormItem> Items;
};

struct TFormReadResult
{
    TFormDefinition Form;
    // Reading stopped at a value of an unsupported kind: the form keeps what came before,
    // and the user is told "Internal error: Invalid assistant resource (BadKind)."
    bool UnsupportedKind = false;
    uint8_t BadKind = 0;
};

// The form of `data`; only its main buttons when the data is no property stream. 8-bit texts
// are decoded by `ansi` (the system's code page on Windows, as the settings block's).
TFormReadResult ReadFormDefinition(std::span<const uint8_t> data,
                                   const base::TAnsiDecoder& ansi = base::Latin1Decode);

// The item of that name (case ignored), or null.
const TFormItem* FindItem(const TFormDefinition& form, std::u16string_view name);

} // namespace crash
