#include "crash/ui/report_path.h"

#include <vector>

namespace crash {

std::u16string AbsolutePath(const std::u16string& path, const std::u16string& exeFolder,
                            const std::u16string& exeRoot)
{
    std::u16string p = path;
    if (p.size() < 3 || (p[0] != u'\\' && p[1] != u':'))
        p = exeFolder + p;
    else if (p[0] == u'\\' && p[1] != u'\\')
        p = exeRoot + p.substr(1);
    for (size_t at; (at = p.find(u"\\.\\")) != std::u16string::npos;)
        p.erase(at, 2);
    // The parent-folder segments, each with the folder before it; the first two characters
    // (a drive, or the two backslashes of a network path) are never climbed over.
    const std::u16string head = p.substr(0, 2);
    std::vector<std::u16string> kept;
    size_t start = 2;
    for (size_t end;; start = end + 1) {
        end = p.find(u'\\', start);
        const std::u16string segment =
            p.substr(start, end == std::u16string::npos ? std::u16string::npos : end - start);
        const bool last = end == std::u16string::npos;
        if (segment == u".." && !last && !kept.empty() && !kept.back().empty() && kept.back() != u"..")
            kept.pop_back();
        else
            kept.push_back(segment);
        if (last)
            break;
    }
    std::u16string out = head;
    for (size_t k = 0; k < kept.size(); ++k)
        out += (k ? u"\\" : u"") + kept[k];
    return out;
}

} // namespace crash
