#include "crash/delivery/tracker_choices.h"
#include "crash/delivery/xml_scan.h"

#include <gtest/gtest.h>

namespace crash {
namespace {

using Strings = std::vector<std::string>;

// An XML-RPC reply as Bugzilla's Product.get gives it: values nested in values, members
// told apart by their names.
constexpr std::string_view Products = R"(<?xml version="1.0"?>
<methodResponse><params><param><value><struct>
  <member><name>products</name><value><array><data>
    <value><struct>
      <member><name>name</name><value><string>Lumi &amp; Gate</string></value></member>
      <member><name>id</name><value><int>7</int></value></member>
    </struct></value>
    <value><struct>
      <member><name>name</name><value><string><![CDATA[ <raw> &amp; ]]></string></value></member>
    </struct></value>
  </data></array></value></member>
</struct></value></param></params></methodResponse>)";

TEST(ExtractXml, FollowsThePathCountingNamesakesAndChoosesByTheNameElement)
{
    // The outermost <value> of the reply holds all the rest: its namesakes inside do not end it.
    const std::string result = ExtractXml(Products, "<methodResponse>|<params>|<value>");
    EXPECT_TRUE(result.starts_with("<struct>")) << result;
    EXPECT_TRUE(result.ends_with("</struct>")) << result;

    // The products' names, level by level: a member holds its nested members whole, so a name
    // member of a product is not taken for one of the reply.
    const std::string products = ExtractXml(Products, "<member>", 0, "<name>", "products");
    Strings names;
    for (const std::string& product : ExtractXmlAll(products, "<array>|<data>|<value>"))
        names.push_back(
            ExtractXml(ExtractXml(product, "<struct>|<member>", 0, "<name>", "name"), "<string>"));
    // Entities resolved, CDATA taken as it stands.
    EXPECT_EQ(names, (Strings{"Lumi & Gate", " <raw> &amp; "}));
    EXPECT_EQ(ExtractXml(Products, "<member>", 0, "<name>", "name"), "");
    // The members' names themselves, and the index choosing among the matches.
    EXPECT_EQ(ExtractXmlAll(Products, "<struct>|<member>", "<name>"), (Strings{"products"}));
    EXPECT_EQ(ExtractXml(Products, "<member>", 0, "<name>"), "products");
    EXPECT_EQ(ExtractXml(Products, "<int>"), "7");
    EXPECT_EQ(ExtractXml(Products, "<int>", 1), "");
}

TEST(ExtractXml, TagsWithAttributesPrefixesAndSelfClosingOnes)
{
    constexpr std::string_view soap =
        R"(<SOAP-ENV:Body><ns1:mc_issue_addResponse><return xsi:type="xsd:integer">42</return>)"
        R"(<returned>no</returned><return/></ns1:mc_issue_addResponse></SOAP-ENV:Body>)";
    EXPECT_EQ(ExtractXmlAll(soap, "<return"), (Strings{"42", ""}));
    // A comment that looks like an element is no element.
    EXPECT_EQ(ExtractXml("<!-- <token>no</token> --><token> yes </token>", "<token>"), "yes");
    EXPECT_EQ(ExtractXml("<a>&amp;</a>", "<a>", 0, {}, {}, false), "&amp;");
}

TEST(ExtractXml, WhatItCannotFindIsEmpty)
{
    for (const std::string_view text :
         {"", "<token>unclosed", "<token", "<token>a<token>b</token>", "</token>", "<tokenx>a</tokenx>",
          "<![CDATA[<token>a</token>", "<!-- <token>a</token>"})
        EXPECT_EQ(ExtractXml(text, "<token>"), "") << text;
    EXPECT_TRUE(ExtractXmlAll("<a>x</a>", "").empty());
    EXPECT_TRUE(ExtractXmlAll("<a>x</a>", "<a>||<b>").empty());
}

TEST(XmlText, EscapingAndResolvingAreEachOnePass)
{
    // Linear, whatever the text: a quadratic reading of this would not end in the test's time.
    EXPECT_EQ(ExtractXml("<t>" + std::string(4u << 20, '&') + "</t>", "<t>").size(), 4u << 20);
    EXPECT_EQ(XmlUnescaped("&quot;&amp;lt;&apos;&lt;&gt;"), "\"&lt;'<>");
    EXPECT_EQ(XmlUnescaped("&#65;&#x42;&#x1F600;"), "AB\xF0\x9F\x98\x80");
    // What is not a reference stays as it is.
    EXPECT_EQ(XmlUnescaped("a & b; &nbsp; &#; &#xD800; &#0; &#99999999;"),
              "a & b; &nbsp; &#; &#xD800; &#0; &#99999999;");

    const std::string text = "<b>\"Tom's\" & ]]> \xC3\xA4\xE2\x82\xAC\t\r\n";
    const std::string escaped = XmlEscaped(text);
    EXPECT_EQ(escaped, "&lt;b&gt;&quot;Tom&apos;s&quot; &amp; ]]&gt; \xC3\xA4\xE2\x82\xAC\t&#13;\n");
    EXPECT_EQ(XmlUnescaped(escaped), text);
    // XML cannot carry control characters or broken UTF-8: they become U+FFFD.
    EXPECT_EQ(XmlEscaped(std::string("a\x01\x7F\xFF", 4)), "a\xEF\xBF\xBD\x7F\xEF\xBF\xBD");
}

TEST(TrackerChoices, AValueBecomesTheIdOfItsEntryOrTheFirstOne)
{
    const Strings list{"Low", "Normal", "High"}, ids{"10", "20", "30"};
    std::string value = "normal";
    EXPECT_TRUE(CheckListValue(value, list, ids));
    EXPECT_EQ(value, "20");
    value = "urgent";
    EXPECT_FALSE(CheckListValue(value, list, ids));
    EXPECT_EQ(value, "10");
    value = "HIGH";
    EXPECT_TRUE(CheckListValue(value, list, {}));
    EXPECT_EQ(value, "High");
    value = "kept";
    EXPECT_FALSE(CheckListValue(value, {}, {}));
    EXPECT_EQ(value, "kept");
}

TEST(TrackerChoices, WithinAProjectOnly)
{
    const Strings areas{"Setup", "Misc", "Setup", "Docs"}, projects{"One", "One", "Two", "Two"},
        ids{"1", "2", "3", "4"};
    std::string value = "setup";
    EXPECT_TRUE(CheckDoubleListValue(value, areas, ids, projects, "two"));
    EXPECT_EQ(value, "3");
    value = "Misc"; // an area of another project: the project's first one
    EXPECT_FALSE(CheckDoubleListValue(value, areas, ids, projects, "Two"));
    EXPECT_EQ(value, "3");
    value = "Misc";
    EXPECT_FALSE(CheckDoubleListValue(value, areas, ids, projects, "Three"));
    EXPECT_EQ(value, "Misc");
}

} // namespace
} // namespace crash
