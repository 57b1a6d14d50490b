#pragma once
// The crash reporter's parsed settings: SettingsProperty records in stream order, with
// duplicates kept; a lookup takes the first record whose name matches exactly (letter case
// counts). Platform-free: 8-bit texts are converted by the caller's decoder.

#include "base/property_stream.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace crash {

enum TPropertyType : uint8_t
{
    ptString = 0,
    ptInteger = 1,
    ptBoolean = 2,
    ptBinary = 3
};

struct SettingsProperty
{
    std::string Name;
    TPropertyType Type = ptString;
    bool BoolValue = false;
    int32_t IntValue = 0;
    std::u16string StrValue;
};

class TSettingsList
{
public:
    TSettingsList() { FItems.reserve(147); }
    void Add(SettingsProperty property) { FItems.push_back(std::move(property)); }
    const SettingsProperty* Find(std::string_view name) const;
    SettingsProperty* Find(std::string_view name);
    const std::vector<SettingsProperty>& Items() const noexcept { return FItems; }
    size_t Count() const noexcept { return FItems.size(); }

private:
    std::vector<SettingsProperty> FItems;
};

struct TSettingsParse
{
    TSettingsList List;
    // The module carries a block, whatever its header (LoadModuleSettings): a module with
    // a block has valid settings, an empty list when the header is another.
    bool Found = false;
    // The block began with "TPF0", "TVexcatch" and "Vexcatch"; else the list is empty.
    bool HeaderOk = false;
    // The parse stopped at a record of an unknown value kind (the records before it stay).
    bool UnknownKind = false;
    uint8_t BadKind = 0;
};

TSettingsParse ParseSettingsBlock(std::span<const uint8_t> block,
                                  const base::TAnsiDecoder& ansi = base::Latin1Decode);

// Turns the three stored passwords of a parsed block back into clear text (ParseSettingsBlock
// does this already).
void DecodeStoredPasswords(TSettingsList& list);

// The text of the message the reporter shows for a block with an unknown value kind.
std::u16string InvalidSettingsMessage(uint8_t kind);

} // namespace crash
