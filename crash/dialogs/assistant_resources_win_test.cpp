// The stock assistant forms travel as resources of the module that carries the reporter:
// "TVX" and the form's name in upper case, each a definition the reader takes whole.

#include "crash/dialogs/assistant_form.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace crash {
namespace {

TFormReadResult FormResource(const wchar_t* name)
{
    const HRSRC info = ::FindResourceW(nullptr, name, MAKEINTRESOURCEW(10)); // RT_RCDATA
    const HGLOBAL loaded = info ? ::LoadResource(nullptr, info) : nullptr;
    const auto* data = static_cast<const uint8_t*>(loaded ? ::LockResource(loaded) : nullptr);
    EXPECT_TRUE(data) << name;
    return ReadFormDefinition(std::span(data, data ? ::SizeofResource(nullptr, info) : 0));
}

TEST(AssistantResources, TheThreeStockFormsAreResourcesOfTheModule)
{
    const TFormReadResult contact = FormResource(L"TVXCONTACTFORM");
    EXPECT_FALSE(contact.UnsupportedKind);
    EXPECT_EQ(contact.Form.Name, u"ContactForm");
    EXPECT_EQ(contact.Form.Items.size(), 8u);
    EXPECT_EQ(FormResource(L"TVXDETAILSFORM").Form.Name, u"DetailsForm");
    EXPECT_EQ(FormResource(L"TVXSCRSHOTFORM").Form.Timer, 250);
}

} // namespace
} // namespace crash
