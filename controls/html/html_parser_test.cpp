#include "controls/html/html_dump.h"
#include "controls/html/html_render.h"

#include "base/utf.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace html {
namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Parses `markup` as a golden case does: a leading "<!-- golden: ... -->" may set the wrap
// width ("width=N", 400 otherwise) and turn wrapping on ("wrap").
std::string GoldenOf(const std::string& markup)
{
    int width = 400;
    bool wrap = false;
    const std::string directive = "<!-- golden:";
    if (markup.rfind(directive, 0) == 0) {
        std::istringstream words(markup.substr(directive.size(), markup.find("-->") - directive.size()));
        for (std::string word; words >> word;) {
            if (word == "wrap")
                wrap = true;
            else if (word.rfind("width=", 0) == 0)
                width = std::atoi(word.c_str() + 6);
        }
    }
    TFixedMeasurer measurer;
    THTMLRender render(measurer);
    render.OnVariableNeeded = [](THTMLRender*, const std::u16string& name, std::u16string& value) {
        if (name == u"UserName")
            value = u"Ada";
    };
    render.OnImageNeededEx = [](THTMLRender*, const std::u16string&, THTMLPicture& picture) {
        picture.Width = 16;
        picture.Height = 8;
    };
    render.PrepareText(base::Utf8ToUtf16(markup), width, wrap);
    const THTMLData& d = render.CurData();
    return DumpHTMLData(d) + "text: " + base::Utf16ToUtf8(d.AsText()) +
           "\nhtml: " + base::Utf16ToUtf8(d.GenerateHTML()) + "\n";
}

// Every golden/NAME.html parses to golden/NAME.txt. With LUMIGATE_UPDATE_GOLDEN=1 the .txt
// files are written instead (scripts/update_golden.sh), to be reviewed in the diff.
TEST(HTMLParser, GoldenCases)
{
    const bool update = std::getenv("LUMIGATE_UPDATE_GOLDEN") != nullptr;
    int cases = 0;
    for (const auto& entry : fs::directory_iterator(LUMIGATE_HTML_GOLDEN)) {
        if (entry.path().extension() != ".html")
            continue;
        ++cases;
        const std::string actual = GoldenOf(ReadFile(entry.path()));
        fs::path expectedPath = entry.path();
        expectedPath.replace_extension(".txt");
        if (update) {
            std::ofstream(expectedPath, std::ios::binary) << actual;
            continue;
        }
        EXPECT_EQ(actual, ReadFile(expectedPath)) << entry.path().filename();
    }
    EXPECT_GE(cases, 20);
}

TEST(HTMLParser, TheListCounterIsKeptAcrossParses)
{
    TFixedMeasurer measurer;
    THTMLRender render(measurer);
    render.PrepareText(u"<ol><li>a<li>b", 400, false);
    EXPECT_EQ(render.CurListItem(), 3);
    render.PrepareText(u"<li>c", 400, false);
    const auto& items = render.CurData().FArray;
    const auto li =
        std::find_if(items.begin(), items.end(), [](const auto& i) { return i->FItemType == hitLI; });
    ASSERT_NE(li, items.end());
    EXPECT_EQ(static_cast<THTMLBreakItem&>(**li).FListItemN, 3);
    EXPECT_EQ(render.CurListItem(), 4);
}

TEST(HTMLParser, FailingHandlersEmptyTheDataAndTheCurrentDataComesBack)
{
    TFixedMeasurer measurer;
    THTMLRender render(measurer);
    THTMLData other(&render);
    render.OnVariableNeeded = [](THTMLRender*, const std::u16string&, std::u16string&) {
        throw std::runtime_error("no variables today");
    };
    const THTMLData* own = &render.CurData();
    render.PrepareToData(u"text <~~x> more", 400, false, other);
    EXPECT_TRUE(other.FArray.empty());
    EXPECT_EQ(other.FTextSize, TTextSize{});
    EXPECT_EQ(&render.CurData(), own); // not `other`, although its parse failed
    render.PrepareText(u"plain", 400, false);
    EXPECT_FALSE(render.CurData().FArray.empty());

    // An image handler that throws fails the parse; the extended one is forgiven.
    render.OnImageNeeded = [](THTMLRender*, const std::u16string&, std::optional<THTMLPicture>&) {
        throw std::runtime_error("no images");
    };
    render.PrepareText(u"x<img src=a>", 400, false);
    EXPECT_TRUE(render.CurData().FArray.empty());
    render.OnImageNeeded = nullptr;
    render.OnImageNeededEx = [](THTMLRender*, const std::u16string&, THTMLPicture&) { throw 1; };
    render.PrepareText(u"x<img src=a>", 400, false);
    ASSERT_EQ(render.CurData().FArray.size(), 3u);
    EXPECT_EQ(render.CurData().FArray[2]->FWidth, 0);
}

TEST(HTMLParser, ImagesTakeTheSizeOfThePictureTheHostSupplies)
{
    TFixedMeasurer measurer;
    THTMLRender render(measurer);
    std::u16string asked;
    render.OnImageNeeded = [&](THTMLRender*, const std::u16string& src, std::optional<THTMLPicture>& image) {
        asked = src;
        image = THTMLPicture{40, 20, nullptr};
    };
    bool extended = false;
    render.OnImageNeededEx = [&](THTMLRender*, const std::u16string&, THTMLPicture&) { extended = true; };
    render.PrepareText(u"<img src=\"logo.png\" height=10>", 400, false);
    EXPECT_EQ(asked, u"logo.png");
    EXPECT_FALSE(extended);
    const THTMLItem& image = *render.CurData().FArray.at(1);
    EXPECT_EQ(image.FItemType, hitBitmap);
    EXPECT_EQ(image.FWidth, 40);
    EXPECT_EQ(image.FHeight, 10);
    EXPECT_TRUE(image.FTransparent);
}

TEST(HTMLParser, HostDefaultsStartTheParse)
{
    TFixedMeasurer measurer;
    THTMLRender render(measurer);
    THTMLData& d = render.CurData();
    d.FDefaultStyle = fsBold;
    d.FDefaultFont = u"Verdana";
    d.FDefaultHeight = -13;
    d.FDefaultColor = 0x123456;
    render.PrepareText(u"a</b>b", 400, false);
    // A closing tag doesn't take away what the default style has.
    ASSERT_EQ(d.FArray.size(), 3u);
    EXPECT_EQ(d.FArray[2]->FText, u"b");
    EXPECT_EQ(d.FArray[2]->FontStyle, unsigned(fsBold));
    EXPECT_EQ(d.FArray[1]->FFontRef, u"Verdana");
    EXPECT_EQ(d.FArray[1]->FontHeight, -13);
    EXPECT_EQ(d.FArray[1]->FontColor, 0x123456u);
}

} // namespace
} // namespace html
