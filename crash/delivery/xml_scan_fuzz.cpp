#include "crash/delivery/xml_scan.h"

#include <cstdint>
#include <string>

// Any reply of a tracker, scanned the ways the trackers' channels scan theirs: a path of
// nested elements, a member chosen by its name, the name children of every element.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    (void)crash::ExtractXml(text, "<methodResponse>|<params>|<value>");
    for (const std::string& member : crash::ExtractXmlAll(text, "<struct>|<member>", "<name>", "faultString"))
        (void)crash::ExtractXml(member, "<string>");
    (void)crash::ExtractXmlAll(text, "<project>", "<sProject>");
    (void)crash::ExtractXml(text, "<return", 1, {}, {}, false);
    (void)crash::XmlEscaped(crash::XmlUnescaped(text));
    return 0;
}
